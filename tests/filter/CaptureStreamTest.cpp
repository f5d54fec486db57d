// The capture pin's types, checks, buffer and timing, driven by a scripted tick clock. No
// display is needed: without one the grabber captures nothing and the timing is all that counts.
#include "TestFilters.h"
#include "platform/com/ComPtr.h"
#include "filter/CaptureSource.h"
#include "platform/dshow/MemAllocator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

using dshowtest::CScriptedClock;

namespace {

class CaptureStream : public ::testing::Test {
protected:
    CaptureStream()
    {
        HRESULT hr = E_FAIL;
        m_pFilter = CCaptureSource::Create(nullptr, &hr, &m_clock);
        EXPECT_EQ(hr, S_OK);
        m_pFilter->NonDelegatingAddRef();
        m_pPin = m_pFilter->Stream();
        m_pFilter->SetMaxFrameRate(0);  // timing tests pace the clock themselves
    }
    ~CaptureStream() override
    {
        if (m_pSample) m_pSample->Release();
        if (m_pAlloc) m_pAlloc->Release();
        m_pFilter->NonDelegatingRelease();
    }

    CMediaType Type(int position)
    {
        CMediaType mt;
        EXPECT_EQ(m_pPin->GetMediaType(position, &mt), S_OK) << position;
        return mt;
    }
    static const VIDEOINFO* Info(const CMediaType& mt) { return reinterpret_cast<const VIDEOINFO*>(mt.Format()); }

    // Negotiates RGB24 and makes a one-frame allocator, as a connection would.
    void Prepare()
    {
        CMediaType mt = Type(1);
        ASSERT_EQ(m_pPin->SetMediaType(&mt), S_OK);
        ASSERT_EQ(CMemAllocator::CreateInstance(nullptr, IID_IMemAllocator, reinterpret_cast<void**>(&m_pAlloc)), S_OK);
        ALLOCATOR_PROPERTIES req {0, 0, 1, 0};
        ASSERT_EQ(m_pPin->DecideBufferSize(m_pAlloc, &req), S_OK);
        ASSERT_EQ(m_pAlloc->Commit(), S_OK);
        ASSERT_EQ(m_pAlloc->GetBuffer(&m_pSample, nullptr, nullptr, 0), S_OK);
    }

    struct Span {
        REFERENCE_TIME start, stop;
    };
    // One FillBuffer with the clock at tick (the capture reads the clock after any waiting).
    Span FillAt(DWORD tick)
    {
        m_clock.Set(tick);
        return Fill();
    }
    Span Fill()
    {
        Span s {-1, -1};
        EXPECT_EQ(m_pPin->FillBuffer(m_pSample), S_OK);
        m_pSample->GetTime(&s.start, &s.stop);
        return s;
    }
    double Fps()
    {
        double fps = -1;
        m_pFilter->GetActualFrameRate(&fps);
        return fps;
    }

