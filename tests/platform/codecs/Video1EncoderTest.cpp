// CVideo1Encoder's bitstream read back by libavcodec's Microsoft Video 1 decoder.
#include "platform/codecs/AvHandles.h"
#include "platform/codecs/Video1Encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>

namespace {

using Picture = std::vector<uint16_t>;  // RGB555, top row first, rows packed

uint16_t Rgb(int r, int g, int b) { return static_cast<uint16_t>(r << 10 | g << 5 | b); }

// libavcodec's decoder, fed one frame at a time; the picture it holds persists between frames
// as a player's does.
class Video1Decoder {
public:
    Video1Decoder(int width, int height) : m_width(width), m_height(height)
    {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MSVIDEO1);
        if (!codec) throw std::runtime_error("no msvideo1 decoder");
        m_ctx.reset(avcodec_alloc_context3(codec));
        m_ctx->width = width;
        m_ctx->height = height;
        m_ctx->bits_per_coded_sample = 16;
        if (avcodec_open2(m_ctx.get(), codec, nullptr) < 0) throw std::runtime_error("cannot open decoder");
        m_packet.reset(av_packet_alloc());
        m_frame.reset(av_frame_alloc());
    }

    // Empty when the decoder refused the frame.
    Picture Decode(const std::vector<uint8_t>& bytes)
    {
        av_packet_unref(m_packet.get());
        if (av_new_packet(m_packet.get(), static_cast<int>(bytes.size())) < 0) return {};
        std::memcpy(m_packet->data, bytes.data(), bytes.size());
        if (avcodec_send_packet(m_ctx.get(), m_packet.get()) < 0) return {};
        if (avcodec_receive_frame(m_ctx.get(), m_frame.get()) < 0) return {};
        if (m_frame->format != AV_PIX_FMT_RGB555LE && m_frame->format != AV_PIX_FMT_RGB555BE) return {};
        Picture out(static_cast<size_t>(m_width) * m_height);
        for (int y = 0; y < m_height; ++y) {
            const auto* row = reinterpret_cast<const uint16_t*>(m_frame->data[0] + y * m_frame->linesize[0]);
            for (int x = 0; x < m_width; ++x) out[static_cast<size_t>(y) * m_width + x] = row[x] & 0x7FFF;
        }
        av_frame_unref(m_frame.get());
        return out;
    }

private:
    int m_width, m_height;
    AvCodecContextPtr m_ctx;
    AvPacketPtr m_packet;
    AvFramePtr m_frame;
};

// Over 5-bit components, peak 31; 99 when equal.
double Psnr(const Picture& a, const Picture& b)
{
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        for (int shift : {10, 5, 0}) {
            int d = (a[i] >> shift & 31) - (b[i] >> shift & 31);
            sum += d * d;
        }
    }
    if (sum == 0) return 99;
    return 10 * std::log10(31.0 * 31.0 * 3 * static_cast<double>(a.size()) / sum);
}

// Dark text on a light background: strokes one and two pixels wide at every offset, so blocks
// hold the two colours in every arrangement.
Picture TextPicture(int width, int height, uint16_t ink, uint16_t paper, unsigned seed = 1)
{
    Picture p(static_cast<size_t>(width) * height, paper);
    std::mt19937 rng(seed);
    for (int glyphs = width * height / 40; glyphs > 0; --glyphs) {
        int x = static_cast<int>(rng() % width), y = static_cast<int>(rng() % height);
        int len = 1 + static_cast<int>(rng() % 9), thick = 1 + static_cast<int>(rng() % 2);
        bool across = rng() & 1;
        for (int i = 0; i < len; ++i) {
            for (int t = 0; t < thick; ++t) {
                int px = across ? x + i : x + t, py = across ? y + t : y + i;
                if (px < width && py < height) p[static_cast<size_t>(py) * width + px] = ink;
            }
        }
    }
    return p;
}

// Gradients, soft waves and a little noise, as a photograph on a slide looks.
Picture NaturalPicture(int width, int height, unsigned seed = 7)
{
    Picture p(static_cast<size_t>(width) * height);
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, 0.6);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double r = 4 + 22.0 * x / width + 3 * std::sin(y * 0.05) + noise(rng);
            double g = 6 + 18.0 * y / height + 4 * std::sin((x + y) * 0.03) + noise(rng);
            double b = 26 - 20.0 * (x + y) / (width + height) + 3 * std::cos(x * 0.04) + noise(rng);
            auto q = [](double v) { return static_cast<int>(std::clamp(std::lround(v), 0L, 31L)); };
            p[static_cast<size_t>(y) * width + x] = Rgb(q(r), q(g), q(b));
        }
    }
    return p;
}

