// Whole recordings on a private X server and sound server: the real capture filter module,
// compressors, sound capture device, multiplexer and file writer, checked with ffprobe/ffmpeg.
#include "RecordingSupport.h"
#include "capture/CaptureGraph.h"
#include "platform/com/ObjectCreation.h"
#include "platform/screen/PrivateXServer.h"
#include "platform/screen/ScreenPainter.h"
#include "platform/ui/MessageBox.h"
#include "support/PrivatePulseServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr RECT kFrame {16, 24, 16 + 160, 24 + 112};
constexpr int kWidth = 160, kHeight = 112;

// Left half of the frame: 16x16 blocks of four colours that never change. Right half: one
// colour that changes with every repaint, so the picture keeps moving.
screentest::Colour StaticColour(int x, int y)
{
    static constexpr screentest::Colour kColours[] = {{200, 40, 40}, {40, 200, 40}, {40, 40, 200}, {230, 230, 60}};
    return kColours[((x / 16) + (y / 16)) % 4];
}

std::string RunCommand(const std::string& command, int* pStatus = nullptr)
{
    std::string out;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
            out.append(buffer, n);
        int status = pclose(pipe);
        if (pStatus)
            *pStatus = status;
    }
    return out;
}

// "key=value" lines of one ffprobe stream.
std::map<std::string, std::string> Probe(const std::string& file, const char* stream)
{
    std::map<std::string, std::string> values;
    const std::string out = RunCommand("ffprobe -v error -count_frames -select_streams " + std::string(stream) +
                                " -show_entries stream=codec_name,width,height,nb_read_frames,nb_frames,r_frame_rate,"
                                "duration,sample_rate,channels -of default=nw=1 '" + file + "'");
    std::size_t pos = 0;
    while (pos < out.size()) {
        std::size_t end = out.find('\n', pos);
        if (end == std::string::npos)
            end = out.size();
        const std::string line = out.substr(pos, end - pos);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
        pos = end + 1;
    }
    return values;
}

double Rate(const std::string& fraction)
{
    const std::size_t slash = fraction.find('/');
    if (slash == std::string::npos)
        return std::atof(fraction.c_str());
    const double den = std::atof(fraction.c_str() + slash + 1);
    return den == 0 ? 0 : std::atof(fraction.substr(0, slash).c_str()) / den;
}

struct RecordingCase {
    const char* name;
    bool bSound;
    const char* videoCompressor;  // nullptr: uncompressed
    const char* audioCompressor;  // nullptr: uncompressed
    int nCaptureMode;
    double dTolerance;  // mean absolute colour error allowed in the still half
};

