#include "platform/avi/AviMux.h"

#include "platform/avi/AviClasses.h"

#include <cwchar>
#include <new>

CAviMuxInputPin::CAviMuxInputPin(CAviMux* pMux, CCritSec* pLock, HRESULT* phr, LPCWSTR pName)
    : CBaseInputPin(L"CAviMuxInputPin", pMux, pLock, phr, pName), m_pMux(pMux)
{
}

HRESULT CAviMuxInputPin::CheckMediaType(const CMediaType* pmt)
{
    AviStreamFormat format;
    return AviStreamFormatFromMediaType(*pmt, &format);
}

HRESULT CAviMuxInputPin::CompleteConnect(IPin* pReceivePin)
{
    HRESULT hr = CBaseInputPin::CompleteConnect(pReceivePin);
    if (FAILED(hr)) return hr;
    hr = AviStreamFormatFromMediaType(m_mt, &m_format);
    if (FAILED(hr)) return hr;
    m_pMux->OnInputConnected();
    return S_OK;
}

HRESULT CAviMuxInputPin::Receive(IMediaSample* pSample)
{
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    hr = m_pMux->WriteSample(this, pSample);
    if (FAILED(hr)) m_bRunTimeError = true;
    return hr;
}

HRESULT CAviMuxInputPin::EndOfStream()
{
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    m_pMux->OnEndOfStream(this);
    return S_OK;
}

CAviMuxOutputPin::CAviMuxOutputPin(CAviMux* pMux, CCritSec* pLock, HRESULT* phr)
    : CBaseOutputPin(L"CAviMuxOutputPin", pMux, pLock, phr, L"AVI Out")
{
}

HRESULT CAviMuxOutputPin::CheckMediaType(const CMediaType* pmt)
{
    return pmt->majortype == MEDIATYPE_Stream && pmt->subtype == MEDIASUBTYPE_Avi ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CAviMuxOutputPin::GetMediaType(int iPosition, CMediaType* pmt)
{
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    *pmt = CMediaType();
    pmt->SetType(&MEDIATYPE_Stream);
    pmt->SetSubtype(&MEDIASUBTYPE_Avi);
    pmt->SetVariableSize();
    return S_OK;
}

HRESULT CAviMuxOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp)
{
    // The file is written through the writer's own interface; the allocator only completes the
    // connection.
    pProp->cBuffers = 1;
    pProp->cbBuffer = 4096;
    ALLOCATOR_PROPERTIES actual {};
    return pAlloc->SetProperties(pProp, &actual);
}

CAviMux::CAviMux(IUnknown* pUnk) : CBaseFilter(L"CAviMux", pUnk, &m_lock, CLSID_AviDest), m_output(this, &m_lock, nullptr)
{
    m_inputs.push_back(std::make_unique<CAviMuxInputPin>(this, &m_lock, nullptr, L"Input 01"));
}

CAviMux::~CAviMux()
{
    std::lock_guard lock(m_writeMutex);
    if (m_file) m_file->Finish(m_lMaster);
}

HRESULT CAviMux::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IConfigAviMux) return GetInterface(static_cast<IConfigAviMux*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int CAviMux::GetPinCount()
{
    CAutoLock lock(&m_lock);
    return 1 + static_cast<int>(m_inputs.size());
}

CBasePin* CAviMux::GetPin(int n)
{
    CAutoLock lock(&m_lock);
    if (n == 0) return &m_output;
    if (n < 1 || n > static_cast<int>(m_inputs.size())) return nullptr;
    return m_inputs[n - 1].get();
}

void CAviMux::OnInputConnected()
{
    // Called as a connection completes, when that pin counts as connected already.
    CAutoLock lock(&m_lock);
    for (auto& pin : m_inputs)
        if (!pin->IsConnected()) return;  // a free one is left
    if (m_inputs.size() >= 99) return;    // stream numbers have two digits
    wchar_t name[16];
    std::swprintf(name, 16, L"Input %02d", static_cast<int>(m_inputs.size()) + 1);
    m_inputs.push_back(std::make_unique<CAviMuxInputPin>(this, &m_lock, nullptr, name));
}

void CAviMux::Notify(long code, LONG_PTR param1)
{
    IFilterGraph* pGraph = m_pGraph;
    if (!pGraph) return;
    IMediaEventSink* pSink = nullptr;
    if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&pSink))) && pSink) {
        pSink->Notify(code, param1, 0);
        pSink->Release();
    }
}

