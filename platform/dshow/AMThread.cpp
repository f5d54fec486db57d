#include "platform/dshow/AMThread.h"

#include <system_error>

CAMThread::~CAMThread()
{
    Close();
}

BOOL CAMThread::Create()
{
    if (m_thread.joinable()) return FALSE;
    try {
        m_thread = std::thread([this] { ThreadProc(); });
    } catch (const std::system_error&) {
        return FALSE;
    }
    return TRUE;
}

void CAMThread::Close()
{
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

DWORD CAMThread::CallWorker(DWORD dwParam)
{
    if (!ThreadExists()) return static_cast<DWORD>(E_FAIL);
    std::lock_guard call(m_callLock);
    std::unique_lock lock(m_mutex);
    m_dwParam = dwParam;
    m_bRequest = true;
    m_bReplied = false;
    m_cv.notify_all();
    m_cv.wait(lock, [this] { return m_bReplied; });
    return m_dwReturnVal;
}

DWORD CAMThread::GetRequest()
{
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return m_bRequest; });
    return m_dwParam;
}

BOOL CAMThread::CheckRequest(DWORD* pParam)
{
    std::lock_guard lock(m_mutex);
    if (!m_bRequest) return FALSE;
    if (pParam) *pParam = m_dwParam;
    return TRUE;
}

void CAMThread::Reply(DWORD dw)
{
    std::lock_guard lock(m_mutex);
    m_dwReturnVal = dw;
    m_bRequest = false;
    m_bReplied = true;
    m_cv.notify_all();
}
