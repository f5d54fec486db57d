// The capture graph's build, release and run control over the real graph, builder and
// multiplexer, with a double for the video source and for the sound devices and codecs.
#include "GraphDoubles.h"
#include "capture/CaptureGraph.h"
#include "platform/avi/AviClasses.h"
#include "platform/com/ObjectCreation.h"
#include "platform/ui/MessageBox.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace capturetest;
using namespace testsupport;

namespace {

class CaptureGraphTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        InstallGraphClasses();
        RegisterAviClasses();
        m_previous = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_messages.push_back(r.text);
            return platform::IDOK;
        });
        CFakeOravane::Log().Clear();
        m_options.m_strOutputPath = m_dir.path().string() + "/";
        m_options.m_bRecordSound = 0;
        m_options.m_bVideoCompress = 0;
        m_options.m_bAudioCompress = 0;
        m_options.m_strSoundDevice = "Card";
        m_options.m_strInputSource = "Line In";
        m_mixer.m_devices = {MixerDeviceData {"Server", {WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Stereo Mix")})}}};
        m_devices.SetSoundDevices({{L"Card", {L"Microphone", L"Line In", L"Stereo Mix"}}});
    }
    void TearDown() override
    {
        platform::SetMessageBoxHandler(m_previous);
        CoUninitialize();
    }

    std::vector<IBaseFilter*> Filters(CCaptureGraph& graph)
    {
        std::vector<IBaseFilter*> filters;
        ComPtr<IEnumFilters> pEnum;
        graph.GetFilterGraph()->EnumFilters(pEnum.ReleaseAndGetAddressOf());
        IBaseFilter* pFilter = nullptr;
        while (pEnum->Next(1, &pFilter, nullptr) == S_OK) {
            filters.push_back(pFilter);
            pFilter->Release();  // the graph keeps it
        }
        return filters;
    }

    TempDir m_dir;
    // An empty registry: a class that is not built in must not be found installed instead.
    ScopedEnv m_registry {"VANTOREL_REGISTRY", m_dir.file("registry")};
    options::CVideoOptions m_options;
    CFakeDevices m_devices;
    CFakeMixer m_mixer;
    std::vector<std::string> m_messages;
    platform::MessageBoxHandler m_previous;
};

TEST_F(CaptureGraphTest, EachMissingPieceStopsTheBuildWithItsOwnMessage)
{
    struct Case {
        const char* what;
        std::function<void(options::CVideoOptions&)> change;
        const char* message;
    };
    const Case cases[] = {
        {"unknown sound device", [](auto& o) { o.m_bRecordSound = 1; o.m_strSoundDevice = "card"; },
         "CreateAudioCapFilter failed!"},
        {"no such input", [](auto& o) { o.m_bRecordSound = 1; o.m_strInputSource = "Line"; },
         "CreateAudioCapFilter failed!"},
        {"unknown audio compressor, checked before the video one",
         [](auto& o) {
             o.m_bRecordSound = 1;
             o.m_bAudioCompress = 1;
             o.m_strAudioCompressor = "Nothing";
             o.m_bVideoCompress = 1;
             o.m_strVideoCompressor = "Nothing";
         },
         "CreateAudioCompressor() failed!"},
        {"unknown video compressor", [](auto& o) { o.m_bVideoCompress = 1; o.m_strVideoCompressor = "Nothing"; },
         "CreateVideoCompressor() failed!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        options::CVideoOptions saved = m_options;
        c.change(m_options);
        m_messages.clear();
        CCaptureGraph graph(m_options);
        EXPECT_FALSE(graph.BuildCaptureGraph());
        EXPECT_EQ(m_messages, std::vector<std::string> {c.message});
        EXPECT_FALSE(graph.IsBuilt());
        EXPECT_TRUE(graph.ReleaseCaptureGraph());
        m_options = saved;
    }
}

TEST_F(CaptureGraphTest, MissingSourceClassAndRefusedFormatAreReported)
{
    CoRevokeBuiltInClass(CLSID_Oravane);
    {
        CCaptureGraph graph(m_options);
        EXPECT_FALSE(graph.BuildCaptureGraph());
        // The half-made graph has a media control but no source: run control leaves it alone
        // instead of reaching into what the build never made.
        graph.SetFileName(m_dir.file("never.avi"));
        graph.Run();
        graph.Pause();
        graph.Resume();
        EXPECT_TRUE(graph.Stop());
        EXPECT_FALSE(std::filesystem::exists(m_dir.file("never.avi")));
    }
    InstallGraphClasses();
    m_options.m_bRecordSound = 1;
    CFakeCapturePin::s_hrSetFormat = E_INVALIDARG;
    {
        CCaptureGraph graph(m_options);
        EXPECT_FALSE(graph.BuildCaptureGraph());
    }
    CFakeCapturePin::s_hrSetFormat = S_OK;
    CFakeOravane::s_hrSetCaptureRect = E_INVALIDARG;  // a capture frame the source cannot capture
    {
        CCaptureGraph graph(m_options);
        EXPECT_FALSE(graph.BuildCaptureGraph());
    }
    CFakeOravane::s_hrSetCaptureRect = S_OK;
    const std::vector<std::string> expected {"CoCreateInstance( CLSID_Oravane ) failed!", "SetAudioProperties() failed!",
                                             "SetCaptureRect failed!"};
    EXPECT_EQ(m_messages, expected);
}

TEST_F(CaptureGraphTest, SilentUncompressedGraphHoldsSourceMultiplexerAndWriterOnly)
{
    CCaptureGraph graph(m_options);
    graph.SetCaptureFrame(0x1234, RECT {10, 20, 74, 68});
    ComPtr<IReferenceClock> pClockBefore;
    ASSERT_TRUE(graph.BuildCaptureGraph()) << (m_messages.empty() ? "" : m_messages[0]);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(Filters(graph).size(), 3u);
    EXPECT_TRUE(graph.BuildCaptureGraph());  // already built: nothing more is added
    EXPECT_EQ(Filters(graph).size(), 3u);

    // Running picks the graph's default clock, as no clock was set.
    ComPtr<IMediaFilter> pMediaFilter;
    ASSERT_EQ(graph.GetFilterGraph()->QueryInterface(IID_IMediaFilter, pMediaFilter.ReleaseAndGetVoidAddressOf()), S_OK);
    graph.SetFileName(m_dir.file("silent.avi"));
    graph.Run();
    ComPtr<IReferenceClock> pClock;
    pMediaFilter->GetSyncSource(pClock.ReleaseAndGetAddressOf());
    EXPECT_TRUE(pClock) << "a silent graph keeps its reference clock";
    pClock.Reset();

    ComPtr<IConfigAviMux> pConfig;
    ASSERT_EQ(graph.GetMultiplexer()->QueryInterface(IID_IConfigAviMux, pConfig.ReleaseAndGetVoidAddressOf()), S_OK);
    LONG nMaster = 0;
    pConfig->GetMasterStream(&nMaster);
    EXPECT_EQ(nMaster, -1);
    BOOL bOldIndex = FALSE;
    pConfig->GetOutputCompatibilityIndex(&bOldIndex);
    EXPECT_TRUE(bOldIndex);

    auto calls = CFakeOravane::Log().Calls();
    calls.resize(std::min<std::size_t>(calls.size(), 4));
    const std::vector<std::string> expected {"SetCaptureRect(10,20,74,68)", "SetDrawCursor(0)", "SetCaptureMode(4660,1)",
                                             "SetMaxFrameRate(15)"};
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(graph.Stop());
}

TEST_F(CaptureGraphTest, SourceModuleOfAnEarlierBuildRecordsWithoutTheCeiling)
{
    // Its IOravane ends after GetActualFrameRate: anything called past it would crash here.
    CFakeOravane::s_bEarlierModule = true;
    CCaptureGraph graph(m_options);
    graph.SetCaptureFrame(0x1234, RECT {10, 20, 74, 68});
    const bool built = graph.BuildCaptureGraph();
    CFakeOravane::s_bEarlierModule = false;
    ASSERT_TRUE(built) << (m_messages.empty() ? "" : m_messages[0]);
    const std::string file = m_dir.file("earlier.avi");
    graph.SetFileName(file);
    graph.Run();
    graph.Pause();
    graph.Resume();
    EXPECT_TRUE(graph.Stop());
    EXPECT_GT(std::filesystem::file_size(file), 0u);
    auto calls = CFakeOravane::Log().Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetCaptureMode(4660,1)"), 1);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string& c) { return c.starts_with("SetMaxFrameRate"); }), 0);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(CaptureGraphTest, FrameRateFromADamagedFileIsBroughtIntoTheWindowsRange)
{
    // 0 would lift the source's ceiling and fill the disk; the window allows 10 to 35.
    for (auto [nStored, nCeiling] : {std::pair {0, 10}, {-7, 10}, {9, 10}, {35, 35}, {500, 35}}) {
        CFakeOravane::Log().Clear();
        m_options.m_nFrameRate = nStored;
        CCaptureGraph graph(m_options);
        ASSERT_TRUE(graph.BuildCaptureGraph());
        auto calls = CFakeOravane::Log().Calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetMaxFrameRate(" + std::to_string(nCeiling) + ")"), 1) << nStored;
    }
}

TEST_F(CaptureGraphTest, SoundGraphSwitchesOnTheChosenLineMastersOnSoundAndRunsWithoutClock)
{
    m_options.m_bRecordSound = 1;
    m_options.m_strInputSource = "Default";  // the mixer's wave-out line, "Stereo Mix"
    m_options.m_nChannels = 0;
    m_options.m_nSampleBits = 0;
    m_options.m_nSampleRate = 0;
    CCaptureGraph graph(m_options);
    ASSERT_TRUE(graph.BuildCaptureGraph()) << (m_messages.empty() ? "" : m_messages[0]);
    EXPECT_EQ(Filters(graph).size(), 4u);

    auto bound = m_devices.BoundSoundDevices();
    ASSERT_EQ(bound.size(), 1u);
    EXPECT_TRUE(bound[0]->Line(L"Stereo Mix")->m_bEnabled);
    EXPECT_FALSE(bound[0]->Line(L"Microphone")->m_bEnabled);
    EXPECT_FALSE(bound[0]->Line(L"Line In")->m_bEnabled);
    EXPECT_EQ(bound[0]->Line(L"Microphone")->m_nSwitches, 1);

    const WAVEFORMATEX& wfx = bound[0]->Capture()->m_wfx;
    EXPECT_EQ(wfx.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wfx.nChannels, 1);
    EXPECT_EQ(wfx.nSamplesPerSec, 11025u);
    EXPECT_EQ(wfx.nAvgBytesPerSec, 11025u);
    EXPECT_EQ(wfx.nBlockAlign, 1);
    EXPECT_EQ(wfx.wBitsPerSample, 8);

    ComPtr<IConfigAviMux> pConfig;
    ASSERT_EQ(graph.GetMultiplexer()->QueryInterface(IID_IConfigAviMux, pConfig.ReleaseAndGetVoidAddressOf()), S_OK);
    LONG nMaster = -1;
    pConfig->GetMasterStream(&nMaster);
    EXPECT_EQ(nMaster, 1);

    ComPtr<IMediaFilter> pMediaFilter;
    graph.GetFilterGraph()->QueryInterface(IID_IMediaFilter, pMediaFilter.ReleaseAndGetVoidAddressOf());
    graph.SetFileName(m_dir.file("sound.avi"));
    graph.Run();
    ComPtr<IReferenceClock> pClock;
    pMediaFilter->GetSyncSource(pClock.ReleaseAndGetAddressOf());
    EXPECT_FALSE(pClock) << "the graph runs without a clock";
    EXPECT_TRUE(graph.Stop());
}

TEST_F(CaptureGraphTest, SoundFormatArithmetic)
{
    struct Case {
        int channels, bits, rate;
        WORD nChannels;
        DWORD nRate, nAvg;
        WORD nAlign, nBits;
    };
    const Case cases[] = {
        {0, 0, 0, 1, 11025, 11025, 1, 8},
        {1, 1, 1, 2, 22050, 88200, 4, 16},
        {0, 1, 2, 1, 44100, 88200, 2, 16},
        {1, 0, 7, 2, 44100, 88200, 2, 8},  // any other rate choice is 44 kHz
    };
    m_options.m_bRecordSound = 1;
    for (const Case& c : cases) {
        m_options.m_nChannels = c.channels;
        m_options.m_nSampleBits = c.bits;
        m_options.m_nSampleRate = c.rate;
        CCaptureGraph graph(m_options);
        ASSERT_TRUE(graph.BuildCaptureGraph());
        const WAVEFORMATEX& wfx = m_devices.BoundSoundDevices().back()->Capture()->m_wfx;
        EXPECT_EQ(wfx.nChannels, c.nChannels);
        EXPECT_EQ(wfx.nSamplesPerSec, c.nRate);
        EXPECT_EQ(wfx.nAvgBytesPerSec, c.nAvg);
        EXPECT_EQ(wfx.nBlockAlign, c.nAlign);
        EXPECT_EQ(wfx.wBitsPerSample, c.nBits);
        EXPECT_EQ(wfx.cbSize, 0);
    }
}

TEST_F(CaptureGraphTest, StopWhilePausedClearsThePauseFirstAndEveryStartBuildsANewGraph)
{
    CCaptureGraph graph(m_options);
    CFakeOravane::s_dActualFps = 12.7;
    const int nBefore = CFakeOravane::s_nCreated;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(graph.StartBuild());
        IBaseFilter* pSource = graph.GetVideoSource();
        const std::string file = m_dir.path().string() + "/rec_" + std::to_string(round) + ".avi";
        graph.SetFileName(file);
        graph.Run();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        graph.Pause();
        CFakeOravane::Log().Clear();
        EXPECT_TRUE(graph.Stop());
        const auto calls = CFakeOravane::Log().Calls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(calls[0], "SetPause(0)");
        EXPECT_EQ(calls[1], "Stop");
        EXPECT_TRUE(graph.IsBuilt()) << "released by the window once it has shown the stop";
        graph.ReleaseCaptureGraph();
        EXPECT_FALSE(graph.IsBuilt());
        EXPECT_EQ(graph.GetVideoSource(), nullptr);
        (void)pSource;

        std::ifstream in(file, std::ios::binary);
        ASSERT_TRUE(in) << file;
        in.seekg(132);
        unsigned char rate[4] = {};
        in.read(reinterpret_cast<char*>(rate), 4);
        EXPECT_EQ(rate[0] | rate[1] << 8 | rate[2] << 16 | rate[3] << 24, 12);
    }
    EXPECT_EQ(CFakeOravane::s_nCreated, nBefore + 2);
    EXPECT_TRUE(m_messages.empty());
}

TEST(UpdateAviFrameRate, PatchesTheVideoRateOnlyInAFileThatHoldsIt)
{
    TempDir dir;
    const std::string file = dir.path().string() + "/f.avi";
    const std::string command = "ffmpeg -v error -y -f lavfi -i testsrc=size=32x24:rate=15 -frames:v 5 -c:v rawvideo "
                                "-pix_fmt bgr24 '" + file + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    auto readAt = [&](long offset) {
        std::ifstream in(file, std::ios::binary);
        in.seekg(offset);
        unsigned char b[4] = {};
        in.read(reinterpret_cast<char*>(b), 4);
        return static_cast<long>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<unsigned long>(b[3]) << 24);
    };
    EXPECT_EQ(readAt(128), 1);   // dwScale
    EXPECT_EQ(readAt(132), 15);  // dwRate
    EXPECT_TRUE(UpdateAviFrameRate(file, 12.7));
    EXPECT_EQ(readAt(132), 12);
    EXPECT_EQ(readAt(128), 1);
    EXPECT_TRUE(UpdateAviFrameRate(file, 0.4));
    EXPECT_EQ(readAt(132), 1) << "a zero rate would leave the file unplayable";

    EXPECT_FALSE(UpdateAviFrameRate(dir.path().string() + "/missing.avi", 12.7));
    const std::string shortFile = dir.path().string() + "/short.avi";
    WriteFile(shortFile, "RIFF");
    EXPECT_FALSE(UpdateAviFrameRate(shortFile, 12.7));
    EXPECT_EQ(ReadFile(shortFile), "RIFF");
}

} // namespace
