// Capture Graph Builder 2 over the Filter Graph: the output file pair it makes from the
// registered classes, streams rendered through an optional intermediate filter, and interfaces
// found on a filter or its pins by category and type.
#include "TestFilters.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/CaptureGraphBuilder.h"
#include "platform/dshow/MediaGraphClasses.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace dshowtest;

namespace {

constexpr CLSID CLSID_PinFilter {0x7E57C0DE, 0x0C6B, 0x0001, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}};

CMediaType TypeOf(const GUID& major, const GUID& sub)
{
    CMediaType mt;
    mt.SetType(&major);
    mt.SetSubtype(&sub);
    return mt;
}

class CPinFilter;

// An output pin offering fixed types, with an optional category and stream configuration.
class COutPin final : public CBaseOutputPin, public IAMPinCategory, public IAMStreamConfig {
public:
    COutPin(CPinFilter* pFilter, CCritSec* pLock, LPCWSTR pName, std::vector<CMediaType> types);
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return CBasePin::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return CBasePin::AddRef(); }
    ULONG Release() override { return CBasePin::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IAMPinCategory && m_category != GUID_NULL)
            return GetInterface(static_cast<IAMPinCategory*>(this), ppv);
        if (riid == IID_IAMStreamConfig && m_bStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
        return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT CheckMediaType(const CMediaType* pmt) override
    {
        for (const CMediaType& t : m_types)
            if (t.majortype == pmt->majortype && t.subtype == pmt->subtype) return S_OK;
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int i, CMediaType* pmt) override
    {
        if (i < 0) return E_INVALIDARG;
        if (i >= static_cast<int>(m_types.size())) return VFW_S_NO_MORE_ITEMS;
        *pmt = m_types[i];
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override
    {
        pProp->cBuffers = 1;
        pProp->cbBuffer = 16;
        ALLOCATOR_PROPERTIES actual {};
        return pAlloc->SetProperties(pProp, &actual);
    }
    // IAMPinCategory
    HRESULT GetPinCategory(GUID* pCategory) override { *pCategory = m_category; return S_OK; }
    // IAMStreamConfig: only found, never used here.
    HRESULT SetFormat(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT GetFormat(AM_MEDIA_TYPE**) override { return E_NOTIMPL; }
    HRESULT GetNumberOfCapabilities(int*, int*) override { return E_NOTIMPL; }
    HRESULT GetStreamCaps(int, AM_MEDIA_TYPE**, BYTE*) override { return E_NOTIMPL; }

    GUID m_category = GUID_NULL;  // none: no IAMPinCategory
    bool m_bStreamConfig = false;

private:
    std::vector<CMediaType> m_types;
};

class CInPin final : public CBaseInputPin {
public:
    CInPin(CBaseFilter* pFilter, CCritSec* pLock, LPCWSTR pName, GUID major);
    HRESULT CheckMediaType(const CMediaType* pmt) override
    {
        return m_major == GUID_NULL || pmt->majortype == m_major ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

private:
    GUID m_major;
};

// A filter of whatever pins a test gives it.
class CPinFilter final : public CBaseFilter {
public:
    explicit CPinFilter(IUnknown* pUnk = nullptr, REFCLSID clsid = CLSID_PinFilter)
        : CBaseFilter(L"CPinFilter", pUnk, &m_lock, clsid)
    {
    }
    int GetPinCount() override { return static_cast<int>(m_pins.size()); }
    CBasePin* GetPin(int n) override { return n >= 0 && n < GetPinCount() ? m_pins[n].get() : nullptr; }
    COutPin* AddOutput(LPCWSTR name, std::vector<CMediaType> types)
    {
        auto* p = new COutPin(this, &m_lock, name, std::move(types));
        m_pins.emplace_back(p);
        return p;
    }
    CInPin* AddInput(LPCWSTR name, GUID major = GUID_NULL)
    {
        auto* p = new CInPin(this, &m_lock, name, major);
        m_pins.emplace_back(p);
        return p;
    }

private:
    CCritSec m_lock;
    std::vector<std::unique_ptr<CBasePin>> m_pins;
};

COutPin::COutPin(CPinFilter* pFilter, CCritSec* pLock, LPCWSTR pName, std::vector<CMediaType> types)
    : CBaseOutputPin(L"COutPin", pFilter, pLock, nullptr, pName), m_types(std::move(types))
{
}

CInPin::CInPin(CBaseFilter* pFilter, CCritSec* pLock, LPCWSTR pName, GUID major)
    : CBaseInputPin(L"CInPin", pFilter, pLock, nullptr, pName), m_major(major)
{
}

// Stand-ins for the AVI classes, registered under their class ids.
class CFakeWriter final : public CBaseFilter, public IFileSinkFilter {
public:
    explicit CFakeWriter(IUnknown* pUnk) : CBaseFilter(L"CFakeWriter", pUnk, &m_lock, CLSID_FileWriter), m_pin(this, &m_lock, L"in", MEDIATYPE_Stream) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IFileSinkFilter) return GetInterface(static_cast<IFileSinkFilter*>(this), ppv);
        return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    HRESULT SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE*) override { s_name = name; return S_OK; }
    HRESULT GetCurFile(LPOLESTR*, AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    static inline std::wstring s_name;

private:
    CCritSec m_lock;
    CInPin m_pin;
};

template <class T>
HRESULT CreateFake(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    T* p = new T(pUnkOuter);
    p->NonDelegatingAddRef();
    HRESULT hr = p->NonDelegatingQueryInterface(riid, ppv);
    p->NonDelegatingRelease();
    return hr;
}

HRESULT CreateFakeMux(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    auto* p = new CPinFilter(pUnkOuter, CLSID_AviDest);
    p->AddInput(L"Input 01");
    p->AddOutput(L"AVI Out", {TypeOf(MEDIATYPE_Stream, MEDIASUBTYPE_Avi)});
    p->NonDelegatingAddRef();
    HRESULT hr = p->NonDelegatingQueryInterface(riid, ppv);
    p->NonDelegatingRelease();
    return hr;
}

// Makes a filter held by a ComPtr (the only reference).
ComPtr<CPinFilter> NewFilter()
{
    auto* p = new CPinFilter;
    ComPtr<CPinFilter> f(p);
    return f;
}

IPin* PeerOf(IPin* pin)
{
    IPin* other = nullptr;
    if (FAILED(pin->ConnectedTo(&other))) return nullptr;
    other->Release();  // the graph keeps the connection; the test only compares pointers
    return other;
}

class CaptureGraphBuilderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterMediaGraphClasses();
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   m_graph.ReleaseAndGetVoidAddressOf()), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                                   m_builder.ReleaseAndGetVoidAddressOf()), S_OK);
        ASSERT_EQ(m_builder->SetFiltergraph(m_graph.Get()), S_OK);
    }
    void TearDown() override
    {
        CoRevokeBuiltInClass(CLSID_AviDest);
        CoRevokeBuiltInClass(CLSID_FileWriter);
    }
    int FilterCount()
    {
        ComPtr<IEnumFilters> e;
        m_graph->EnumFilters(e.ReleaseAndGetAddressOf());
        ComPtr<IBaseFilter> f;
        int n = 0;
        while (e->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK) ++n;
        return n;
    }
    // A capture source: video then audio output, neither with a category of its own.
    ComPtr<CPinFilter> Source()
    {
        ComPtr<CPinFilter> f = NewFilter();
        m_video = f->AddOutput(L"Video", {TypeOf(MEDIATYPE_Video, MEDIASUBTYPE_RGB32)});
        m_audio = f->AddOutput(L"Audio", {TypeOf(MEDIATYPE_Audio, MEDIASUBTYPE_PCM)});
        return f;
    }

    ComPtr<IGraphBuilder> m_graph;
    ComPtr<ICaptureGraphBuilder2> m_builder;
    COutPin* m_video = nullptr;
    COutPin* m_audio = nullptr;
};

