#include "platform/pulse/PulseContext.h"

#include <pulse/error.h>
#include <pulse/mainloop-api.h>
#include <pulse/operation.h>
#include <pulse/timeval.h>

#include <chrono>
#include <sys/time.h>

CPulseContext::~CPulseContext()
{
    Close();
}

void CPulseContext::Close()
{
    if (!m_pLoop) return;
    {
        Lock lock(*this);
        if (m_pContext) {
            pa_context_set_state_callback(m_pContext, nullptr, nullptr);
            pa_context_disconnect(m_pContext);
            pa_context_unref(m_pContext);
            m_pContext = nullptr;
        }
    }
    pa_threaded_mainloop_stop(m_pLoop);
    pa_threaded_mainloop_free(m_pLoop);
    m_pLoop = nullptr;
}

HRESULT CPulseContext::Connect(const char* clientName, int timeoutMs)
{
    Close();
    m_strError.clear();
    m_pLoop = pa_threaded_mainloop_new();
    if (!m_pLoop) {
        m_strError = "cannot make a main loop";
        return E_OUTOFMEMORY;
    }
    m_pContext = pa_context_new(pa_threaded_mainloop_get_api(m_pLoop), clientName);
    if (!m_pContext) {
        m_strError = "cannot make a context";
        Close();
        return E_OUTOFMEMORY;
    }
    pa_context_set_state_callback(
        m_pContext, [](pa_context*, void* self) { static_cast<CPulseContext*>(self)->Signal(); }, this);
    if (pa_threaded_mainloop_start(m_pLoop) < 0) {
        m_strError = "cannot start the main loop";
        Close();
        return E_FAIL;
    }
    Lock lock(*this);
    if (pa_context_connect(m_pContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        m_strError = pa_strerror(pa_context_errno(m_pContext));
        return E_FAIL;
    }
    bool settled = WaitUntil(
        [this] {
            pa_context_state_t s = pa_context_get_state(m_pContext);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        },
        timeoutMs);
    if (pa_context_get_state(m_pContext) == PA_CONTEXT_READY) return S_OK;
    m_strError = settled ? pa_strerror(pa_context_errno(m_pContext)) : "the sound server did not answer in time";
    return E_FAIL;
}

bool CPulseContext::IsConnected() const
{
    if (!m_pContext) return false;
    Lock lock(*this);
    return pa_context_get_state(m_pContext) == PA_CONTEXT_READY;
}

bool CPulseContext::WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (!m_pLoop) return false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // A timer on the loop wakes the wait at the deadline: pa_threaded_mainloop_wait has none.
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_pLoop);
    timeval tv;
    pa_gettimeofday(&tv);
    pa_timeval_add(&tv, static_cast<pa_usec_t>(timeoutMs) * PA_USEC_PER_MSEC);
    pa_time_event* timer = api->time_new(
        api, &tv, [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) { static_cast<CPulseContext*>(self)->Signal(); },
        this);
    bool ok = false;
    for (;;) {
        if (done()) {
            ok = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        if (m_pContext && !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_pContext))) break;
        pa_threaded_mainloop_wait(m_pLoop);
    }
    if (timer) api->time_free(timer);
    return ok;
}

bool CPulseContext::WaitOperation(pa_operation* op, int timeoutMs)
{
    if (!op) return false;
    bool ok = WaitUntil([op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, timeoutMs);
    if (!ok) pa_operation_cancel(op);
    ok = ok && pa_operation_get_state(op) == PA_OPERATION_DONE;
    pa_operation_unref(op);
    return ok;
}
