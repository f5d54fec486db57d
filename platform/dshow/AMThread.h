#pragma once
// CAMThread: one worker thread that takes commands from its owner. The owner's CallWorker posts a
// command and waits until the worker replies; the worker polls with CheckRequest or blocks in
// GetRequest.
#include "platform/com/ComBase.h"

#include <condition_variable>
#include <mutex>
#include <thread>

class CAMThread {
public:
    CAMThread() = default;
    virtual ~CAMThread();  // the owner must have ended the thread (Close) before
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // Starts the worker; FALSE when one runs already or the thread cannot be made.
    BOOL Create();
    BOOL ThreadExists() const { return m_thread.joinable(); }
    // Waits for the worker to end.
    void Close();

    // Owner side: hands the command over and returns the worker's reply.
    DWORD CallWorker(DWORD dwParam);

    // Worker side. A request stays pending (GetRequest and CheckRequest only look) until the
    // worker replies.
    DWORD GetRequest();
    BOOL CheckRequest(DWORD* pParam);
    void Reply(DWORD dw);

    virtual DWORD ThreadProc() = 0;


private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::mutex m_callLock;  // one owner call at a time
    bool m_bRequest = false;
    bool m_bReplied = false;
    DWORD m_dwParam = 0;
    DWORD m_dwReturnVal = 0;
    std::thread m_thread;
};
