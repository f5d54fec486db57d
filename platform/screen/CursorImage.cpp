#include "platform/screen/CursorImage.h"

#include <array>
#include <string_view>

namespace platform {
namespace {

// 'X' outline, '.' fill, ' ' transparent.
constexpr std::string_view kArrow[] = {
    "X           ",
    "XX          ",
    "X.X         ",
    "X..X        ",
    "X...X       ",
    "X....X      ",
    "X.....X     ",
    "X......X    ",
    "X.......X   ",
    "X........X  ",
    "X.........X ",
    "X......XXXXX",
    "X...X..X    ",
    "X..XX..X    ",
    "X.X  X..X   ",
    "XX   X..X   ",
    "X     X..X  ",
    "      X..X  ",
    "       XX   ",
};
constexpr int kArrowWidth = 12;
constexpr int kArrowHeight = static_cast<int>(std::size(kArrow));

std::uint8_t Blend(std::uint8_t premultiplied, std::uint8_t under, std::uint32_t alpha)
{
    std::uint32_t v = premultiplied + (under * (255 - alpha) + 127) / 255;
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

}  // namespace

const CursorImage& StandardArrowCursor()
{
    static const std::array<std::uint32_t, kArrowWidth * kArrowHeight> pixels = [] {
        std::array<std::uint32_t, kArrowWidth * kArrowHeight> p {};
        for (int y = 0; y < kArrowHeight; ++y) {
            for (int x = 0; x < kArrowWidth; ++x) {
                char c = x < static_cast<int>(kArrow[y].size()) ? kArrow[y][x] : ' ';
                p[y * kArrowWidth + x] = c == 'X' ? 0xFF000000u : c == '.' ? 0xFFFFFFFFu : 0u;
            }
        }
        return p;
    }();
    static const CursorImage arrow {kArrowWidth, kArrowHeight, 0, 0, pixels.data()};
    return arrow;
}

void BlendCursor(const CursorImage& cursor, int x, int y, std::uint8_t* rows, std::ptrdiff_t stride,
                 int width, int height, const PixelLayout& layout)
{
    if (!cursor.pixels || !rows || !IsSupportedLayout(layout))
        return;
    int bytes = layout.bitsPerPixel / 8;
    for (int cy = 0; cy < cursor.height; ++cy) {
        int ty = y + cy;
        if (ty < 0 || ty >= height)
            continue;
        std::uint8_t* row = rows + ty * stride;
        for (int cx = 0; cx < cursor.width; ++cx) {
            int tx = x + cx;
            if (tx < 0 || tx >= width)
                continue;
            std::uint32_t argb = cursor.pixels[cy * cursor.width + cx];
            std::uint32_t alpha = argb >> 24;
            if (alpha == 0)
                continue;
            std::uint8_t* pixel = row + tx * bytes;
            Rgb under = DecodePixel(layout, pixel);
            Rgb over {Blend(static_cast<std::uint8_t>(argb >> 16), under.r, alpha),
                      Blend(static_cast<std::uint8_t>(argb >> 8), under.g, alpha),
                      Blend(static_cast<std::uint8_t>(argb), under.b, alpha)};
            EncodePixel(layout, over, pixel);
        }
    }
}

}  // namespace platform
