#include "platform/automation/OleApp.h"

namespace platform {
namespace {

struct OleAppState {
    bool bUserCtrl = true;
    int nLocks = 0;
    std::function<void()> onReleaseAll;
};

OleAppState& State()
{
    static OleAppState state;
    return state;
}

} // namespace

void AfxOleSetUserCtrl(bool bUserCtrl)
{
    State().bUserCtrl = bUserCtrl;
}

bool AfxOleGetUserCtrl()
{
    return State().bUserCtrl;
}

void AfxOleLockApp()
{
    ++State().nLocks;
}

void AfxOleUnlockApp()
{
    if (State().nLocks > 0 && --State().nLocks == 0 && !State().bUserCtrl && State().onReleaseAll)
        State().onReleaseAll();
}

int AfxOleGetLockCount()
{
    return State().nLocks;
}

void AfxOleSetReleaseAllHandler(std::function<void()> handler)
{
    State().onReleaseAll = std::move(handler);
}

} // namespace platform
