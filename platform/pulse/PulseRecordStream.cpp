#include "platform/pulse/PulseRecordStream.h"

#include <pulse/error.h>

#include <algorithm>
#include <chrono>

namespace {

// Ten seconds of the richest format: a reader that stalls longer loses the oldest data.
constexpr std::size_t kMaxQueued = 10 * 44100 * 4;

}  // namespace

CPulseRecordStream::~CPulseRecordStream()
{
    Close();
}

void CPulseRecordStream::Close()
{
    if (!m_pStream) return;
    CPulseContext::Lock lock(m_ctx);
    pa_stream_set_read_callback(m_pStream, nullptr, nullptr);
    pa_stream_set_state_callback(m_pStream, nullptr, nullptr);
    pa_stream_disconnect(m_pStream);
    pa_stream_unref(m_pStream);
    m_pStream = nullptr;
}

HRESULT CPulseRecordStream::Open(const std::string& sourceName, const PcmFormat& format, std::uint32_t fragmentBytes)
{
    Close();
    m_format = format;
    HRESULT hr = m_ctx.Connect("Vantorel sound capture");
    if (FAILED(hr)) {
        m_strError = m_ctx.LastError();
        return hr;
    }
    pa_sample_spec spec {};
    spec.format = format.bits == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
    spec.rate = format.rate;
    spec.channels = static_cast<std::uint8_t>(format.channels);
    CPulseContext::Lock lock(m_ctx);
    m_pStream = pa_stream_new(m_ctx.Context(), "Recording", &spec, nullptr);
    if (!m_pStream) {
        m_strError = pa_strerror(pa_context_errno(m_ctx.Context()));
        return E_FAIL;
    }
    pa_stream_set_state_callback(m_pStream, [](pa_stream*, void* self) { static_cast<CPulseRecordStream*>(self)->OnState(); }, this);
    pa_stream_set_read_callback(
        m_pStream, [](pa_stream*, std::size_t, void* self) { static_cast<CPulseRecordStream*>(self)->OnReadable(); }, this);
    pa_buffer_attr attr {};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = fragmentBytes;
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(m_pStream, sourceName.c_str(), &attr, flags) < 0) {
        m_strError = pa_strerror(pa_context_errno(m_ctx.Context()));
        return E_FAIL;
    }
    bool settled = m_ctx.WaitUntil(
        [this] {
            pa_stream_state_t s = pa_stream_get_state(m_pStream);
            return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
        },
        CPulseContext::kDefaultTimeoutMs);
    if (pa_stream_get_state(m_pStream) != PA_STREAM_READY) {
        m_strError = settled ? pa_strerror(pa_context_errno(m_ctx.Context())) : "the source did not answer in time";
        return E_FAIL;
    }
    return S_OK;
}

void CPulseRecordStream::SetAccepting(bool bAccept)
{
    std::lock_guard g(m_mutex);
    m_bDropping = !bAccept;
}

void CPulseRecordStream::OnState()
{
    pa_stream_state_t s = pa_stream_get_state(m_pStream);
    if (!PA_STREAM_IS_GOOD(s)) {
        std::lock_guard g(m_mutex);
        m_bFailed = true;
        m_cv.notify_all();
    }
    m_ctx.Signal();
}

// On the loop's thread, with its lock held.
void CPulseRecordStream::OnReadable()
{
    const std::size_t block = m_format.BlockAlign();
    const BYTE silence = m_format.bits == 8 ? 0x80 : 0x00;
    while (pa_stream_readable_size(m_pStream) > 0) {
        const void* data = nullptr;
        std::size_t n = 0;
        if (pa_stream_peek(m_pStream, &data, &n) < 0) break;
        if (n == 0) break;  // nothing, no hole: nothing to drop either
        {
            std::lock_guard g(m_mutex);
            if (!m_bDropping) {
                if (data) {
                    auto* p = static_cast<const BYTE*>(data);
                    m_data.insert(m_data.end(), p, p + n);
                } else {
                    m_data.insert(m_data.end(), n, silence);
                }
                if (m_data.size() > kMaxQueued) {
                    std::size_t extra = m_data.size() - kMaxQueued;
                    extra -= extra % block;
                    m_data.erase(m_data.begin(), m_data.begin() + static_cast<std::ptrdiff_t>(extra + block));
                }
            }
        }
        pa_stream_drop(m_pStream);
    }
    m_cv.notify_all();
}

HRESULT CPulseRecordStream::Read(BYTE* pDest, std::size_t maxBytes, std::size_t minBytes, int timeoutMs,
                                 std::size_t* pcbRead)
{
    if (!pDest || !pcbRead) return E_POINTER;
    *pcbRead = 0;
    const std::size_t block = m_format.BlockAlign();
    maxBytes -= maxBytes % block;
    minBytes = std::clamp<std::size_t>(minBytes, block, std::max(maxBytes, block));
    std::unique_lock g(m_mutex);
    m_cv.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return m_bFailed || m_data.size() >= minBytes; });
    if (m_data.size() < minBytes) {
        if (m_bFailed) {
            m_strError = "the sound server ended the stream";
            return E_FAIL;
        }
        return S_OK;
    }
    std::size_t n = std::min(maxBytes, m_data.size());
    n -= n % block;
    std::copy_n(m_data.begin(), n, pDest);
    m_data.erase(m_data.begin(), m_data.begin() + static_cast<std::ptrdiff_t>(n));
    *pcbRead = n;
    return S_OK;
}

void CPulseRecordStream::Discard()
{
    std::lock_guard g(m_mutex);
    m_data.clear();
}
