#pragma once
// A source filter for AVI tests: each pin delivers a fixed number of samples of one media type,
// filled by the test, then ends its stream. Every Receive result is kept.
#include "platform/dshow/Source.h"

#include <functional>
#include <mutex>
#include <vector>

namespace avitest {

class CScriptedSource;

// Fills sample i (the buffer holds cbBuffer bytes); returns the bytes used.
using FillFunction = std::function<LONG(int i, BYTE* p, LONG cbBuffer)>;

class CScriptedStream final : public CSourceStream {
public:
    // Samples are timed start = i * duration (or sound: by the samples so far when perSample > 0).
    CScriptedStream(CScriptedSource* pParent, LPCWSTR pName, const CMediaType& mt, LONG cbBuffer, int count,
                    FillFunction fill);
    // Sound timing by the samples so far (the contract's time stamps): PCM counts bytes per
    // sample frame, compressed sound a fixed number of samples per packet.
    void SetSoundTiming(int rate, int blockAlign, int samplesPerPacket = 0)
    {
        m_nRate = rate;
        m_nBlockAlign = blockAlign;
        m_nSamplesPerPacket = samplesPerPacket;
    }
    REFERENCE_TIME m_rtFrame = UNITS / 15;
    std::function<bool(int i)> m_isSyncPoint = [](int) { return true; };

    std::vector<HRESULT> Results();

protected:
    HRESULT GetMediaType(CMediaType* pmt) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT FillBuffer(IMediaSample* pSample) override;
    HRESULT Deliver(IMediaSample* pSample) override;
    HRESULT OnThreadCreate() override;

private:
    CMediaType m_mt;
    LONG m_cbBuffer;
    int m_nCount;
    FillFunction m_fill;
    int m_i = 0;
    LONGLONG m_samples = 0;
    int m_nRate = 0, m_nBlockAlign = 0, m_nSamplesPerPacket = 0;
    std::mutex m_mutex;
    std::vector<HRESULT> m_results;
};

class CScriptedSource final : public CSource {
public:
    CScriptedSource();
    CScriptedStream* Add(LPCWSTR pName, const CMediaType& mt, LONG cbBuffer, int count, FillFunction fill);
};

} // namespace avitest
