// The filter as the program uses it: created by class id through the registry, configured
// through IOravane, connected to a sink in a Filter Graph and run, paused, resumed and stopped
// on a private X server whose screen holds a known pattern.
#include "TestFilters.h"
#include "common/Oravane.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/screen/PrivateXServer.h"
#include "platform/screen/ScreenPainter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

// After the test framework: Xlib defines None and Bool as macros.
#include "platform/screen/ProcessErrorCounter.h"

#include <dlfcn.h>

#include <chrono>
#include <thread>

using dshowtest::CTestSink;
using dshowtest::ReceivedSample;
using screentest::Colour;
using Clock = std::chrono::steady_clock;

namespace {

constexpr RECT kRect {10, 20, 110, 100};  // 100 x 80
constexpr LONG kWidth = 100, kHeight = 80;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

class CaptureGraph : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.IsRunning());
        ASSERT_TRUE(m_painter.IsOpen());
        m_painter.Paint(screentest::PatternColour);
        void* module = dlopen(ORAVANE_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        auto reg = reinterpret_cast<PFN_DllRegisterServer>(dlsym(module, "DllRegisterServer"));
        ASSERT_NE(reg, nullptr);
        ASSERT_EQ(reg(), S_OK);  // as the installer does
        dlclose(module);
        RegisterMediaGraphClasses();
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_registry {"VANTOREL_REGISTRY", m_dir.file("registry")};
    screentest::CPrivateXServer m_server {"320x240x24"};
    screentest::CScreenPainter m_painter;
};

TEST_F(CaptureGraph, DeliversTheScreenWithAbuttingTimeStampsThroughPauseAndResume)
{
    CTestSink sink;  // outlives the graph, which holds it
    sink.m_bKeepData = true;
    sink.m_accept = [](const CMediaType& mt) { return *mt.Subtype() == MEDIASUBTYPE_RGB24; };
    {
        ComPtr<IBaseFilter> source;
        ASSERT_EQ(CoCreateInstance(CLSID_Oravane, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                   IID_IBaseFilter, source.ReleaseAndGetVoidAddressOf()), S_OK);
        ComPtr<IOravane> control;
        ASSERT_EQ(source.As(control, IID_IOravane), S_OK);
        // The screen is 320 x 240: a rectangle partly on it is taken, one wholly off it is not.
        EXPECT_EQ(control->SetCaptureRect({300, 200, 400, 300}), S_OK);
        EXPECT_EQ(control->SetCaptureRect({320, 0, 420, 80}), E_INVALIDARG);
        EXPECT_EQ(control->SetCaptureRect({-100, -80, 0, 0}), E_INVALIDARG);
        ASSERT_EQ(control->SetCaptureRect(kRect), S_OK);
        control->SetDrawCursor(FALSE);
        control->SetCaptureMode(0, CaptureModeGDI);

        ComPtr<IGraphBuilder> graph;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   graph.ReleaseAndGetVoidAddressOf()), S_OK);
        ASSERT_EQ(graph->AddFilter(source.Get(), L"Oravane"), S_OK);
        ASSERT_EQ(graph->AddFilter(&sink, L"Sink"), S_OK);
        ComPtr<IPin> out;
        ASSERT_EQ(source->FindPin(L"A Oravane!", out.ReleaseAndGetAddressOf()), S_OK);
        ASSERT_EQ(graph->Connect(out.Get(), sink.InputPin()), S_OK);
        AM_MEDIA_TYPE mt {};
        ASSERT_EQ(out->ConnectionMediaType(&mt), S_OK);
        EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24);
        EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth, kWidth);
        FreeMediaType(mt);

        ComPtr<IMediaControl> media;
        ASSERT_EQ(graph.As(media, IID_IMediaControl), S_OK);
        auto t0 = Clock::now();
        ASSERT_EQ(media->Run(), S_OK);
        ASSERT_TRUE(sink.WaitFor(8));
        // The program's pause: the graph pauses, then the source holds.
        ASSERT_EQ(media->Pause(), S_OK);
        control->SetPause(TRUE);
        auto tPause = Clock::now();
        std::size_t atPause = sink.Samples().size();
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        EXPECT_LE(sink.Samples().size(), atPause + 1) << "at most the frame in flight arrives while paused";
        ASSERT_EQ(media->Run(), S_OK);
        control->SetPause(FALSE);
        auto tResume = Clock::now();
        ASSERT_TRUE(sink.WaitFor(sink.Samples().size() + 8));
        ASSERT_EQ(media->Stop(), S_OK);
        auto tStop = Clock::now();

        double fps = -1;
        control->GetActualFrameRate(&fps);
        std::vector<ReceivedSample> samples = sink.Samples();
        double unpaused = Seconds(tPause - t0) + Seconds(tStop - tResume);
        double expected = samples.size() / unpaused;
        EXPECT_NEAR(fps, expected, expected * 0.15) << samples.size() << " frames, " << unpaused << " s";
        // The ceiling: one frame per 1/15 s; each un-paused stretch starts with a capture, and
        // one capture may already be past the pause check when the pause comes.
        EXPECT_LE(static_cast<double>(samples.size()), 15.0 * unpaused + 3);

        ASSERT_GE(samples.size(), 16u);
        EXPECT_EQ(samples[0].start, 0);
        EXPECT_EQ(samples[0].stop, 666666);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            EXPECT_EQ(samples[i].timeResult, S_OK);
            EXPECT_TRUE(samples[i].syncPoint);
            if (i > 0) {
                EXPECT_EQ(samples[i].start, samples[i - 1].stop) << i;
            }
            EXPECT_GT(samples[i].stop, samples[i].start) << i;
        }
        // The last sample's stop is the un-paused run time, measured by the pin.
        double streamSeconds = samples.back().stop / 1e7;
        EXPECT_LT(streamSeconds, unpaused + 0.2) << "the pause is not in the stream time";

        // Bottom-up BGR rows of the capture rectangle.
        const DWORD stride = DibStride(kWidth, 24);
        for (const ReceivedSample& s : {samples.front(), samples.back()}) {
            ASSERT_EQ(s.data.size(), stride * kHeight);
            for (LONG y : {LONG {0}, LONG {1}, LONG {39}, kHeight - 1}) {
                for (LONG x : {LONG {0}, LONG {1}, LONG {50}, kWidth - 1}) {
                    const BYTE* p = &s.data[(kHeight - 1 - y) * stride + x * 3];
                    Colour c = m_painter.ScreenColour(kRect.left + x, kRect.top + y);
                    EXPECT_EQ(p[2], c.r) << x << "," << y;
                    EXPECT_EQ(p[1], c.g) << x << "," << y;
                    EXPECT_EQ(p[0], c.b) << x << "," << y;
                }
            }
        }
        OAFilterState state = -1;
        media->GetState(0, &state);
        EXPECT_EQ(state, State_Stopped);
    }
    CoFreeUnusedLibraries();
}

