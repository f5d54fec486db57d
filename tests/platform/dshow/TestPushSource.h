#pragma once
// Test support: a source filter whose output pin the test drives itself. It offers the types it
// is given, and each Push delivers one sample on the calling thread, so a test knows exactly
// what went downstream when the call returns.
#include "platform/dshow/BasePin.h"

#include <vector>

namespace dshowtest {

class CTestPushSource;

class CTestPushPin final : public CBaseOutputPin {
public:
    CTestPushPin(CTestPushSource* pFilter, CCritSec* pLock);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;

private:
    CTestPushSource* m_pSource;
};

class CTestPushSource final : public CBaseFilter {
public:
    CTestPushSource();
    ~CTestPushSource() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    CTestPushPin* OutputPin() { return &m_pin; }

    // Delivers one sample holding the bytes; a null start leaves the sample without times.
    HRESULT Push(const void* data, std::size_t size, const REFERENCE_TIME* start = nullptr,
                 const REFERENCE_TIME* stop = nullptr, bool syncPoint = true);
    HRESULT PushEndOfStream() { return m_pin.DeliverEndOfStream(); }

    // The types offered, in order (the pin accepts only these); the buffer size asked for.
    std::vector<CMediaType> m_types;
    LONG m_cbBuffer = 1 << 20;

private:
    CCritSec m_lock;
    CTestPushPin m_pin;
};

}  // namespace dshowtest