TEST_F(CaptureGraphBuilderTest, KeepsOneGraph)
{
    ComPtr<ICaptureGraphBuilder2> fresh;
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                               fresh.ReleaseAndGetVoidAddressOf()), S_OK);
    ComPtr<IGraphBuilder> got;
    EXPECT_EQ(fresh->GetFiltergraph(got.ReleaseAndGetAddressOf()), E_UNEXPECTED);
    EXPECT_EQ(fresh->SetFiltergraph(nullptr), E_POINTER);
    ComPtr<IBaseFilter> mux;
    EXPECT_EQ(fresh->SetOutputFileName(&MEDIASUBTYPE_Avi, L"x.avi", mux.ReleaseAndGetAddressOf(), nullptr), E_UNEXPECTED);
    ComPtr<CPinFilter> a = Source(), b = NewFilter();
    EXPECT_EQ(fresh->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(a.Get()), nullptr, b.Get()), E_UNEXPECTED);

    EXPECT_EQ(m_builder->GetFiltergraph(got.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(got.Get(), m_graph.Get());
    ComPtr<IGraphBuilder> other;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               other.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(m_builder->SetFiltergraph(other.Get()), E_UNEXPECTED);
}

TEST_F(CaptureGraphBuilderTest, SetOutputFileNameMakesTheRegisteredPairConnected)
{
    ComPtr<IBaseFilter> mux;
    ComPtr<IFileSinkFilter> sink;
    // Nothing registered: nothing made, nothing added.
    EXPECT_TRUE(FAILED(m_builder->SetOutputFileName(&MEDIASUBTYPE_Avi, L"/tmp/a.avi", mux.ReleaseAndGetAddressOf(),
                                                    sink.ReleaseAndGetAddressOf())));
    EXPECT_FALSE(mux);
    EXPECT_EQ(FilterCount(), 0);

    CoRegisterBuiltInClass(CLSID_AviDest, &CreateFakeMux);
    CoRegisterBuiltInClass(CLSID_FileWriter, &CreateFake<CFakeWriter>);
    EXPECT_EQ(m_builder->SetOutputFileName(&MEDIASUBTYPE_PCM, L"/tmp/a.avi", mux.ReleaseAndGetAddressOf(), nullptr),
              E_INVALIDARG);
    EXPECT_EQ(FilterCount(), 0);
    EXPECT_EQ(m_builder->SetOutputFileName(&MEDIASUBTYPE_Avi, nullptr, mux.ReleaseAndGetAddressOf(), nullptr), E_POINTER);

    ASSERT_EQ(m_builder->SetOutputFileName(&MEDIASUBTYPE_Avi, L"/tmp/a.avi", mux.ReleaseAndGetAddressOf(),
                                           sink.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_TRUE(mux && sink);
    EXPECT_EQ(FilterCount(), 2);
    EXPECT_EQ(CFakeWriter::s_name, L"/tmp/a.avi");
    CLSID clsid {};
    mux->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_AviDest);
    ComPtr<IPin> out, in;
    ASSERT_EQ(mux->FindPin(L"AVI Out", out.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IBaseFilter> writer;
    ASSERT_EQ(sink.As(writer, IID_IBaseFilter), S_OK);
    ASSERT_EQ(writer->FindPin(L"in", in.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(PeerOf(out.Get()), in.Get());
    // The mux's input stays free for the streams.
    ComPtr<IPin> input;
    ASSERT_EQ(mux->FindPin(L"Input 01", input.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(PeerOf(input.Get()), nullptr);
}

TEST_F(CaptureGraphBuilderTest, RenderStreamConnectsFreePinsInOrder)
{
    ComPtr<CPinFilter> source = Source(), sink1 = NewFilter(), sink2 = NewFilter();
    CInPin* in1 = sink1->AddInput(L"in");
    CInPin* in2 = sink2->AddInput(L"in");
    for (IBaseFilter* f : {static_cast<IBaseFilter*>(source.Get()), static_cast<IBaseFilter*>(sink1.Get()),
                           static_cast<IBaseFilter*>(sink2.Get())})
        ASSERT_TRUE(SUCCEEDED(m_graph->AddFilter(f, nullptr)));
    ASSERT_EQ(m_builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(source.Get()), nullptr, sink1.Get()), S_OK);
    EXPECT_EQ(PeerOf(m_video), in1);
    ASSERT_EQ(m_builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(source.Get()), nullptr, sink2.Get()), S_OK);
    EXPECT_EQ(PeerOf(m_audio), in2);
    // Every output and every sink input is taken now.
    ComPtr<CPinFilter> sink3 = NewFilter();
    sink3->AddInput(L"in");
    m_graph->AddFilter(sink3.Get(), nullptr);
    EXPECT_TRUE(FAILED(m_builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(source.Get()), nullptr, sink3.Get())));
}

TEST_F(CaptureGraphBuilderTest, RenderStreamPicksThePinOfTheCategoryAndType)
{
    ComPtr<CPinFilter> source = Source(), sink = NewFilter();
    CInPin* in = sink->AddInput(L"in");
    m_graph->AddFilter(source.Get(), nullptr);
    m_graph->AddFilter(sink.Get(), nullptr);
    EXPECT_TRUE(FAILED(m_builder->RenderStream(&PIN_CATEGORY_PREVIEW, nullptr, static_cast<IBaseFilter*>(source.Get()),
                                               nullptr, sink.Get())));
    ASSERT_EQ(m_builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio,
                                      static_cast<IBaseFilter*>(source.Get()), nullptr, sink.Get()), S_OK);
    EXPECT_EQ(PeerOf(m_audio), in);
    EXPECT_EQ(PeerOf(m_video), nullptr);
}

TEST_F(CaptureGraphBuilderTest, RenderStreamGoesThroughTheIntermediateFilter)
{
    ComPtr<CPinFilter> source = Source(), compressor = NewFilter(), sink = NewFilter();
    CInPin* compIn = compressor->AddInput(L"in", MEDIATYPE_Video);
    COutPin* compOut = compressor->AddOutput(L"out", {TypeOf(MEDIATYPE_Video, MEDIASUBTYPE_RGB24)});
    CInPin* sinkIn = sink->AddInput(L"in");
    for (IBaseFilter* f : {static_cast<IBaseFilter*>(source.Get()), static_cast<IBaseFilter*>(compressor.Get()),
                           static_cast<IBaseFilter*>(sink.Get())})
        m_graph->AddFilter(f, nullptr);
    // The source may also be given as its pin.
    ASSERT_EQ(m_builder->RenderStream(nullptr, nullptr, static_cast<IPin*>(m_video), compressor.Get(), sink.Get()), S_OK);
    EXPECT_EQ(PeerOf(m_video), compIn);
    EXPECT_EQ(PeerOf(compOut), sinkIn);
    AM_MEDIA_TYPE mt {};
    ASSERT_EQ(sinkIn->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24);
    FreeMediaType(mt);
}

TEST_F(CaptureGraphBuilderTest, RenderStreamFailureTakesBackItsConnections)
{
    ComPtr<CPinFilter> source = Source(), compressor = NewFilter(), sink = NewFilter();
    CInPin* compIn = compressor->AddInput(L"in", MEDIATYPE_Video);
    compressor->AddOutput(L"out", {TypeOf(MEDIATYPE_Video, MEDIASUBTYPE_RGB24)});
    sink->AddInput(L"in", MEDIATYPE_Audio);  // refuses the compressor's video
    for (IBaseFilter* f : {static_cast<IBaseFilter*>(source.Get()), static_cast<IBaseFilter*>(compressor.Get()),
                           static_cast<IBaseFilter*>(sink.Get())})
        m_graph->AddFilter(f, nullptr);
    EXPECT_TRUE(FAILED(m_builder->RenderStream(nullptr, &MEDIATYPE_Video, static_cast<IBaseFilter*>(source.Get()),
                                               compressor.Get(), sink.Get())));
    EXPECT_EQ(PeerOf(m_video), nullptr);
    EXPECT_EQ(PeerOf(compIn), nullptr);
}

TEST_F(CaptureGraphBuilderTest, RenderStreamRefusesFiltersOutsideTheGraph)
{
    ComPtr<CPinFilter> source = Source(), sink = NewFilter();
    sink->AddInput(L"in");
    m_graph->AddFilter(source.Get(), nullptr);
    EXPECT_EQ(m_builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(source.Get()), nullptr, sink.Get()),
              VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(PeerOf(m_video), nullptr);
    EXPECT_EQ(FilterCount(), 1) << "the builder adds nothing itself";
    EXPECT_EQ(m_builder->RenderStream(nullptr, nullptr, nullptr, nullptr, sink.Get()), E_POINTER);
    EXPECT_EQ(m_builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(source.Get()), nullptr, nullptr),
              E_INVALIDARG);
}

TEST_F(CaptureGraphBuilderTest, FindInterfaceLooksAtTheFilterThenItsPinsByCategoryAndType)
{
    ComPtr<CPinFilter> source = Source();
    m_audio->m_bStreamConfig = true;
    void* p = nullptr;
    // The filter's own interface comes first.
    ASSERT_EQ(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, source.Get(), IID_IAMovieSetup, &p), S_OK);
    EXPECT_EQ(p, static_cast<IAMovieSetup*>(source.Get()));
    static_cast<IUnknown*>(p)->Release();

    // No category of its own: a pin of a source counts as capture.
    ASSERT_EQ(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, source.Get(), IID_IAMStreamConfig, &p), S_OK);
    EXPECT_EQ(p, static_cast<IAMStreamConfig*>(m_audio));
    static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source.Get(), IID_IAMStreamConfig, &p),
              E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    ASSERT_EQ(m_builder->FindInterface(nullptr, nullptr, source.Get(), IID_IAMStreamConfig, &p), S_OK);
    static_cast<IUnknown*>(p)->Release();

    // A pin's own category rules.
    m_audio->m_category = PIN_CATEGORY_PREVIEW;
    EXPECT_EQ(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, source.Get(), IID_IAMStreamConfig, &p),
              E_NOINTERFACE);
    EXPECT_EQ(m_builder->FindInterface(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Audio, source.Get(), IID_IAMStreamConfig, &p), S_OK);
    static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(m_builder->FindInterface(nullptr, nullptr, nullptr, IID_IAMStreamConfig, &p), E_POINTER);
}

