#pragma once
// Cursor images as the screen layer draws them: premultiplied ARGB words (alpha in the top byte),
// rows top-down, with the hot spot. The X server's cursor (XFixes) and the standard arrow share
// this form.
#include "platform/screen/PixelFormat.h"

#include <cstddef>
#include <cstdint>

namespace platform {

struct CursorImage {
    int width = 0;
    int height = 0;
    int xHotspot = 0;
    int yHotspot = 0;
    const std::uint32_t* pixels = nullptr;  // width * height words
};

// The standard arrow (hot spot at its tip, (0, 0)): white with a black outline.
const CursorImage& StandardArrowCursor();

// Blends the cursor with its top-left corner at (x, y) of a top-down view of an image:
// row r of the image starts at rows + r * stride (stride may be negative for bottom-up DIBs).
// Parts outside width x height are clipped.
void BlendCursor(const CursorImage& cursor, int x, int y, std::uint8_t* rows, std::ptrdiff_t stride,
                 int width, int height, const PixelLayout& layout);

}  // namespace platform
