#include "platform/dshow/MemAllocator.h"

#include <algorithm>
#include <new>

CMediaSample::CMediaSample(CMemAllocator* pAllocator, BYTE* pBuffer, LONG length)
    : m_pAllocator(pAllocator), m_pBuffer(pBuffer), m_cbBuffer(length), m_lActual(length)
{
}

HRESULT CMediaSample::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMediaSample) {
        *ppv = static_cast<IMediaSample*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef()
{
    return static_cast<ULONG>(++m_cRef);
}

ULONG CMediaSample::Release()
{
    LONG n = --m_cRef;
    if (n == 0) m_pAllocator->ReleaseBuffer(this);
    return static_cast<ULONG>(n);
}

HRESULT CMediaSample::GetPointer(BYTE** ppBuffer)
{
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = m_pBuffer;
    return S_OK;
}

HRESULT CMediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd)
{
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    if (!m_bTimeValid) return VFW_E_SAMPLE_TIME_NOT_SET;
    *pTimeStart = m_tStart;
    *pTimeEnd = m_bStopValid ? m_tStop : m_tStart + 1;
    return m_bStopValid ? S_OK : VFW_S_NO_STOP_TIME;
}

HRESULT CMediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd)
{
    if (!pTimeStart) {
        m_bTimeValid = m_bStopValid = false;
        return S_OK;
    }
    if (pTimeEnd && *pTimeEnd < *pTimeStart) return VFW_E_START_TIME_AFTER_END;
    m_tStart = *pTimeStart;
    m_bTimeValid = true;
    m_bStopValid = pTimeEnd != nullptr;
    if (pTimeEnd) m_tStop = *pTimeEnd;
    return S_OK;
}

HRESULT CMediaSample::SetActualDataLength(LONG lLen)
{
    if (lLen < 0 || lLen > m_cbBuffer) return VFW_E_BUFFER_OVERFLOW;
    m_lActual = lLen;
    return S_OK;
}

HRESULT CMediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType)
{
    if (!ppMediaType) return E_POINTER;
    *ppMediaType = nullptr;
    if (!m_pMediaType) return S_FALSE;
    *ppMediaType = CreateMediaType(m_pMediaType.get());
    return *ppMediaType ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType)
{
    if (!pMediaType) {
        m_pMediaType.reset();
        return S_OK;
    }
    auto copy = std::make_unique<CMediaType>();
    if (FAILED(copy->Set(*pMediaType))) return E_OUTOFMEMORY;
    m_pMediaType = std::move(copy);
    return S_OK;
}

HRESULT CMediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd)
{
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    if (!m_bMediaTimeValid) return VFW_E_MEDIA_TIME_NOT_SET;
    *pTimeStart = m_llMediaStart;
    *pTimeEnd = m_llMediaStop;
    return S_OK;
}

HRESULT CMediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd)
{
    if (!pTimeStart || !pTimeEnd) {
        m_bMediaTimeValid = false;
        return S_OK;
    }
    m_llMediaStart = *pTimeStart;
    m_llMediaStop = *pTimeEnd;
    m_bMediaTimeValid = true;
    return S_OK;
}

void CMediaSample::ResetProperties()
{
    m_lActual = m_cbBuffer;
    m_bTimeValid = m_bStopValid = m_bMediaTimeValid = false;
    m_bSyncPoint = m_bPreroll = m_bDiscontinuity = false;
    m_pMediaType.reset();
}

CMemAllocator::CMemAllocator(const wchar_t* pName, IUnknown* pUnk, HRESULT* phr) : CUnknown(pName, pUnk)
{
    if (phr) *phr = S_OK;
}

CMemAllocator::~CMemAllocator()
{
    Decommit();
}

HRESULT CMemAllocator::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter && riid != IID_IUnknown) return E_NOINTERFACE;
    HRESULT hr = S_OK;
    auto* p = new (std::nothrow) CMemAllocator(L"CMemAllocator", pUnkOuter, &hr);
    if (!p) return E_OUTOFMEMORY;
    p->NonDelegatingAddRef();
    if (SUCCEEDED(hr)) hr = p->NonDelegatingQueryInterface(riid, ppv);
    p->NonDelegatingRelease();
    return hr;
}