TEST_F(CaptureGraphBuilderTest, OutputsOfAFilterFedByAnotherAreNotCapturePins)
{
    ComPtr<CPinFilter> source = Source(), transform = NewFilter();
    transform->AddInput(L"in", MEDIATYPE_Video);
    COutPin* out = transform->AddOutput(L"out", {TypeOf(MEDIATYPE_Video, MEDIASUBTYPE_RGB24)});
    out->m_bStreamConfig = true;
    m_graph->AddFilter(source.Get(), nullptr);
    m_graph->AddFilter(transform.Get(), nullptr);
    void* p = nullptr;
    ASSERT_EQ(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, nullptr, transform.Get(), IID_IAMStreamConfig, &p), S_OK)
        << "unfed, it is a source";
    static_cast<IUnknown*>(p)->Release();
    ASSERT_EQ(m_builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(source.Get()), transform.Get(), nullptr), S_OK);
    EXPECT_EQ(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, nullptr, transform.Get(), IID_IAMStreamConfig, &p),
              E_NOINTERFACE);
}

TEST_F(CaptureGraphBuilderTest, FindPinCountsMatchingPins)
{
    ComPtr<CPinFilter> source = Source(), sink = NewFilter();
    CInPin* in = sink->AddInput(L"in");
    m_graph->AddFilter(source.Get(), nullptr);
    m_graph->AddFilter(sink.Get(), nullptr);
    ComPtr<IPin> pin;
    ASSERT_EQ(m_builder->FindPin(static_cast<IBaseFilter*>(source.Get()), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 1,
                                 pin.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(pin.Get(), static_cast<IPin*>(m_audio));
    EXPECT_EQ(m_builder->FindPin(static_cast<IBaseFilter*>(source.Get()), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 2,
                                 pin.ReleaseAndGetAddressOf()), E_FAIL);
    EXPECT_EQ(m_builder->FindPin(static_cast<IBaseFilter*>(source.Get()), PINDIR_INPUT, nullptr, nullptr, FALSE, 0,
                                 pin.ReleaseAndGetAddressOf()), E_FAIL);
    ASSERT_EQ(m_graph->Connect(m_video, in), S_OK);
    ASSERT_EQ(m_builder->FindPin(static_cast<IBaseFilter*>(source.Get()), PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0,
                                 pin.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(pin.Get(), static_cast<IPin*>(m_audio));
    ASSERT_EQ(m_builder->FindPin(static_cast<IBaseFilter*>(source.Get()), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, FALSE,
                                 0, pin.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(pin.Get(), static_cast<IPin*>(m_video));
}

} // namespace
