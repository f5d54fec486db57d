#pragma once
// Window messages between threads: PostMessage queues (msg, wParam, lParam) for a window and
// returns at once; SendMessage waits until the window's thread has handled it. Both are safe from
// any thread and simply fail when the window no longer exists, as a destroyed window's handle does.
//
// These functions and the table of live windows are one shared library of the process
// (libvantorel-messages.so), so that other modules of ours (the hook library) reach the same
// windows as the program does.
#include "platform/base/WinTypes.h"

#include <QEvent>

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

class QObject;

namespace platform {

class CDialog;

// Queues the message for the window. False when no window has that handle.
bool PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Runs the window's handler on its own thread and returns its result; on the window's own thread
// it calls the handler directly. 0 when no window has that handle or it went away meanwhile.
LRESULT SendMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
// SendMessage whose lParam is the address of the message's own copy of `data`, for a sender that
// may have to stop waiting: once `giveUp` is set it returns 0 without the answer, and the window,
// if it handles the message later, still finds the data valid.
LRESULT SendMessageWithData(HWND hWnd, UINT msg, WPARAM wParam, const void* data, std::size_t size,
                            const std::atomic<bool>& giveUp);

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
    // Makes lParam the address of a copy of the bytes, owned by this event.
    void HoldData(const void* data, std::size_t size);

private:
    std::shared_ptr<SyncReply> m_reply;
    std::vector<std::byte> m_data;
};

void RegisterWindow(HWND hWnd, QObject* pWindow);
void UnregisterWindow(QObject* pWindow);
// The object registered for a handle, or null.
QObject* FindWindowObject(HWND hWnd);

} // namespace detail
} // namespace platform
