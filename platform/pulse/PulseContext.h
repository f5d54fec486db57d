#pragma once
// One connection to the sound server: a threaded main loop and a context on it, connected to
// the default server (PULSE_SERVER or the session's), never spawning one. Every wait has a
// deadline, so a missing or stuck server is an error, not a hang. Calls into libpulse need the
// loop's lock (Lock); callbacks run on the loop's thread and wake waiters with Signal.
#include "platform/com/ComBase.h"

#include <pulse/context.h>
#include <pulse/thread-mainloop.h>

#include <functional>
#include <string>

class CPulseContext {
public:
    static constexpr int kDefaultTimeoutMs = 2000;

    CPulseContext() = default;
    ~CPulseContext();
    CPulseContext(const CPulseContext&) = delete;
    CPulseContext& operator=(const CPulseContext&) = delete;

    // S_OK when the context is ready; E_FAIL (LastError says why) otherwise, at the latest after
    // timeoutMs.
    HRESULT Connect(const char* clientName, int timeoutMs = kDefaultTimeoutMs);
    bool IsConnected() const;
    const std::string& LastError() const { return m_strError; }

    pa_threaded_mainloop* Mainloop() const { return m_pLoop; }
    pa_context* Context() const { return m_pContext; }

    // Holds the loop's lock for a scope.
    class Lock {
    public:
        explicit Lock(const CPulseContext& ctx) : m_pLoop(ctx.m_pLoop) { if (m_pLoop) pa_threaded_mainloop_lock(m_pLoop); }
        ~Lock() { if (m_pLoop) pa_threaded_mainloop_unlock(m_pLoop); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* m_pLoop;
    };

    // With the lock held: waits until done() or the deadline; false on timeout or when the
    // connection fails meanwhile.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
    // With the lock held: waits for an operation and releases it; false when it did not finish
    // in time (it is cancelled then) or op is null.
    bool WaitOperation(pa_operation* op, int timeoutMs = kDefaultTimeoutMs);
    // From a callback on the loop's thread.
    void Signal() { pa_threaded_mainloop_signal(m_pLoop, 0); }

private:
    void Close();
    pa_threaded_mainloop* m_pLoop = nullptr;
    pa_context* m_pContext = nullptr;
    std::string m_strError;
};