class Recording : public ::testing::TestWithParam<RecordingCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.IsRunning());
        ASSERT_TRUE(m_pulse.IsRunning()) << m_pulse.Log();
        ASSERT_TRUE(m_painter.IsOpen());
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(capturetest::RegisterRecordingClasses(ORAVANE_MODULE), "");
        m_previous = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_messages.push_back(r.text);
            return platform::IDOK;
        });
        Repaint();
        m_painterThread = std::thread([this] {
            while (!m_bStop) {
                std::this_thread::sleep_for(60ms);
                Repaint();
            }
        });
    }
    void TearDown() override
    {
        m_bStop = true;
        if (m_painterThread.joinable())
            m_painterThread.join();
        platform::SetMessageBoxHandler(m_previous);
        CoUninitialize();
    }

    void Repaint()
    {
        const int tick = m_nTick++;
        m_painter.Paint([tick](int x, int y) {
            if (x >= kFrame.left + kWidth / 2)
                return screentest::Colour {static_cast<std::uint8_t>(tick * 37), static_cast<std::uint8_t>(tick * 11),
                                           static_cast<std::uint8_t>(255 - tick * 23)};
            return StaticColour(x, y);
        });
    }

    options::CVideoOptions Options(const RecordingCase& c)
    {
        options::CVideoOptions o;
        o.m_strOutputPath = m_dir.path().string() + "/";
        o.m_bRecordSound = c.bSound;
        o.m_strSoundDevice = capturetest::FirstSoundDevice();
        // The tone output's monitor runs in real time; the sine source works in two-second blocks.
        o.m_strInputSource = testsupport::PrivatePulseServer::kToneMonitorDescription;
        o.m_nChannels = 0;  // mono
        o.m_nSampleBits = 1;
        o.m_nSampleRate = 1;
        o.m_bVideoCompress = c.videoCompressor != nullptr;
        o.m_strVideoCompressor = c.videoCompressor ? c.videoCompressor : "";
        o.m_bAudioCompress = c.audioCompressor != nullptr;
        o.m_strAudioCompressor = c.audioCompressor ? c.audioCompressor : "";
        o.m_nCaptureMode = c.nCaptureMode;
        o.m_nFrameRate = 15;
        return o;
    }

    // Records about 2.4 s of running time with a 0.6 s pause in the middle.
    double Record(CCaptureGraph& graph, const std::string& file)
    {
        EXPECT_TRUE(graph.StartBuild()) << (m_messages.empty() ? "" : m_messages.back());
        const auto t0 = std::chrono::steady_clock::now();
        graph.SetFileName(file);
        graph.Run();
        std::this_thread::sleep_for(1200ms);
        graph.Pause();
        const auto tPause = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(600ms);
        graph.Resume();
        const auto tResume = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(1200ms);
        EXPECT_TRUE(graph.Stop());
        const auto tStop = std::chrono::steady_clock::now();
        return std::chrono::duration<double>((tPause - t0) + (tStop - tResume)).count();
    }

    // Mean absolute error of the still half of frame n against the painted blocks.
    double StillHalfError(const std::string& file, int n)
    {
        const std::string raw = m_dir.path().string() + "/frame.rgb";
        int status = 0;
        const std::string out = RunCommand("ffmpeg -v error -y -i '" + file + "' -vf 'select=eq(n\\," + std::to_string(n) +
                                    ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 '" + raw + "'", &status);
        EXPECT_EQ(status, 0) << out;
        const std::string data = testsupport::ReadFile(raw);
        if (data.size() != static_cast<std::size_t>(kWidth * kHeight * 3))
            return 1e9;
        double total = 0;
        int count = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 2; x < kWidth / 2 - 2; ++x) {
                const auto expected = StaticColour(kFrame.left + x, kFrame.top + y);
                const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + (y * kWidth + x) * 3;
                total += std::abs(p[0] - expected.r) + std::abs(p[1] - expected.g) + std::abs(p[2] - expected.b);
                count += 3;
            }
        return total / count;
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_registry {"VANTOREL_REGISTRY", m_dir.file("registry")};
    testsupport::ScopedEnv m_log {"VANTOREL_LOG", m_dir.file("kvellog.txt")};
    screentest::CPrivateXServer m_server {"320x240x24"};
    testsupport::PrivatePulseServer m_pulse;
    screentest::CScreenPainter m_painter;
    std::thread m_painterThread;
    std::atomic<bool> m_bStop {false};
    std::atomic<int> m_nTick {0};
    std::vector<std::string> m_messages;
    platform::MessageBoxHandler m_previous;
};

