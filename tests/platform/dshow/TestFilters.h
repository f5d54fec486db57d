#pragma once
// Test support for media-graph tests: a scripted tick clock and a sink filter that records what
// it receives. Both implement the interfaces the real code uses.
#include "platform/dshow/BasePin.h"
#include "platform/dshow/TickClock.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace dshowtest {

// Time moves only when the test sets it or a sleeper sleeps; a hook sees every sleep.
class CScriptedClock : public ITickClock {
public:
    DWORD GetTickCount() override;
    void Sleep(DWORD ms) override;
    void Set(DWORD now);
    void Advance(DWORD ms);
    int Sleeps() const;
    DWORD SleptMs() const;
    // Called after each sleep with the new time (not under the clock's lock).
    void OnSleep(std::function<void(DWORD)> hook);

private:
    mutable std::mutex m_mutex;
    DWORD m_now = 0;
    int m_nSleeps = 0;
    DWORD m_dwSlept = 0;
    std::function<void(DWORD)> m_hook;
};

struct ReceivedSample {
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT timeResult = S_OK;
    bool syncPoint = false;
    std::vector<BYTE> data;
};

class CTestSink;

class CTestSinkPin final : public CBaseInputPin {
public:
    CTestSinkPin(CTestSink* pFilter, CCritSec* pLock, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;

private:
    CTestSink* m_pSink;
};

class CTestSink final : public CBaseFilter {
public:
    CTestSink();
    ~CTestSink() override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    IPin* InputPin() { return &m_pin; }
    HRESULT Stop() override;
    HRESULT Pause() override;

    // Which proposed types the pin accepts (all by default), and which it proposes itself.
    std::function<bool(const CMediaType&)> m_accept = [](const CMediaType&) { return true; };
    std::vector<CMediaType> m_preferred;
    bool m_bKeepData = false;
    // Received samples; WaitFor blocks until there are n or the timeout passes.
    std::vector<ReceivedSample> Samples();
    bool WaitFor(std::size_t n, int timeoutMs = 10000);
    // End-of-stream calls, each noted with the number of samples received before it.
    std::vector<std::size_t> EndsOfStream();
    // Every Stop and Pause call on the filter, in order, as 'S' / 'P', shared with other sinks.
    std::string* m_pEventLog = nullptr;
    char m_cName = '?';

private:
    friend class CTestSinkPin;
    void Record(ReceivedSample s);
    CCritSec m_lock;
    CTestSinkPin m_pin;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<ReceivedSample> m_samples;
    std::vector<std::size_t> m_endsOfStream;
};

}  // namespace dshowtest
