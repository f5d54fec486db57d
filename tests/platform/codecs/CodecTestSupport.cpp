#include "CodecTestSupport.h"

#include "platform/codecs/AvHandles.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cmath>
#include <cstring>

namespace codectest {

namespace {

// Encoder statistics and swscale's notes would bury the test output.
[[maybe_unused]] const bool kQuiet = (av_log_set_level(AV_LOG_ERROR), true);

struct Rgb {
    int r, g, b;
};

Rgb PatternPixel(LONG width, LONG height, LONG x, LONG y, int index)
{
    LONG bx = (index * 3) % std::max<LONG>(1, width - 8), by = (index * 2) % std::max<LONG>(1, height - 8);
    if (x >= bx && x < bx + 8 && y >= by && y < by + 8) return {250, 250, 250};
    int r = width > 1 ? static_cast<int>(x * 255 / (width - 1)) : 0;
    int g = height > 1 ? static_cast<int>(y * 255 / (height - 1)) : 0;
    int b = static_cast<int>(128 + 100 * std::sin((x + 3.0 * index) / 5.0));
    return {r, g, b};
}

int Expand(int v, int bits)
{
    return (v << (8 - bits)) | (v >> (2 * bits - 8));
}

bool AttachExtradata(AVCodecContext* ctx, const BYTE* p, std::size_t size)
{
    if (size == 0) return true;
    ctx->extradata = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!ctx->extradata) return false;
    std::memcpy(ctx->extradata, p, size);
    ctx->extradata_size = static_cast<int>(size);
    return true;
}

// Sends every sample as a packet, then the end; calls onFrame for each decoded frame.
template <class OnFrame>
bool DecodeAll(AVCodecContext* ctx, const std::vector<dshowtest::ReceivedSample>& samples, OnFrame onFrame)
{
    AvPacketPtr packet(av_packet_alloc());
    AvFramePtr frame(av_frame_alloc());
    auto drain = [&] {
        for (;;) {
            int err = avcodec_receive_frame(ctx, frame.get());
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return true;
            if (err < 0) return false;
            onFrame(frame.get());
            av_frame_unref(frame.get());
        }
    };
    for (const auto& s : samples) {
        if (av_new_packet(packet.get(), static_cast<int>(s.data.size())) < 0) return false;
        std::memcpy(packet->data, s.data.data(), s.data.size());
        if (s.syncPoint) packet->flags |= AV_PKT_FLAG_KEY;
        int err = avcodec_send_packet(ctx, packet.get());
        av_packet_unref(packet.get());
        if (err < 0) return false;
        if (!drain()) return false;
    }
    if (avcodec_send_packet(ctx, nullptr) < 0) return false;
    return drain();
}

}  // namespace

CMediaType RgbType(int bits, LONG width, LONG height, REFERENCE_TIME avgTimePerFrame)
{
    WORD bitCount = static_cast<WORD>(bits == 15 ? 16 : bits);
    ULONG size = bits == 8 ? SIZE_VIDEOINFO : bits == 16 ? sizeof(VIDEOINFOHEADER) + 12 : sizeof(VIDEOINFOHEADER);
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetFormatType(&FORMAT_VideoInfo);
    BYTE* p = mt.AllocFormatBuffer(size);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(p);
    vih->AvgTimePerFrame = avgTimePerFrame;
    vih->bmiHeader = {40, width, height, 1, bitCount, bits == 16 ? BI_BITFIELDS : BI_RGB, 0, 0, 0, 0, 0};
    vih->bmiHeader.biSizeImage = GetBitmapSize(&vih->bmiHeader);
    if (bits == 16) {
        DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
        std::memcpy(p + sizeof(VIDEOINFOHEADER), masks, sizeof(masks));
    }
    if (bits == 8) {
        vih->bmiHeader.biClrUsed = 256;
        auto* colours = reinterpret_cast<RGBQUAD*>(p + sizeof(VIDEOINFOHEADER));
        for (int i = 0; i < 216; ++i)
            colours[i] = {static_cast<BYTE>(i % 6 * 51), static_cast<BYTE>(i / 6 % 6 * 51), static_cast<BYTE>(i / 36 * 51), 0};
    }
    const GUID& sub = bits == 32   ? MEDIASUBTYPE_RGB32
                      : bits == 24 ? MEDIASUBTYPE_RGB24
                      : bits == 16 ? MEDIASUBTYPE_RGB565
                      : bits == 15 ? MEDIASUBTYPE_RGB555
                                   : MEDIASUBTYPE_RGB8;
    mt.SetSubtype(&sub);
    mt.SetSampleSize(vih->bmiHeader.biSizeImage);
    return mt;
}

