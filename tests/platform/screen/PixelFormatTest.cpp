#include "platform/screen/PixelFormat.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace platform;

namespace {

// X's 24-bit screens: blue, green, red, pad in each 32-bit word.
PixelLayout Screen32()
{
    return {32, 0x00FF0000, 0x0000FF00, 0x000000FF, nullptr};
}

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<std::uint8_t>(gen());
    return v;
}

// The documented rule, written out independently of the converter.
std::vector<std::uint8_t> Expected(const std::vector<std::uint8_t>& bgrx, int width, const PixelLayout& target)
{
    std::vector<std::uint8_t> out;
    for (int i = 0; i < width; ++i) {
        std::uint8_t b = bgrx[4 * i], g = bgrx[4 * i + 1], r = bgrx[4 * i + 2];
        switch (target.bitsPerPixel) {
        case 32:
            out.insert(out.end(), {b, g, r, 0});
            break;
        case 24:
            out.insert(out.end(), {b, g, r});
            break;
        case 16: {
            std::uint16_t v = target.greenMask == 0x07E0
                                  ? static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3))
                                  : static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
            out.insert(out.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
            break;
        }
        case 8: {
            int r3 = (r * 7 + 127) / 255, g3 = (g * 7 + 127) / 255, b2 = (b * 3 + 127) / 255;
            out.push_back(static_cast<std::uint8_t>(r3 << 5 | g3 << 2 | b2));
            break;
        }
        }
    }
    return out;
}

struct TargetCase {
    const char* name;
    PixelLayout layout;
};

std::vector<TargetCase> Targets()
{
    return {{"32", DibLayout32()}, {"24", DibLayout24()}, {"565", DibLayout565()},
            {"555", DibLayout555()}, {"8", DibLayout8()}};
}

}  // namespace

TEST(PixelConversion, ScreenWordsConvertByTheDocumentedRuleAtEveryWidth)
{
    for (const TargetCase& t : Targets()) {
        CPixelConverter converter(Screen32(), t.layout);
        ASSERT_TRUE(converter.IsValid()) << t.name;
        // Widths around the blocks of the word-wise and vector writers (4, 8 and 16 pixels).
        for (int width = 1; width <= 40; ++width) {
            auto src = RandomBytes(4 * width, width);
            std::vector<std::uint8_t> dst(t.layout.bitsPerPixel / 8 * width + 8, 0xEE);
            converter.Convert(src.data(), 0, dst.data(), 0, width, 1);
            auto expected = Expected(src, width, t.layout);
            std::vector<std::uint8_t> written(dst.begin(), dst.begin() + expected.size());
            EXPECT_EQ(written, expected) << t.name << " width " << width;
            EXPECT_EQ(dst[expected.size()], 0xEE) << t.name << " wrote past the row, width " << width;
        }
    }
}

TEST(PixelConversion, LargeFramesAreWrittenByTheSameRuleAtAnyAlignment)
{
    // Big enough that the writers stream their stores; an odd width leaves a scalar tail and a
    // row start at any byte offset a scalar head.
    const int width = 2003, height = 1100;
    auto src = RandomBytes(4u * width * height, 5);
    for (const TargetCase& t : Targets()) {
        CPixelConverter converter(Screen32(), t.layout);
        int bytes = t.layout.bitsPerPixel / 8;
        std::ptrdiff_t stride = bytes * width + 5;
        for (std::size_t offset : {0u, 1u, 2u}) {
            std::vector<std::uint8_t> dst(offset + stride * height, 0xEE);
            converter.Convert(src.data(), 4 * width, dst.data() + offset, stride, width, height);
            for (int y : {0, 1, height / 2, height - 1}) {
                std::vector<std::uint8_t> row(src.begin() + 4 * width * y, src.begin() + 4 * width * (y + 1));
                auto expected = Expected(row, width, t.layout);
                const std::uint8_t* written = dst.data() + offset + y * stride;
                EXPECT_TRUE(std::equal(expected.begin(), expected.end(), written))
                    << t.name << " offset " << offset << " row " << y;
                EXPECT_EQ(written[expected.size()], 0xEE) << t.name << " wrote past row " << y;
            }
        }
    }
}

TEST(PixelConversion, FastPathsAgreeWithThePixelByPixelCodec)
{
    auto src = RandomBytes(4 * 257, 7);
    for (const TargetCase& t : Targets()) {
        CPixelConverter converter(Screen32(), t.layout);
        int bytes = t.layout.bitsPerPixel / 8;
        std::vector<std::uint8_t> fast(bytes * 257), slow(bytes * 257);
        converter.Convert(src.data(), 0, fast.data(), 0, 257, 1);
        for (int i = 0; i < 257; ++i)
            EncodePixel(t.layout, DecodePixel(Screen32(), &src[4 * i]), &slow[bytes * i]);
        EXPECT_EQ(fast, slow) << t.name;
    }
}

TEST(PixelConversion, NegativeTargetStrideWritesRowsBottomUp)
{
    // Three rows of two pixels, each row one grey level.
    std::vector<std::uint8_t> src;
    for (std::uint8_t level : {10, 20, 30})
        for (int x = 0; x < 2; ++x)
            src.insert(src.end(), {level, level, level, 0});
    std::vector<std::uint8_t> dst(3 * 8, 0);  // 24-bit rows of 6 bytes, padded to 8
    CPixelConverter converter(Screen32(), DibLayout24());
    converter.Convert(src.data(), 8, dst.data() + 2 * 8, -8, 2, 3);
    EXPECT_EQ(dst[0], 30);
    EXPECT_EQ(dst[8], 20);
    EXPECT_EQ(dst[16], 10);
    EXPECT_EQ(dst[6], 0) << "row padding stays untouched";
}

