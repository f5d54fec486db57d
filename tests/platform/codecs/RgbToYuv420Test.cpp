// Our 4:2:0 conversion: the BT.601 values of known colours in both ranges, agreement with
// swscale where chroma averaging cannot differ, row order for bottom-up pictures, and bad sizes.
#include "platform/codecs/RgbToYuv420.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace {

struct Picture {
    int width, height;
    std::vector<uint8_t> y, u, v;
    Picture(int w, int h) : width(w), height(h), y(w * h), u(w * h / 4), v(w * h / 4) {}
    Yuv420Planes Planes() { return {y.data(), width, u.data(), width / 2, v.data(), width / 2}; }
};

// One colour everywhere, `bpp` bytes a pixel, blue first.
std::vector<uint8_t> Fill(int w, int h, int bpp, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> px(static_cast<std::size_t>(w) * h * bpp, 0x5A);  // the fourth byte is noise
    for (std::size_t i = 0; i < px.size(); i += bpp) {
        px[i] = b;
        px[i + 1] = g;
        px[i + 2] = r;
    }
    return px;
}

struct Yuv {
    int y, u, v;
};

Yuv ConvertOne(uint8_t r, uint8_t g, uint8_t b, YuvRange range, int bpp = 4)
{
    std::vector<uint8_t> px = Fill(4, 2, bpp, r, g, b);
    Picture out(4, 2);
    EXPECT_TRUE(ConvertRgbToYuv420(px.data(), 4 * bpp, bpp, 4, 2, out.Planes(), range));
    return {out.y[0], out.u[0], out.v[0]};
}

}  // namespace

TEST(RgbToYuv420, KnownColoursTakeTheirBt601ValuesInBothRanges)
{
    struct Case {
        uint8_t r, g, b;
        Yuv limited, full;
    } cases[] = {
        {0, 0, 0, {16, 128, 128}, {0, 128, 128}},
        {255, 255, 255, {235, 128, 128}, {255, 128, 128}},
        {128, 128, 128, {126, 128, 128}, {128, 128, 128}},
        {255, 0, 0, {81, 90, 240}, {76, 85, 255}},
        {0, 255, 0, {145, 54, 34}, {150, 44, 21}},
        {0, 0, 255, {41, 240, 110}, {29, 255, 107}},
    };
    for (const Case& c : cases) {
        for (int bpp : {3, 4}) {
            SCOPED_TRACE(testing::Message() << int(c.r) << "," << int(c.g) << "," << int(c.b) << " bpp " << bpp);
            Yuv l = ConvertOne(c.r, c.g, c.b, YuvRange::Limited, bpp);
            Yuv f = ConvertOne(c.r, c.g, c.b, YuvRange::Full, bpp);
            EXPECT_NEAR(l.y, c.limited.y, 1);
            EXPECT_NEAR(l.u, c.limited.u, 1);
            EXPECT_NEAR(l.v, c.limited.v, 1);
            EXPECT_NEAR(f.y, c.full.y, 1);
            EXPECT_NEAR(f.u, c.full.u, 1);
            EXPECT_NEAR(f.v, c.full.v, 1);
        }
    }
}

TEST(RgbToYuv420, ChromaIsTheMeanOfEachTwoByTwoBlock)
{
    // Left column red, right column blue: the block's chroma is that of their mean colour.
    std::vector<uint8_t> px(2 * 2 * 4, 0);
    for (int row = 0; row < 2; ++row) {
        px[row * 8 + 2] = 255;  // red
        px[row * 8 + 4] = 255;  // blue
    }
    Picture out(2, 2);
    ASSERT_TRUE(ConvertRgbToYuv420(px.data(), 8, 4, 2, 2, out.Planes(), YuvRange::Full));
    Yuv mean = ConvertOne(128, 0, 128, YuvRange::Full);
    EXPECT_NEAR(out.u[0], mean.u, 1);
    EXPECT_NEAR(out.v[0], mean.v, 1);
    EXPECT_NEAR(out.y[0], 76, 1);
    EXPECT_NEAR(out.y[1], 29, 1);
}

