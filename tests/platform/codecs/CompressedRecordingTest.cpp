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

class CompressedRecording : public ::testing::TestWithParam<RecordingCase> {
protected:
    void SetUp() override
    {
        RegisterMediaGraphClasses();
        RegisterAviClasses();
        m_dir = std::filesystem::temp_directory_path() / ("vantorel-codecs-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::filesystem::path m_dir;
};

TEST_P(CompressedRecording, FileHoldsEveryFrameAndDecodesWithoutErrors)
{
    const RecordingCase& c = GetParam();
    const std::string file = (m_dir / "out.avi").string();
    CTestPushSource video, sound;
    video.m_types.push_back(RgbType(32, 64, 48, kFrameTime));
    video.m_cbBuffer = 64 * 48 * 4;
    sound.m_types.push_back(PcmType(22050, 2, 16));
    sound.m_cbBuffer = 1 << 16;
    {
        ComPtr<IGraphBuilder> graph;
        ComPtr<ICaptureGraphBuilder2> builder;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   graph.ReleaseAndGetVoidAddressOf()), S_OK);
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
        ASSERT_EQ(graph->AddFilter(videoCompressor.Get(), L"Video Compressor"), S_OK);
        ASSERT_EQ(builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(&video), videoCompressor.Get(), mux.Get()), S_OK);
        if (c.soundTag) {
            for (const auto& choice : kSoundEncoderChoices) {
                if (choice.formatTag == c.soundTag) {
                    ASSERT_EQ(CreateSoundCompressorFilter(choice, soundCompressor.ReleaseAndGetAddressOf()), S_OK);
                }
            }
            ASSERT_EQ(graph->AddFilter(&sound, L"Audio Capture"), S_OK);
            ASSERT_EQ(graph->AddFilter(soundCompressor.Get(), L"Audio Compressor"), S_OK);
            ASSERT_EQ(builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(&sound), soundCompressor.Get(), mux.Get()),
                      S_OK);
        }

        ComPtr<IMediaControl> control;
        ComPtr<IMediaEvent> events;
        ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, control.ReleaseAndGetVoidAddressOf()), S_OK);
        ASSERT_EQ(graph->QueryInterface(IID_IMediaEvent, events.ReleaseAndGetVoidAddressOf()), S_OK);
        ASSERT_EQ(control->Run(), S_OK);
        std::vector<BYTE> pcm = Sine(22050, 2, 16, 2.0, 1000);
        const std::size_t piece = pcm.size() / kFrames / 4 * 4;
        for (int i = 0; i < kFrames; ++i) {
            std::vector<BYTE> frame = MakeFrame(32, 64, 48, i, nullptr);
            REFERENCE_TIME start = i * kFrameTime, stop = start + kFrameTime;
            ASSERT_EQ(video.Push(frame.data(), frame.size(), &start, &stop), S_OK);
            if (c.soundTag) {
                std::size_t at = i * piece, n = i + 1 == kFrames ? pcm.size() - at : piece;
                REFERENCE_TIME s = REFERENCE_TIME(at / 4) * UNITS / 22050, e = REFERENCE_TIME((at + n) / 4) * UNITS / 22050;
                ASSERT_EQ(sound.Push(pcm.data() + at, n, &s, &e), S_OK);
            }
        }
        ASSERT_EQ(video.PushEndOfStream(), S_OK);
        if (c.soundTag) {
            ASSERT_EQ(sound.PushEndOfStream(), S_OK);
        }
        long code = 0;
        EXPECT_EQ(events->WaitForCompletion(10000, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
        control->Stop();
        graph->RemoveFilter(&video);
        graph->RemoveFilter(&sound);
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
