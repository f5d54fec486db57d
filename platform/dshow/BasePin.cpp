#include "platform/dshow/BasePin.h"

#include "platform/com/TaskMemory.h"
#include "platform/dshow/MemAllocator.h"

#include <cwchar>
#include <new>

CBasePin::CBasePin(const wchar_t* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT*,
                   LPCWSTR pName, PIN_DIRECTION dir)
    : CUnknown(pObjectName, nullptr), m_strName(pName ? pName : L""), m_dir(dir), m_pLock(pLock), m_pFilter(pFilter)
{
}

CBasePin::~CBasePin()
{
    ReleaseConnection();
}

ULONG CBasePin::AddRef()
{
    return m_pFilter->AddRef();
}

ULONG CBasePin::Release()
{
    return m_pFilter->Release();
}

HRESULT CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IPin || riid == IID_IUnknown) return GetInterface(static_cast<IPin*>(this), ppv);
    if (riid == IID_IQualityControl) return GetInterface(static_cast<IQualityControl*>(this), ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

void CBasePin::ReleaseConnection()
{
    if (m_Connected) {
        m_Connected->Release();
        m_Connected = nullptr;
    }
}

HRESULT CBasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt)
{
    if (!pReceivePin) return E_POINTER;
    if (m_dir != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;  // connections start downstream-bound
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    CMediaType proposed;
    if (pmt && FAILED(proposed.Set(*pmt))) return E_OUTOFMEMORY;
    return AgreeMediaType(pReceivePin, pmt ? &proposed : nullptr);
}

// A proposed type that names its major and sub type (and format, if any) is tried alone;
// otherwise types are enumerated and only the named fields need to match.
static bool IsPartial(const CMediaType* pmt)
{
    return pmt && (pmt->majortype == GUID_NULL || pmt->subtype == GUID_NULL || pmt->formattype == GUID_NULL);
}

static bool MatchesPartial(const CMediaType& candidate, const CMediaType* pmt)
{
    if (!pmt) return true;
    return (pmt->majortype == GUID_NULL || pmt->majortype == candidate.majortype) &&
           (pmt->subtype == GUID_NULL || pmt->subtype == candidate.subtype) &&
           (pmt->formattype == GUID_NULL || pmt->formattype == candidate.formattype);
}

HRESULT CBasePin::AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt)
{
    if (pmt && !IsPartial(pmt)) return AttemptConnection(pReceivePin, pmt);

    HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
    // The receiving pin's preferences first, then ours.
    for (int i = 0; i < 2; ++i) {
        IEnumMediaTypes* pEnum = nullptr;
        HRESULT hr = i == 0 ? pReceivePin->EnumMediaTypes(&pEnum) : EnumMediaTypes(&pEnum);
        if (SUCCEEDED(hr) && pEnum) {
            hr = TryMediaTypes(pReceivePin, pmt, pEnum);
            pEnum->Release();
            if (SUCCEEDED(hr)) return S_OK;
            if (hr != E_FAIL && hr != E_INVALIDARG && hr != VFW_E_TYPE_NOT_ACCEPTED) hrFailure = hr;
        }
    }
    return hrFailure;
}

HRESULT CBasePin::TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum)
{
    HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (;;) {
        AM_MEDIA_TYPE* pType = nullptr;
        ULONG fetched = 0;
        if (pEnum->Next(1, &pType, &fetched) != S_OK || fetched != 1) return hrFailure;
        CMediaType candidate;
        HRESULT hrCopy = candidate.Set(*pType);
        DeleteMediaType(pType);
        if (FAILED(hrCopy)) return hrCopy;
        if (!MatchesPartial(candidate, pmt)) continue;
        HRESULT hr = AttemptConnection(pReceivePin, &candidate);
        if (SUCCEEDED(hr)) return hr;
        hrFailure = hr;
    }
}

