#include "platform/dshow/TransformFilter.h"

#include <cstring>

namespace {

// What delivery gives once the downstream filter has stopped (the graph stops downstream filters
// first): its allocator is decommitted or its pin refuses samples.
bool DownstreamStopped(HRESULT hr)
{
    return hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE || hr == VFW_E_NOT_CONNECTED;
}

}  // namespace

CTransformInputPin::CTransformInputPin(const wchar_t* pObjectName, CTransformFilter* pFilter, HRESULT* phr,
                                       LPCWSTR pName)
    : CBaseInputPin(pObjectName, pFilter, &pFilter->m_csFilter, phr, pName), m_pTransformFilter(pFilter)
{
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* pmt)
{
    HRESULT hr = m_pTransformFilter->CheckInputType(pmt);
    if (hr != S_OK) return hr;
    // A reconnected input must still suit the output type in place.
    if (m_pTransformFilter->m_pOutput->IsConnected())
        return m_pTransformFilter->CheckTransform(pmt, &m_pTransformFilter->m_pOutput->CurrentMediaType());
    return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* pmt)
{
    HRESULT hr = CBaseInputPin::SetMediaType(pmt);
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_INPUT, pmt);
}

HRESULT CTransformInputPin::CheckConnect(IPin* pPin)
{
    HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_INPUT, pPin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CheckConnect(pPin);
}

HRESULT CTransformInputPin::BreakConnect()
{
    m_pTransformFilter->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* pReceivePin)
{
    HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_INPUT, pReceivePin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CompleteConnect(pReceivePin);
}

HRESULT CTransformInputPin::Receive(IMediaSample* pSample)
{
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    if (m_pTransformFilter->m_bStopping || m_pTransformFilter->m_bEOSDelivered) return VFW_E_WRONG_STATE;
    if (!m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
    return m_pTransformFilter->Receive(pSample);
}

HRESULT CTransformInputPin::EndOfStream()
{
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    return m_pTransformFilter->EndOfStream();
}

HRESULT CTransformInputPin::BeginFlush()
{
    CAutoLock lock(m_pLock);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
    HRESULT hr = CBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->BeginFlush();
}

HRESULT CTransformInputPin::EndFlush()
{
    CAutoLock lock(m_pLock);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
    HRESULT hr = m_pTransformFilter->EndFlush();
    if (FAILED(hr)) return hr;
    return CBaseInputPin::EndFlush();
}

HRESULT CTransformInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    CBasePin::NewSegment(tStart, tStop, dRate);
    return m_pTransformFilter->NewSegment(tStart, tStop, dRate);
}

// ---------------------------------------------------------------------------------------------

CTransformOutputPin::CTransformOutputPin(const wchar_t* pObjectName, CTransformFilter* pFilter, HRESULT* phr,
                                         LPCWSTR pName)
    : CBaseOutputPin(pObjectName, pFilter, &pFilter->m_csFilter, phr, pName), m_pTransformFilter(pFilter)
{
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pPin)
{
    // The output types follow from the input type.
    if (!m_pTransformFilter->m_pInput->IsConnected()) return E_UNEXPECTED;
    HRESULT hr = CBaseOutputPin::CheckConnect(pPin);
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->CheckConnect(PINDIR_OUTPUT, pPin);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* pmt)
{
    if (!m_pTransformFilter->m_pInput->IsConnected()) return E_UNEXPECTED;
    return m_pTransformFilter->CheckTransform(&m_pTransformFilter->m_pInput->CurrentMediaType(), pmt);
}

HRESULT CTransformOutputPin::GetMediaType(int iPosition, CMediaType* pmt)
{
    if (!m_pTransformFilter->m_pInput->IsConnected()) return E_UNEXPECTED;
    return m_pTransformFilter->GetMediaType(iPosition, pmt);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* pmt)
{
    HRESULT hr = CBaseOutputPin::SetMediaType(pmt);
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_OUTPUT, pmt);
}

HRESULT CTransformOutputPin::BreakConnect()
{
    m_pTransformFilter->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* pReceivePin)
{
    HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_OUTPUT, pReceivePin);
    if (FAILED(hr)) return hr;
    return CBaseOutputPin::CompleteConnect(pReceivePin);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp)
{
    return m_pTransformFilter->DecideBufferSize(pAlloc, pProp);
}

// ---------------------------------------------------------------------------------------------

CTransformFilter::CTransformFilter(const wchar_t* pName, IUnknown* pUnk, REFCLSID clsid)
    : CBaseFilter(pName, pUnk, &m_csFilter, clsid)
{
    m_pInput = new CTransformInputPin(L"Transform input pin", this, nullptr, L"XForm In");
    m_pOutput = new CTransformOutputPin(L"Transform output pin", this, nullptr, L"XForm Out");
}

CTransformFilter::~CTransformFilter()
{
    delete m_pOutput;
    delete m_pInput;
}

CBasePin* CTransformFilter::GetPin(int n)
{
    if (n == 0) return m_pInput;
    if (n == 1) return m_pOutput;
    return nullptr;
}

HRESULT CTransformFilter::Pause()
{
    CAutoLock lock(&m_csFilter);
    bool starting = m_State == State_Stopped;
    if (starting) {
        m_bEOSDelivered = false;
        if (m_pInput->IsConnected()) {
            HRESULT hr = StartStreaming();
            if (FAILED(hr)) return hr;
        }
    }
    HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr) && starting && m_pInput->IsConnected()) StopStreaming();
    return hr;
}