HRESULT CAviMux::StartFile()
{
    IPin* pConnected = m_output.GetConnected();
    if (!pConnected) return VFW_E_NOT_CONNECTED;
    PIN_INFO info {};
    HRESULT hr = pConnected->QueryPinInfo(&info);
    if (FAILED(hr)) return hr;
    ComPtr<IFileWriterOutput> output;
    hr = info.pFilter ? info.pFilter->QueryInterface(IID_IFileWriterOutput, output.ReleaseAndGetVoidAddressOf())
                      : E_NOINTERFACE;
    if (info.pFilter) info.pFilter->Release();
    if (FAILED(hr)) return hr;

    std::vector<AviStreamFormat> streams;
    for (auto& pin : m_inputs) {
        pin->m_iStream = -1;
        pin->m_bEndOfStream = false;
        if (!pin->IsConnected()) continue;
        pin->m_iStream = static_cast<int>(streams.size());
        streams.push_back(pin->Format());
    }
    if (streams.empty()) return VFW_E_NOT_CONNECTED;

    hr = output->BeginOutput();
    if (FAILED(hr)) return hr;
    auto file = std::make_unique<CAviFileMuxer>();
    hr = file->Open(output.Get(), streams);
    if (FAILED(hr)) {
        file->Finish(-1);
        return hr;
    }
    std::lock_guard lock(m_writeMutex);
    m_file = std::move(file);
    m_hrFailure = S_OK;
    m_bCompleteSent = false;
    return S_OK;
}

HRESULT CAviMux::Pause()
{
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped) {
        HRESULT hr = StartFile();
        if (FAILED(hr)) {
            Notify(EC_ERRORABORT, hr);
            return hr;
        }
        hr = CBaseFilter::Pause();
        if (FAILED(hr)) {
            std::lock_guard writeLock(m_writeMutex);
            m_file->Finish(m_lMaster);
            m_file.reset();
        }
        return hr;
    }
    if (m_State == State_Running) {
        // A pause may last: the file says what it holds so far.
        std::lock_guard writeLock(m_writeMutex);
        if (m_file) m_file->UpdateHeader();
    }
    return CBaseFilter::Pause();
}

HRESULT CAviMux::Stop()
{
    CAutoLock lock(m_pLock);
    // Inputs refuse samples first; one being written finishes before the file does.
    HRESULT hr = CBaseFilter::Stop();
    std::unique_ptr<CAviFileMuxer> file;
    bool reported;
    {
        std::lock_guard writeLock(m_writeMutex);
        file = std::move(m_file);
        reported = FAILED(m_hrFailure);
    }
    if (file) {
        HRESULT hrFinish = file->Finish(m_lMaster);
        if (FAILED(hrFinish)) {
            if (!reported) Notify(EC_ERRORABORT, hrFinish);
            if (SUCCEEDED(hr)) hr = hrFinish;
        }
    }
    return hr;
}

HRESULT CAviMux::WriteSample(CAviMuxInputPin* pPin, IMediaSample* pSample)
{
    HRESULT hr;
    {
        std::lock_guard lock(m_writeMutex);
        if (!m_file || pPin->m_iStream < 0) return VFW_E_WRONG_STATE;
        if (FAILED(m_hrFailure)) return m_hrFailure;
        BYTE* pData = nullptr;
        hr = pSample->GetPointer(&pData);
        if (FAILED(hr)) return hr;
        REFERENCE_TIME start = 0, stop = 0;
        HRESULT hrTime = pSample->GetTime(&start, &stop);
        bool hasStart = SUCCEEDED(hrTime);
        bool hasStop = hrTime == S_OK;
        hr = m_file->Write(pPin->m_iStream, pData, pSample->GetActualDataLength(), pSample->IsSyncPoint() == S_OK,
                           hasStart ? &start : nullptr, hasStop ? &stop : nullptr);
        if (SUCCEEDED(hr)) return hr;
        m_hrFailure = hr;
    }
    Notify(EC_ERRORABORT, hr);
    return hr;
}

void CAviMux::OnEndOfStream(CAviMuxInputPin* pPin)
{
    bool all = true;
    {
        CAutoLock lock(&m_lock);
        pPin->m_bEndOfStream = true;
        for (auto& pin : m_inputs)
            if (pin->IsConnected() && !pin->m_bEndOfStream) all = false;
    }
    if (!all) return;
    {
        std::lock_guard lock(m_writeMutex);
        if (m_bCompleteSent) return;
        m_bCompleteSent = true;
    }
    Notify(EC_COMPLETE, S_OK);
}

HRESULT CAviMux::SetMasterStream(LONG iStream)
{
    if (iStream < -1) return E_INVALIDARG;
    CAutoLock lock(&m_lock);
    m_lMaster = iStream;
    return S_OK;
}

HRESULT CAviMux::GetMasterStream(LONG* pStream)
{
    if (!pStream) return E_POINTER;
    CAutoLock lock(&m_lock);
    *pStream = m_lMaster;
    return S_OK;
}

HRESULT CAviMux::SetOutputCompatibilityIndex(BOOL fOldIndex)
{
    CAutoLock lock(&m_lock);
    m_bOldIndex = fOldIndex;
    return S_OK;
}

HRESULT CAviMux::GetOutputCompatibilityIndex(BOOL* pfOldIndex)
{
    if (!pfOldIndex) return E_POINTER;
    CAutoLock lock(&m_lock);
    *pfOldIndex = m_bOldIndex;
    return S_OK;
}

HRESULT CreateAviMux(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    return CreateComObject<CAviMux>(pUnkOuter, riid, ppv);
}