HRESULT CBasePin::AttemptConnection(IPin* pReceivePin, const CMediaType* pmt)
{
    HRESULT hr = CheckConnect(pReceivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(pmt);
    if (hr != S_OK) {
        BreakConnect();
        return SUCCEEDED(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    m_Connected = pReceivePin;
    m_Connected->AddRef();
    hr = SetMediaType(pmt);
    if (SUCCEEDED(hr)) {
        hr = pReceivePin->ReceiveConnection(static_cast<IPin*>(this), pmt);
        if (SUCCEEDED(hr)) {
            hr = CompleteConnect(pReceivePin);
            if (SUCCEEDED(hr)) return hr;
            pReceivePin->Disconnect();
        }
    }
    BreakConnect();
    ReleaseConnection();
    m_mt = CMediaType();
    return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CBasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt)
{
    if (!pConnector || !pmt) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    PIN_DIRECTION dir;
    HRESULT hr = pConnector->QueryDirection(&dir);
    if (FAILED(hr)) return hr;
    if (dir == m_dir) return VFW_E_INVALID_DIRECTION;
    hr = CheckConnect(pConnector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    CMediaType type;
    if (FAILED(type.Set(*pmt))) return E_OUTOFMEMORY;
    hr = CheckMediaType(&type);
    if (hr != S_OK) {
        BreakConnect();
        return SUCCEEDED(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    m_Connected = pConnector;
    m_Connected->AddRef();
    hr = SetMediaType(&type);
    if (SUCCEEDED(hr)) hr = CompleteConnect(pConnector);
    if (FAILED(hr)) {
        BreakConnect();
        ReleaseConnection();
        m_mt = CMediaType();
    }
    return hr;
}

HRESULT CBasePin::Disconnect()
{
    CAutoLock lock(m_pLock);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    if (!m_Connected) return S_FALSE;
    HRESULT hr = BreakConnect();
    if (FAILED(hr)) return hr;
    ReleaseConnection();
    m_mt = CMediaType();
    return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pPin)
{
    if (!pPin) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pPin = m_Connected;
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    m_Connected->AddRef();
    return S_OK;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt)
{
    if (!pmt) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_Connected) {
        CMediaType empty;
        *pmt = empty;
        pmt->pbFormat = nullptr;
        pmt->cbFormat = 0;
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* pInfo)
{
    if (!pInfo) return E_POINTER;
    pInfo->pFilter = m_pFilter;
    m_pFilter->AddRef();
    pInfo->dir = m_dir;
    CopyWideName(pInfo->achName, MAX_PIN_NAME, m_strName);
    return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* pPinDir)
{
    if (!pPinDir) return E_POINTER;
    *pPinDir = m_dir;
    return S_OK;
}

HRESULT CBasePin::QueryId(LPWSTR* Id)
{
    if (!Id) return E_POINTER;
    std::size_t bytes = (m_strName.size() + 1) * sizeof(WCHAR);
    *Id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*Id) return E_OUTOFMEMORY;
    std::wmemcpy(*Id, m_strName.c_str(), m_strName.size() + 1);
    return S_OK;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt)
{
    if (!pmt) return E_POINTER;
    CMediaType type;
    if (FAILED(type.Set(*pmt))) return E_OUTOFMEMORY;
    HRESULT hr = CheckMediaType(&type);
    return hr == S_OK ? S_OK : S_FALSE;
}

HRESULT CBasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum)
{
    if (!ppEnum) return E_POINTER;
    *ppEnum = new (std::nothrow) CEnumMediaTypes(this);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    m_tStart = tStart;
    m_tStop = tStop;
    m_dRate = dRate;
    return S_OK;
}

HRESULT CBasePin::SetSink(IQualityControl* piqc)
{
    m_pQSink = piqc;  // not referenced: the sink outlives the connection
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*)
{
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::SetMediaType(const CMediaType* pmt)
{
    return m_mt.Set(*pmt);
}

HRESULT CBasePin::CheckConnect(IPin* pPin)
{
    PIN_DIRECTION dir;
    HRESULT hr = pPin->QueryDirection(&dir);
    if (FAILED(hr)) return hr;
    return dir == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

// ---------------------------------------------------------------------------------------------

CBaseOutputPin::CBaseOutputPin(const wchar_t* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                               LPCWSTR pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_OUTPUT)
{
}

CBaseOutputPin::~CBaseOutputPin()
{
    // A pin destroyed while still connected lets go of what the connection held.
    CBaseOutputPin::BreakConnect();
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pPin)
{
    HRESULT hr = CBasePin::CheckConnect(pPin);
    if (FAILED(hr)) return hr;
    IMemInputPin* pInput = nullptr;
    hr = pPin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&pInput));
    if (FAILED(hr) || !pInput) return hr == S_OK ? E_NOINTERFACE : hr;
    if (m_pInputPin) m_pInputPin->Release();
    m_pInputPin = pInput;
    return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*)
{
    IMemAllocator* pAlloc = nullptr;
    HRESULT hr = DecideAllocator(m_pInputPin, &pAlloc);
    if (FAILED(hr)) return hr;
    if (m_pAllocator) m_pAllocator->Release();
    m_pAllocator = pAlloc;
    return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect()
{
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    if (m_pInputPin) {
        m_pInputPin->Release();
        m_pInputPin = nullptr;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** ppAlloc)
{
    return CMemAllocator::CreateInstance(nullptr, IID_IMemAllocator, reinterpret_cast<void**>(ppAlloc));
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc)
{
    if (!pPin || !ppAlloc) return E_POINTER;
    *ppAlloc = nullptr;
    ALLOCATOR_PROPERTIES prop {};
    pPin->GetAllocatorRequirements(&prop);  // E_NOTIMPL leaves the zeros
    if (prop.cbAlign == 0) prop.cbAlign = 1;

    // The input pin's own allocator first, then one of ours.
    for (int attempt = 0; attempt < 2; ++attempt) {
        HRESULT hr = attempt == 0 ? pPin->GetAllocator(ppAlloc) : InitAllocator(ppAlloc);
        if (SUCCEEDED(hr) && *ppAlloc) {
            ALLOCATOR_PROPERTIES request = prop;
            hr = DecideBufferSize(*ppAlloc, &request);
            if (SUCCEEDED(hr)) {
                hr = pPin->NotifyAllocator(*ppAlloc, FALSE);
                if (SUCCEEDED(hr)) return S_OK;
            }
        }
        if (*ppAlloc) {
            (*ppAlloc)->Release();
            *ppAlloc = nullptr;
        }
        if (attempt == 1) return FAILED(hr) ? hr : VFW_E_NO_ALLOCATOR;
    }
    return VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::Active()
{
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive()
{
    // Decommitting wakes a streaming thread blocked in GetBuffer.
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                          REFERENCE_TIME* pEndTime, DWORD dwFlags)
{
    if (!ppSample) return E_POINTER;
    *ppSample = nullptr;
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->GetBuffer(ppSample, pStartTime, pEndTime, dwFlags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* pSample)
{
    if (!m_pInputPin) return VFW_E_NOT_CONNECTED;
    return m_pInputPin->Receive(pSample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream()
{
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    return m_Connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush()
{
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    return m_Connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush()
{
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    return m_Connected->EndFlush();
}

// ---------------------------------------------------------------------------------------------

CBaseInputPin::CBaseInputPin(const wchar_t* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                             LPCWSTR pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_INPUT)
{
}

CBaseInputPin::~CBaseInputPin()
{
    if (m_pAllocator) m_pAllocator->Release();
}

HRESULT CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin*>(this), ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseInputPin::GetAllocator(IMemAllocator** ppAllocator)
{
    if (!ppAllocator) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_pAllocator) {
        HRESULT hr = S_OK;
        auto* pAllocator = new (std::nothrow) CMemAllocator(L"CMemAllocator", nullptr, &hr);
        if (!pAllocator) return E_OUTOFMEMORY;
        pAllocator->NonDelegatingAddRef();
        if (FAILED(hr)) {
            pAllocator->NonDelegatingRelease();
            return hr;
        }
        pAllocator->SetMinimumBuffers(m_lMinimumBuffers);
        m_pAllocator = pAllocator;
    }
    *ppAllocator = m_pAllocator;
    m_pAllocator->AddRef();
    return S_OK;
}

HRESULT CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps)
{
    if (!pProps) return E_POINTER;
    if (m_lMinimumBuffers <= 0) return E_NOTIMPL;
    pProps->cBuffers = m_lMinimumBuffers;
    return S_OK;
}

HRESULT CBaseInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly)
{
    if (!pAllocator) return E_POINTER;
    CAutoLock lock(m_pLock);
    pAllocator->AddRef();
    if (m_pAllocator) m_pAllocator->Release();
    m_pAllocator = pAllocator;
    m_bReadOnly = bReadOnly != FALSE;
    return S_OK;
}

HRESULT CBaseInputPin::CheckStreaming()
{
    if (!IsConnected()) return VFW_E_NOT_CONNECTED;
    if (IsStopped()) return VFW_E_WRONG_STATE;
    if (m_bFlushing) return S_FALSE;
    if (m_bRunTimeError) return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

HRESULT CBaseInputPin::Receive(IMediaSample* pSample)
{
    if (!pSample) return E_POINTER;
    return CheckStreaming();
}

HRESULT CBaseInputPin::ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed)
{
    if (!pSamples || !nSamplesProcessed) return E_POINTER;
    HRESULT hr = S_OK;
    *nSamplesProcessed = 0;
    while (nSamples-- > 0) {
        hr = Receive(pSamples[*nSamplesProcessed]);
        if (hr != S_OK) break;
        ++*nSamplesProcessed;
    }
    return hr;
}

HRESULT CBaseInputPin::BeginFlush()
{
    m_bFlushing = true;
    return S_OK;
}

HRESULT CBaseInputPin::EndFlush()
{
    m_bFlushing = false;
    m_bRunTimeError = false;
    return S_OK;
}

HRESULT CBaseInputPin::BreakConnect()
{
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    return S_OK;
}

HRESULT CBaseInputPin::Inactive()
{
    m_bRunTimeError = false;
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    m_bFlushing = false;
    return m_pAllocator->Decommit();
}

HRESULT CBaseInputPin::CheckConnect(IPin* pPin)
{
    return CBasePin::CheckConnect(pPin);
}

// ---------------------------------------------------------------------------------------------

CEnumPins::CEnumPins(CBaseFilter* pFilter) : m_pFilter(pFilter)
{
    m_pFilter->AddRef();
}

CEnumPins::~CEnumPins()
{
    m_pFilter->Release();
}

HRESULT CEnumPins::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumPins) return GetInterface(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CEnumPins::Release()
{
    LONG n = --m_cRef;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT CEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched)
{
    if (!ppPins) return E_POINTER;
    if (!pcFetched && cPins != 1) return E_INVALIDARG;
    ULONG n = 0;
    while (n < cPins && m_nPosition < m_pFilter->GetPinCount()) {
        CBasePin* pin = m_pFilter->GetPin(m_nPosition++);
        if (!pin) continue;
        ppPins[n++] = pin;
        pin->AddRef();
    }
    if (pcFetched) *pcFetched = n;
    return n == cPins ? S_OK : S_FALSE;
}

HRESULT CEnumPins::Skip(ULONG cPins)
{
    int left = m_pFilter->GetPinCount() - m_nPosition;
    if (static_cast<LONG>(cPins) > left) return S_FALSE;
    m_nPosition += static_cast<int>(cPins);
    return S_OK;
}

HRESULT CEnumPins::Clone(IEnumPins** ppEnum)
{
    if (!ppEnum) return E_POINTER;
    auto* p = new (std::nothrow) CEnumPins(m_pFilter);
    if (!p) return E_OUTOFMEMORY;
    p->m_nPosition = m_nPosition;
    *ppEnum = p;
    return S_OK;
}

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pPin) : m_pPin(pPin)
{
    m_pPin->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes()
{
    m_pPin->Release();
}

HRESULT CEnumMediaTypes::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) return GetInterface(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CEnumMediaTypes::Release()
{
    LONG n = --m_cRef;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched)
{
    if (!ppMediaTypes) return E_POINTER;
    if (!pcFetched && cMediaTypes != 1) return E_INVALIDARG;
    ULONG n = 0;
    while (n < cMediaTypes) {
        CMediaType type;
        HRESULT hr = m_pPin->GetMediaType(m_nPosition, &type);
        if (hr != S_OK) break;  // VFW_S_NO_MORE_ITEMS or a failure ends the list
        ++m_nPosition;
        AM_MEDIA_TYPE* copy = CreateMediaType(&type);
        if (!copy) break;
        ppMediaTypes[n++] = copy;
    }
    if (pcFetched) *pcFetched = n;
    return n == cMediaTypes ? S_OK : S_FALSE;
}

HRESULT CEnumMediaTypes::Skip(ULONG cMediaTypes)
{
    m_nPosition += static_cast<int>(cMediaTypes);
    CMediaType type;
    return m_pPin->GetMediaType(m_nPosition - 1, &type) == S_OK ? S_OK : S_FALSE;
}

HRESULT CEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum)
{
    if (!ppEnum) return E_POINTER;
    auto* p = new (std::nothrow) CEnumMediaTypes(m_pPin);
    if (!p) return E_OUTOFMEMORY;
    p->m_nPosition = m_nPosition;
    *ppEnum = p;
    return S_OK;
}