HRESULT CMemAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IMemAllocator) return GetInterface(static_cast<IMemAllocator*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual)
{
    if (!pRequest || !pActual) return E_POINTER;
    std::lock_guard lock(m_mutex);
    if (m_bCommitted) return VFW_E_ALREADY_COMMITTED;
    if (m_samples.size() != m_free.size()) return VFW_E_BUFFERS_OUTSTANDING;
    if (pRequest->cbAlign == 0 || (pRequest->cbAlign & (pRequest->cbAlign - 1)) != 0) return VFW_E_BADALIGN;
    if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0) return E_INVALIDARG;
    ALLOCATOR_PROPERTIES props = *pRequest;
    props.cBuffers = std::max(props.cBuffers, m_lMinimumBuffers);
    // Each buffer's prefix plus data is rounded up to the alignment.
    LONG size = pRequest->cbBuffer + pRequest->cbPrefix;
    size = (size + props.cbAlign - 1) & ~(props.cbAlign - 1);
    props.cbBuffer = size - pRequest->cbPrefix;
    m_props = props;
    m_bPropertiesSet = true;
    *pActual = props;
    return S_OK;
}

void CMemAllocator::SetMinimumBuffers(LONG cBuffers)
{
    std::lock_guard lock(m_mutex);
    m_lMinimumBuffers = std::max<LONG>(cBuffers, 0);
}

HRESULT CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps)
{
    if (!pProps) return E_POINTER;
    std::lock_guard lock(m_mutex);
    *pProps = m_props;
    return S_OK;
}

HRESULT CMemAllocator::Commit()
{
    std::lock_guard lock(m_mutex);
    if (m_bCommitted) return S_OK;
    if (!m_bPropertiesSet || m_props.cBuffers <= 0 || m_props.cbBuffer <= 0) return VFW_E_SIZENOTSET;
    if (m_samples.empty()) {
        std::size_t stride = static_cast<std::size_t>(m_props.cbBuffer) + m_props.cbPrefix;
        try {
            m_memory.assign(stride * m_props.cBuffers + m_props.cbAlign, 0);
            BYTE* base = m_memory.data();
            auto misalign = reinterpret_cast<std::uintptr_t>(base) % m_props.cbAlign;
            if (misalign) base += m_props.cbAlign - misalign;
            for (LONG i = 0; i < m_props.cBuffers; ++i) {
                m_samples.push_back(std::make_unique<CMediaSample>(this, base + i * stride + m_props.cbPrefix,
                                                                   m_props.cbBuffer));
                m_free.push_back(m_samples.back().get());
            }
        } catch (const std::bad_alloc&) {
            m_samples.clear();
            m_free.clear();
            m_memory.clear();
            return E_OUTOFMEMORY;
        }
    }
    m_bCommitted = true;
    return S_OK;
}

HRESULT CMemAllocator::Decommit()
{
    std::lock_guard lock(m_mutex);
    if (!m_bCommitted) return S_OK;
    m_bCommitted = false;
    FreeBuffersIfIdle();
    m_cvFree.notify_all();  // waiting GetBuffer calls fail now
    return S_OK;
}

void CMemAllocator::FreeBuffersIfIdle()
{
    // Samples still out keep the memory until they come back.
    if (!m_bCommitted && m_free.size() == m_samples.size()) {
        m_free.clear();
        m_samples.clear();
        m_memory.clear();
        m_memory.shrink_to_fit();
    }
}

HRESULT CMemAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME*, REFERENCE_TIME*, DWORD dwFlags)
{
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = nullptr;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_bCommitted) return VFW_E_NOT_COMMITTED;
        if (!m_free.empty()) break;
        if (dwFlags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
        m_cvFree.wait(lock);
    }
    CMediaSample* sample = m_free.back();
    m_free.pop_back();
    sample->ResetProperties();
    sample->m_cRef = 1;
    // A sample out keeps its allocator alive.
    AddRef();
    *ppBuffer = sample;
    return S_OK;
}

HRESULT CMemAllocator::ReleaseBuffer(IMediaSample* pBuffer)
{
    if (!pBuffer) return E_POINTER;
    {
        std::lock_guard lock(m_mutex);
        auto* sample = static_cast<CMediaSample*>(pBuffer);
        bool ours = false;
        for (const auto& s : m_samples) ours = ours || s.get() == sample;
        if (!ours) return E_INVALIDARG;
        m_free.push_back(sample);
        FreeBuffersIfIdle();
        m_cvFree.notify_one();
    }
    Release();
    return S_OK;
}
