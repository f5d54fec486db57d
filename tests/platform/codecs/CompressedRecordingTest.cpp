// Compressed streams written to AVI files by the AVI Mux and read back by ffprobe and ffmpeg, as a
// player would meet them.
#include "CodecTestSupport.h"
#include "TestPushSource.h"
#include "platform/avi/AviClasses.h"
#include "platform/codecs/SoundCompressor.h"
#include "platform/codecs/VideoCompressor.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/WideText.h"
#include "platform/dshow/CaptureInterfaces.h"
#include "platform/dshow/MediaGraphClasses.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace codectest;
using namespace dshowtest;

namespace {

constexpr REFERENCE_TIME kFrameTime = UNITS / 15;
constexpr int kFrames = 30;  // two seconds

std::string RunCommand(const std::string& command)
{
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return "popen failed";
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    pclose(p);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string Probe(const std::string& file, const char* stream, const char* entries)
{
    return RunCommand(std::string("ffprobe -v error -count_frames -select_streams ") + stream + " -show_entries stream=" +
               entries + " -of csv=p=0 '" + file + "'");
}

struct RecordingCase {
    const char* videoEncoder;
    const char* videoCodec;  // as ffprobe names it
    WORD soundTag;           // 0: no sound
    const char* soundCodec;
};

class RecordingDirectory {
protected:
    void SetUp()
    {
        RegisterMediaGraphClasses();
        RegisterAviClasses();
        m_dir = std::filesystem::temp_directory_path() / ("vantorel-codecs-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() { std::filesystem::remove_all(m_dir); }
    std::filesystem::path m_dir;
};

class CompressedRecording : public ::testing::TestWithParam<RecordingCase>, protected RecordingDirectory {
protected:
    void SetUp() override { RecordingDirectory::SetUp(); }
    void TearDown() override { RecordingDirectory::TearDown(); }
};

class CompressedRecordingStop : public ::testing::Test, protected RecordingDirectory {
protected:
    void SetUp() override { RecordingDirectory::SetUp(); }
    void TearDown() override { RecordingDirectory::TearDown(); }
};

// 32-bit frames of width x height and 16-bit stereo sound at 22.05 kHz.
void OfferTypes(CTestPushSource& video, CTestPushSource& sound, LONG width, LONG height)
{
    video.m_types.push_back(RgbType(32, width, height, kFrameTime));
    video.m_cbBuffer = width * height * 4;
    sound.m_types.push_back(PcmType(22050, 2, 16));
    sound.m_cbBuffer = 1 << 16;
}

// Pushing sources -> compressors -> AVI Mux -> File Writer, as a recording builds them.
struct RecordingGraph {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    CTestPushSource* pVideo = nullptr;
    CTestPushSource* pSound = nullptr;

    // Filters on the caller's stack leave the graph before they go.
    ~RecordingGraph()
    {
        if (control) control->Stop();
        if (graph && pVideo) graph->RemoveFilter(pVideo);
        if (graph && pSound) graph->RemoveFilter(pSound);
    }

    void Build(const std::string& file, const RecordingCase& c, CTestPushSource& video, CTestPushSource& sound)
    {
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   graph.ReleaseAndGetVoidAddressOf()), S_OK);
        ComPtr<ICaptureGraphBuilder2> builder;
        ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                                   builder.ReleaseAndGetVoidAddressOf()), S_OK);
        ASSERT_EQ(builder->SetFiltergraph(graph.Get()), S_OK);
        ComPtr<IBaseFilter> mux;
        ComPtr<IFileSinkFilter> writer;
        ASSERT_EQ(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, WideFromUtf8(file).c_str(), mux.ReleaseAndGetAddressOf(),
                                             writer.ReleaseAndGetAddressOf()), S_OK);

        ComPtr<IBaseFilter> videoCompressor, soundCompressor;
        for (const auto& choice : kVideoEncoderChoices) {
            if (std::string(choice.encoder) == c.videoEncoder) {
                ASSERT_EQ(CreateVideoCompressorFilter(choice, videoCompressor.ReleaseAndGetAddressOf()), S_OK);
            }
        }
        ASSERT_TRUE(videoCompressor);
        ASSERT_EQ(graph->AddFilter(&video, L"Video"), S_OK);
        pVideo = &video;
        ASSERT_EQ(graph->AddFilter(videoCompressor.Get(), L"Video Compressor"), S_OK);
        ASSERT_EQ(builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(&video), videoCompressor.Get(), mux.Get()), S_OK);
        if (c.soundTag) {
            for (const auto& choice : kSoundEncoderChoices) {
                if (choice.formatTag == c.soundTag) {
                    ASSERT_EQ(CreateSoundCompressorFilter(choice, soundCompressor.ReleaseAndGetAddressOf()), S_OK);
                }
            }
            ASSERT_EQ(graph->AddFilter(&sound, L"Audio Capture"), S_OK);
            pSound = &sound;
            ASSERT_EQ(graph->AddFilter(soundCompressor.Get(), L"Audio Compressor"), S_OK);
            ASSERT_EQ(builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(&sound), soundCompressor.Get(), mux.Get()),
                      S_OK);
        }
        ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, control.ReleaseAndGetVoidAddressOf()), S_OK);
        ASSERT_EQ(graph->QueryInterface(IID_IMediaEvent, events.ReleaseAndGetVoidAddressOf()), S_OK);
    }

    // kFrames frames of width x height, with two seconds of sine sound spread over them.
    void Push(const RecordingCase& c, LONG width, LONG height)
    {
        std::vector<BYTE> pcm = Sine(22050, 2, 16, 2.0, 1000);
        const std::size_t piece = pcm.size() / kFrames / 4 * 4;
        for (int i = 0; i < kFrames; ++i) {
            std::vector<BYTE> frame = MakeFrame(32, width, height, i, nullptr);
            REFERENCE_TIME start = i * kFrameTime, stop = start + kFrameTime;
            ASSERT_EQ(pVideo->Push(frame.data(), frame.size(), &start, &stop), S_OK);
            if (c.soundTag) {
                std::size_t at = i * piece, n = i + 1 == kFrames ? pcm.size() - at : piece;
                REFERENCE_TIME s = REFERENCE_TIME(at / 4) * UNITS / 22050, e = REFERENCE_TIME((at + n) / 4) * UNITS / 22050;
                ASSERT_EQ(pSound->Push(pcm.data() + at, n, &s, &e), S_OK);
            }
        }
    }
};

