#include "platform/pulse/AudioCaptureStream.h"

#include "platform/com/ComPtr.h"
#include "platform/pulse/AudioCaptureFilter.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace {

// Each sample holds about this much: short enough for the video beside it, long enough to keep
// the wake-ups few.
constexpr DWORD kChunkMs = 50;
// The server hands over this much at a time; what it still holds at a stop is lost.
constexpr DWORD kFragmentMs = 10;
constexpr int kReadWaitMs = 20;  // how soon the thread sees a stop
// Asks the streaming thread to deliver what came in before a stop, while it still has buffers.
constexpr DWORD kCmdDeliverTail = CSourceStream::CMD_EXIT + 1;

}  // namespace

CAudioCaptureStream::CAudioCaptureStream(CAudioCaptureFilter* pFilter, HRESULT* phr)
    : CSourceStream(L"CAudioCaptureStream", phr, pFilter, L"Capture"), m_pCapture(pFilter)
{
    m_format = SupportedPcmFormats().front();
}

CAudioCaptureStream::~CAudioCaptureStream() = default;

HRESULT CAudioCaptureStream::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    if (riid == IID_IAMPinCategory) return GetInterface(static_cast<IAMPinCategory*>(this), ppv);
    return CSourceStream::NonDelegatingQueryInterface(riid, ppv);
}

PcmFormat CAudioCaptureStream::Format()
{
    CAutoLock lock(m_pFilter->pStateLock());
    return m_format;
}

HRESULT CAudioCaptureStream::SetFormat(AM_MEDIA_TYPE* pmt)
{
    if (!pmt) return E_POINTER;
    std::optional<PcmFormat> format = PcmFormatFromMediaType(*pmt);
    if (!format) return VFW_E_INVALIDMEDIATYPE;
    CAutoLock lock(m_pFilter->pStateLock());
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    if (*format == m_format) return S_OK;
    if (!IsConnected()) {
        m_format = *format;
        return S_OK;
    }
    // Connected: the downstream pin must take the new type, else the old connection stays.
    CMediaType proposed;
    HRESULT hr = MakeAudioMediaType(*format, &proposed);
    if (FAILED(hr)) return hr;
    ComPtr<IPin> other(m_Connected);
    if (other->QueryAccept(&proposed) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    PcmFormat old = m_format;
    CMediaType previous = m_mt;
    other->Disconnect();
    Disconnect();
    m_format = *format;
    hr = Connect(other.Get(), &proposed);
    if (FAILED(hr)) {
        m_format = old;
        Connect(other.Get(), &previous);
    }
    return hr;
}

HRESULT CAudioCaptureStream::GetFormat(AM_MEDIA_TYPE** ppmt)
{
    if (!ppmt) return E_POINTER;
    CMediaType mt;
    HRESULT hr = MakeAudioMediaType(Format(), &mt);
    if (FAILED(hr)) return hr;
    *ppmt = CreateMediaType(&mt);
    return *ppmt ? S_OK : E_OUTOFMEMORY;
}

HRESULT CAudioCaptureStream::GetNumberOfCapabilities(int* piCount, int* piSize)
{
    if (!piCount || !piSize) return E_POINTER;
    *piCount = static_cast<int>(SupportedPcmFormats().size());
    *piSize = sizeof(AUDIO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT CAudioCaptureStream::GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC)
{
    if (!ppmt || !pSCC) return E_POINTER;
    *ppmt = nullptr;
    const auto& formats = SupportedPcmFormats();
    if (iIndex < 0 || iIndex >= static_cast<int>(formats.size())) return S_FALSE;
    const PcmFormat& f = formats[static_cast<std::size_t>(iIndex)];
    CMediaType mt;
    HRESULT hr = MakeAudioMediaType(f, &mt);
    if (FAILED(hr)) return hr;
    *ppmt = CreateMediaType(&mt);
    if (!*ppmt) return E_OUTOFMEMORY;
    AUDIO_STREAM_CONFIG_CAPS caps = MakeStreamCaps(f);
    std::memcpy(pSCC, &caps, sizeof(caps));
    return S_OK;
}

HRESULT CAudioCaptureStream::GetPinCategory(GUID* pCategory)
{
    if (!pCategory) return E_POINTER;
    *pCategory = PIN_CATEGORY_CAPTURE;
    return S_OK;
}

HRESULT CAudioCaptureStream::GetMediaType(CMediaType* pmt)
{
    if (!pmt) return E_POINTER;
    return MakeAudioMediaType(Format(), pmt);
}

HRESULT CAudioCaptureStream::SetMediaType(const CMediaType* pmt)
{
    std::optional<PcmFormat> format = pmt ? PcmFormatFromMediaType(*pmt) : std::nullopt;
    if (!format) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = CSourceStream::SetMediaType(pmt);
    if (SUCCEEDED(hr)) m_format = *format;
    return hr;
}

std::uint32_t CAudioCaptureStream::BytesFor(const PcmFormat& format, DWORD ms)
{
    DWORD frames = format.rate * ms / 1000;
    return frames * format.BlockAlign();
}

HRESULT CAudioCaptureStream::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp)
{
    if (!pAlloc || !pProp) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (pProp->cBuffers < 8) pProp->cBuffers = 8;
    const auto chunk = static_cast<LONG>(BytesFor(m_format, kChunkMs));
    if (pProp->cbBuffer < chunk) pProp->cbBuffer = chunk;
    if (pProp->cbAlign < 1) pProp->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual {};
    HRESULT hr = pAlloc->SetProperties(pProp, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < static_cast<LONG>(m_format.BlockAlign()) ? E_FAIL : S_OK;
}

HRESULT CAudioCaptureStream::Active()
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (m_pFilter->IsActive() || !IsConnected()) return CSourceStream::Active();
    // The stream is opened here, on the owner's thread: the thread must not take the filter's
    // lock (its owner holds it while waiting), and CSourceStream::Active waits for ever on a
    // thread whose OnThreadCreate failed.
    m_recordFormat = m_format;
    std::string source = m_pCapture->InputSourceName(m_pCapture->EnabledInput());
    if (source.empty()) return VFW_E_NO_CAPTURE_HARDWARE;
    auto record = std::make_unique<CPulseRecordStream>();
    HRESULT hr = record->Open(source, m_recordFormat, BytesFor(m_recordFormat, kFragmentMs));
    if (FAILED(hr)) return hr;
    m_pRecord = std::move(record);
    m_llFrames = 0;
    m_bFirstSample = true;
    m_bRunning = false;
    hr = CSourceStream::Active();
    if (FAILED(hr)) m_pRecord.reset();
    return hr;
}

HRESULT CAudioCaptureStream::OnThreadCreate()
{
    return m_pRecord ? S_OK : E_UNEXPECTED;
}

HRESULT CAudioCaptureStream::OnThreadDestroy()
{
    m_pRecord.reset();
    return S_OK;
}

HRESULT CAudioCaptureStream::StartFlow()
{
    if (!m_pRecord) return IsConnected() ? E_UNEXPECTED : S_OK;  // unconnected: nothing records
    m_pRecord->SetAccepting(true);
    m_bRunning = true;
    return S_OK;
}

HRESULT CAudioCaptureStream::PauseFlow()
{
    m_bRunning = false;
    if (m_pRecord) m_pRecord->SetAccepting(false);
    return S_OK;
}

HRESULT CAudioCaptureStream::Inactive()
{
    PauseFlow();
    // Downstream still runs (the graph stops its sources first) and the allocator is still
    // committed: the sound since the last whole sample goes out now, or the decommit loses it.
    if (ThreadExists()) CallWorker(kCmdDeliverTail);
    return CSourceStream::Inactive();
}

void CAudioCaptureStream::ReportError(HRESULT hr)
{
    IFilterGraph* graph = m_pFilter->GetFilterGraph();
    if (!graph) return;
    ComPtr<IMediaEventSink> sink;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, sink.ReleaseAndGetVoidAddressOf())) && sink)
        sink->Notify(EC_ERRORABORT, hr, 0);
}

