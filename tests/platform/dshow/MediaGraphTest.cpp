#include "TestFilters.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/FilterGraph.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/dshow/MemAllocator.h"
#include "platform/dshow/Source.h"

#include <gtest/gtest.h>

#include <future>

#include <atomic>
#include <cstring>
#include <thread>

using namespace dshowtest;

namespace {

constexpr CLSID CLSID_TestSource {0x7E57C0DE, 0x0003, 0x0004, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}};

CMediaType VideoType(WORD bits, LONG width = 4, LONG height = 2)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    vih->bmiHeader = {40, width, height, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
    vih->bmiHeader.biSizeImage = GetBitmapSize(&vih->bmiHeader);
    GUID sub = GetBitmapSubtype(&vih->bmiHeader);
    mt.SetSubtype(&sub);
    mt.SetSampleSize(vih->bmiHeader.biSizeImage);
    return mt;
}

// Offers RGB32 then RGB24; fills each sample with its running number.
class CCountingStream final : public CSourceStream {
public:
    CCountingStream(CSource* pParent, ITickClock* pClock) : CSourceStream(L"count", nullptr, pParent, L"Out", pClock) {}
    HRESULT GetMediaType(int i, CMediaType* pmt) override
    {
        if (i < 0) return E_INVALIDARG;
        if (i > 1) return VFW_S_NO_MORE_ITEMS;
        *pmt = VideoType(i == 0 ? 32 : 24);
        return S_OK;
    }
    HRESULT CheckMediaType(const CMediaType* pmt) override
    {
        return *pmt->Subtype() == MEDIASUBTYPE_RGB32 || *pmt->Subtype() == MEDIASUBTYPE_RGB24 ? S_OK : E_INVALIDARG;
    }
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override
    {
        pProp->cBuffers = 2;
        pProp->cbBuffer = static_cast<LONG>(m_mt.GetSampleSize());
        ALLOCATOR_PROPERTIES actual {};
        return pAlloc->SetProperties(pProp, &actual);
    }
    HRESULT FillBuffer(IMediaSample* pSample) override
    {
        BYTE* p = nullptr;
        pSample->GetPointer(&p);
        DWORD n = m_nFilled++;
        std::memcpy(p, &n, sizeof(n));
        REFERENCE_TIME start = n * 10, stop = start + 10;
        pSample->SetTime(&start, &stop);
        return S_OK;
    }
    HRESULT OnThreadCreate() override { ++m_nCreated; return m_hrCreate; }
    HRESULT m_hrCreate = S_OK;
    HRESULT OnThreadDestroy() override { ++m_nDestroyed; return S_OK; }
    std::atomic<DWORD> m_nFilled {0};
    std::atomic<int> m_nCreated {0}, m_nDestroyed {0};
};

class CCountingSource final : public CSource {
public:
    explicit CCountingSource(ITickClock* pClock = nullptr) : CSource(L"source", nullptr, CLSID_TestSource)
    {
        m_pStream = new CCountingStream(this, pClock);
        NonDelegatingAddRef();
    }
    HRESULT Stop() override
    {
        if (m_pEventLog) *m_pEventLog += "sS";
        return CSource::Stop();
    }
    HRESULT Pause() override
    {
        if (m_pEventLog) *m_pEventLog += "sP";
        return CSource::Pause();
    }
    CCountingStream* m_pStream;
    std::string* m_pEventLog = nullptr;
};

ComPtr<IGraphBuilder> NewGraph()
{
    RegisterMediaGraphClasses();
    ComPtr<IGraphBuilder> graph;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph.ReleaseAndGetVoidAddressOf()), S_OK);
    return graph;
}

