// Compressed streams as the compressors deliver them: fourcc / format tag from libavformat's
// tables, codec data after the header, one chunk per sample with the encoder's key frames.
#include "AviTestSupport.h"
#include "platform/avi/AviClasses.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/dshow/WaveFormat.h"
#include "support/TempDir.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace avitest;

namespace {

struct Encoded {
    CMediaType mt;
    std::vector<StoredPacket> packets;
    LONG maxSize = 0;
};

// Runs an encoder over n inputs made by fill and collects its packets.
void Collect(AVCodecContext* ctx, AVFrame* frame, Encoded& out)
{
    AVPacket* pkt = av_packet_alloc();
    while (avcodec_receive_packet(ctx, pkt) >= 0) {
        out.packets.push_back({std::vector<uint8_t>(pkt->data, pkt->data + pkt->size), (pkt->flags & AV_PKT_FLAG_KEY) != 0});
        out.maxSize = std::max<LONG>(out.maxSize, pkt->size);
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    (void)frame;
}

// Microsoft Video 1 frames of a moving bar, with the type its compressor would offer.
Encoded EncodeMsVideo1(int n, int w, int h)
{
    Encoded out;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MSVIDEO1);
    if (!codec) return out;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = w;
    ctx->height = h;
    ctx->pix_fmt = AV_PIX_FMT_RGB555LE;
    ctx->time_base = {1, 15};
    ctx->gop_size = 4;
    ctx->keyint_min = 4;
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return out;
    }
    AVFrame* frame = av_frame_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = w;
    frame->height = h;
    av_frame_get_buffer(frame, 0);
    for (int i = 0; i < n; ++i) {
        av_frame_make_writable(frame);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                reinterpret_cast<uint16_t*>(frame->data[0] + y * frame->linesize[0])[x] =
                    static_cast<uint16_t>((x / 4 == i % (w / 4)) ? 0x7FFF : (y * 2) << 5);
        frame->pts = i;
        avcodec_send_frame(ctx, frame);
        Collect(ctx, frame, out);
    }
    avcodec_send_frame(ctx, nullptr);
    Collect(ctx, frame, out);

    const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
    DWORD fourcc = av_codec_get_tag(tables, AV_CODEC_ID_MSVIDEO1);
    out.mt.SetType(&MEDIATYPE_Video);
    GUID sub = FourCCSubtype(fourcc);
    out.mt.SetSubtype(&sub);
    out.mt.SetFormatType(&FORMAT_VideoInfo);
    out.mt.SetTemporalCompression(TRUE);
    out.mt.SetVariableSize();
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(out.mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    vih->AvgTimePerFrame = UNITS / 15;
    vih->bmiHeader = {40, w, h, 1, 16, fourcc, static_cast<DWORD>(w * h * 2), 0, 0, 0, 0};
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return out;
}

// IMA ADPCM blocks of a tone; the format carries the encoder's codec data (samples per block).
Encoded EncodeImaAdpcm(int blocks, int rate, int* pSamplesPerBlock)
{
    Encoded out;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_ADPCM_IMA_WAV);
    if (!codec) return out;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = rate;
    ctx->sample_fmt = AV_SAMPLE_FMT_S16P;
    av_channel_layout_default(&ctx->ch_layout, 1);
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return out;
    }
    *pSamplesPerBlock = ctx->frame_size;
    AVFrame* frame = av_frame_alloc();
    frame->format = ctx->sample_fmt;
    frame->nb_samples = ctx->frame_size;
    frame->sample_rate = rate;
    av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
    av_frame_get_buffer(frame, 0);
    for (int b = 0; b < blocks; ++b) {
        av_frame_make_writable(frame);
        auto* s = reinterpret_cast<int16_t*>(frame->data[0]);
        for (int i = 0; i < ctx->frame_size; ++i)
            s[i] = static_cast<int16_t>(8000 * std::sin((b * ctx->frame_size + i) * 2 * M_PI * 440 / rate));
        frame->pts = static_cast<int64_t>(b) * ctx->frame_size;
        avcodec_send_frame(ctx, frame);
        Collect(ctx, frame, out);
    }

    // The codec data of IMA ADPCM in a WAVEFORMATEX: wSamplesPerBlock.
    std::vector<BYTE> format(sizeof(WAVEFORMATEX) + 2);
    WAVEFORMATEX wfx {};
    wfx.wFormatTag = WAVE_FORMAT_IMA_ADPCM;
    wfx.nChannels = 1;
    wfx.nSamplesPerSec = static_cast<DWORD>(rate);
    wfx.nBlockAlign = static_cast<WORD>(ctx->block_align);
    wfx.wBitsPerSample = 4;
    wfx.nAvgBytesPerSec = static_cast<DWORD>(static_cast<int64_t>(ctx->block_align) * rate / ctx->frame_size);
    wfx.cbSize = 2;
    std::memcpy(format.data(), &wfx, sizeof(wfx));
    WORD samplesPerBlock = static_cast<WORD>(ctx->frame_size);
    std::memcpy(format.data() + sizeof(wfx), &samplesPerBlock, 2);
    out.mt.SetType(&MEDIATYPE_Audio);
    GUID sub = WaveFormatSubtype(WAVE_FORMAT_IMA_ADPCM);
    out.mt.SetSubtype(&sub);
    out.mt.SetFormatType(&FORMAT_WaveFormatEx);
    out.mt.SetFormat(format.data(), static_cast<ULONG>(format.size()));
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return out;
}