TEST_P(CompressedRecording, FileHoldsEveryFrameAndDecodesWithoutErrors)
{
    const RecordingCase& c = GetParam();
    const std::string file = (m_dir / "out.avi").string();
    CTestPushSource video, sound;
    OfferTypes(video, sound, 64, 48);
    {
        RecordingGraph g;
        g.Build(file, c, video, sound);
        if (HasFatalFailure()) return;
        ASSERT_EQ(g.control->Run(), S_OK);
        g.Push(c, 64, 48);
        if (HasFatalFailure()) return;
        ASSERT_EQ(video.PushEndOfStream(), S_OK);
        if (c.soundTag) {
            ASSERT_EQ(sound.PushEndOfStream(), S_OK);
        }
        long code = 0;
        EXPECT_EQ(g.events->WaitForCompletion(10000, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
    }

    EXPECT_EQ(Probe(file, "v:0", "codec_name,width,height,nb_read_frames"),
              std::string(c.videoCodec) + ",64,48," + std::to_string(kFrames));
    if (c.soundTag) {
        std::string audio = Probe(file, "a:0", "codec_name,sample_rate,channels");
        EXPECT_EQ(audio, std::string(c.soundCodec) + ",22050,2");
    }
    // A player decodes the whole file without a complaint.
    EXPECT_EQ(RunCommand("ffmpeg -v error -nostdin -i '" + file + "' -f null -"), "");
}

TEST_F(CompressedRecordingStop, AStopWithoutEndOfStreamKeepsWhatTheCompressorsStillHold)
{
    // A recording ends with a plain stop. Frames still being coded (a large FFV1 frame takes
    // milliseconds) and the MP3 coder's last frames reach the file before it is closed.
    const RecordingCase c {"ffv1", "ffv1", WAVE_FORMAT_MPEGLAYER3, "mp3"};
    const std::string file = (m_dir / "stop.avi").string();
    constexpr LONG kWidth = 1280, kHeight = 720;
    CTestPushSource video, sound;
    OfferTypes(video, sound, kWidth, kHeight);
    {
        RecordingGraph g;
        g.Build(file, c, video, sound);
        if (HasFatalFailure()) return;
        ASSERT_EQ(g.control->Run(), S_OK);
        g.Push(c, kWidth, kHeight);
        if (HasFatalFailure()) return;
        ASSERT_EQ(g.control->Stop(), S_OK);
    }
    EXPECT_EQ(Probe(file, "v:0", "nb_read_frames"), std::to_string(kFrames));
    // Two seconds went in; the coder's delay and padding come out on top, never less.
    const double seconds = std::stod("0" + RunCommand("ffprobe -v error -select_streams a:0 -show_entries "
                                                      "packet=pts_time,duration_time -of csv=p=0 '" + file +
                                                      "' | tail -1 | awk -F, '{ print $1 + $2 }'"));
    EXPECT_GE(seconds, 2.0);
    EXPECT_LT(seconds, 2.2);
    EXPECT_EQ(RunCommand("ffmpeg -v error -nostdin -i '" + file + "' -f null -"), "");
}

INSTANTIATE_TEST_SUITE_P(EveryCompressor, CompressedRecording, ::testing::ValuesIn(std::vector<RecordingCase> {
    {"msvideo1", "msvideo1", 0, nullptr},
    {"mpeg4", "mpeg4", 0, nullptr},
    {"libx264", "h264", 0, nullptr},
    {"ffv1", "ffv1", 0, nullptr},
    {"mjpeg", "mjpeg", WAVE_FORMAT_PCM, "pcm_s16le"},
    {"mjpeg", "mjpeg", WAVE_FORMAT_ADPCM, "adpcm_ms"},
    {"mjpeg", "mjpeg", WAVE_FORMAT_IMA_ADPCM, "adpcm_ima_wav"},
    {"mjpeg", "mjpeg", WAVE_FORMAT_ALAW, "pcm_alaw"},
    {"mjpeg", "mjpeg", WAVE_FORMAT_MULAW, "pcm_mulaw"},
}), [](const auto& info) {
    return std::string(info.param.videoEncoder) + (info.param.soundCodec ? std::string("_") + info.param.soundCodec : "");
});

// MP3 goes in a frame a chunk, with no fixed sample size.
INSTANTIATE_TEST_SUITE_P(Mp3, CompressedRecording,
                         ::testing::Values(RecordingCase {"mjpeg", "mjpeg", WAVE_FORMAT_MPEGLAYER3, "mp3"}));

}  // namespace
