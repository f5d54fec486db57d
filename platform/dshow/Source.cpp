#include "platform/dshow/Source.h"

#include "platform/com/TaskMemory.h"

#include <cwchar>
#include <new>

CSource::CSource(const wchar_t* pName, IUnknown* pUnk, REFCLSID clsid, HRESULT* phr)
    : CBaseFilter(pName, pUnk, &m_cStateLock, clsid)
{
    if (phr) *phr = S_OK;
}

CSource::~CSource()
{
    // A pin's destructor removes it from the array.
    while (m_iPins > 0) delete m_paStreams[m_iPins - 1];
    delete[] m_paStreams;
}

int CSource::GetPinCount()
{
    CAutoLock lock(&m_cStateLock);
    return m_iPins;
}

CBasePin* CSource::GetPin(int n)
{
    CAutoLock lock(&m_cStateLock);
    if (n < 0 || n >= m_iPins) return nullptr;
    return m_paStreams[n];
}

HRESULT CSource::AddPin(CSourceStream* pStream)
{
    CAutoLock lock(&m_cStateLock);
    auto** streams = new (std::nothrow) CSourceStream*[m_iPins + 1];
    if (!streams) return E_OUTOFMEMORY;
    for (int i = 0; i < m_iPins; ++i) streams[i] = m_paStreams[i];
    streams[m_iPins] = pStream;
    delete[] m_paStreams;
    m_paStreams = streams;
    ++m_iPins;
    return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream* pStream)
{
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; ++i) {
        if (m_paStreams[i] != pStream) continue;
        for (int j = i + 1; j < m_iPins; ++j) m_paStreams[j - 1] = m_paStreams[j];
        --m_iPins;
        return S_OK;
    }
    return S_FALSE;
}

CSourceStream::CSourceStream(const wchar_t* pObjectName, HRESULT* phr, CSource* pParent, LPCWSTR pPinName,
                             ITickClock* pClock)
    : CBaseOutputPin(pObjectName, pParent, pParent->pStateLock(), phr, pPinName)
    , m_pFilter(pParent)
    , m_pTickClock(pClock ? pClock : &SystemTickClock())
{
    HRESULT hr = m_pFilter->AddPin(this);
    if (phr && FAILED(hr)) *phr = hr;
}

CSourceStream::~CSourceStream()
{
    m_pFilter->RemovePin(this);
}

HRESULT CSourceStream::QueryId(LPWSTR* Id)
{
    return CBasePin::QueryId(Id);
}

HRESULT CSourceStream::Active()
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (m_pFilter->IsActive()) return S_FALSE;  // already running
    if (!IsConnected()) return S_OK;
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr)) return hr;
    if (ThreadExists()) return E_UNEXPECTED;
    if (!Create()) return E_FAIL;
    hr = Init();
    if (FAILED(hr)) {
        // The thread has ended after answering INIT: asking it to exit would wait for ever.
        Close();
        CBaseOutputPin::Inactive();
        return hr;
    }
    return Pause();
}

HRESULT CSourceStream::Inactive()
{
    if (!IsConnected()) return S_OK;
    // Decommit first: a thread waiting for a buffer wakes and sees the stop.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (FAILED(hr)) return hr;
    if (ThreadExists()) {
        hr = Stop();
        if (FAILED(hr)) return hr;
        hr = Exit();
        if (FAILED(hr)) return hr;
        Close();
    }
    return S_OK;
}

DWORD CSourceStream::ThreadProc()
{
    DWORD com = GetRequest();
    if (com != CMD_INIT) {
        Reply(static_cast<DWORD>(E_UNEXPECTED));
        while (GetRequest() != CMD_EXIT) Reply(static_cast<DWORD>(E_UNEXPECTED));
        Reply(S_OK);
        return 1;
    }
    HRESULT hr = OnThreadCreate();
    if (FAILED(hr)) {
        OnThreadDestroy();
        Reply(static_cast<DWORD>(hr));
        return 1;
    }
    Reply(S_OK);

    for (;;) {
        com = GetRequest();
        switch (com) {
        case CMD_EXIT:
            Reply(S_OK);
            break;
        case CMD_RUN:
        case CMD_PAUSE:
            Reply(S_OK);
            DoBufferProcessingLoop();
            continue;
        case CMD_STOP:
            Reply(S_OK);
            continue;
        default:
            Reply(static_cast<DWORD>(E_NOTIMPL));
            continue;
        }
        break;
    }
    hr = OnThreadDestroy();
    return SUCCEEDED(hr) ? 0 : 1;
}

HRESULT CSourceStream::DoBufferProcessingLoop()
{
    OnThreadStartPlay();
    DWORD com = 0;
    do {
        while (!CheckRequest(&com)) {
            IMediaSample* pSample = nullptr;
            HRESULT hr = GetDeliveryBuffer(&pSample, nullptr, nullptr, 0);
            if (FAILED(hr)) {
                m_pTickClock->Sleep(1);
                continue;  // the request check above ends the loop at stop
            }
            hr = FillBuffer(pSample);
            if (hr == S_SOURCE_NO_SAMPLE) {
                pSample->Release();
                continue;  // the request check above answers what interrupted it
            }
            if (hr == S_OK) {
                hr = Deliver(pSample);
                pSample->Release();
                // Downstream refused: wait for the next command instead of spinning.
                if (hr != S_OK) return S_OK;
            } else if (hr == S_FALSE) {
                pSample->Release();
                DeliverEndOfStream();
                return S_OK;
            } else {
                pSample->Release();
                DeliverEndOfStream();
                return hr;
            }
        }
        if (com == CMD_RUN || com == CMD_PAUSE) {
            Reply(S_OK);
        } else if (com != CMD_STOP) {
            Reply(static_cast<DWORD>(E_UNEXPECTED));
        }
    } while (com != CMD_STOP);
    return S_FALSE;  // the stop stays pending for ThreadProc to answer
}

HRESULT CSourceStream::CheckMediaType(const CMediaType* pMediaType)
{
    CAutoLock lock(m_pFilter->pStateLock());
    CMediaType mt;
    GetMediaType(&mt);
    return mt == *pMediaType ? S_OK : E_FAIL;
}

HRESULT CSourceStream::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    return GetMediaType(pMediaType);
}

HRESULT CSourceStream::GetMediaType(CMediaType*)
{
    return E_UNEXPECTED;
}