TEST_F(CaptureGraph, TheModuleLeavesTheProcessErrorHandlerAsItFoundItAndCanBeUnloaded)
{
    screentest::CProcessErrorCounter process;
    {
        CTestSink sink;
        ComPtr<IBaseFilter> source;
        ASSERT_EQ(CoCreateInstance(CLSID_Oravane, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   source.ReleaseAndGetVoidAddressOf()), S_OK);
        ComPtr<IOravane> control;
        ASSERT_EQ(source.As(control, IID_IOravane), S_OK);
        ASSERT_EQ(control->SetCaptureRect(kRect), S_OK);
        ComPtr<IPin> out;
        ASSERT_EQ(source->FindPin(L"A Oravane!", out.ReleaseAndGetAddressOf()), S_OK);
        ASSERT_EQ(out->Connect(sink.InputPin(), nullptr), S_OK);
        ASSERT_EQ(sink.Run(0), S_OK);
        ASSERT_EQ(source->Run(0), S_OK);
        ASSERT_TRUE(sink.WaitFor(3));
        EXPECT_TRUE(process.IsInstalled()) << "capturing leaves the process's handler alone";
        EXPECT_EQ(source->Stop(), S_OK);
        EXPECT_EQ(sink.Stop(), S_OK);
        out->Disconnect();
        sink.InputPin()->Disconnect();
    }
    CoFreeUnusedLibraries();
    EXPECT_EQ(dlopen(ORAVANE_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the module is unloaded";
    EXPECT_TRUE(process.IsInstalled());
    // An error now must reach the process's handler, not code that has gone with the module.
    process.ProvokeError();
    EXPECT_EQ(process.Errors(), 1);
}

}  // namespace
