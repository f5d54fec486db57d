#pragma once
// Window messages between threads: PostMessage queues (msg, wParam, lParam) for a window and
// returns at once; SendMessage waits until the window's thread has handled it. Both are safe from
// any thread and simply fail when the window no longer exists, as a destroyed window's handle does.
#include "platform/base/WinTypes.h"

#include <QEvent>

#include <memory>

namespace platform {

class CDialog;

// Queues the message for the window. False when no window has that handle.
bool PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Runs the window's handler on its own thread and returns its result; on the window's own thread
// it calls the handler directly. 0 when no window has that handle or it went away meanwhile.
LRESULT SendMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The window behind a handle, or null. Only for the window's own thread.
CDialog* FromHandle(HWND hWnd);

namespace detail {

struct SyncReply;

// The event that carries a message to a window.
class CMessageEvent : public QEvent {
public:
    static QEvent::Type EventType();
    CMessageEvent(UINT msg, WPARAM wParam, LPARAM lParam, std::shared_ptr<SyncReply> reply = {});
    ~CMessageEvent() override;

    UINT m_msg;
    WPARAM m_wParam;
    LPARAM m_lParam;
    void SetResult(LRESULT result);

private:
    std::shared_ptr<SyncReply> m_reply;
};

void RegisterWindow(HWND hWnd, CDialog* pDlg);
void UnregisterWindow(CDialog* pDlg);

} // namespace detail
} // namespace platform
