#include "TestFilters.h"
#include "TestPushSource.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/dshow/TransformFilter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

using namespace dshowtest;

namespace {

constexpr CLSID CLSID_TestTransform {0x7E57C0DE, 0x0007, 0x0008, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}};

CMediaType VideoType(WORD bits)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    vih->bmiHeader = {40, 4, 2, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
    vih->bmiHeader.biSizeImage = GetBitmapSize(&vih->bmiHeader);
    GUID sub = GetBitmapSubtype(&vih->bmiHeader);
    mt.SetSubtype(&sub);
    mt.SetSampleSize(vih->bmiHeader.biSizeImage);
    return mt;
}

// One to one: inverts every byte of RGB32 frames; a frame starting with 0xEE is dropped.
class CInvertTransform final : public CTransformFilter {
public:
    CInvertTransform() : CTransformFilter(L"invert", nullptr, CLSID_TestTransform) { NonDelegatingAddRef(); }
    HRESULT CheckInputType(const CMediaType* mt) override
    {
        return *mt->Subtype() == MEDIASUBTYPE_RGB32 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override
    {
        return *in == *out ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int i, CMediaType* mt) override
    {
        if (i > 0) return VFW_S_NO_MORE_ITEMS;
        *mt = InputType();
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* prop) override
    {
        prop->cBuffers = 2;
        prop->cbBuffer = 64;
        ALLOCATOR_PROPERTIES actual {};
        return alloc->SetProperties(prop, &actual);
    }
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override
    {
        BYTE *pi = nullptr, *po = nullptr;
        in->GetPointer(&pi);
        out->GetPointer(&po);
        LONG n = in->GetActualDataLength();
        if (n > 0 && pi[0] == 0xEE) return S_FALSE;
        for (LONG i = 0; i < n; ++i) po[i] = static_cast<BYTE>(~pi[i]);
        out->SetActualDataLength(n);
        return S_OK;
    }
    HRESULT StartStreaming() override { ++m_nStarts; return S_OK; }
    HRESULT StopStreaming() override { ++m_nStops; return S_OK; }
    std::atomic<int> m_nStarts {0}, m_nStops {0};
};

// Many to one: joins every three input samples into one output; Drain sends what is held.
class CBatchTransform final : public CTransformFilter {
public:
    CBatchTransform() : CTransformFilter(L"batch", nullptr, CLSID_TestTransform) { NonDelegatingAddRef(); }
    HRESULT CheckInputType(const CMediaType*) override { return S_OK; }
    HRESULT CheckTransform(const CMediaType*, const CMediaType*) override { return S_OK; }
    HRESULT GetMediaType(int i, CMediaType* mt) override
    {
        if (i > 0) return VFW_S_NO_MORE_ITEMS;
        *mt = InputType();
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* prop) override
    {
        prop->cBuffers = 1;
        prop->cbBuffer = 256;
        ALLOCATOR_PROPERTIES actual {};
        return alloc->SetProperties(prop, &actual);
    }
    HRESULT Receive(IMediaSample* in) override
    {
        BYTE* p = nullptr;
        in->GetPointer(&p);
        m_held.insert(m_held.end(), p, p + in->GetActualDataLength());
        if (++m_nHeld < 3) return S_OK;
        return Send();
    }
    HRESULT Drain() override
    {
        ++m_nDrains;
        if (FAILED(m_hrDrain)) return m_hrDrain;
        return m_held.empty() ? S_OK : Send();
    }
    HRESULT Send()
    {
        HRESULT hr = DeliverOutput(m_held.data(), static_cast<LONG>(m_held.size()), m_tNext, m_tNext + 10, true);
        m_tNext += 10;
        m_held.clear();
        m_nHeld = 0;
        return hr;
    }
    std::vector<BYTE> m_held;
    int m_nHeld = 0;
    REFERENCE_TIME m_tNext = 0;
    std::atomic<int> m_nDrains {0};
    HRESULT m_hrDrain = S_OK;
};

// Source -> transform -> sink, connected, all paused (downstream first, as the graph does).
template <class Transform>
struct Chain {
    CTestPushSource source;
    Transform transform;
    CTestSink sink;
    explicit Chain(const CMediaType& type = VideoType(32))
    {
        source.m_types.push_back(type);
        sink.m_bKeepData = true;
    }
    IPin* In() { return transform.GetPin(0); }
    IPin* Out() { return transform.GetPin(1); }
    HRESULT Connect()
    {
        HRESULT hr = source.OutputPin()->Connect(In(), nullptr);
        return FAILED(hr) ? hr : Out()->Connect(sink.InputPin(), nullptr);
    }
    void Pause()
    {
        ASSERT_EQ(sink.Pause(), S_OK);
        ASSERT_EQ(transform.Pause(), S_OK);
        ASSERT_EQ(source.Pause(), S_OK);
    }
    void Stop()
    {
        sink.Stop();
        transform.Stop();
        source.Stop();
    }
    HRESULT Push(std::vector<BYTE> data, REFERENCE_TIME start = 0, bool sync = true)
    {
        REFERENCE_TIME stop = start + 5;
        return source.Push(data.data(), data.size(), &start, &stop, sync);
    }
};

TEST(TransformFilter, OutputConnectsOnlyAfterTheInputAndOffersTypesFromIt)
{
    Chain<CInvertTransform> chain;
    // Nothing to offer and no connection while the input has no type.
    EXPECT_TRUE(FAILED(chain.Out()->Connect(chain.sink.InputPin(), nullptr)));
    CMediaType rgb32 = VideoType(32);
    EXPECT_EQ(chain.Out()->Connect(chain.sink.InputPin(), &rgb32), E_UNEXPECTED);
    EXPECT_FALSE(chain.sink.GetPin(0)->IsConnected());
    IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(chain.Out()->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* mt = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(1, &mt, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    types->Release();

    ASSERT_EQ(chain.Connect(), S_OK);
    AM_MEDIA_TYPE connected {};
    ASSERT_EQ(chain.sink.InputPin()->ConnectionMediaType(&connected), S_OK);
    EXPECT_EQ(connected.subtype, MEDIASUBTYPE_RGB32);
    FreeMediaType(connected);
    // The output accepts only what CheckTransform allows against the input.
    CMediaType rgb24 = VideoType(24);
    EXPECT_EQ(chain.Out()->QueryAccept(&rgb24), S_FALSE);
}

TEST(TransformFilter, InputRefusesTypesTheFilterCannotTake)
{
    Chain<CInvertTransform> chain(VideoType(24));
    EXPECT_TRUE(FAILED(chain.source.OutputPin()->Connect(chain.In(), nullptr)));
    EXPECT_FALSE(static_cast<CBasePin*>(chain.transform.GetPin(0))->IsConnected());
}

TEST(TransformFilter, TransformsEachSampleKeepingTimesAndSyncPoints)
{
    Chain<CInvertTransform> chain;
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Pause();
    EXPECT_EQ(chain.transform.m_nStarts, 1);
    ASSERT_EQ(chain.Push({0x00, 0x0F, 0xF0}, 100, true), S_OK);
    ASSERT_EQ(chain.Push({0xEE, 0x01}, 200, true), S_OK);  // dropped by the transform
    ASSERT_EQ(chain.Push({0xFF}, 300, false), S_OK);

    std::vector<ReceivedSample> got = chain.sink.Samples();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].data, (std::vector<BYTE> {0xFF, 0xF0, 0x0F}));
    EXPECT_EQ(got[0].start, 100);
    EXPECT_EQ(got[0].stop, 105);
    EXPECT_TRUE(got[0].syncPoint);
    EXPECT_EQ(got[1].data, (std::vector<BYTE> {0x00}));
    EXPECT_EQ(got[1].start, 300);
    EXPECT_FALSE(got[1].syncPoint);

    // Stopped, the filter takes nothing; started again, it streams again.
    ASSERT_EQ(chain.transform.Stop(), S_OK);
    EXPECT_EQ(chain.transform.m_nStops, 1);
    EXPECT_TRUE(FAILED(chain.Push({0x01})));
    chain.source.Stop();
    ASSERT_EQ(chain.transform.Pause(), S_OK);
    ASSERT_EQ(chain.source.Pause(), S_OK);
    EXPECT_EQ(chain.transform.m_nStarts, 2);
    EXPECT_EQ(chain.Push({0x01}), S_OK);
    EXPECT_EQ(chain.sink.Samples().size(), 3u);
    chain.Stop();
}

TEST(TransformFilter, StateChangesPassThroughAFilterGraph)
{
    RegisterMediaGraphClasses();
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph.ReleaseAndGetVoidAddressOf()), S_OK);
    Chain<CInvertTransform> chain;
    ASSERT_EQ(graph->AddFilter(&chain.source, L"source"), S_OK);
    ASSERT_EQ(graph->AddFilter(&chain.transform, L"transform"), S_OK);
    ASSERT_EQ(graph->AddFilter(&chain.sink, L"sink"), S_OK);
    ASSERT_EQ(graph->ConnectDirect(chain.source.OutputPin(), chain.In(), nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(chain.Out(), chain.sink.InputPin(), nullptr), S_OK);
    ComPtr<IMediaControl> control;
    ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, control.ReleaseAndGetVoidAddressOf()), S_OK);
    ASSERT_EQ(control->Run(), S_OK);
    FILTER_STATE state {};
    EXPECT_EQ(chain.transform.GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    EXPECT_EQ(chain.Push({0x10}), S_OK);
    ASSERT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(chain.transform.GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(chain.transform.GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_EQ(chain.transform.m_nStarts, 1);
    EXPECT_EQ(chain.transform.m_nStops, 1);
    ASSERT_EQ(chain.sink.Samples().size(), 1u);
    EXPECT_EQ(chain.sink.Samples()[0].data, (std::vector<BYTE> {0xEF}));
    graph->RemoveFilter(&chain.sink);
    graph->RemoveFilter(&chain.transform);
    graph->RemoveFilter(&chain.source);
}

TEST(TransformFilter, SeveralInputsMakeOneOutputAndEndOfStreamDrainsTheRestFirst)
{
    Chain<CBatchTransform> chain;
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Pause();
    for (BYTE b = 1; b <= 7; ++b) ASSERT_EQ(chain.Push({b}), S_OK);
    ASSERT_EQ(chain.sink.Samples().size(), 2u);
    EXPECT_EQ(chain.sink.Samples()[1].data, (std::vector<BYTE> {4, 5, 6}));
    EXPECT_TRUE(chain.sink.EndsOfStream().empty());

    ASSERT_EQ(chain.source.PushEndOfStream(), S_OK);
    std::vector<ReceivedSample> got = chain.sink.Samples();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2].data, (std::vector<BYTE> {7}));
    EXPECT_EQ(got[2].start, 20);
    // The end comes after the drained sample, and once.
    EXPECT_EQ(chain.sink.EndsOfStream(), (std::vector<std::size_t> {3}));
    // After the end nothing more is taken, and stopping does not drain twice.
    EXPECT_TRUE(FAILED(chain.Push({8})));
    chain.Stop();
    EXPECT_EQ(chain.transform.m_nDrains, 1);
    EXPECT_EQ(chain.sink.Samples().size(), 3u);
}