std::vector<uint8_t> EncodeOne(CVideo1Encoder& enc, const Picture& p, bool* key = nullptr)
{
    std::vector<uint8_t> out;
    bool k = enc.Encode(p.data(), enc.Width() * 2, out);
    if (key) *key = k;
    return out;
}

// libavcodec's own coder on the same picture: its key frame's PSNR and size.
std::pair<double, size_t> LibavKeyFrame(const Picture& p, int width, int height)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MSVIDEO1);
    if (!codec) return {0, 0};
    AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_RGB555LE;
    ctx->time_base = {1, 25};
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return {0, 0};
    AvFramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_RGB555LE;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return {0, 0};
    for (int y = 0; y < height; ++y) std::memcpy(frame->data[0] + y * frame->linesize[0], &p[size_t(y) * width], width * 2);
    AvPacketPtr pkt(av_packet_alloc());
    if (avcodec_send_frame(ctx.get(), frame.get()) < 0 || avcodec_receive_packet(ctx.get(), pkt.get()) < 0) return {0, 0};
    Video1Decoder dec(width, height);
    Picture shown = dec.Decode(std::vector<uint8_t>(pkt->data, pkt->data + pkt->size));
    return {Psnr(p, shown), static_cast<size_t>(pkt->size)};
}

TEST(Video1EncoderTest, TwoColourTextDecodesExactly)
{
    const int w = 320, h = 240;
    for (auto [ink, paper] : {std::pair{Rgb(2, 3, 12), Rgb(31, 31, 24)}, std::pair{Rgb(31, 31, 31), Rgb(0, 0, 0)},
                              std::pair{Rgb(1, 0, 0), Rgb(1, 31, 31)}}) {
        Picture text = TextPicture(w, h, ink, paper);
        CVideo1Encoder enc(w, h, 30);
        Video1Decoder dec(w, h);
        bool key = false;
        std::vector<uint8_t> bytes = EncodeOne(enc, text, &key);
        EXPECT_TRUE(key);
        EXPECT_LE(bytes.size(), CVideo1Encoder::MaxFrameBytes(w, h));
        EXPECT_EQ(dec.Decode(bytes), text) << "ink " << ink << " paper " << paper;
    }
}

TEST(Video1EncoderTest, NaturalPictureKeepsLibavQualityAndSize)
{
    const int w = 320, h = 240;
    Picture natural = NaturalPicture(w, h);
    CVideo1Encoder enc(w, h, 30);
    Video1Decoder dec(w, h);
    std::vector<uint8_t> bytes = EncodeOne(enc, natural);
    double psnr = Psnr(natural, dec.Decode(bytes));
    auto [libavPsnr, libavSize] = LibavKeyFrame(natural, w, h);
    ASSERT_GT(libavSize, 0u);
    EXPECT_GE(psnr, std::min(30.0, libavPsnr - 1)) << "libav " << libavPsnr;
    EXPECT_LE(bytes.size(), libavSize * 3 / 2) << "libav " << libavSize;
}

TEST(Video1EncoderTest, UnchangedFrameIsSkippedWhole)
{
    for (auto [w, h] : {std::pair{320, 240}, std::pair{1920, 1080}}) {
        Picture natural = NaturalPicture(w, h);
        CVideo1Encoder enc(w, h, 100);
        Video1Decoder dec(w, h);
        Picture first = dec.Decode(EncodeOne(enc, natural));
        ASSERT_FALSE(first.empty());
        bool key = true;
        std::vector<uint8_t> second = EncodeOne(enc, natural, &key);
        EXPECT_FALSE(key);
        // One skip code per 1023 blocks (and one per half frame), then the end.
        size_t blocks = size_t(w / 4) * (h / 4);
        EXPECT_LE(second.size(), 2 * (blocks / 1023 + 2) + 2) << w << "x" << h;
        EXPECT_EQ(dec.Decode(second), first) << w << "x" << h;
    }
}

