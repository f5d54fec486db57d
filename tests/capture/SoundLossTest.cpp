// A sound source that goes away during a recording (its output is unloaded from the private sound
// server): the graph hears of it, the recording window's watch sees it, the stop ends the
// recording without a hang, and the file keeps picture and sound up to then, playable.
#include "capture/CaptureGraph.h"
#include "platform/avi/AviClasses.h"
#include "platform/codecs/CompressorCategories.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/pulse/SoundDevices.h"
#include "platform/screen/PrivateXServer.h"
#include "platform/screen/ScreenPainter.h"
#include "platform/ui/MessageBox.h"
#include "support/PrivatePulseServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

std::string Output(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

double Number(const std::string& command)
{
    return std::atof(Output(command).c_str());
}

class SoundLoss : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.IsRunning());
        ASSERT_TRUE(m_pulse.IsRunning()) << m_pulse.Log();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        void* module = dlopen(ORAVANE_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        auto reg = reinterpret_cast<PFN_DllRegisterServer>(dlsym(module, "DllRegisterServer"));
        ASSERT_NE(reg, nullptr);
        ASSERT_EQ(reg(), S_OK);
        dlclose(module);
        RegisterMediaGraphClasses();
        RegisterAviClasses();
        RegisterCompressorCategories();
        RegisterSoundDevices();
        m_previous = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_messages.push_back(r.text);
            return platform::IDOK;
        });
    }
    void TearDown() override
    {
        platform::SetMessageBoxHandler(m_previous);
        CoUninitialize();
    }

    // Unloads the tone output, whose monitor the recording takes its sound from.
    bool UnloadToneOutput()
    {
        std::istringstream modules(Output("pactl list short modules"));
        for (std::string line; std::getline(modules, line);) {
            if (line.find(std::string("sink_name=") + testsupport::PrivatePulseServer::kToneSinkName) == std::string::npos)
                continue;
            return Output("pactl unload-module " + line.substr(0, line.find('\t'))).empty();
        }
        return false;
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_registry {"VANTOREL_REGISTRY", m_dir.file("registry")};
    testsupport::ScopedEnv m_log {"VANTOREL_LOG", m_dir.file("kvellog.txt")};
    screentest::CPrivateXServer m_server {"320x240x24"};
    testsupport::PrivatePulseServer m_pulse;
    std::vector<std::string> m_messages;
    platform::MessageBoxHandler m_previous;
};

TEST_F(SoundLoss, ASourceThatGoesAwayEndsTheRecordingWithPictureAndSoundKeptTogether)
{
    options::CVideoOptions o;
    o.m_strOutputPath = m_dir.path().string() + "/";
    o.m_bRecordSound = 1;
    o.m_strSoundDevice = "PulseAudio Sound Server";
    o.m_strInputSource = testsupport::PrivatePulseServer::kToneMonitorDescription;
    o.m_nChannels = 0;
    o.m_nSampleBits = 1;
    o.m_nSampleRate = 1;
    o.m_bAudioCompress = 0;
    o.m_bVideoCompress = 0;
    o.m_nCaptureMode = 0;
    o.m_nFrameRate = 15;
    CCaptureGraph graph(o);
    graph.SetCaptureFrame(0, RECT {16, 16, 16 + 96, 16 + 64});
    ASSERT_TRUE(graph.StartBuild()) << (m_messages.empty() ? "" : m_messages.back());
    const std::string file = m_dir.file("talk_001.avi");
    graph.Run(file);
    std::this_thread::sleep_for(1500ms);  // recording time, not a wait for anything
    ASSERT_TRUE(UnloadToneOutput());
    const auto lost = std::chrono::steady_clock::now();

    // The recording window's watch, with a deadline.
    bool heard = false;
    while (!heard && std::chrono::steady_clock::now() - lost < 10s) {
        heard = graph.HasWriteFailed();
        if (!heard) std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(heard) << "the graph hears that the sound stopped";
    const auto t0 = std::chrono::steady_clock::now();
    graph.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s) << "the stop does not hang";
    EXPECT_FALSE(graph.IsBuilt());

    EXPECT_EQ(Output("ffmpeg -nostdin -v error -i '" + file + "' -f null -"), "") << "the file plays";
    const std::string probe = "ffprobe -v error -of csv=p=0 -select_streams ";
    const double video = Number(probe + "v:0 -show_entries stream=duration '" + file + "'");
    // PCM streams count samples and give no duration of their own.
    const double sound = Number(probe + "a:0 -show_entries stream=nb_frames '" + file + "'") / 22050;
    EXPECT_GT(video, 1.0);
    EXPECT_NEAR(video, sound, 0.3) << "picture and sound stay together to the end";
}

} // namespace
