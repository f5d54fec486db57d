#include "ScriptedSource.h"

namespace avitest {

constexpr CLSID CLSID_ScriptedSource {0x7E57C0DE, 0x0A71, 0x0001, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}};

CScriptedStream::CScriptedStream(CScriptedSource* pParent, LPCWSTR pName, const CMediaType& mt, LONG cbBuffer,
                                 int count, FillFunction fill)
    : CSourceStream(L"CScriptedStream", nullptr, pParent, pName), m_mt(mt), m_cbBuffer(cbBuffer), m_nCount(count),
      m_fill(std::move(fill))
{
}

std::vector<HRESULT> CScriptedStream::Results()
{
    std::lock_guard lock(m_mutex);
    return m_results;
}

HRESULT CScriptedStream::GetMediaType(CMediaType* pmt)
{
    *pmt = m_mt;
    return S_OK;
}

HRESULT CScriptedStream::CheckMediaType(const CMediaType* pmt)
{
    return *pmt == m_mt ? S_OK : E_FAIL;
}

HRESULT CScriptedStream::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp)
{
    pProp->cBuffers = 2;
    pProp->cbBuffer = m_cbBuffer;
    ALLOCATOR_PROPERTIES actual {};
    return pAlloc->SetProperties(pProp, &actual);
}

HRESULT CScriptedStream::OnThreadCreate()
{
    m_i = 0;
    m_samples = 0;
    std::lock_guard lock(m_mutex);
    m_results.clear();
    return S_OK;
}

HRESULT CScriptedStream::FillBuffer(IMediaSample* pSample)
{
    if (m_i >= m_nCount) return S_FALSE;
    BYTE* p = nullptr;
    pSample->GetPointer(&p);
    LONG used = m_fill(m_i, p, pSample->GetSize());
    pSample->SetActualDataLength(used);
    REFERENCE_TIME start, stop;
    if (m_nRate > 0) {
        start = m_samples * UNITS / m_nRate;
        m_samples += m_nSamplesPerPacket > 0 ? m_nSamplesPerPacket : used / m_nBlockAlign;
        stop = m_samples * UNITS / m_nRate;
    } else {
        start = m_i * m_rtFrame;
        stop = start + m_rtFrame;
    }
    pSample->SetTime(&start, &stop);
    pSample->SetSyncPoint(m_isSyncPoint(m_i) ? TRUE : FALSE);
    ++m_i;
    return S_OK;
}

HRESULT CScriptedStream::Deliver(IMediaSample* pSample)
{
    HRESULT hr = CSourceStream::Deliver(pSample);
    std::lock_guard lock(m_mutex);
    m_results.push_back(hr);
    return hr;
}

CScriptedSource::CScriptedSource() : CSource(L"CScriptedSource", nullptr, CLSID_ScriptedSource)
{
    NonDelegatingAddRef();  // the test's own reference
}

CScriptedStream* CScriptedSource::Add(LPCWSTR pName, const CMediaType& mt, LONG cbBuffer, int count, FillFunction fill)
{
    return new CScriptedStream(this, pName, mt, cbBuffer, count, std::move(fill));
}

} // namespace avitest
