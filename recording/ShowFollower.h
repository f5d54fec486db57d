#pragma once
// Keeps the recording window's slide counter on the slide the show is on. Counting keys alone goes
// wrong when a key only runs an animation step, and cannot see a show that advances on its own
// timings; so the window is asked to set the counter from the show's current position whenever the
// show changes slide (the office reports every change) and a moment after each navigation key it
// counted (a key that changed no slide causes no report).
#include "platform/base/WinTypes.h"
#include "recording/RecordResource.h"

#include <QTimer>

#include <memory>

namespace office {
class Application;
}

namespace recording {

class CShowFollower {
public:
    // How long after a key the show is asked where it stands.
    static constexpr int kKeySettleMs = 300;

    CShowFollower();
    ~CShowFollower();
    CShowFollower(const CShowFollower&) = delete;
    CShowFollower& operator=(const CShowFollower&) = delete;

    // From now on every slide change of the application's shows reaches the window as
    // WM_SHOW_SLIDE_CHANGED (wParam: the position the show reported; 0 for the look after a key).
    void Follow(HWND recordWindow, const std::shared_ptr<office::Application>& application);
    // No more reports; none is on its way once this returns (before the application shuts down).
    void Stop();
    // The window counted a key: ask again once the show has had time to act on it.
    void KeyHandled();

private:
    HWND m_hWnd = 0;
    std::weak_ptr<office::Application> m_application;
    QTimer m_keySettle;
};

}  // namespace recording
