#include "recording/ShowFollower.h"

#include "platform/office/PowerPointApplication.h"
#include "platform/ui/WindowMessages.h"

namespace recording {

CShowFollower::CShowFollower()
{
    m_keySettle.setSingleShot(true);
    m_keySettle.setInterval(kKeySettleMs);
    QObject::connect(&m_keySettle, &QTimer::timeout,
                     [this] { platform::PostMessage(m_hWnd, WM_SHOW_SLIDE_CHANGED, 0, 0); });
}

CShowFollower::~CShowFollower()
{
    Stop();
}

void CShowFollower::Follow(HWND recordWindow, const std::shared_ptr<office::Application>& application)
{
    Stop();
    m_hWnd = recordWindow;
    if (!application)
        return;
    m_application = application;
    // Runs on the office's threads (or ours, for our own steps): only a message goes out.
    application->SetSlideShowNextSlideHandler([hWnd = m_hWnd](long, long showPosition) {
        platform::PostMessage(hWnd, WM_SHOW_SLIDE_CHANGED, static_cast<WPARAM>(showPosition), 0);
    });
}

void CShowFollower::Stop()
{
    m_keySettle.stop();
    if (auto application = m_application.lock())
        application->SetSlideShowNextSlideHandler(nullptr);
    m_application.reset();
}

void CShowFollower::KeyHandled()
{
    m_keySettle.start();
}

}  // namespace recording