std::vector<BYTE> MakeFrame(int bits, LONG width, LONG height, int index, std::vector<uint8_t>* pExpected)
{
    int bitCount = bits == 15 ? 16 : bits;
    std::size_t stride = static_cast<std::size_t>((width * bitCount + 31) / 32 * 4);
    std::vector<BYTE> data(stride * height);
    if (pExpected) pExpected->assign(static_cast<std::size_t>(width) * height * 3, 0);
    for (LONG y = 0; y < height; ++y) {
        BYTE* row = data.data() + (height - 1 - y) * stride;  // bottom-up
        for (LONG x = 0; x < width; ++x) {
            Rgb c = PatternPixel(width, height, x, y, index);
            Rgb shown = c;
            switch (bits) {
            case 32:
                row[x * 4] = static_cast<BYTE>(c.b), row[x * 4 + 1] = static_cast<BYTE>(c.g);
                row[x * 4 + 2] = static_cast<BYTE>(c.r), row[x * 4 + 3] = 0;
                break;
            case 24:
                row[x * 3] = static_cast<BYTE>(c.b), row[x * 3 + 1] = static_cast<BYTE>(c.g), row[x * 3 + 2] = static_cast<BYTE>(c.r);
                break;
            case 16:
            case 15: {
                int gBits = bits == 16 ? 6 : 5;
                int r5 = c.r >> 3, g = c.g >> (8 - gBits), b5 = c.b >> 3;
                uint16_t v = static_cast<uint16_t>(r5 << (5 + gBits) | g << 5 | b5);
                std::memcpy(row + x * 2, &v, 2);
                shown = {Expand(r5, 5), Expand(g, gBits), Expand(b5, 5)};
                break;
            }
            default: {
                int r6 = (c.r + 25) / 51, g6 = (c.g + 25) / 51, b6 = (c.b + 25) / 51;
                row[x] = static_cast<BYTE>(r6 * 36 + g6 * 6 + b6);
                shown = {r6 * 51, g6 * 51, b6 * 51};
                break;
            }
            }
            if (pExpected) {
                uint8_t* e = pExpected->data() + (static_cast<std::size_t>(y) * width + x) * 3;
                e[0] = static_cast<uint8_t>(shown.r), e[1] = static_cast<uint8_t>(shown.g), e[2] = static_cast<uint8_t>(shown.b);
            }
        }
    }
    return data;
}

DecodedVideo DecodeVideo(const AM_MEDIA_TYPE& type, const std::vector<dshowtest::ReceivedSample>& samples)
{
    DecodedVideo out;
    if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER)) return out;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
    AVCodecID id = av_codec_get_id(tags, vih->bmiHeader.biCompression);
    const AVCodec* codec = avcodec_find_decoder(id);
    if (!codec) return out;
    AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->width = vih->bmiHeader.biWidth;
    ctx->height = vih->bmiHeader.biHeight;
    ctx->codec_tag = vih->bmiHeader.biCompression;
    ctx->bits_per_coded_sample = vih->bmiHeader.biBitCount;
    ctx->thread_count = 1;
    if (!AttachExtradata(ctx.get(), type.pbFormat + sizeof(VIDEOINFOHEADER), vih->bmiHeader.biSize - 40)) return out;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return out;
    bool converted = true;
    out.ok = DecodeAll(ctx.get(), samples, [&](AVFrame* f) {
        out.width = f->width;
        out.height = f->height;
        SwsContextPtr sws(sws_getContext(f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width, f->height,
                                         AV_PIX_FMT_RGB24, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
        if (!sws) {
            converted = false;
            return;
        }
        std::vector<uint8_t> rgb(static_cast<std::size_t>(f->width) * f->height * 3);
        uint8_t* dst[4] = {rgb.data(), nullptr, nullptr, nullptr};
        int dstStride[4] = {f->width * 3, 0, 0, 0};
        sws_scale(sws.get(), f->data, f->linesize, 0, f->height, dst, dstStride);
        out.frames.push_back(std::move(rgb));
    });
    out.ok = out.ok && converted;
    return out;
}

double Psnr(const std::vector<uint8_t>& expected, int width, int height, const std::vector<uint8_t>& decoded,
            int decodedWidth)
{
    double sum = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x) {
            double d = double(expected[static_cast<std::size_t>(y) * width * 3 + x]) -
                       double(decoded[static_cast<std::size_t>(y) * decodedWidth * 3 + x]);
            sum += d * d;
        }
    double mse = sum / (double(width) * height * 3);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

CMediaType PcmType(DWORD rate, WORD channels, WORD bits)
{
    WAVEFORMATEX wfx {WAVE_FORMAT_PCM, channels, rate, rate * channels * bits / 8, static_cast<WORD>(channels * bits / 8), bits, 0};
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_PCM);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof(wfx));
    mt.SetSampleSize(wfx.nBlockAlign);
    return mt;
}

