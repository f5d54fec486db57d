#include "platform/dshow/FilterGraph.h"

#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/dshow/MediaType.h"
#include "platform/dshow/PinOwner.h"

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <functional>
#include <new>
#include <set>

namespace {

constexpr REFERENCE_TIME kStartDelay = 10 * 10000;  // 10 ms for every filter to get going

class CEnumFilters final : public IEnumFilters {
public:
    explicit CEnumFilters(std::vector<ComPtr<IBaseFilter>> filters) : m_filters(std::move(filters)) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IEnumFilters) return GetInterface(this, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++m_cRef); }
    ULONG Release() override
    {
        LONG n = --m_cRef;
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT Next(ULONG c, IBaseFilter** pp, ULONG* pcFetched) override
    {
        if (!pp) return E_POINTER;
        if (!pcFetched && c != 1) return E_INVALIDARG;
        ULONG n = 0;
        while (n < c && m_pos < m_filters.size()) m_filters[m_pos++].CopyTo(&pp[n++]);
        if (pcFetched) *pcFetched = n;
        return n == c ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG c) override
    {
        m_pos = std::min(m_filters.size(), m_pos + c);
        return m_pos < m_filters.size() ? S_OK : S_FALSE;
    }
    HRESULT Reset() override { m_pos = 0; return S_OK; }
    HRESULT Clone(IEnumFilters** pp) override
    {
        if (!pp) return E_POINTER;
        auto* p = new (std::nothrow) CEnumFilters(m_filters);
        if (!p) return E_OUTOFMEMORY;
        p->m_pos = m_pos;
        *pp = p;
        return S_OK;
    }

private:
    ~CEnumFilters() = default;
    std::atomic<LONG> m_cRef {1};
    std::vector<ComPtr<IBaseFilter>> m_filters;
    std::size_t m_pos = 0;
};

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* pFilter)
{
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> pEnum;
    if (FAILED(pFilter->EnumPins(pEnum.ReleaseAndGetAddressOf())) || !pEnum) return pins;
    ComPtr<IPin> pin;
    ULONG fetched = 0;
    while (pEnum->Next(1, pin.ReleaseAndGetAddressOf(), &fetched) == S_OK && fetched == 1) pins.push_back(pin);
    return pins;
}

} // namespace

CFilterGraph::CFilterGraph(IUnknown* pUnk) : CUnknown(L"CFilterGraph", pUnk) {}

CFilterGraph::~CFilterGraph()
{
    ChangeState(State_Stopped, 0);
    for (Entry& e : m_filters) DisconnectAll(e.filter.Get());
    for (Entry& e : m_filters) e.filter->JoinFilterGraph(nullptr, nullptr);
    m_filters.clear();
}

HRESULT CFilterGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IGraphBuilder) return GetInterface(static_cast<IGraphBuilder*>(this), ppv);
    if (riid == IID_IFilterGraph) return GetInterface(static_cast<IFilterGraph*>(this), ppv);
    if (riid == IID_IMediaControl) return GetInterface(static_cast<IMediaControl*>(this), ppv);
    if (riid == IID_IMediaFilter) return GetInterface(static_cast<IMediaFilter*>(this), ppv);
    if (riid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), ppv);
    if (riid == IID_IMediaEventSink) return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
    if (riid == IID_IMediaEvent) return GetInterface(static_cast<IMediaEvent*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

bool CFilterGraph::Contains(IBaseFilter* pFilter) const
{
    return std::any_of(m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.filter.Get() == pFilter; });
}

bool CFilterGraph::PinInGraph(IPin* pPin) const
{
    ComPtr<IBaseFilter> owner = OwnerOf(pPin);
    return owner && Contains(owner.Get());
}

std::wstring CFilterGraph::UniqueName(LPCWSTR pName) const
{
    std::wstring base = pName && *pName ? pName : L"Filter";
    auto taken = [&](const std::wstring& n) {
        return std::any_of(m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.name == n; });
    };
    if (!taken(base)) return base;
    for (int i = 1;; ++i) {
        wchar_t suffix[16];
        std::swprintf(suffix, 16, L" %04d", i);
        if (!taken(base + suffix)) return base + suffix;
    }
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName)
{
    if (!pFilter) return E_POINTER;
    CAutoLock lock(&m_lock);
    if (Contains(pFilter)) return VFW_E_DUPLICATE_NAME_FILTER;
    std::wstring name = UniqueName(pName);
    HRESULT hr = pFilter->JoinFilterGraph(static_cast<IGraphBuilder*>(this), name.c_str());
    if (FAILED(hr)) return hr;
    if (m_clock) pFilter->SetSyncSource(m_clock.Get());
    bool renamed = pName && name != pName;
    m_filters.push_back({ComPtr<IBaseFilter>(pFilter), std::move(name)});
    return renamed ? VFW_S_DUPLICATE_NAME : S_OK;
}