HRESULT CAudioCaptureStream::FillFromServer(IMediaSample* pSample, std::size_t minBytes, int timeoutMs)
{
    const PcmFormat& format = m_recordFormat;
    BYTE* p = nullptr;
    pSample->GetPointer(&p);
    auto size = static_cast<std::size_t>(pSample->GetSize());
    std::size_t got = 0;
    HRESULT hr = m_pRecord->Read(p, size, std::min(size, minBytes), timeoutMs, &got);
    if (FAILED(hr)) return hr;
    if (got == 0) return S_FALSE;
    LONGLONG frames = static_cast<LONGLONG>(got / format.BlockAlign());
    REFERENCE_TIME start = m_llFrames * UNITS / format.rate;
    REFERENCE_TIME stop = (m_llFrames + frames) * UNITS / format.rate;
    LONGLONG mediaStart = m_llFrames, mediaStop = m_llFrames + frames;
    pSample->SetActualDataLength(static_cast<LONG>(got));
    pSample->SetTime(&start, &stop);
    pSample->SetMediaTime(&mediaStart, &mediaStop);
    pSample->SetSyncPoint(TRUE);
    pSample->SetDiscontinuity(m_bFirstSample ? TRUE : FALSE);
    m_bFirstSample = false;
    m_llFrames += frames;
    return S_OK;
}

void CAudioCaptureStream::DeliverTail()
{
    for (;;) {
        IMediaSample* pSample = nullptr;
        if (FAILED(GetDeliveryBuffer(&pSample, nullptr, nullptr, 0))) return;
        HRESULT hr = FillFromServer(pSample, m_recordFormat.BlockAlign(), 0);
        if (hr == S_OK) hr = Deliver(pSample);
        pSample->Release();
        // A failed read ends the stream anyway; the stop is under way.
        if (hr != S_OK) return;
    }
}

HRESULT CAudioCaptureStream::DoBufferProcessingLoop()
{
    OnThreadStartPlay();
    for (;;) {
        DWORD com = 0;
        if (CheckRequest(&com)) {
            if (com == CMD_STOP) return S_FALSE;  // ThreadProc answers it
            if (com == kCmdDeliverTail) {
                DeliverTail();
                Reply(S_OK);
                continue;
            }
            Reply(com == CMD_RUN || com == CMD_PAUSE ? S_OK : static_cast<DWORD>(E_UNEXPECTED));
            continue;
        }
        if (!m_bRunning) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kReadWaitMs / 2));
            continue;
        }
        IMediaSample* pSample = nullptr;
        if (FAILED(GetDeliveryBuffer(&pSample, nullptr, nullptr, 0))) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;  // decommitted: the stop is on its way
        }
        HRESULT hr = FillFromServer(pSample, BytesFor(m_recordFormat, kChunkMs), kReadWaitMs);
        if (FAILED(hr)) {
            pSample->Release();
            DeliverEndOfStream();
            ReportError(hr);
            return hr;
        }
        if (hr == S_FALSE) {
            pSample->Release();
            continue;
        }
        hr = Deliver(pSample);
        pSample->Release();
        // Downstream refused: wait for the next command instead of spinning.
        if (hr != S_OK) return S_OK;
    }
}