    CScriptedClock m_clock;
    CCaptureSource* m_pFilter = nullptr;
    CCaptureStream* m_pPin = nullptr;
    IMemAllocator* m_pAlloc = nullptr;
    IMediaSample* m_pSample = nullptr;
};

TEST_F(CaptureStream, OffersSixRgbTypesOfTheFrameSize)
{
    CMediaType mt;
    EXPECT_EQ(m_pPin->GetMediaType(-1, &mt), E_INVALIDARG);
    EXPECT_EQ(m_pPin->GetMediaType(6, &mt), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(m_pPin->GetMediaType(0, nullptr), E_POINTER);

    struct Expect {
        WORD bits;
        DWORD compression;
        GUID subtype;
        DWORD red;
    };
    const Expect expected[] = {{24, BI_RGB, MEDIASUBTYPE_RGB24, 0},
                               {32, BI_RGB, MEDIASUBTYPE_RGB32, 0},
                               {16, BI_BITFIELDS, MEDIASUBTYPE_RGB565, 0xF800},
                               {16, BI_BITFIELDS, MEDIASUBTYPE_RGB555, 0x7C00},
                               {8, BI_RGB, MEDIASUBTYPE_RGB8, 0}};
    for (int i = 1; i <= 5; ++i) {
        CMediaType t = Type(i);
        const Expect& e = expected[i - 1];
        const BITMAPINFOHEADER& h = Info(t)->bmiHeader;
        EXPECT_EQ(*t.Type(), MEDIATYPE_Video);
        EXPECT_EQ(*t.FormatType(), FORMAT_VideoInfo);
        EXPECT_EQ(t.FormatLength(), 1128u);
        EXPECT_EQ(*t.Subtype(), e.subtype) << i;
        EXPECT_TRUE(t.IsFixedSize());
        EXPECT_FALSE(t.IsTemporalCompressed());
        EXPECT_EQ(h.biBitCount, e.bits);
        EXPECT_EQ(h.biCompression, e.compression);
        EXPECT_EQ(h.biWidth, 640);
        EXPECT_EQ(h.biHeight, 480) << "bottom-up";
        EXPECT_EQ(h.biSizeImage, 640u * 480u * e.bits / 8);
        EXPECT_EQ(t.GetSampleSize(), h.biSizeImage);
        EXPECT_EQ(Info(t)->AvgTimePerFrame, 0);
        if (e.red) {
            EXPECT_EQ(Info(t)->dwBitMasks[0], e.red);
        }
        EXPECT_EQ(h.biClrUsed, e.bits == 8 ? 256u : 0u);
    }
    // The 8-bit type carries the colour table the grabber draws with.
    CMediaType eight = Type(5);
    EXPECT_EQ(std::memcmp(Info(eight)->bmiColors, CScreenGrabber::GetPalette8().data(), 1024), 0);

    // Position 0 is the screen's own format: 32 bits when the screen is 32 bits deep or unknown.
    int depth = m_pPin->Grabber()->GetScreenDepth();
    if (depth == 0 || depth == 32) {
        EXPECT_TRUE(Type(0) == Type(2));
    }
    if (depth == 24) {
        EXPECT_TRUE(Type(0) == Type(1));
    }
}

TEST_F(CaptureStream, CaptureRectangleSetsTheFrameSizeOfEveryType)
{
    RECT rc {};
    m_pFilter->GetCaptureRect(&rc);
    EXPECT_EQ(rc.left, 20);
    EXPECT_EQ(rc.top, 20);
    EXPECT_EQ(rc.right, 660);
    EXPECT_EQ(rc.bottom, 500);
    m_pFilter->SetCaptureRect({100, 50, 900, 650});
    m_pFilter->GetCaptureRect(&rc);
    EXPECT_EQ(rc.right, 900);
    for (int i = 0; i <= 5; ++i) {
        const BITMAPINFOHEADER& h = Info(Type(i))->bmiHeader;
        EXPECT_EQ(h.biWidth, 800) << i;
        EXPECT_EQ(h.biHeight, 600) << i;
        EXPECT_EQ(h.biSizeImage, DibStride(800, h.biBitCount) * 600u) << i;
    }
}

TEST_F(CaptureStream, RectanglesThatMakeNoFrameAreRefusedAndChangeNothing)
{
    m_pFilter->SetCaptureRect({100, 50, 900, 650});
    for (RECT bad : {RECT {300, 200, 100, 400}, RECT {100, 400, 300, 200}, RECT {100, 100, 100, 300},
                     RECT {0, 0, 8193, 100}, RECT {-2147483647, 0, 2147483647, 100}}) {
        EXPECT_EQ(m_pFilter->SetCaptureRect(bad), E_INVALIDARG) << bad.left << "," << bad.top << "," << bad.right;
        RECT rc {};
        m_pFilter->GetCaptureRect(&rc);
        EXPECT_EQ(rc.right, 900);
        const BITMAPINFOHEADER& h = Info(Type(2))->bmiHeader;
        EXPECT_EQ(h.biWidth, 800);
        EXPECT_EQ(h.biHeight, 600);
    }
    EXPECT_EQ(m_pFilter->SetCaptureRect({0, 0, 8192, 16}), S_OK) << "the largest side there is";
}

TEST_F(CaptureStream, AcceptsOnlyBottomUpRgbOfTheFrameSize)
{
    for (int i = 0; i <= 5; ++i) {
        CMediaType t = Type(i);
        EXPECT_EQ(m_pPin->CheckMediaType(&t), S_OK) << i;
    }
    auto modified = [&](auto change) {
        CMediaType t = Type(1);
        change(t, reinterpret_cast<VIDEOINFOHEADER*>(t.Format())->bmiHeader);
        return m_pPin->CheckMediaType(&t);
    };
    EXPECT_EQ(modified([](CMediaType&, BITMAPINFOHEADER& h) { h.biHeight = -480; }), E_INVALIDARG) << "top-down";
    EXPECT_EQ(modified([](CMediaType&, BITMAPINFOHEADER& h) { h.biWidth = 320; }), E_INVALIDARG);
    EXPECT_EQ(modified([](CMediaType&, BITMAPINFOHEADER& h) { h.biHeight = 240; }), E_INVALIDARG);
    EXPECT_EQ(modified([](CMediaType& t, BITMAPINFOHEADER&) { t.SetType(&MEDIATYPE_Audio); }), E_INVALIDARG);
    EXPECT_EQ(modified([](CMediaType& t, BITMAPINFOHEADER&) { t.SetVariableSize(); }), E_INVALIDARG);
    EXPECT_EQ(modified([](CMediaType& t, BITMAPINFOHEADER&) { t.SetSubtype(&MEDIASUBTYPE_Avi); }), E_INVALIDARG);
    EXPECT_EQ(modified([](CMediaType& t, BITMAPINFOHEADER&) { t.ResetFormatBuffer(); }), E_INVALIDARG);
    // A format block too short for its header is refused before anything reads it.
    EXPECT_EQ(modified([](CMediaType& t, BITMAPINFOHEADER&) { t.ReallocFormatBuffer(40); }), E_INVALIDARG);
}

TEST_F(CaptureStream, SetMediaTypeTakesTheDepthsTheGrabberDraws)
{
    CMediaType t = Type(3);
    ASSERT_EQ(m_pPin->SetMediaType(&t), S_OK);
    EXPECT_EQ(m_pPin->Grabber()->GetOutputDepth(), 16);
    reinterpret_cast<VIDEOINFOHEADER*>(t.Format())->bmiHeader.biBitCount = 15;
    EXPECT_EQ(m_pPin->SetMediaType(&t), E_INVALIDARG);
    EXPECT_EQ(m_pPin->Grabber()->GetOutputDepth(), 16) << "a refused type changes nothing";
    t.ResetFormatBuffer();
    EXPECT_EQ(m_pPin->SetMediaType(&t), E_UNEXPECTED);
    CMediaType rgb24 = Type(1);
    ASSERT_EQ(m_pPin->SetMediaType(&rgb24), S_OK);
    EXPECT_EQ(m_pPin->Grabber()->GetOutputDepth(), 24);
}

// Grants less than asked, as a stingy downstream allocator might.
class CStingyAllocator final : public IMemAllocator {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT SetProperties(ALLOCATOR_PROPERTIES* req, ALLOCATOR_PROPERTIES* actual) override
    {
        m_request = *req;
        *actual = *req;
        actual->cbBuffer = req->cbBuffer / 2;
        return S_OK;
    }
    HRESULT GetProperties(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    HRESULT Commit() override { return E_NOTIMPL; }
    HRESULT Decommit() override { return E_NOTIMPL; }
    HRESULT GetBuffer(IMediaSample**, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) override { return E_NOTIMPL; }
    HRESULT ReleaseBuffer(IMediaSample*) override { return E_NOTIMPL; }
    ALLOCATOR_PROPERTIES m_request {};
};

TEST_F(CaptureStream, AsksForOneBufferOfOneFrame)
{
    CMediaType rgb24 = Type(1);
    ASSERT_EQ(m_pPin->SetMediaType(&rgb24), S_OK);
    CStingyAllocator stingy;
    ALLOCATOR_PROPERTIES req {4, 0, 16, 8};
    EXPECT_EQ(m_pPin->DecideBufferSize(&stingy, &req), E_FAIL);
    EXPECT_EQ(stingy.m_request.cBuffers, 1);
    EXPECT_EQ(stingy.m_request.cbBuffer, 921600);
    EXPECT_EQ(stingy.m_request.cbAlign, 16) << "alignment and prefix stay the caller's";
    EXPECT_EQ(stingy.m_request.cbPrefix, 8);
    EXPECT_EQ(m_pPin->DecideBufferSize(nullptr, &req), E_POINTER);
    EXPECT_EQ(m_pPin->DecideBufferSize(&stingy, nullptr), E_POINTER);
}

TEST_F(CaptureStream, SamplesAbutAndLastTheMeanIntervalSoFar)
{
    Prepare();
    for (int run = 0; run < 2; ++run) {
        m_pPin->OnThreadCreate();
        const DWORD T = 1000 + run * 50000;
        Span a = FillAt(T), b = FillAt(T + 100), c = FillAt(T + 180);
        EXPECT_EQ(a.start, 0) << "every run starts at zero";
        EXPECT_EQ(a.stop, 666666);
        EXPECT_EQ(b.start, 666666);
        EXPECT_EQ(b.stop, 1666666);
        EXPECT_EQ(c.start, 1666666);
        EXPECT_EQ(c.stop, 2566666);
        EXPECT_EQ(m_pSample->IsSyncPoint(), S_OK);
        EXPECT_EQ(Fps(), 0.0) << "known only after the stop";
        m_clock.Set(T + 200);
        m_pPin->OnThreadDestroy();
        EXPECT_DOUBLE_EQ(Fps(), 3 * 1000.0 / 200);
    }
    EXPECT_EQ(m_pPin->FillBuffer(nullptr), E_POINTER);
}

TEST_F(CaptureStream, PausedTimeCountsNeitherInSamplesNorInTheFrameRate)
{
    Prepare();
    m_pPin->OnThreadCreate();
    FillAt(1000);
    FillAt(1100);
    Span before = FillAt(1200);
    EXPECT_EQ(before.stop - before.start, 1000000);

    m_clock.Set(1250);
    m_pFilter->SetPause(TRUE);
    BOOL paused = FALSE;
    m_pFilter->GetPause(&paused);
    EXPECT_TRUE(paused);
    // The window thread resumes 5 s later, while the streaming thread sleeps in its wait.
    m_clock.OnSleep([this](DWORD now) {
        if (now >= 6250) m_pFilter->SetPause(FALSE);
    });
    Span resumed = Fill();
    EXPECT_EQ(m_clock.GetTickCount(), 6250u);
    EXPECT_EQ(resumed.start, before.stop);
    EXPECT_EQ(resumed.stop - resumed.start, 200 * 10000 / 3) << "the pause does not stretch the samples";
    Span next = FillAt(6350);
    EXPECT_EQ(next.stop - next.start, 300 * 10000 / 4);
    m_pPin->OnThreadDestroy();
    EXPECT_DOUBLE_EQ(Fps(), 5 * 1000.0 / (250 + 100));
}

TEST_F(CaptureStream, ClearingThePauseRestartsTheIntervalAndAPauseBeforeTheFirstFrameCountsNothing)
{
    Prepare();
    m_pPin->OnThreadCreate();
    FillAt(1000);
    FillAt(1100);
    m_clock.Set(1150);
    m_pFilter->SetPause(FALSE);
    Span s = FillAt(1200);
    EXPECT_EQ(s.stop - s.start, (100 + 50) * 10000 / 2);
    m_pPin->OnThreadDestroy();

    // Paused at the start of a run: the wait ends the first (not yet begun) stretch, which
    // must not count the whole tick count since boot.
    m_clock.Set(90000);
    m_pPin->OnThreadCreate();
    m_pFilter->SetPause(TRUE);
    m_clock.OnSleep([this](DWORD now) {
        if (now >= 91000) m_pFilter->SetPause(FALSE);
    });
    Span first = Fill();
    EXPECT_EQ(first.start, 0);
    EXPECT_EQ(first.stop, 666666);
    FillAt(91100);
    m_clock.Set(91200);
    m_pPin->OnThreadDestroy();
    EXPECT_DOUBLE_EQ(Fps(), 2 * 1000.0 / 200);
}

TEST_F(CaptureStream, FrameRateIsFramesPerUnpausedSecond)
{
    Prepare();
    m_pPin->OnThreadCreate();
    const DWORD T = 4000000000u;  // the tick count wraps during the run
    for (int i = 0; i < 300; ++i) FillAt(T + static_cast<DWORD>(i * 20000LL / 300));
    m_clock.Set(T + 20000);
    m_pPin->OnThreadDestroy();
    EXPECT_DOUBLE_EQ(Fps(), 15.0);

    // A run without un-paused time reports no rate rather than dividing by zero.
    m_pPin->OnThreadCreate();
    FillAt(5000);
    m_pPin->OnThreadDestroy();
    EXPECT_EQ(Fps(), 0.0);
}

TEST_F(CaptureStream, CeilingPacesCapturesWithoutChangingTheTimeStamps)
{
    Prepare();
    m_pFilter->SetMaxFrameRate(15.0);
    m_pPin->OnThreadCreate();
    m_clock.Set(1000);
    Span last {};
    for (int i = 0; i < 16; ++i) last = Fill();  // downstream takes them at once
    EXPECT_EQ(m_clock.GetTickCount(), 2000u) << "15 intervals of 1/15 s, without drift";
    EXPECT_EQ(last.stop - last.start, 1000 * 10000 / 15) << "time stamps keep the measured mean";
    m_pPin->OnThreadDestroy();
    EXPECT_NEAR(Fps(), 16.0, 1e-9) << "16 frames in the one second since the first";

    // A short stall is caught up: the frames it held back go at once, then the first
    // schedule goes on.
    m_pPin->OnThreadCreate();
    FillAt(5000);
    FillAt(5300);  // due at 5067: four frames behind
    int sleeps = m_clock.Sleeps();
    for (int i = 0; i < 3; ++i) Fill();
    EXPECT_EQ(m_clock.Sleeps(), sleeps) << "due at 5133, 5200, 5267";
    Fill();
    EXPECT_EQ(m_clock.GetTickCount(), 5334u) << "the fifth frame after the first waits for its slot";
    // A pause, however short, is not caught up: the schedule starts again at the resume.
    m_pPin->SetPause(TRUE);
    m_clock.OnSleep([this](DWORD now) {
        if (now >= 5500) m_pPin->SetPause(FALSE);
    });
    Fill();
    m_clock.OnSleep(nullptr);
    sleeps = m_clock.Sleeps();
    Fill();
    EXPECT_EQ(m_clock.GetTickCount(), 5567u) << "one interval after the resume";
    m_pPin->OnThreadDestroy();

    // A slow downstream is not made to wait; no limit means no waiting at all.
    m_pPin->OnThreadCreate();
    FillAt(10000);
    sleeps = m_clock.Sleeps();
    FillAt(10200);
    EXPECT_EQ(m_clock.Sleeps(), sleeps);
    FillAt(11000);  // far behind: paced from here on
    FillAt(11000);
    EXPECT_EQ(m_clock.GetTickCount(), 11067u);
    sleeps = m_clock.Sleeps();
    m_pFilter->SetMaxFrameRate(0);
    FillAt(10200);
    FillAt(10200);
    EXPECT_EQ(m_clock.Sleeps(), sleeps);
    m_pPin->OnThreadDestroy();
}

TEST_F(CaptureStream, APauseDuringTheCeilingsWaitHoldsBackTheFrameItWaitsFor)
{
    Prepare();
    m_pFilter->SetMaxFrameRate(15.0);
    m_pPin->OnThreadCreate();
    FillAt(1000);
    FillAt(1000);  // the second frame waits for its slot at 1067
    // The window thread pauses while the streaming thread sleeps towards the next slot, and
    // resumes at 3000.
    m_clock.OnSleep([this](DWORD now) {
        BOOL paused = FALSE;
        m_pFilter->GetPause(&paused);
        if (now < 3000 && !paused) m_pFilter->SetPause(TRUE);
        if (now >= 3000 && paused) m_pFilter->SetPause(FALSE);
    });
    Span resumed = Fill();
    EXPECT_EQ(m_clock.GetTickCount(), 3000u) << "no frame is captured while paused";
    EXPECT_EQ(resumed.start, 1336666) << "after the second frame, [666666, 1336666) at 1067";
    m_clock.OnSleep(nullptr);
    m_clock.Set(3100);
    m_pPin->OnThreadDestroy();
    // Un-paused: from 1000 to the pause a few milliseconds after 1067, and from 3000 to 3100.
    double fps = Fps();
    EXPECT_GT(fps, 3 * 1000.0 / (67 + 10 + 100));
    EXPECT_LT(fps, 3 * 1000.0 / (67 + 100));
}

TEST_F(CaptureStream, ControlInterfaceSharesTheFiltersIdentity)
{
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(m_pFilter->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)), S_OK);
    IOravane* control = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IOravane, reinterpret_cast<void**>(&control)), S_OK);
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    filter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    control->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    EXPECT_EQ(a, b);
    IOravane* again = nullptr;
    control->QueryInterface(IID_IOravane, reinterpret_cast<void**>(&again));
    EXPECT_EQ(again, control);
    // The ceiling is an interface of its own on the same object.
    IOravaneFrameRate* ceiling = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IOravaneFrameRate, reinterpret_cast<void**>(&ceiling)), S_OK);
    IUnknown* c = nullptr;
    ceiling->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&c));
    EXPECT_EQ(c, a);
    EXPECT_EQ(ceiling->SetMaxFrameRate(15.0), S_OK);
    c->Release();
    ceiling->Release();
    EXPECT_EQ(filter->QueryInterface(IID_IOravane, nullptr), E_POINTER);
    void* none = &none;
    EXPECT_EQ(control->QueryInterface(IID_IMemAllocator, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    BOOL flag = TRUE;
    control->GetDrawCursor(&flag);
    EXPECT_FALSE(flag);
    control->SetDrawCursor(TRUE);
    control->GetDrawCursor(&flag);
    EXPECT_TRUE(flag);
    control->SetCaptureMode(42, CaptureModeDirectDraw);
    EXPECT_EQ(m_pPin->Grabber()->GetCaptureMode(), CaptureModeDirectDraw);
    EXPECT_EQ(m_pPin->Grabber()->GetWindow(), 42u);
    // Null out-arguments are ignored: every method answers S_OK.
    EXPECT_EQ(control->GetCaptureRect(nullptr), S_OK);
    EXPECT_EQ(control->GetPause(nullptr), S_OK);
    EXPECT_EQ(control->GetActualFrameRate(nullptr), S_OK);

    IPin* pin = nullptr;
    ASSERT_EQ(filter->FindPin(L"A Oravane!", &pin), S_OK);
    PIN_INFO info {};
    pin->QueryPinInfo(&info);
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    EXPECT_EQ(info.pFilter, filter);
    info.pFilter->Release();
    pin->Release();
    CLSID clsid {};
    filter->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_Oravane);
    for (IUnknown* p : {static_cast<IUnknown*>(again), a, b, static_cast<IUnknown*>(control), static_cast<IUnknown*>(filter)})
        p->Release();
}