HRESULT CTransformFilter::Stop()
{
    CAutoLock lock(&m_csFilter);
    if (m_State == State_Stopped) return S_OK;
    HRESULT hrResult = S_OK;
    m_bStopping = true;
    // Decommitting the input allocator wakes an upstream thread waiting for one of our buffers.
    if (m_pInput->IsConnected()) m_pInput->Inactive();
    {
        CAutoLock receiving(&m_csReceive);
        if (m_pInput->IsConnected() && m_pOutput->IsConnected() && !m_bEOSDelivered) {
            HRESULT hr = Drain();
            if (FAILED(hr) && !DownstreamStopped(hr)) hrResult = hr;
        }
        if (m_pOutput->IsConnected()) m_pOutput->Inactive();
        if (m_pInput->IsConnected()) {
            HRESULT hr = StopStreaming();
            if (FAILED(hr) && SUCCEEDED(hrResult)) hrResult = hr;
        }
        m_State = State_Stopped;
    }
    m_bStopping = false;
    return hrResult;
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*)
{
    return E_UNEXPECTED;  // a filter either transforms one to one or overrides Receive
}

HRESULT CTransformFilter::Receive(IMediaSample* pSample)
{
    IMediaSample* pOut = nullptr;
    HRESULT hr = InitializeOutputSample(pSample, &pOut);
    if (FAILED(hr)) return hr;
    hr = Transform(pSample, pOut);
    if (hr == S_OK) hr = m_pOutput->Deliver(pOut);
    else if (hr == S_FALSE) hr = S_OK;
    pOut->Release();
    return hr;
}

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* pIn, IMediaSample** ppOut)
{
    if (!ppOut) return E_POINTER;
    *ppOut = nullptr;
    IMediaSample* pOut = nullptr;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(&pOut, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    if (!pOut) return E_UNEXPECTED;
    if (pIn) {
        REFERENCE_TIME start = 0, stop = 0;
        hr = pIn->GetTime(&start, &stop);
        if (hr == S_OK) pOut->SetTime(&start, &stop);
        else if (hr == VFW_S_NO_STOP_TIME) pOut->SetTime(&start, nullptr);
        pOut->SetSyncPoint(pIn->IsSyncPoint() == S_OK);
        pOut->SetDiscontinuity(pIn->IsDiscontinuity() == S_OK);
        pOut->SetPreroll(pIn->IsPreroll() == S_OK);
    }
    *ppOut = pOut;
    return S_OK;
}

HRESULT CTransformFilter::DeliverOutput(const BYTE* pData, LONG cbData, REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                        bool bSyncPoint)
{
    return DeliverOutput(pData, cbData, &tStart, &tStop, bSyncPoint, false);
}

HRESULT CTransformFilter::DeliverOutput(const BYTE* pData, LONG cbData, const REFERENCE_TIME* ptStart,
                                        const REFERENCE_TIME* ptStop, bool bSyncPoint, bool bDiscontinuity)
{
    if (cbData < 0 || (cbData > 0 && !pData)) return E_INVALIDARG;
    IMediaSample* pOut = nullptr;
    HRESULT hr = InitializeOutputSample(nullptr, &pOut);
    if (FAILED(hr)) return hr;
    BYTE* p = nullptr;
    hr = pOut->GetPointer(&p);
    if (SUCCEEDED(hr) && cbData > pOut->GetSize()) hr = VFW_E_BUFFER_OVERFLOW;
    if (SUCCEEDED(hr)) {
        if (cbData > 0) std::memcpy(p, pData, static_cast<std::size_t>(cbData));
        hr = pOut->SetActualDataLength(cbData);
    }
    if (SUCCEEDED(hr) && ptStart) {
        REFERENCE_TIME tStart = *ptStart, tStop = ptStop ? *ptStop : 0;
        hr = pOut->SetTime(&tStart, ptStop ? &tStop : nullptr);
    }
    if (SUCCEEDED(hr)) hr = pOut->SetSyncPoint(bSyncPoint);
    if (SUCCEEDED(hr)) hr = pOut->SetDiscontinuity(bDiscontinuity);
    if (SUCCEEDED(hr)) hr = m_pOutput->Deliver(pOut);
    pOut->Release();
    return hr;
}

HRESULT CTransformFilter::SetMediaType(PIN_DIRECTION, const CMediaType*)
{
    return S_OK;
}

HRESULT CTransformFilter::CheckConnect(PIN_DIRECTION, IPin*)
{
    return S_OK;
}

HRESULT CTransformFilter::BreakConnect(PIN_DIRECTION)
{
    return S_OK;
}

HRESULT CTransformFilter::CompleteConnect(PIN_DIRECTION, IPin*)
{
    return S_OK;
}

HRESULT CTransformFilter::EndOfStream()
{
    // Whatever the filter still holds goes out before the end, even if that failed.
    HRESULT hr = S_OK;
    if (!m_bEOSDelivered) hr = Drain();
    m_bEOSDelivered = true;
    HRESULT hrEnd = m_pOutput->DeliverEndOfStream();
    return FAILED(hr) ? hr : hrEnd;
}

HRESULT CTransformFilter::BeginFlush()
{
    return m_pOutput->DeliverBeginFlush();
}

HRESULT CTransformFilter::EndFlush()
{
    return m_pOutput->DeliverEndFlush();
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    if (!m_pOutput->IsConnected()) return S_OK;
    IPin* peer = m_pOutput->GetConnected();
    return peer->NewSegment(tStart, tStop, dRate);
}
