#include "TestFilters.h"

#include <chrono>
#include <cstring>

namespace dshowtest {

constexpr CLSID CLSID_TestSink {0x7E57C0DE, 0x0001, 0x0002, {0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A}};

DWORD CScriptedClock::GetTickCount()
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

void CScriptedClock::Sleep(DWORD ms)
{
    std::function<void(DWORD)> hook;
    DWORD now;
    {
        std::lock_guard lock(m_mutex);
        m_now += ms;
        m_dwSlept += ms;
        ++m_nSleeps;
        hook = m_hook;
        now = m_now;
    }
    if (hook) hook(now);
}

void CScriptedClock::Set(DWORD now)
{
    std::lock_guard lock(m_mutex);
    m_now = now;
}

void CScriptedClock::Advance(DWORD ms)
{
    std::lock_guard lock(m_mutex);
    m_now += ms;
}

int CScriptedClock::Sleeps() const
{
    std::lock_guard lock(m_mutex);
    return m_nSleeps;
}

DWORD CScriptedClock::SleptMs() const
{
    std::lock_guard lock(m_mutex);
    return m_dwSlept;
}

void CScriptedClock::OnSleep(std::function<void(DWORD)> hook)
{
    std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
}

CTestSinkPin::CTestSinkPin(CTestSink* pFilter, CCritSec* pLock, HRESULT* phr)
    : CBaseInputPin(L"CTestSinkPin", pFilter, pLock, phr, L"In"), m_pSink(pFilter)
{
}

HRESULT CTestSinkPin::CheckMediaType(const CMediaType* pmt)
{
    return m_pSink->m_accept(*pmt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTestSinkPin::GetMediaType(int iPosition, CMediaType* pmt)
{
    if (iPosition < 0) return E_INVALIDARG;
    if (static_cast<std::size_t>(iPosition) >= m_pSink->m_preferred.size()) return VFW_S_NO_MORE_ITEMS;
    *pmt = m_pSink->m_preferred[iPosition];
    return S_OK;
}

HRESULT CTestSinkPin::Receive(IMediaSample* pSample)
{
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    ReceivedSample s;
    s.timeResult = pSample->GetTime(&s.start, &s.stop);
    s.syncPoint = pSample->IsSyncPoint() == S_OK;
    if (m_pSink->m_bKeepData) {
        BYTE* p = nullptr;
        pSample->GetPointer(&p);
        s.data.assign(p, p + pSample->GetActualDataLength());
    }
    m_pSink->Record(std::move(s));
    return S_OK;
}

HRESULT CTestSinkPin::EndOfStream()
{
    std::lock_guard lock(m_pSink->m_mutex);
    m_pSink->m_endsOfStream.push_back(m_pSink->m_samples.size());
    m_pSink->m_cv.notify_all();
    return S_OK;
}

CTestSink::CTestSink() : CBaseFilter(L"CTestSink", nullptr, &m_lock, CLSID_TestSink), m_pin(this, &m_lock, nullptr)
{
    NonDelegatingAddRef();  // the test's own reference
}

CTestSink::~CTestSink() = default;

CBasePin* CTestSink::GetPin(int n)
{
    return n == 0 ? &m_pin : nullptr;
}

HRESULT CTestSink::Stop()
{
    if (m_pEventLog) *m_pEventLog += std::string(1, m_cName) + "S";
    return CBaseFilter::Stop();
}

HRESULT CTestSink::Pause()
{
    if (m_pEventLog) *m_pEventLog += std::string(1, m_cName) + "P";
    return CBaseFilter::Pause();
}

void CTestSink::Record(ReceivedSample s)
{
    std::lock_guard lock(m_mutex);
    m_samples.push_back(std::move(s));
    m_cv.notify_all();
}

std::vector<ReceivedSample> CTestSink::Samples()
{
    std::lock_guard lock(m_mutex);
    return m_samples;
}

std::vector<std::size_t> CTestSink::EndsOfStream()
{
    std::lock_guard lock(m_mutex);
    return m_endsOfStream;
}

bool CTestSink::WaitFor(std::size_t n, int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_samples.size() >= n; });
}

}  // namespace dshowtest