TEST(PinConnection, NegotiatesTheFirstTypeBothSidesAcceptAndUndoesFailedAttempts)
{
    CCountingSource source;
    CTestSink sink;
    IPin* out = source.m_pStream;
    // The sink proposes a type the source refuses, then accepts only RGB24 of the source's list.
    sink.m_preferred.push_back(VideoType(8));
    sink.m_accept = [](const CMediaType& mt) { return *mt.Subtype() == MEDIASUBTYPE_RGB24; };
    ASSERT_EQ(out->Connect(sink.InputPin(), nullptr), S_OK);
    AM_MEDIA_TYPE mt {};
    ASSERT_EQ(sink.InputPin()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24);
    FreeMediaType(mt);
    EXPECT_EQ(out->Connect(sink.InputPin(), nullptr), VFW_E_ALREADY_CONNECTED);
    IPin* peer = nullptr;
    ASSERT_EQ(out->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer, sink.InputPin());
    peer->Release();

    EXPECT_EQ(out->Disconnect(), S_OK);
    EXPECT_EQ(sink.InputPin()->Disconnect(), S_OK);
    EXPECT_EQ(out->Disconnect(), S_FALSE);

    sink.m_accept = [](const CMediaType&) { return false; };
    EXPECT_EQ(out->Connect(sink.InputPin(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_EQ(out->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(sink.InputPin()->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);

    // A full type is tried alone; a partial one filters the lists.
    sink.m_accept = [](const CMediaType&) { return true; };
    CMediaType rgb24 = VideoType(24);
    EXPECT_EQ(out->Connect(sink.InputPin(), &rgb24), S_OK);
    out->Disconnect();
    sink.InputPin()->Disconnect();
    CMediaType partial;
    partial.SetType(&MEDIATYPE_Video);
    partial.SetSubtype(&MEDIASUBTYPE_RGB24);
    EXPECT_EQ(out->Connect(sink.InputPin(), &partial), S_OK);
    ASSERT_EQ(out->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24);
    FreeMediaType(mt);
    out->Disconnect();
    sink.InputPin()->Disconnect();
    EXPECT_EQ(sink.InputPin()->Connect(out, nullptr), VFW_E_INVALID_DIRECTION) << "input to output is backwards";
}

TEST(FilterGraph, RunsAndPausesDownstreamFirstStopsSourcesFirstAndRestartsTheStream)
{
    // Filters on the stack outlive the graph that holds them.
    CCountingSource source;
    CTestSink sink;
    ComPtr<IGraphBuilder> graph = NewGraph();
    std::string events;
    source.m_pEventLog = &events;
    sink.m_pEventLog = &events;
    sink.m_cName = 'k';
    ASSERT_EQ(graph->AddFilter(&source, L"Source"), S_OK);
    ASSERT_EQ(graph->AddFilter(&sink, L"Sink"), S_OK);
    ASSERT_EQ(graph->Connect(source.m_pStream, sink.InputPin()), S_OK);
    ComPtr<IMediaControl> control;
    ASSERT_EQ(graph.As(control, IID_IMediaControl), S_OK);

    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(events, "kPsP") << "the sink is ready before the source starts";
    ASSERT_TRUE(sink.WaitFor(20));
    ASSERT_EQ(control->Pause(), S_OK);
    ASSERT_EQ(control->Run(), S_OK);
    events.clear();
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(events, "sSkS") << "the stop starts at the source";
    EXPECT_EQ(source.m_pStream->m_nCreated, 1) << "pause and resume keep the streaming thread";
    EXPECT_EQ(source.m_pStream->m_nDestroyed, 1);

    std::vector<ReceivedSample> samples = sink.Samples();
    ASSERT_GE(samples.size(), 20u);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(samples[i].start, static_cast<REFERENCE_TIME>(i) * 10) << "no sample lost or repeated";
    }
    OAFilterState state = -1;
    EXPECT_EQ(control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);

    // A second run starts a new thread; connection changes wait for stop.
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(graph->Disconnect(source.m_pStream), VFW_E_NOT_STOPPED);
    EXPECT_EQ(graph->RemoveFilter(&sink), VFW_E_NOT_STOPPED);
    ASSERT_TRUE(sink.WaitFor(samples.size() + 5));
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(source.m_pStream->m_nCreated, 2);
    EXPECT_EQ(source.m_pStream->m_nDestroyed, 2);

    ComPtr<IReferenceClock> clock;
    ComPtr<IMediaFilter> mediaFilter;
    ASSERT_EQ(graph.As(mediaFilter, IID_IMediaFilter), S_OK);
    ASSERT_EQ(mediaFilter->GetSyncSource(clock.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_TRUE(clock) << "a system clock was chosen at the first pause";
    IReferenceClock* filterClock = nullptr;
    source.GetSyncSource(&filterClock);
    EXPECT_EQ(filterClock, clock.Get());
    if (filterClock) filterClock->Release();
    REFERENCE_TIME t1 = 0, t2 = 0;
    clock->GetTime(&t1);
    clock->GetTime(&t2);
    EXPECT_LE(t1, t2);

    EXPECT_EQ(graph->RemoveFilter(&sink), S_OK);
    EXPECT_EQ(source.m_pStream->IsConnected(), false) << "removing a filter breaks its connections";
}

TEST(FilterGraph, KeepsFiltersByUniqueNameAndConnectsOnlyItsOwnPins)
{
    CCountingSource source, other;
    CTestSink sink;
    ComPtr<IGraphBuilder> graph = NewGraph();
    ASSERT_EQ(graph->AddFilter(&source, L"Oravane"), S_OK);
    EXPECT_EQ(graph->AddFilter(&source, L"Again"), VFW_E_DUPLICATE_NAME_FILTER);
    EXPECT_EQ(graph->AddFilter(&sink, L"Oravane"), VFW_S_DUPLICATE_NAME);
    ComPtr<IBaseFilter> found;
    ASSERT_EQ(graph->FindFilterByName(L"Oravane", found.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(found.Get(), static_cast<IBaseFilter*>(&source));
    FILTER_INFO info {};
    ASSERT_EQ(sink.QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(std::wstring(info.achName), L"Oravane 0001");
    ASSERT_NE(info.pGraph, nullptr);
    info.pGraph->Release();
    EXPECT_EQ(graph->ConnectDirect(other.m_pStream, sink.InputPin(), nullptr), VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(graph->ConnectDirect(sink.InputPin(), source.m_pStream, nullptr), VFW_E_INVALID_DIRECTION);

    ComPtr<IEnumFilters> filters;
    ASSERT_EQ(graph->EnumFilters(filters.ReleaseAndGetAddressOf()), S_OK);
    IBaseFilter* batch[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(filters->Next(3, batch, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    for (ULONG i = 0; i < fetched; ++i) batch[i]->Release();

    IPin* pin = nullptr;
    EXPECT_EQ(source.FindPin(L"Out", &pin), S_OK);
    if (pin) pin->Release();
    EXPECT_EQ(source.FindPin(L"Missing", &pin), VFW_E_NOT_FOUND);
}

// An allocator that refuses the first few buffers, as a busy downstream might.
class CRefusingAllocator final : public IMemAllocator {
public:
    explicit CRefusingAllocator(IMemAllocator* inner, int refusals) : m_inner(inner), m_nRefusals(refusals) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid != IID_IUnknown && riid != IID_IMemAllocator) return E_NOINTERFACE;
        *ppv = static_cast<IMemAllocator*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_cRef; }
    ULONG Release() override { return --m_cRef; }  // lives on the test's stack
    HRESULT SetProperties(ALLOCATOR_PROPERTIES* a, ALLOCATOR_PROPERTIES* b) override { return m_inner->SetProperties(a, b); }
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* p) override { return m_inner->GetProperties(p); }
    HRESULT Commit() override { return m_inner->Commit(); }
    HRESULT Decommit() override { return m_inner->Decommit(); }
    HRESULT GetBuffer(IMediaSample** pp, REFERENCE_TIME* s, REFERENCE_TIME* e, DWORD f) override
    {
        if (m_nRefusals > 0) {
            --m_nRefusals;
            return E_OUTOFMEMORY;
        }
        return m_inner->GetBuffer(pp, s, e, f);
    }
    HRESULT ReleaseBuffer(IMediaSample* p) override { return m_inner->ReleaseBuffer(p); }

private:
    IMemAllocator* m_inner;
    std::atomic<int> m_nRefusals;
    std::atomic<ULONG> m_cRef {1};
};

class CRefusingSinkPin final : public CBaseInputPin {
public:
    CRefusingSinkPin(CBaseFilter* f, CCritSec* l, IMemAllocator* a) : CBaseInputPin(L"p", f, l, nullptr, L"In"), m_alloc(a) {}
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT GetAllocator(IMemAllocator** pp) override { *pp = m_alloc; m_alloc->AddRef(); return S_OK; }
        HRESULT Receive(IMediaSample* s) override
    {
        HRESULT hr = CBaseInputPin::Receive(s);
        if (hr == S_OK) ++m_nReceived;
        return hr;
    }
    std::atomic<int> m_nReceived {0};

private:
    IMemAllocator* m_alloc;
};

class CRefusingSink final : public CBaseFilter {
public:
    explicit CRefusingSink(IMemAllocator* a) : CBaseFilter(L"r", nullptr, &m_lock, GUID_NULL), m_pin(this, &m_lock, a)
    {
        NonDelegatingAddRef();
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    CCritSec m_lock;
    CRefusingSinkPin m_pin;
};

TEST(SourceStream, RetriesAFailedDeliveryBufferAfterOneMillisecond)
{
    CScriptedClock clock;
    IMemAllocator* inner = nullptr;
    ASSERT_EQ(CMemAllocator::CreateInstance(nullptr, IID_IMemAllocator, reinterpret_cast<void**>(&inner)), S_OK);
    CRefusingAllocator allocator(inner, 3);
    CCountingSource source(&clock);
    CRefusingSink sink(&allocator);
    ASSERT_EQ(source.m_pStream->Connect(&sink.m_pin, nullptr), S_OK);
    ASSERT_EQ(sink.Run(0), S_OK);
    ASSERT_EQ(source.Run(0), S_OK);
    for (int i = 0; i < 10000 && sink.m_pin.m_nReceived < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(source.Stop(), S_OK);
    ASSERT_EQ(sink.Stop(), S_OK);
    EXPECT_GE(sink.m_pin.m_nReceived, 5);
    EXPECT_GE(clock.Sleeps(), 3);
    EXPECT_EQ(clock.SleptMs(), static_cast<DWORD>(clock.Sleeps())) << "each retry sleeps 1 ms";
    source.m_pStream->Disconnect();
    sink.m_pin.Disconnect();
    inner->Release();
}

TEST(SourceStream, AThreadThatCannotStartFailsThePauseAndCanBeStartedAgain)
{
    CCountingSource source;
    CTestSink sink;
    ComPtr<IGraphBuilder> graph = NewGraph();
    ASSERT_EQ(graph->AddFilter(&source, L"source"), S_OK);
    ASSERT_EQ(graph->AddFilter(&sink, L"sink"), S_OK);
    ASSERT_EQ(graph->Connect(source.m_pStream, sink.InputPin()), S_OK);
    ComPtr<IMediaControl> control;
    ASSERT_EQ(graph.As(control, IID_IMediaControl), S_OK);

    source.m_pStream->m_hrCreate = E_FAIL;
    auto result = std::async(std::launch::async, [&] { return control->Pause(); });
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the pause hangs";
    EXPECT_TRUE(FAILED(result.get()));
    control->Stop();

    source.m_pStream->m_hrCreate = S_OK;
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_TRUE(sink.WaitFor(3));
    EXPECT_EQ(control->Stop(), S_OK);
}

TEST(MemAllocator, HandsOutItsBuffersOnceAndWakesWaitersOnDecommit)
{
    IMemAllocator* alloc = nullptr;
    ASSERT_EQ(CMemAllocator::CreateInstance(nullptr, IID_IMemAllocator, reinterpret_cast<void**>(&alloc)), S_OK);
    IMediaSample* sample = nullptr;
    EXPECT_EQ(alloc->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    EXPECT_EQ(alloc->Commit(), VFW_E_SIZENOTSET);
    ALLOCATOR_PROPERTIES request {1, 1000, 16, 0}, actual {};
    ALLOCATOR_PROPERTIES badAlign {1, 1000, 3, 0};
    EXPECT_EQ(alloc->SetProperties(&badAlign, &actual), VFW_E_BADALIGN);
    ASSERT_EQ(alloc->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(actual.cbBuffer, 1008) << "rounded up to the alignment";
    ASSERT_EQ(alloc->Commit(), S_OK);
    EXPECT_EQ(alloc->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);

    ASSERT_EQ(alloc->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
    EXPECT_EQ(sample->GetSize(), 1008);
    EXPECT_EQ(sample->SetActualDataLength(2000), VFW_E_BUFFER_OVERFLOW);
    REFERENCE_TIME s = 5, e = 4;
    EXPECT_EQ(sample->SetTime(&s, &e), VFW_E_START_TIME_AFTER_END);
    IMediaSample* second = nullptr;
    EXPECT_EQ(alloc->GetBuffer(&second, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);

    // A waiter gets the buffer when it comes back, with fresh properties.
    e = 9;
    sample->SetTime(&s, &e);
    std::thread waiter([&] { EXPECT_EQ(alloc->GetBuffer(&second, nullptr, nullptr, 0), S_OK); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sample->Release();
    waiter.join();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->GetTime(&s, &e), VFW_E_SAMPLE_TIME_NOT_SET);

    std::thread blocked([&] {
        IMediaSample* third = nullptr;
        EXPECT_EQ(alloc->GetBuffer(&third, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    alloc->Decommit();
    blocked.join();
    second->Release();  // the last sample out frees the memory; the allocator outlives it
    alloc->Release();
}

TEST(MediaType, CopiesOwnTheirFormatAndSubtypesFollowTheHeader)
{
    CMediaType a = VideoType(24, 640, 480);
    CMediaType b = a;
    ASSERT_NE(a.Format(), b.Format());
    EXPECT_TRUE(a == b);
    reinterpret_cast<VIDEOINFOHEADER*>(b.Format())->bmiHeader.biWidth = 320;
    EXPECT_FALSE(a == b);
    EXPECT_EQ(a.GetSampleSize(), 921600u);
    AM_MEDIA_TYPE* heap = CreateMediaType(&a);
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(std::memcmp(heap->pbFormat, a.Format(), a.FormatLength()), 0);
    DeleteMediaType(heap);

    BITMAPINFOHEADER h {40, 3, 1, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    EXPECT_EQ(GetBitmapSize(&h), 12u) << "rows pad to four bytes";
    struct { BITMAPINFOHEADER h; DWORD masks[3]; } bf {{40, 2, 2, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0}, {0xF800, 0x07E0, 0x1F}};
    EXPECT_EQ(GetBitmapSubtype(&bf.h), MEDIASUBTYPE_RGB565);
    bf.masks[0] = 0x7C00;
    bf.masks[1] = 0x03E0;
    EXPECT_EQ(GetBitmapSubtype(&bf.h), MEDIASUBTYPE_RGB555);
    h.biBitCount = 15;
    EXPECT_EQ(GetBitmapSubtype(&h), GUID_NULL);
}

}  // namespace