TEST(CaptureStreamThread, StopWhilePausedEndsTheStreamingThread)
{
    HRESULT hr = E_FAIL;
    CCaptureSource* filter = CCaptureSource::Create(nullptr, &hr, nullptr);
    ASSERT_EQ(hr, S_OK);
    filter->NonDelegatingAddRef();
    {
        dshowtest::CTestSink sink;
        ASSERT_EQ(filter->Stream()->Connect(sink.InputPin(), nullptr), S_OK);
        ASSERT_EQ(sink.Run(0), S_OK);
        ASSERT_EQ(filter->Run(0), S_OK);
        ASSERT_TRUE(sink.WaitFor(2));
        filter->SetPause(TRUE);
        // Stopped without clearing the pause first: the streaming thread still ends.
        EXPECT_EQ(filter->Stop(), S_OK);
        EXPECT_EQ(sink.Stop(), S_OK);
        BOOL paused = FALSE;
        filter->GetPause(&paused);
        EXPECT_TRUE(paused) << "the flag is the caller's to clear";
        double fps = -1;
        filter->GetActualFrameRate(&fps);
        EXPECT_GT(fps, 0.0);
        filter->Stream()->Disconnect();
        sink.InputPin()->Disconnect();
    }
    filter->NonDelegatingRelease();
}