void CFilterGraph::DisconnectAll(IBaseFilter* pFilter)
{
    for (ComPtr<IPin>& pin : PinsOf(pFilter)) {
        ComPtr<IPin> other;
        if (SUCCEEDED(pin->ConnectedTo(other.ReleaseAndGetAddressOf())) && other) {
            other->Disconnect();
            pin->Disconnect();
        }
    }
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* pFilter)
{
    if (!pFilter) return E_POINTER;
    CAutoLock lock(&m_lock);
    auto it = std::find_if(m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.filter.Get() == pFilter; });
    if (it == m_filters.end()) return VFW_E_NOT_FOUND;
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    DisconnectAll(pFilter);
    pFilter->SetSyncSource(nullptr);
    pFilter->JoinFilterGraph(nullptr, nullptr);
    m_filters.erase(it);
    return S_OK;
}

HRESULT CFilterGraph::EnumFilters(IEnumFilters** ppEnum)
{
    if (!ppEnum) return E_POINTER;
    CAutoLock lock(&m_lock);
    std::vector<ComPtr<IBaseFilter>> filters;
    for (const Entry& e : m_filters) filters.push_back(e.filter);
    *ppEnum = new (std::nothrow) CEnumFilters(std::move(filters));
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT CFilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter)
{
    if (!pName || !ppFilter) return E_POINTER;
    CAutoLock lock(&m_lock);
    *ppFilter = nullptr;
    for (const Entry& e : m_filters)
        if (e.name == pName) return e.filter.CopyTo(ppFilter);
    return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt)
{
    if (!ppinOut || !ppinIn) return E_POINTER;
    CAutoLock lock(&m_lock);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!PinInGraph(ppinOut) || !PinInGraph(ppinIn)) return VFW_E_NOT_IN_GRAPH;
    PIN_DIRECTION dir;
    HRESULT hr = ppinOut->QueryDirection(&dir);
    if (FAILED(hr)) return hr;
    if (dir != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    return ppinOut->Connect(ppinIn, pmt);
}

HRESULT CFilterGraph::Connect(IPin* ppinOut, IPin* ppinIn)
{
    return ConnectDirect(ppinOut, ppinIn, nullptr);
}

HRESULT CFilterGraph::Reconnect(IPin* ppin)
{
    if (!ppin) return E_POINTER;
    CAutoLock lock(&m_lock);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    ComPtr<IPin> other;
    HRESULT hr = ppin->ConnectedTo(other.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    AM_MEDIA_TYPE mt {};
    hr = ppin->ConnectionMediaType(&mt);
    if (FAILED(hr)) return hr;
    PIN_DIRECTION dir;
    ppin->QueryDirection(&dir);
    IPin* out = dir == PINDIR_OUTPUT ? ppin : other.Get();
    IPin* in = dir == PINDIR_OUTPUT ? other.Get() : ppin;
    out->Disconnect();
    in->Disconnect();
    hr = out->Connect(in, &mt);
    FreeMediaType(mt);
    return hr;
}

HRESULT CFilterGraph::Disconnect(IPin* ppin)
{
    if (!ppin) return E_POINTER;
    CAutoLock lock(&m_lock);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    return ppin->Disconnect();
}

HRESULT CFilterGraph::SetDefaultSyncSource()
{
    ComPtr<IReferenceClock> clock;
    HRESULT hr = CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                                  clock.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) hr = CreateSystemClock(nullptr, IID_IReferenceClock, clock.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) return hr;
    return SetSyncSource(clock.Get());
}

std::vector<IBaseFilter*> CFilterGraph::DownstreamFirst() const
{
    std::vector<IBaseFilter*> order;
    std::set<IBaseFilter*> visited;
    std::function<void(IBaseFilter*)> visit = [&](IBaseFilter* f) {
        if (!visited.insert(f).second) return;
        for (ComPtr<IPin>& pin : PinsOf(f)) {
            PIN_DIRECTION dir;
            ComPtr<IPin> other;
            if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_OUTPUT) continue;
            if (FAILED(pin->ConnectedTo(other.ReleaseAndGetAddressOf())) || !other) continue;
            ComPtr<IBaseFilter> next = OwnerOf(other.Get());
            if (next && Contains(next.Get())) visit(next.Get());
        }
        order.push_back(f);  // after everything it feeds
    };
    for (const Entry& e : m_filters) visit(e.filter.Get());
    return order;
}

HRESULT CFilterGraph::ChangeState(FILTER_STATE target, REFERENCE_TIME tStart)
{
    HRESULT hrResult = S_OK;
    // Pausing and running start at the renderers, so each filter is ready for what reaches it.
    // Stopping starts at the sources: what the filters between still hold (frames being coded,
    // an encoder's last sound frames) drains into filters that still take it, and no source
    // waits on a stopped filter.
    std::vector<IBaseFilter*> order = DownstreamFirst();
    if (target == State_Stopped) std::reverse(order.begin(), order.end());
    for (IBaseFilter* f : order) {
        HRESULT hr = target == State_Stopped ? f->Stop() : target == State_Paused ? f->Pause() : f->Run(tStart);
        // Stopping goes on through failures so every filter ends stopped.
        if (FAILED(hr)) {
            if (SUCCEEDED(hrResult)) hrResult = hr;
            if (target != State_Stopped) return hrResult;
        }
    }
    return hrResult;
}

