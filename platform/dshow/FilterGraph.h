#pragma once
// The Filter Graph: holds filters by name, connects pins directly (the output pin negotiates the
// type), and moves every filter through stop / pause / run, downstream filters first, on one
// reference clock (the system clock unless another was set). Filters report events through
// IMediaEventSink; the graph queues them for its owner (IMediaEvent).
#include "platform/com/ComPtr.h"
#include "platform/dshow/BaseUnknown.h"
#include "platform/dshow/CaptureInterfaces.h"
#include "platform/dshow/CritSec.h"
#include "platform/dshow/Interfaces.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class CFilterGraph final : public CUnknown, public IGraphBuilder, public IMediaControl, public IMediaFilter,
                           public IMediaEventSink, public IMediaEvent {
public:
    explicit CFilterGraph(IUnknown* pUnk);
    ~CFilterGraph() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFilterGraph
    HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    HRESULT RemoveFilter(IBaseFilter* pFilter) override;
    HRESULT EnumFilters(IEnumFilters** ppEnum) override;
    HRESULT FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    HRESULT ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Reconnect(IPin* ppin) override;
    HRESULT Disconnect(IPin* ppin) override;
    HRESULT SetDefaultSyncSource() override;
    // IGraphBuilder
    HRESULT Connect(IPin* ppinOut, IPin* ppinIn) override;
    HRESULT Render(IPin*) override { return E_NOTIMPL; }
    HRESULT RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    HRESULT SetLogFile(UINT_PTR) override { return S_OK; }
    HRESULT Abort() override { return S_OK; }
    HRESULT ShouldOperationContinue() override { return S_OK; }
    // IMediaControl (and IMediaFilter's run control, which is the same)
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG msTimeout, OAFilterState* pfs) override;
    HRESULT StopWhenReady() override { return Stop(); }
    // IMediaFilter
    HRESULT GetClassID(CLSID* pClassID) override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
    HRESULT SetSyncSource(IReferenceClock* pClock) override;
    HRESULT GetSyncSource(IReferenceClock** pClock) override;
    // IMediaEventSink: queues the event (any thread, never blocks on the graph's lock).
    HRESULT Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;
    // IMediaEvent. A negative timeout waits without end.
    HRESULT GetEventHandle(LONG_PTR*) override { return E_NOTIMPL; }
    HRESULT GetEvent(long* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, long msTimeout) override;
    // Waits for EC_COMPLETE, EC_ERRORABORT or EC_USERABORT and takes it from the queue.
    HRESULT WaitForCompletion(long msTimeout, long* pEvCode) override;
    HRESULT CancelDefaultHandling(long) override { return S_OK; }
    HRESULT RestoreDefaultHandling(long) override { return S_OK; }
    HRESULT FreeEventParams(long, LONG_PTR, LONG_PTR) override { return S_OK; }

private:
    struct Event {
        long code;
        LONG_PTR param1, param2;
    };
    struct Entry {
        ComPtr<IBaseFilter> filter;
        std::wstring name;
    };
    bool Contains(IBaseFilter* pFilter) const;
    bool PinInGraph(IPin* pPin) const;
    std::wstring UniqueName(LPCWSTR pName) const;
    // Downstream filters before the filters that feed them.
    std::vector<IBaseFilter*> DownstreamFirst() const;
    HRESULT ChangeState(FILTER_STATE target, REFERENCE_TIME tStart);
    void DisconnectAll(IBaseFilter* pFilter);

    CCritSec m_lock;
    std::vector<Entry> m_filters;
    FILTER_STATE m_state = State_Stopped;
    ComPtr<IReferenceClock> m_clock;
    bool m_bClockSet = false;  // SetSyncSource was called (null: run without a clock)
    REFERENCE_TIME m_tStart = 0;       // clock time of stream time 0
    REFERENCE_TIME m_tPausedAt = 0;    // clock time of the last pause from running

    std::mutex m_eventMutex;
    std::condition_variable m_eventCv;
    std::deque<Event> m_events;
};