TEST(CaptureStreamThread, StopDuringTheCeilingsWaitEndsTheThreadWithoutAnotherFrame)
{
    CScriptedClock clock;
    clock.Set(1000);
    HRESULT hr = E_FAIL;
    CCaptureSource* filter = CCaptureSource::Create(nullptr, &hr, &clock);
    ASSERT_EQ(hr, S_OK);
    filter->NonDelegatingAddRef();
    filter->SetMaxFrameRate(1.0);  // a second between frames
    CCaptureStream* pin = filter->Stream();
    std::thread stopper;
    std::atomic<bool> stopStarted {false};
    std::atomic<bool> stopPending {false};
    // The first sleep is the wait for the second frame's slot: the window thread stops the
    // graph meanwhile, and the streaming thread goes on once the stop is pending.
    clock.OnSleep([&](DWORD) {
        if (stopStarted) return;
        stopper = std::thread([filter] { filter->Stop(); });
        stopStarted = true;
        for (int i = 0; i < 10000 && !stopPending; ++i) {
            stopPending = pin->CheckRequest(nullptr);
            if (!stopPending) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    {
        dshowtest::CTestSink sink;
        ASSERT_EQ(pin->Connect(sink.InputPin(), nullptr), S_OK);
        ASSERT_EQ(sink.Run(0), S_OK);
        ASSERT_EQ(filter->Run(0), S_OK);
        ASSERT_TRUE(sink.WaitFor(1));
        for (int i = 0; i < 10000 && !stopStarted; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(stopStarted) << "the ceiling never waited";
        stopper.join();
        EXPECT_TRUE(stopPending);
        EXPECT_EQ(sink.Samples().size(), 1u) << "the stop came before the second frame's slot";
        EXPECT_LT(clock.SleptMs(), 1000u) << "the wait ended with the stop, not at the slot";
        EXPECT_EQ(sink.Stop(), S_OK);
        pin->Disconnect();
        sink.InputPin()->Disconnect();
    }
    filter->NonDelegatingRelease();
}

}  // namespace
