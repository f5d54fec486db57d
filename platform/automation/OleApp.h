#pragma once
// The application's automation state: whether a user or COM started it, and the lock count that
// live automation objects hold on it. When the last lock goes and no user controls the program,
// the release-all handler runs (the application closes its main window).
//
// Window thread only.
#include <functional>

namespace platform {

void AfxOleSetUserCtrl(bool bUserCtrl);
bool AfxOleGetUserCtrl();
void AfxOleLockApp();
void AfxOleUnlockApp();
int AfxOleGetLockCount();
void AfxOleSetReleaseAllHandler(std::function<void()> handler);

} // namespace platform
