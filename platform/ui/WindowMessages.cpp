#include "platform/ui/WindowMessages.h"

#include "platform/ui/Dialog.h"

#include <QCoreApplication>
#include <QThread>

#include <condition_variable>
#include <map>
#include <mutex>

namespace platform {
namespace detail {

// A sender waiting for its reply. Released when the handler has run or, if the window went away
// first, when the undelivered event is destroyed: a sender never waits forever.
struct SyncReply {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    LRESULT result = 0;

    void Finish(LRESULT r)
    {
        std::lock_guard lock(mutex);
        if (!finished) {
            result = r;
            finished = true;
            done.notify_all();
        }
    }
};

namespace {

// Handle -> live window. Posting holds the lock, so a window cannot be destroyed between the
// look-up and the post; Qt drops events still queued for a destroyed window.
struct WindowTable {
    std::mutex mutex;
    std::map<HWND, CDialog*> windows;
};

WindowTable& Table()
{
    static WindowTable table;
    return table;
}

bool PostToWindow(HWND hWnd, std::unique_ptr<CMessageEvent> event)
{
    std::lock_guard lock(Table().mutex);
    auto it = Table().windows.find(hWnd);
    if (it == Table().windows.end())
        return false;
    QCoreApplication::postEvent(it->second, event.release());
    return true;
}

} // namespace

QEvent::Type CMessageEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

CMessageEvent::CMessageEvent(UINT msg, WPARAM wParam, LPARAM lParam, std::shared_ptr<SyncReply> reply)
    : QEvent(EventType()), m_msg(msg), m_wParam(wParam), m_lParam(lParam), m_reply(std::move(reply))
{
}

CMessageEvent::~CMessageEvent()
{
    if (m_reply)
        m_reply->Finish(0);
}

void CMessageEvent::SetResult(LRESULT result)
{
    if (m_reply)
        m_reply->Finish(result);
}

void RegisterWindow(HWND hWnd, CDialog* pDlg)
{
    std::lock_guard lock(Table().mutex);
    Table().windows[hWnd] = pDlg;
}

void UnregisterWindow(CDialog* pDlg)
{
    std::lock_guard lock(Table().mutex);
    for (auto it = Table().windows.begin(); it != Table().windows.end();)
        it = it->second == pDlg ? Table().windows.erase(it) : std::next(it);
}

} // namespace detail

bool PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return detail::PostToWindow(hWnd, std::make_unique<detail::CMessageEvent>(msg, wParam, lParam));
}

LRESULT SendMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (CDialog* pDlg = FromHandle(hWnd); pDlg && pDlg->thread() == QThread::currentThread())
        return pDlg->WindowProc(msg, wParam, lParam);
    auto reply = std::make_shared<detail::SyncReply>();
    if (!detail::PostToWindow(hWnd, std::make_unique<detail::CMessageEvent>(msg, wParam, lParam, reply)))
        return 0;
    std::unique_lock lock(reply->mutex);
    reply->done.wait(lock, [&] { return reply->finished; });
    return reply->result;
}

CDialog* FromHandle(HWND hWnd)
{
    std::lock_guard lock(detail::Table().mutex);
    auto it = detail::Table().windows.find(hWnd);
    return it == detail::Table().windows.end() ? nullptr : it->second;
}

} // namespace platform
