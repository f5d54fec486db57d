// Our Microsoft Video 1 coder beside libavcodec's, in one process on the same synthetic frames:
// a still slide with text, the slide with a picture moving over it, and a picture that changes
// everywhere. Prints one line per size and scene:
//   video1 <WxH> <scene> ours_fps= ours_cpu_ms= ours_kb= ours_psnr= lavc_fps= lavc_cpu_ms= lavc_kb= lavc_psnr=
//          speedup= ours_2threads_fps=
// ours codes on one thread as by default, ours_2threads in two bands. fps is wall-clock frames
// per second of coding alone, cpu_ms the processor time per frame, kb the mean kilobytes per frame, psnr the mean over the frames as libavcodec's
// decoder shows them (5-bit components, peak 31).
// Usage: bench_video1 [frames per case (30)] [WxH ...]
extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/codecs/AvHandles.h"
#include "platform/codecs/Video1Encoder.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

using Picture = std::vector<uint16_t>;  // RGB555, top row first

uint16_t Rgb(int r, int g, int b) { return static_cast<uint16_t>(r << 10 | g << 5 | b); }
int Clamp31(double v) { return static_cast<int>(std::fmin(31, std::fmax(0, std::lround(v)))); }

// White slide, a coloured title band, lines of dark text with grey anti-aliased edges.
Picture Slide(int w, int h)
{
    Picture p(size_t(w) * h, Rgb(31, 31, 31));
    for (int y = 0; y < h / 8; ++y) {
        for (int x = 0; x < w; ++x) p[size_t(y) * w + x] = Rgb(4, 8 + 10 * x / w, 20);
    }
    std::mt19937 rng(1);
    const int lineHeight = std::max(12, h / 30), glyph = lineHeight * 3 / 5;
    for (int top = h / 6; top + lineHeight < h; top += lineHeight) {
        for (int x = w / 12; x + glyph < w * 11 / 12;) {
            int width = glyph / 2 + static_cast<int>(rng() % glyph);
            if (rng() % 6 == 0) {
                x += width;  // a space
                continue;
            }
            // A glyph: a few strokes, each two pixels wide with a grey edge.
            for (int s = 0; s < 3; ++s) {
                bool down = rng() & 1;
                int sx = x + static_cast<int>(rng() % width), sy = top + static_cast<int>(rng() % glyph);
                for (int i = 0; i < (down ? glyph : width); ++i) {
                    int px = down ? sx : x + i, py = down ? top + i : sy;
                    for (int t = 0; t < 3; ++t) {
                        int qx = down ? px + t : px, qy = down ? py : py + t;
                        if (qx < w && qy < h) p[size_t(qy) * w + qx] = t == 2 ? Rgb(18, 18, 19) : Rgb(2, 2, 4);
                    }
                }
            }
            x += width + 2;
        }
    }
    return p;
}

// Gradients, waves, fine detail and sensor noise; phase moves the waves and the detail.
Picture Natural(int w, int h, double phase, unsigned seed)
{
    Picture p(size_t(w) * h);
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, 0.6);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double detail = 4 * std::sin(x * 0.23 + y * 0.11 + 2 * phase) * std::cos(y * 0.17 - phase);
            double r = 4 + 20.0 * x / w + 3 * std::sin(y * 0.05 + phase) + detail + noise(rng);
            double g = 6 + 16.0 * y / h + 4 * std::sin((x + y) * 0.03 - phase) - detail + noise(rng);
            double b = 24 - 18.0 * (x + y) / (w + h) + 3 * std::cos(x * 0.04 + phase) + detail / 2 + noise(rng);
            p[size_t(y) * w + x] = Rgb(Clamp31(r), Clamp31(g), Clamp31(b));
        }
    }
    return p;
}

std::vector<Picture> Scene(const std::string& scene, int w, int h, int frames)
{
    std::vector<Picture> out;
    if (scene == "still") {
        out.assign(1, Slide(w, h));
    } else if (scene == "moving") {
        Picture slide = Slide(w, h);
        const int pw = w / 3 & ~3, ph = h / 3 & ~3;
        Picture photo = Natural(pw, ph, 0, 5);
        for (int f = 0; f < frames; ++f) {
            Picture p = slide;
            int ox = (w / 2 - pw / 2) + static_cast<int>((w / 3) * std::sin(f * 0.2)), oy = h / 3;
            for (int y = 0; y < ph; ++y) std::memcpy(&p[size_t(oy + y) * w + ox], &photo[size_t(y) * pw], pw * 2);
            out.push_back(std::move(p));
        }
    } else {
        // Distinct frames, repeated when more are asked for.
        for (int f = 0; f < std::min(frames, 10); ++f) out.push_back(Natural(w, h, f * 0.9, 100 + f));
    }
    return out;
}

double Seconds(clockid_t clock)
{
    timespec ts {};
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double Psnr(const Picture& a, const uint8_t* data, int linesize, int w, int h)
{
    double sum = 0;
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const uint16_t*>(data + y * linesize);
        for (int x = 0; x < w; ++x) {
            uint16_t u = a[size_t(y) * w + x], v = row[x];
            for (int s : {10, 5, 0}) {
                int d = (u >> s & 31) - (v >> s & 31);
                sum += d * d;
            }
        }
    }
    return sum == 0 ? 99 : 10 * std::log10(31.0 * 31.0 * 3 * w * h / sum);
}