// A textured square moving over a still photograph: every frame close to its picture, the
// background untouched, and no error building up over the frames.
TEST(Video1EncoderTest, MovingPictureDoesNotDrift)
{
    const int w = 320, h = 240;
    const Picture background = NaturalPicture(w, h, 3);
    const Picture texture = NaturalPicture(64, 64, 11);
    CVideo1Encoder enc(w, h, 1000);
    Video1Decoder dec(w, h);
    double firstPsnr = 0;
    for (int f = 0; f < 30; ++f) {
        Picture frame = background;
        int ox = 10 + f * 7, oy = 20 + f * 5;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) frame[size_t(oy + y) * w + ox + x] = texture[size_t(y) * 64 + x];
        }
        bool key = false;
        std::vector<uint8_t> bytes = EncodeOne(enc, frame, &key);
        EXPECT_EQ(key, f == 0);
        Picture shown = dec.Decode(bytes);
        ASSERT_FALSE(shown.empty()) << "frame " << f;
        double psnr = Psnr(frame, shown);
        if (f == 0) firstPsnr = psnr;
        EXPECT_GE(psnr, firstPsnr - 0.5) << "frame " << f;
        EXPECT_GE(psnr, 30) << "frame " << f;
        if (f > 0) {
            EXPECT_LT(bytes.size(), 64 * 64 / 16 * 2 * 18) << "frame " << f;  // only around the square
        }
    }
}

// A slow fade changes each block by less than the skip threshold per frame; what is shown must
// follow it instead of staying behind by more and more.
TEST(Video1EncoderTest, SlowFadeIsFollowed)
{
    const int w = 64, h = 64;
    CVideo1Encoder enc(w, h, 1000);
    Video1Decoder dec(w, h);
    for (int level = 0; level < 32; ++level) {
        Picture frame(w * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) frame[size_t(y) * w + x] = Rgb(level, (x + level) & 31, 31 - level);
        }
        Picture shown = dec.Decode(EncodeOne(enc, frame));
        ASSERT_FALSE(shown.empty());
        int worst = 0;
        for (size_t i = 0; i < frame.size(); ++i) {
            for (int shift : {10, 5, 0}) worst = std::max(worst, std::abs((frame[i] >> shift & 31) - (shown[i] >> shift & 31)));
        }
        EXPECT_LE(worst, 3) << "level " << level;
    }
}

TEST(Video1EncoderTest, KeyFramesComeAtTheIntervalAndWhenForced)
{
    const int w = 64, h = 64;
    CVideo1Encoder enc(w, h, 5);
    Video1Decoder dec(w, h);
    const uint16_t ink = Rgb(0, 0, 0), paper = Rgb(31, 31, 31);
    Picture frame = TextPicture(w, h, ink, paper);
    std::vector<int> keys;
    for (int f = 0; f < 16; ++f) {
        frame[f] = frame[f] == ink ? paper : ink;  // a small change each frame: the rest is skipped
        if (f == 7) enc.ForceKeyFrame();
        bool key = false;
        std::vector<uint8_t> bytes = EncodeOne(enc, frame, &key);
        if (key) {
            keys.push_back(f);
            // A key frame stands alone: a fresh decoder shows the whole picture.
            Video1Decoder fresh(w, h);
            EXPECT_EQ(fresh.Decode(bytes), frame) << "frame " << f;
        }
        EXPECT_EQ(dec.Decode(bytes), frame) << "frame " << f;
    }
    EXPECT_EQ(keys, (std::vector<int> {0, 5, 7, 12}));

    // No interval: the first frame only.
    CVideo1Encoder once(w, h, 0);
    keys.clear();
    for (int f = 0; f < 12; ++f) {
        frame[f] ^= 0x3E0;
        bool key = false;
        EncodeOne(once, frame, &key);
        if (key) keys.push_back(f);
    }
    EXPECT_EQ(keys, (std::vector<int> {0}));

    // A frame in which every block changed depends on nothing before it: a key frame.
    CVideo1Encoder changing(w, h, 100);
    Video1Decoder changingDec(w, h);
    for (int f = 0; f < 4; ++f) {
        Picture p = TextPicture(w, h, Rgb(8 * f, 0, 0), Rgb(31 - 8 * f, 31, 31), 20 + f);
        bool key = false;
        std::vector<uint8_t> bytes = EncodeOne(changing, p, &key);
        EXPECT_TRUE(key) << "frame " << f;
        Video1Decoder fresh(w, h);
        EXPECT_EQ(fresh.Decode(bytes), p) << "frame " << f;
    }
}