TEST(RgbToYuv420, AgreesWithSwscaleOnABottomUpPictureOfFlatBlocks)
{
    // 8x8 blocks of random colours, stored bottom-up and read through a negative stride as the
    // compressor does: away from block edges swscale's chroma filter sees flat colour too.
    const int w = 96, h = 64;
    for (int bpp : {3, 4}) {
        for (YuvRange range : {YuvRange::Limited, YuvRange::Full}) {
            SCOPED_TRACE(testing::Message() << "bpp " << bpp << (range == YuvRange::Full ? " full" : " limited"));
            std::mt19937 random(7);
            std::vector<uint8_t> colours(static_cast<std::size_t>(w / 8) * (h / 8) * 3);
            for (uint8_t& c : colours) c = static_cast<uint8_t>(random());
            const int stride = w * bpp;
            std::vector<uint8_t> bottomUp(static_cast<std::size_t>(stride) * h);
            for (int y = 0; y < h; ++y) {
                uint8_t* row = bottomUp.data() + static_cast<std::size_t>(h - 1 - y) * stride;
                for (int x = 0; x < w; ++x) {
                    const uint8_t* c = &colours[((y / 8) * (w / 8) + x / 8) * 3];
                    for (int k = 0; k < 3; ++k) row[x * bpp + k] = c[k];
                }
            }
            const uint8_t* top = bottomUp.data() + static_cast<std::size_t>(h - 1) * stride;
            Picture ours(w, h);
            ASSERT_TRUE(ConvertRgbToYuv420(top, -stride, bpp, w, h, ours.Planes(), range));

            AVPixelFormat in = bpp == 4 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGR24;
            AVPixelFormat outFormat = range == YuvRange::Full ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
            SwsContext* sws = sws_getContext(w, h, in, w, h, outFormat, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr,
                                             nullptr, nullptr);
            ASSERT_NE(sws, nullptr);
            Picture theirs(w, h);
            const uint8_t* src[4] = {top, nullptr, nullptr, nullptr};
            int srcStride[4] = {-stride, 0, 0, 0};
            uint8_t* dst[4] = {theirs.y.data(), theirs.u.data(), theirs.v.data(), nullptr};
            int dstStride[4] = {w, w / 2, w / 2, 0};
            sws_scale(sws, src, srcStride, 0, h, dst, dstStride);
            sws_freeContext(sws);

            int worstY = 0, worstC = 0;
            for (int i = 0; i < w * h; ++i) worstY = std::max(worstY, std::abs(ours.y[i] - theirs.y[i]));
            for (int cy = 0; cy < h / 2; ++cy) {
                for (int cx = 0; cx < w / 2; ++cx) {
                    if (cx % 4 == 0 || cx % 4 == 3 || cy % 4 == 0 || cy % 4 == 3) continue;  // block edges
                    int i = cy * (w / 2) + cx;
                    worstC = std::max({worstC, std::abs(ours.u[i] - theirs.u[i]), std::abs(ours.v[i] - theirs.v[i])});
                }
            }
            EXPECT_LE(worstY, 1);
            EXPECT_LE(worstC, 1);
        }
    }
}

TEST(RgbToYuv420, RefusesSizesAndDepthsItCannotConvert)
{
    std::vector<uint8_t> px = Fill(4, 4, 4, 1, 2, 3);
    Picture out(4, 4);
    out.y.assign(out.y.size(), 0xEE);
    EXPECT_FALSE(ConvertRgbToYuv420(px.data(), 16, 4, 3, 4, out.Planes(), YuvRange::Full));
    EXPECT_FALSE(ConvertRgbToYuv420(px.data(), 16, 4, 4, 3, out.Planes(), YuvRange::Full));
    EXPECT_FALSE(ConvertRgbToYuv420(px.data(), 16, 4, 0, 4, out.Planes(), YuvRange::Full));
    EXPECT_FALSE(ConvertRgbToYuv420(px.data(), 16, 2, 4, 4, out.Planes(), YuvRange::Full));
    EXPECT_FALSE(ConvertRgbToYuv420(nullptr, 16, 4, 4, 4, out.Planes(), YuvRange::Full));
    EXPECT_EQ(out.y[0], 0xEE);  // nothing written
}