struct Figures {
    double fps = 0, cpuMs = 0, kb = 0, psnr = 0;
};

// Mean PSNR of the packets as libavcodec's decoder shows them.
double DecodedPsnr(const std::vector<std::vector<uint8_t>>& packets, const std::vector<Picture>& frames, int w, int h)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MSVIDEO1);
    AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->width = w;
    ctx->height = h;
    ctx->bits_per_coded_sample = 16;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return 0;
    AvPacketPtr pkt(av_packet_alloc());
    AvFramePtr frame(av_frame_alloc());
    double total = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        if (av_new_packet(pkt.get(), static_cast<int>(packets[i].size())) < 0) return 0;
        std::memcpy(pkt->data, packets[i].data(), packets[i].size());
        if (avcodec_send_packet(ctx.get(), pkt.get()) < 0 || avcodec_receive_frame(ctx.get(), frame.get()) < 0) return 0;
        total += Psnr(frames[i % frames.size()], frame->data[0], frame->linesize[0], w, h);
        av_packet_unref(pkt.get());
        av_frame_unref(frame.get());
    }
    return total / packets.size();
}

Figures Ours(const std::vector<Picture>& frames, int count, int w, int h, int threads)
{
    CVideo1Encoder enc(w, h, 30, threads);
    std::vector<std::vector<uint8_t>> packets(count);
    for (auto& p : packets) p.reserve(CVideo1Encoder::MaxFrameBytes(w, h));
    double wall = Seconds(CLOCK_MONOTONIC), cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    for (int i = 0; i < count; ++i) enc.Encode(frames[i % frames.size()].data(), w * 2, packets[i]);
    wall = Seconds(CLOCK_MONOTONIC) - wall;
    cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu;
    Figures f;
    f.fps = count / wall;
    f.cpuMs = cpu * 1000 / count;
    for (auto& p : packets) f.kb += p.size() / 1024.0 / count;
    f.psnr = DecodedPsnr(packets, frames, w, h);
    return f;
}

Figures Lavc(const std::vector<Picture>& frames, int count, int w, int h)
{
    Figures f;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MSVIDEO1);
    if (!codec) return f;
    AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->width = w;
    ctx->height = h;
    ctx->pix_fmt = AV_PIX_FMT_RGB555LE;
    ctx->time_base = {1, 30};
    ctx->gop_size = 30;
    ctx->keyint_min = 29;  // a key frame once more than this have passed: every 30th
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return f;
    std::vector<AvFramePtr> pictures;
    for (const Picture& p : frames) {
        AvFramePtr frame(av_frame_alloc());
        frame->format = AV_PIX_FMT_RGB555LE;
        frame->width = w;
        frame->height = h;
        if (av_frame_get_buffer(frame.get(), 0) < 0) return f;
        for (int y = 0; y < h; ++y) std::memcpy(frame->data[0] + y * frame->linesize[0], &p[size_t(y) * w], w * 2);
        pictures.push_back(std::move(frame));
    }
    AvPacketPtr pkt(av_packet_alloc());
    std::vector<std::vector<uint8_t>> packets;
    double wall = Seconds(CLOCK_MONOTONIC), cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    for (int i = 0; i < count; ++i) {
        AVFrame* picture = pictures[i % pictures.size()].get();
        picture->pts = i;
        if (avcodec_send_frame(ctx.get(), picture) < 0 || avcodec_receive_packet(ctx.get(), pkt.get()) < 0) return f;
        packets.emplace_back(pkt->data, pkt->data + pkt->size);
        av_packet_unref(pkt.get());
    }
    wall = Seconds(CLOCK_MONOTONIC) - wall;
    cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu;
    f.fps = count / wall;
    f.cpuMs = cpu * 1000 / count;
    for (auto& p : packets) f.kb += p.size() / 1024.0 / count;
    f.psnr = DecodedPsnr(packets, frames, w, h);
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    std::vector<std::string> sizes;
    for (int i = 2; i < argc; ++i) sizes.emplace_back(argv[i]);
    if (sizes.empty()) sizes = {"1280x720", "1920x1080"};
    for (const std::string& size : sizes) {
        int w = 0, h = 0;
        if (std::sscanf(size.c_str(), "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || w % 4 || h % 4) {
            std::fprintf(stderr, "bench_video1: %s is not a size in multiples of 4\n", size.c_str());
            return 2;
        }
        for (const char* scene : {"still", "moving", "changing"}) {
            std::vector<Picture> frames = Scene(scene, w, h, count);
            Figures ours = Ours(frames, count, w, h, 1);
            Figures lavc = Lavc(frames, count, w, h);
            Figures two = Ours(frames, count, w, h, 2);
            std::printf("video1 %s %s ours_fps=%.1f ours_cpu_ms=%.2f ours_kb=%.1f ours_psnr=%.2f "
                        "lavc_fps=%.1f lavc_cpu_ms=%.2f lavc_kb=%.1f lavc_psnr=%.2f speedup=%.1f ours_2threads_fps=%.1f\n",
                        size.c_str(), scene, ours.fps, ours.cpuMs, ours.kb, ours.psnr, lavc.fps, lavc.cpuMs, lavc.kb,
                        lavc.psnr, lavc.fps > 0 ? ours.fps / lavc.fps : 0, two.fps);
            std::fflush(stdout);
        }
    }
    return 0;
}