// Fill colours with red 1 share their first byte with skip codes; input with bit 15 set would
// otherwise turn a two-colour code into an eight-colour one.
TEST(Video1EncoderTest, ColoursInTheSkipCodeRangeAreCodedRight)
{
    const int w = 128, h = 64;  // 512 blocks: one of each fill colour of red 1, then mixed ones
    Picture p(w * h);
    std::mt19937 rng(5);
    for (int by = 0; by < h / 4; ++by) {
        for (int bx = 0; bx < w / 4; ++bx) {
            int n = by * (w / 4) + bx;
            uint16_t a = Rgb(1, n & 31, (n >> 5) & 31), b = Rgb(1, (n * 7) & 31, 31 - (n & 31));
            for (int y = 0; y < 4; ++y) {
                for (int x = 0; x < 4; ++x) {
                    uint16_t v = a;
                    if (by >= 8) v = (rng() & 1) ? a : b;  // two colours
                    if (by >= 12) v = Rgb(1, rng() % 32, rng() % 32);  // many
                    p[size_t(by * 4 + y) * w + bx * 4 + x] = v;
                }
            }
        }
    }
    CVideo1Encoder enc(w, h, 10);
    Video1Decoder dec(w, h);
    Picture shown = dec.Decode(EncodeOne(enc, p));
    ASSERT_EQ(shown.size(), p.size());
    // The flat and the two-colour rows exactly; the rest close.
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < w; ++x) ASSERT_EQ(shown[size_t(y) * w + x], p[size_t(y) * w + x]) << x << "," << y;
    }
    EXPECT_GE(Psnr(p, shown), 15);

    Picture high = p;
    for (uint16_t& v : high) v |= 0x8000;
    CVideo1Encoder enc2(w, h, 10);
    Video1Decoder dec2(w, h);
    EXPECT_EQ(dec2.Decode(EncodeOne(enc2, high)), shown);
}

// The same picture padded, at an odd byte stride and stored bottom-up codes to the same bytes.
TEST(Video1EncoderTest, StridesAndBottomUpInputGiveTheSameStream)
{
    const int w = 96, h = 48;
    Picture p = NaturalPicture(w, h);
    const Picture text = TextPicture(w, h, Rgb(0, 0, 0), Rgb(31, 0, 31));
    for (int i = 0; i < w * h; i += 3) p[i] = text[i];
    CVideo1Encoder plain(w, h, 10);
    std::vector<uint8_t> expected = EncodeOne(plain, p);

    for (ptrdiff_t stride : {ptrdiff_t(w * 2 + 8), ptrdiff_t(w * 2 + 3), ptrdiff_t(-(w * 2)), ptrdiff_t(-(w * 2 + 5))}) {
        ptrdiff_t step = std::abs(stride);
        std::vector<uint8_t> memory(step * h + 1);
        for (int y = 0; y < h; ++y) {
            int at = stride > 0 ? y : h - 1 - y;  // bottom-up: the top row is stored last
            std::memcpy(memory.data() + 1 + at * step, &p[size_t(y) * w], w * 2);
        }
        const uint8_t* top = memory.data() + 1 + (stride > 0 ? 0 : (h - 1) * step);
        CVideo1Encoder enc(w, h, 10);
        std::vector<uint8_t> out;
        enc.Encode(reinterpret_cast<const uint16_t*>(top), stride, out);
        EXPECT_EQ(out, expected) << "stride " << stride;
    }
}

TEST(Video1EncoderTest, SmallestAndLargestFrames)
{
    {
        CVideo1Encoder enc(4, 4, 10);
        Video1Decoder dec(4, 4);
        Picture p = {Rgb(1, 2, 3), Rgb(4, 5, 6), Rgb(7, 8, 9), Rgb(10, 11, 12), Rgb(13, 14, 15), Rgb(16, 17, 18),
                     Rgb(19, 20, 21), Rgb(22, 23, 24), Rgb(25, 26, 27), Rgb(28, 29, 30), Rgb(31, 0, 1), Rgb(2, 3, 4),
                     Rgb(5, 6, 7), Rgb(8, 9, 10), Rgb(11, 12, 13), Rgb(14, 15, 16)};
        Picture shown = dec.Decode(EncodeOne(enc, p));
        EXPECT_GE(Psnr(p, shown), 12);
        std::vector<uint8_t> still = EncodeOne(enc, p);
        EXPECT_EQ(still, (std::vector<uint8_t> {0x01, 0x84, 0, 0}));
        EXPECT_EQ(dec.Decode(still), shown);
        Picture two(16, Rgb(3, 3, 3));
        two[15] = Rgb(30, 0, 30);
        EXPECT_EQ(dec.Decode(EncodeOne(enc, two)), two);
    }
    {
        const int w = 1920, h = 1080;
        Picture p = NaturalPicture(w, h);
        const uint16_t ink = Rgb(0, 0, 8), paper = Rgb(31, 31, 31);
        const int textTop = 272;  // rows 272-807 across the middle, whole blocks
        Picture text = TextPicture(w, 536, ink, paper);
        std::copy(text.begin(), text.end(), p.begin() + size_t(w) * textTop);
        CVideo1Encoder enc(w, h, 10);
        Video1Decoder dec(w, h);
        std::vector<uint8_t> bytes = EncodeOne(enc, p);
        EXPECT_LE(bytes.size(), CVideo1Encoder::MaxFrameBytes(w, h));
        Picture shown = dec.Decode(bytes);
        ASSERT_FALSE(shown.empty());
        EXPECT_GE(Psnr(p, shown), 28);
        EXPECT_TRUE(std::equal(text.begin(), text.end(), shown.begin() + size_t(w) * textTop));

        // One block changed on each side of the middle, where a frame may be cut in two.
        for (int y : {h / 2 - 4, h / 2}) {
            uint16_t& v = p[size_t(y) * w + 960];
            v = v == ink ? paper : ink;
        }
        Picture next = dec.Decode(EncodeOne(enc, p));
        size_t differences = 0;
        for (size_t i = 0; i < p.size(); ++i) differences += next[i] != shown[i];
        EXPECT_GE(differences, 2u);
        EXPECT_LE(differences, 32u);
        for (int y : {h / 2 - 4, h / 2}) EXPECT_EQ(next[size_t(y) * w + 960], p[size_t(y) * w + 960]);
    }
}