FillFunction Replay(const Encoded& e)
{
    return [&e](int i, BYTE* p, LONG cb) -> LONG {
        const auto& data = e.packets[i].data;
        LONG n = std::min<LONG>(cb, static_cast<LONG>(data.size()));
        std::memcpy(p, data.data(), n);
        return n;
    };
}

class AviCompressedTest : public AviClassesTest {};

TEST_F(AviCompressedTest, CompressedVideoAndSoundKeepTheirPacketsKeyFramesAndCodecData)
{
    constexpr int kFrames = 20, kRate = 11025;
    Encoded video = EncodeMsVideo1(kFrames, 32, 16);
    int samplesPerBlock = 0;
    Encoded sound = EncodeImaAdpcm(10, kRate, &samplesPerBlock);
    ASSERT_EQ(video.packets.size(), static_cast<std::size_t>(kFrames));
    ASSERT_FALSE(sound.packets.empty());
    int keys = 0;
    for (const StoredPacket& p : video.packets) keys += p.key;
    ASSERT_GT(keys, 1);
    ASSERT_LT(keys, kFrames) << "the test needs inter frames";

    std::string file = m_dir.file("compressed.avi");
    CRecordingGraph g;
    CScriptedStream* v = g.Source()->Add(L"Video", video.mt, video.maxSize, kFrames, Replay(video));
    v->m_isSyncPoint = [&](int i) { return video.packets[i].key; };
    CScriptedStream* a = g.Source()->Add(L"Sound", sound.mt, sound.maxSize, static_cast<int>(sound.packets.size()),
                                         Replay(sound));
    a->SetSoundTiming(kRate, 0, samplesPerBlock);
    ASSERT_EQ(g.Build(std::wstring(file.begin(), file.end())), S_OK);
    ComPtr<IConfigAviMux> config;
    ASSERT_EQ(g.m_mux.As(config, IID_IConfigAviMux), S_OK);
    ASSERT_EQ(config->SetMasterStream(1), S_OK);
    ASSERT_EQ(g.RunToEnd(), EC_COMPLETE);

    EXPECT_EQ(Probe(file, "v", "codec_name"), "msvideo1");
    EXPECT_EQ(Probe(file, "a", "codec_name"), "adpcm_ima_wav");
    EXPECT_EQ(Probe(file, "v", "nb_read_frames"), std::to_string(kFrames));
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null -"), "");

    std::vector<StoredPacket> storedVideo = ReadPackets(file, AVMEDIA_TYPE_VIDEO);
    ASSERT_EQ(storedVideo.size(), video.packets.size());
    for (std::size_t i = 0; i < storedVideo.size(); ++i) {
        EXPECT_EQ(storedVideo[i].data, video.packets[i].data) << "frame " << i;
        EXPECT_EQ(storedVideo[i].key, video.packets[i].key) << "frame " << i;
    }
    std::vector<StoredPacket> storedSound = ReadPackets(file, AVMEDIA_TYPE_AUDIO);
    ASSERT_EQ(storedSound.size(), sound.packets.size());
    for (std::size_t i = 0; i < storedSound.size(); ++i) EXPECT_EQ(storedSound[i].data, sound.packets[i].data) << i;

    // The sound's codec data follows its WAVEFORMATEX in 'strf'.
    std::vector<uint8_t> bytes = ReadBytes(file);
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(sound.mt.Format());
    auto auds = std::search(bytes.begin(), bytes.end(), "auds", "auds" + 4);
    auto strf = std::search(auds, bytes.end(), "strf", "strf" + 4) - bytes.begin();
    ASSERT_LT(static_cast<std::size_t>(strf), bytes.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + strf + 8, bytes.begin() + strf + 8 + sizeof(WAVEFORMATEX) + wfx->cbSize),
              std::vector<uint8_t>(sound.mt.Format(), sound.mt.Format() + sound.mt.FormatLength()));

    // Master from the sound's time stamps: the frames last as long as the sound.
    double soundSeconds = static_cast<double>(sound.packets.size()) * samplesPerBlock / kRate;
    double rate = static_cast<double>(Le32At(bytes, 132)) / Le32At(bytes, 128);
    EXPECT_NEAR(kFrames / rate, soundSeconds, 1e-6);
}

} // namespace