TEST_P(Recording, WritesAValidFileThatHoldsTheScreenAndKeepsPictureAndSoundTogether)
{
    const RecordingCase& c = GetParam();
    const options::CVideoOptions o = Options(c);
    if (c.bSound)
        ASSERT_FALSE(o.m_strSoundDevice.empty());
    CCaptureGraph graph(o);
    graph.SetCaptureFrame(0, kFrame);

    for (int round = 0; round < (c.bSound ? 1 : 2); ++round) {
        SCOPED_TRACE(round);
        const std::string file = m_dir.path().string() + "/rec_" + std::to_string(round) + ".avi";
        const double dRunning = Record(graph, file);
        EXPECT_TRUE(m_messages.empty()) << m_messages.front();

        int status = 0;
        const std::string errors = RunCommand("ffmpeg -v error -i '" + file + "' -f null -", &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(errors, "") << "every frame decodes";

        auto video = Probe(file, "v:0");
        EXPECT_EQ(video["width"], std::to_string(kWidth));
        EXPECT_EQ(video["height"], std::to_string(kHeight));
        const int nFrames = std::atoi(video["nb_read_frames"].c_str());
        EXPECT_EQ(video["nb_frames"], video["nb_read_frames"]);
        // 15 frames a second at most, and the capture keeps up with that on any machine we run on.
        EXPECT_LE(nFrames, 15 * dRunning + 3);
        EXPECT_GE(nFrames, 0.6 * 15 * dRunning);
        const double dRate = Rate(video["r_frame_rate"]);
        if (!c.bSound) {
            EXPECT_EQ(dRate, std::trunc(graph.GetLastFrameRate())) << "the measured rate is written";
            EXPECT_NEAR(graph.GetLastFrameRate(), nFrames / dRunning, 1.5);
        } else {
            auto audio = Probe(file, "a:0");
            EXPECT_EQ(audio["sample_rate"], "22050");
            EXPECT_EQ(audio["channels"], "1");
            // PCM streams count samples and give no duration of their own.
            const double dAudio = audio["duration"] != "N/A" && !audio["duration"].empty()
                                      ? std::atof(audio["duration"].c_str())
                                      : std::atof(audio["nb_frames"].c_str()) / std::atof(audio["sample_rate"].c_str());
            // The tail still in the sound server and in an encoder when the graph stops is lost.
            EXPECT_NEAR(dAudio, dRunning, 0.4) << "sound of the running time only";
            EXPECT_NEAR(nFrames / dRate, dAudio, 0.2) << "picture and sound stay together";
        }
        EXPECT_LE(StillHalfError(file, nFrames / 2), c.dTolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, Recording,
    ::testing::Values(RecordingCase {"SilentUncompressedGdi", false, nullptr, nullptr, 0, 0.0},
                      RecordingCase {"SilentVideo1DirectDraw", false, "Microsoft Video 1", nullptr, 1, 12.0},
                      RecordingCase {"SilentMotionJpeg", false, "Motion JPEG", nullptr, 0, 8.0},
                      RecordingCase {"SoundUncompressed", true, nullptr, nullptr, 1, 0.0},
                      RecordingCase {"SoundPcmVideo1", true, "Microsoft Video 1", "PCM", 0, 12.0},
                      RecordingCase {"SoundMp3MotionJpeg", true, "Motion JPEG", "MPEG Layer-3", 1, 8.0}),
    [](const ::testing::TestParamInfo<RecordingCase>& info) { return std::string(info.param.name); });

// A sound source that goes away part way (its output is unloaded from the sound server): the graph
// hears of it, the recording window's watch sees it, the stop ends the recording without a hang,
// and the file keeps picture and sound up to then, together and playable.
class SoundSourceLoss : public Recording {
protected:
    bool UnloadToneOutput()
    {
        const std::string modules = RunCommand("pactl list short modules");
        const std::size_t at =
            modules.find(std::string("sink_name=") + testsupport::PrivatePulseServer::kToneSinkName);
        if (at == std::string::npos) return false;
        const std::size_t line = modules.rfind('\n', at) + 1;  // npos + 1 = 0
        return RunCommand("pactl unload-module " + modules.substr(line, modules.find('\t', line) - line)).empty();
    }
};

TEST_P(SoundSourceLoss, EndsTheRecordingWithPictureAndSoundKeptTogether)
{
    const options::CVideoOptions o = Options(GetParam());
    ASSERT_FALSE(o.m_strSoundDevice.empty());
    CCaptureGraph graph(o);
    graph.SetCaptureFrame(0, kFrame);
    ASSERT_TRUE(graph.StartBuild()) << (m_messages.empty() ? "" : m_messages.back());
    const std::string file = m_dir.path().string() + "/lost.avi";
    graph.SetFileName(file);
    graph.Run();
    std::this_thread::sleep_for(1500ms);  // recording time, not a wait for anything
    ASSERT_TRUE(UnloadToneOutput());
    const auto lost = std::chrono::steady_clock::now();
    bool heard = false;
    while (!heard && std::chrono::steady_clock::now() - lost < 10s) {
        heard = graph.HasWriteFailed();
        if (!heard) std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(heard) << "the graph hears that the sound stopped";
    const auto t0 = std::chrono::steady_clock::now();
    graph.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s) << "the stop does not hang";
    graph.ReleaseCaptureGraph();

    int status = 0;
    EXPECT_EQ(RunCommand("ffmpeg -v error -i '" + file + "' -f null -", &status), "") << "the file plays";
    auto video = Probe(file, "v:0");
    auto audio = Probe(file, "a:0");
    const double dVideo = std::atof(video["duration"].c_str());
    // PCM streams count samples and give no duration of their own.
    const double dAudio = std::atof(audio["nb_frames"].c_str()) / std::atof(audio["sample_rate"].c_str());
    EXPECT_GT(dVideo, 1.0);
    EXPECT_NEAR(dVideo, dAudio, 0.3) << "picture and sound stay together to the end";
}

INSTANTIATE_TEST_SUITE_P(
    Uncompressed, SoundSourceLoss, ::testing::Values(RecordingCase {"Sound", true, nullptr, nullptr, 0, 0.0}),
    [](const ::testing::TestParamInfo<RecordingCase>& info) { return std::string(info.param.name); });

} // namespace
