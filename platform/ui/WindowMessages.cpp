#include "platform/ui/WindowMessages.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstring>
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
    std::map<HWND, QObject*> windows;
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

// On the window's own thread the message is handled at once, as a call.
bool IsWindowThread(HWND hWnd, QObject** window)
{
    *window = FindWindowObject(hWnd);
    return *window && (*window)->thread() == QThread::currentThread();
}

// Posts the event and waits for its reply; gives up when `giveUp` is set (checked every 20 ms).
LRESULT PostAndWait(HWND hWnd, std::unique_ptr<CMessageEvent> event, const std::shared_ptr<SyncReply>& reply,
                    const std::atomic<bool>* giveUp)
{
    if (!PostToWindow(hWnd, std::move(event)))
        return 0;
    std::unique_lock lock(reply->mutex);
    while (!reply->finished) {
        if (!giveUp) {
            reply->done.wait(lock);
            continue;
        }
        if (giveUp->load())
            return 0;
        reply->done.wait_for(lock, std::chrono::milliseconds(20));
    }
    return reply->result;
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

void CMessageEvent::HoldData(const void* data, std::size_t size)
{
    m_data.resize(size);
    if (size)
        std::memcpy(m_data.data(), data, size);
    m_lParam = reinterpret_cast<LPARAM>(m_data.data());
}

void RegisterWindow(HWND hWnd, QObject* pWindow)
{
    std::lock_guard lock(Table().mutex);
    Table().windows[hWnd] = pWindow;
}

void UnregisterWindow(QObject* pWindow)
{
    std::lock_guard lock(Table().mutex);
    for (auto it = Table().windows.begin(); it != Table().windows.end();)
        it = it->second == pWindow ? Table().windows.erase(it) : std::next(it);
}

QObject* FindWindowObject(HWND hWnd)
{
    std::lock_guard lock(Table().mutex);
    auto it = Table().windows.find(hWnd);
    return it == Table().windows.end() ? nullptr : it->second;
}

} // namespace detail

bool PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return detail::PostToWindow(hWnd, std::make_unique<detail::CMessageEvent>(msg, wParam, lParam));
}

LRESULT SendMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto reply = std::make_shared<detail::SyncReply>();
    auto event = std::make_unique<detail::CMessageEvent>(msg, wParam, lParam, reply);
    if (QObject* window = nullptr; detail::IsWindowThread(hWnd, &window)) {
        QCoreApplication::sendEvent(window, event.get());
        return reply->result;
    }
    return detail::PostAndWait(hWnd, std::move(event), reply, nullptr);
}

LRESULT SendMessageWithData(HWND hWnd, UINT msg, WPARAM wParam, const void* data, std::size_t size,
                            const std::atomic<bool>& giveUp)
{
    auto reply = std::make_shared<detail::SyncReply>();
    auto event = std::make_unique<detail::CMessageEvent>(msg, wParam, 0, reply);
    event->HoldData(data, size);
    if (QObject* window = nullptr; detail::IsWindowThread(hWnd, &window)) {
        QCoreApplication::sendEvent(window, event.get());
        return reply->result;
    }
    return detail::PostAndWait(hWnd, std::move(event), reply, &giveUp);
}

} // namespace platform
