#include "TestPushSource.h"

#include <cstring>

namespace dshowtest {

constexpr CLSID CLSID_TestPushSource {0x7E57C0DE, 0x0005, 0x0006, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}};

CTestPushPin::CTestPushPin(CTestPushSource* pFilter, CCritSec* pLock)
    : CBaseOutputPin(L"CTestPushPin", pFilter, pLock, nullptr, L"Out"), m_pSource(pFilter)
{
}

HRESULT CTestPushPin::CheckMediaType(const CMediaType* pmt)
{
    for (const CMediaType& mt : m_pSource->m_types)
        if (mt == *pmt) return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTestPushPin::GetMediaType(int iPosition, CMediaType* pmt)
{
    if (iPosition < 0) return E_INVALIDARG;
    if (static_cast<std::size_t>(iPosition) >= m_pSource->m_types.size()) return VFW_S_NO_MORE_ITEMS;
    *pmt = m_pSource->m_types[iPosition];
    return S_OK;
}

HRESULT CTestPushPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp)
{
    pProp->cBuffers = 2;
    pProp->cbBuffer = m_pSource->m_cbBuffer;
    ALLOCATOR_PROPERTIES actual {};
    return pAlloc->SetProperties(pProp, &actual);
}

CTestPushSource::CTestPushSource()
    : CBaseFilter(L"CTestPushSource", nullptr, &m_lock, CLSID_TestPushSource), m_pin(this, &m_lock)
{
    NonDelegatingAddRef();  // the test's own reference
}

CTestPushSource::~CTestPushSource() = default;

CBasePin* CTestPushSource::GetPin(int n)
{
    return n == 0 ? &m_pin : nullptr;
}

HRESULT CTestPushSource::Push(const void* data, std::size_t size, const REFERENCE_TIME* start,
                              const REFERENCE_TIME* stop, bool syncPoint)
{
    IMediaSample* sample = nullptr;
    HRESULT hr = m_pin.GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    if (static_cast<LONG>(size) > sample->GetSize()) {
        sample->Release();
        return VFW_E_BUFFER_OVERFLOW;
    }
    if (size) std::memcpy(p, data, size);
    sample->SetActualDataLength(static_cast<LONG>(size));
    if (start) {
        REFERENCE_TIME s = *start, e = stop ? *stop : *start;
        sample->SetTime(&s, &e);
    }
    sample->SetSyncPoint(syncPoint);
    hr = m_pin.Deliver(sample);
    sample->Release();
    return hr;
}

}  // namespace dshowtest