TEST(PixelConversion, EightBitTableRoundTripsItsOwnColours)
{
    const auto& table = Palette332();
    EXPECT_EQ(table[0].rgbRed + table[0].rgbGreen + table[0].rgbBlue, 0);
    EXPECT_EQ(table[255].rgbRed, 255);
    EXPECT_EQ(table[255].rgbGreen, 255);
    EXPECT_EQ(table[255].rgbBlue, 255);
    for (int i = 0; i < 256; ++i) {
        std::uint8_t pixel = 0;
        EncodePixel(DibLayout8(), {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue}, &pixel);
        EXPECT_EQ(pixel, i);
        Rgb back = DecodePixel(DibLayout8(), &pixel);
        EXPECT_EQ(back, (Rgb {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue}));
    }
}

TEST(PixelConversion, OtherScreenLayoutsWidenChannelsByRounding)
{
    // A 16-bit 5-6-5 screen: full channels must read as 255, half-way values round.
    PixelLayout screen565 = DibLayout565();
    std::uint8_t white[2] = {0xFF, 0xFF};
    EXPECT_EQ(DecodePixel(screen565, white), (Rgb {255, 255, 255}));
    std::uint8_t red16[2] = {0x00, 0x80};  // red 16 of 31
    EXPECT_EQ(DecodePixel(screen565, red16).r, (16 * 255 + 15) / 31);

    // Converting that screen into 32 bits goes through the same rule.
    std::vector<std::uint8_t> src = {0x1F, 0x00, 0xE0, 0x07};  // pure blue, pure green
    std::vector<std::uint8_t> dst(8);
    CPixelConverter converter(screen565, DibLayout32());
    ASSERT_TRUE(converter.IsValid());
    converter.Convert(src.data(), 0, dst.data(), 0, 2, 1);
    EXPECT_EQ(dst, (std::vector<std::uint8_t> {255, 0, 0, 0, 0, 255, 0, 0}));

    // An indexed screen reads its colour map.
    std::array<RGBQUAD, 256> map {};
    map[7] = {1, 2, 3, 0};
    PixelLayout indexed {8, 0, 0, 0, map.data()};
    std::uint8_t index = 7;
    std::vector<std::uint8_t> out(3);
    CPixelConverter fromIndexed(indexed, DibLayout24());
    ASSERT_TRUE(fromIndexed.IsValid());
    fromIndexed.Convert(&index, 0, out.data(), 0, 1, 1);
    EXPECT_EQ(out, (std::vector<std::uint8_t> {1, 2, 3}));
}

TEST(PixelConversion, RefusesLayoutsItCannotWrite)
{
    std::array<RGBQUAD, 256> grey {};
    for (int i = 0; i < 256; ++i)
        grey[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    EXPECT_FALSE(CPixelConverter(Screen32(), PixelLayout {8, 0, 0, 0, grey.data()}).IsValid());
    EXPECT_FALSE(CPixelConverter(Screen32(), PixelLayout {16, 0xF000, 0x0F00, 0x0F0F, nullptr}).IsValid())
        << "masks must not overlap or split";
    EXPECT_FALSE(CPixelConverter(Screen32(), PixelLayout {12, 0xF00, 0xF0, 0xF, nullptr}).IsValid());
    EXPECT_FALSE(CPixelConverter(PixelLayout {}, DibLayout32()).IsValid());
    // Converting nothing does nothing, even when invalid.
    CPixelConverter invalid(PixelLayout {}, DibLayout32());
    std::uint8_t byte = 0x5A;
    invalid.Convert(&byte, 0, &byte, 0, 1, 1);
    EXPECT_EQ(byte, 0x5A);
}

TEST(PixelConversion, CopyRowsCopiesLargeFramesBottomUp)
{
    // A frame past the streaming size, at an unaligned target.
    const std::size_t rowBytes = 7683, stride = 7696;
    const int rows = 900;
    auto src = RandomBytes(stride * rows, 13);
    std::vector<std::uint8_t> dst(stride * rows + 1, 0xEE);
    CopyRows(src.data(), stride, dst.data() + 1 + (rows - 1) * stride, -static_cast<std::ptrdiff_t>(stride),
             rowBytes, rows);
    for (int y : {0, 1, rows / 2, rows - 1}) {
        const std::uint8_t* row = dst.data() + 1 + (rows - 1 - y) * stride;
        EXPECT_TRUE(std::equal(row, row + rowBytes, src.data() + y * stride)) << "row " << y;
        EXPECT_EQ(row[rowBytes], 0xEE) << "row " << y;
    }
}

TEST(PixelConversion, CopyRowsCopiesEveryByteAtAnyAlignmentAndDirection)
{
    auto src = RandomBytes(3 * 160, 11);
    for (std::size_t rowBytes : {0u, 1u, 31u, 32u, 33u, 95u, 150u}) {
        for (std::size_t offset = 0; offset < 4; ++offset) {
            std::vector<std::uint8_t> dst(3 * 160 + 8, 0xEE);
            // Bottom-up: source row y lands in target row 2 - y.
            CopyRows(src.data(), 160, dst.data() + offset + 2 * 160, -160, rowBytes, 3);
            for (int y = 0; y < 3; ++y) {
                const std::uint8_t* row = dst.data() + offset + (2 - y) * 160;
                EXPECT_TRUE(std::equal(row, row + rowBytes, src.data() + y * 160)) << rowBytes << "/" << offset;
                EXPECT_EQ(row[rowBytes], 0xEE) << rowBytes << "/" << offset;
            }
        }
    }
}