std::vector<BYTE> Sine(DWORD rate, WORD channels, WORD bits, double seconds, double frequency)
{
    auto n = static_cast<std::size_t>(seconds * rate);
    std::vector<BYTE> out;
    out.reserve(n * channels * bits / 8);
    for (std::size_t i = 0; i < n; ++i) {
        double v = 0.5 * std::sin(2 * M_PI * frequency * double(i) / rate);
        for (WORD c = 0; c < channels; ++c) {
            if (bits == 8) {
                out.push_back(static_cast<BYTE>(std::lround(128 + v * 127)));
            } else {
                auto s = static_cast<int16_t>(std::lround(v * 32767));
                out.push_back(static_cast<BYTE>(s & 0xFF));
                out.push_back(static_cast<BYTE>((s >> 8) & 0xFF));
            }
        }
    }
    return out;
}

std::vector<int16_t> FirstChannel(const std::vector<BYTE>& pcm, WORD channels, WORD bits)
{
    std::vector<int16_t> out;
    std::size_t block = channels * bits / 8;
    for (std::size_t i = 0; i + block <= pcm.size(); i += block) {
        if (bits == 8) out.push_back(static_cast<int16_t>((int(pcm[i]) - 128) << 8));
        else out.push_back(static_cast<int16_t>(pcm[i] | pcm[i + 1] << 8));
    }
    return out;
}

DecodedSound DecodeSound(const AM_MEDIA_TYPE& type, const std::vector<dshowtest::ReceivedSample>& samples)
{
    DecodedSound out;
    if (type.formattype != FORMAT_WaveFormatEx || type.cbFormat < sizeof(WAVEFORMATEX)) return out;
    WAVEFORMATEX wfx;
    std::memcpy(&wfx, type.pbFormat, sizeof(wfx));
    if (wfx.wFormatTag == WAVE_FORMAT_PCM) {
        std::vector<BYTE> all;
        for (const auto& s : samples) all.insert(all.end(), s.data.begin(), s.data.end());
        out.firstChannel = FirstChannel(all, wfx.nChannels, wfx.wBitsPerSample);
        out.samples = static_cast<int64_t>(out.firstChannel.size());
        out.ok = true;
        return out;
    }
    const AVCodecTag* const tags[] = {avformat_get_riff_audio_tags(), nullptr};
    const AVCodec* codec = avcodec_find_decoder(av_codec_get_id(tags, wfx.wFormatTag));
    if (!codec) return out;
    AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->sample_rate = static_cast<int>(wfx.nSamplesPerSec);
    av_channel_layout_default(&ctx->ch_layout, wfx.nChannels);
    ctx->block_align = wfx.nBlockAlign;
    ctx->bits_per_coded_sample = wfx.wBitsPerSample;
    ctx->bit_rate = int64_t(wfx.nAvgBytesPerSec) * 8;
    if (type.cbFormat < sizeof(WAVEFORMATEX) + wfx.cbSize) return out;
    if (!AttachExtradata(ctx.get(), type.pbFormat + sizeof(WAVEFORMATEX), wfx.cbSize)) return out;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return out;
    out.ok = DecodeAll(ctx.get(), samples, [&](AVFrame* f) {
        for (int i = 0; i < f->nb_samples; ++i) {
            double v = 0;
            switch (f->format) {
            case AV_SAMPLE_FMT_S16: v = reinterpret_cast<int16_t*>(f->data[0])[i * f->ch_layout.nb_channels] / 32768.0; break;
            case AV_SAMPLE_FMT_S16P: v = reinterpret_cast<int16_t*>(f->data[0])[i] / 32768.0; break;
            case AV_SAMPLE_FMT_FLTP: v = reinterpret_cast<float*>(f->data[0])[i]; break;
            case AV_SAMPLE_FMT_FLT: v = reinterpret_cast<float*>(f->data[0])[i * f->ch_layout.nb_channels]; break;
            case AV_SAMPLE_FMT_S32P: v = reinterpret_cast<int32_t*>(f->data[0])[i] / 2147483648.0; break;
            default: break;
            }
            out.firstChannel.push_back(static_cast<int16_t>(std::clamp(std::lround(v * 32768), -32768L, 32767L)));
        }
        out.samples += f->nb_samples;
    });
    return out;
}

double MeasuredFrequency(const std::vector<int16_t>& samples, DWORD rate)
{
    std::size_t from = samples.size() / 10, to = samples.size() * 9 / 10;
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            double at = double(i - 1) + double(-samples[i - 1]) / double(samples[i] - samples[i - 1]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) / ((last - first) / rate);
}

}  // namespace codectest