// Bands coded apart decide every block alike: the same pictures, the bytes apart only by the
// skip runs each band ends on its own.
TEST(Video1EncoderTest, BandsShowTheSamePictures)
{
    const int w = 96, h = 64;
    const Picture background = TextPicture(w, h, Rgb(0, 0, 0), Rgb(31, 31, 31));
    const Picture photo = NaturalPicture(24, 24, 4);
    CVideo1Encoder single(w, h, 8, 1);
    Video1Decoder singleDec(w, h);
    std::vector<std::unique_ptr<CVideo1Encoder>> banded;
    std::vector<std::unique_ptr<Video1Decoder>> decoders;
    for (int threads : {2, 3, 16, 40}) {
        banded.push_back(std::make_unique<CVideo1Encoder>(w, h, 8, threads));
        decoders.push_back(std::make_unique<Video1Decoder>(w, h));
    }
    for (int f = 0; f < 12; ++f) {
        Picture frame = background;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 24; ++x) frame[size_t(y + f * 3) * w + x + f * 6] = photo[size_t(y) * 24 + x];
        }
        bool key = false;
        std::vector<uint8_t> bytes = EncodeOne(single, frame, &key);
        Picture expected = singleDec.Decode(bytes);
        ASSERT_FALSE(expected.empty());
        for (size_t k = 0; k < banded.size(); ++k) {
            bool bandedKey = false;
            std::vector<uint8_t> bandedBytes = EncodeOne(*banded[k], frame, &bandedKey);
            EXPECT_EQ(bandedKey, key) << "frame " << f;
            EXPECT_LE(bandedBytes.size(), bytes.size() + 2 * 16) << "frame " << f;
            EXPECT_EQ(decoders[k]->Decode(bandedBytes), expected) << "frame " << f << " encoder " << k;
        }
    }
}

// The bound holds for the costliest picture: noise, every block in eight colours.
TEST(Video1EncoderTest, NoiseStaysWithinTheBound)
{
    const int w = 64, h = 32;
    Picture noise(w * h);
    std::mt19937 rng(9);
    for (uint16_t& v : noise) v = rng() & 0x7FFF;
    CVideo1Encoder enc(w, h, 10);
    Video1Decoder dec(w, h);
    std::vector<uint8_t> bytes = EncodeOne(enc, noise);
    EXPECT_LE(bytes.size(), CVideo1Encoder::MaxFrameBytes(w, h));
    EXPECT_GE(bytes.size(), CVideo1Encoder::MaxFrameBytes(w, h) * 9 / 10);
    EXPECT_FALSE(dec.Decode(bytes).empty());
}

TEST(Video1EncoderTest, RejectsWhatItCannotCode)
{
    EXPECT_THROW(CVideo1Encoder(0, 4, 1), std::invalid_argument);
    EXPECT_THROW(CVideo1Encoder(6, 4, 1), std::invalid_argument);
    EXPECT_THROW(CVideo1Encoder(4, -4, 1), std::invalid_argument);
    CVideo1Encoder enc(8, 8, 1);
    std::vector<uint8_t> out;
    Picture p(64);
    EXPECT_THROW(enc.Encode(nullptr, 16, out), std::invalid_argument);
    EXPECT_THROW(enc.Encode(p.data(), 14, out), std::invalid_argument);
    EXPECT_TRUE(out.empty());
}

}  // namespace