HRESULT CFilterGraph::Pause()
{
    CAutoLock lock(&m_lock);
    if (m_state == State_Paused) return S_OK;
    if (m_state == State_Stopped && !m_bClockSet && !m_clock) {
        HRESULT hr = SetDefaultSyncSource();
        if (FAILED(hr)) return hr;
    }
    if (m_state == State_Running && m_clock) m_clock->GetTime(&m_tPausedAt);
    HRESULT hr = ChangeState(State_Paused, 0);
    if (FAILED(hr)) {
        ChangeState(State_Stopped, 0);
        m_state = State_Stopped;
        return hr;
    }
    m_state = State_Paused;
    return S_OK;
}

HRESULT CFilterGraph::Run()
{
    CAutoLock lock(&m_lock);
    if (m_state == State_Running) return S_OK;
    bool fresh = m_state == State_Stopped;
    if (fresh) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    REFERENCE_TIME now = 0;
    if (m_clock) m_clock->GetTime(&now);
    // A resumed run continues the stream time where the pause left it.
    m_tStart = fresh || m_tPausedAt == 0 ? now + kStartDelay : m_tStart + (now - m_tPausedAt);
    return Run(m_tStart);
}

HRESULT CFilterGraph::Run(REFERENCE_TIME tStart)
{
    CAutoLock lock(&m_lock);
    if (m_state == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    m_tStart = tStart;
    HRESULT hr = ChangeState(State_Running, tStart);
    if (FAILED(hr)) {
        ChangeState(State_Stopped, 0);
        m_state = State_Stopped;
        return hr;
    }
    m_state = State_Running;
    return S_OK;
}

HRESULT CFilterGraph::Stop()
{
    CAutoLock lock(&m_lock);
    HRESULT hr = ChangeState(State_Stopped, 0);
    m_state = State_Stopped;
    m_tPausedAt = 0;
    return hr;
}

HRESULT CFilterGraph::GetState(LONG, OAFilterState* pfs)
{
    if (!pfs) return E_POINTER;
    CAutoLock lock(&m_lock);
    *pfs = m_state;
    return S_OK;
}

HRESULT CFilterGraph::GetState(DWORD, FILTER_STATE* State)
{
    if (!State) return E_POINTER;
    CAutoLock lock(&m_lock);
    *State = m_state;
    return S_OK;
}

HRESULT CFilterGraph::GetClassID(CLSID* pClassID)
{
    if (!pClassID) return E_POINTER;
    *pClassID = CLSID_FilterGraph;
    return S_OK;
}

HRESULT CFilterGraph::SetSyncSource(IReferenceClock* pClock)
{
    CAutoLock lock(&m_lock);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    for (const Entry& e : m_filters) {
        HRESULT hr = e.filter->SetSyncSource(pClock);
        if (FAILED(hr)) return hr;
    }
    m_clock = ComPtr<IReferenceClock>(pClock);
    m_bClockSet = true;
    return S_OK;
}

HRESULT CFilterGraph::GetSyncSource(IReferenceClock** pClock)
{
    if (!pClock) return E_POINTER;
    CAutoLock lock(&m_lock);
    return m_clock.CopyTo(pClock);
}

HRESULT CFilterGraph::Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2)
{
    {
        std::lock_guard lock(m_eventMutex);
        m_events.push_back({EventCode, EventParam1, EventParam2});
    }
    m_eventCv.notify_all();
    return S_OK;
}

HRESULT CFilterGraph::GetEvent(long* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, long msTimeout)
{
    if (!lEventCode || !lParam1 || !lParam2) return E_POINTER;
    std::unique_lock lock(m_eventMutex);
    auto ready = [&] { return !m_events.empty(); };
    if (msTimeout < 0) m_eventCv.wait(lock, ready);
    else if (!m_eventCv.wait_for(lock, std::chrono::milliseconds(msTimeout), ready)) return E_ABORT;
    Event e = m_events.front();
    m_events.pop_front();
    *lEventCode = e.code;
    *lParam1 = e.param1;
    *lParam2 = e.param2;
    return S_OK;
}

HRESULT CFilterGraph::WaitForCompletion(long msTimeout, long* pEvCode)
{
    if (!pEvCode) return E_POINTER;
    *pEvCode = 0;
    std::unique_lock lock(m_eventMutex);
    auto isEnd = [](const Event& e) {
        return e.code == EC_COMPLETE || e.code == EC_ERRORABORT || e.code == EC_USERABORT;
    };
    auto ready = [&] { return std::any_of(m_events.begin(), m_events.end(), isEnd); };
    if (msTimeout < 0) m_eventCv.wait(lock, ready);
    else if (!m_eventCv.wait_for(lock, std::chrono::milliseconds(msTimeout), ready)) return E_ABORT;
    auto it = std::find_if(m_events.begin(), m_events.end(), isEnd);
    *pEvCode = it->code;
    m_events.erase(it);
    return S_OK;
}

HRESULT CreateFilterGraph(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    return CreateComObject<CFilterGraph>(pUnkOuter, riid, ppv);
}