TEST(TransformFilter, StopDrainsWhatIsHeldWhileTheDownstreamFilterStillRuns)
{
    Chain<CBatchTransform> chain;
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Pause();
    ASSERT_EQ(chain.Push({1}), S_OK);
    ASSERT_EQ(chain.Push({2}), S_OK);
    EXPECT_TRUE(chain.sink.Samples().empty());
    ASSERT_EQ(chain.transform.Stop(), S_OK);
    ASSERT_EQ(chain.sink.Samples().size(), 1u);
    EXPECT_EQ(chain.sink.Samples()[0].data, (std::vector<BYTE> {1, 2}));
    chain.Stop();

    // Started again, the filter begins afresh: nothing held from before.
    chain.Pause();
    ASSERT_EQ(chain.Push({3}), S_OK);
    ASSERT_EQ(chain.source.PushEndOfStream(), S_OK);
    EXPECT_EQ(chain.sink.Samples().back().data, (std::vector<BYTE> {3}));
    chain.Stop();
}

TEST(TransformFilter, StopReportsTheFiltersOwnDrainFailureButNotAStoppedDownstream)
{
    Chain<CBatchTransform> chain;
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Pause();
    ASSERT_EQ(chain.Push({1}), S_OK);
    // The graph stops downstream filters first: the held sample cannot go anywhere then.
    ASSERT_EQ(chain.sink.Stop(), S_OK);
    EXPECT_EQ(chain.transform.Stop(), S_OK);
    EXPECT_EQ(chain.transform.m_nDrains, 1);
    chain.source.Stop();

    chain.Pause();
    chain.transform.m_hrDrain = E_OUTOFMEMORY;
    ASSERT_EQ(chain.Push({2}), S_OK);
    EXPECT_EQ(chain.transform.Stop(), E_OUTOFMEMORY);
    FILTER_STATE state {};
    chain.transform.GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    chain.Stop();
}

}  // namespace
