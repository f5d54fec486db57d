#pragma once
// Blue-green-red pixels (3 or 4 bytes each) to planar 4:2:0 YUV with the BT.601 matrix, in
// either range: limited (16-235, what MPEG-4 and H.264 expect) or full (0-255, JPEG's). Each
// chroma sample is the mean of its 2x2 block. swscale's general path takes 6-10 ms for one
// 1920x1080 frame here, which was most of a compressed recording's processor time; this one
// vectorises and takes under 2 ms.
#include <cstddef>
#include <cstdint>

enum class YuvRange { Limited, Full };

struct Yuv420Planes {
    uint8_t* y;
    int yStride;
    uint8_t* u;
    int uStride;
    uint8_t* v;
    int vStride;
};

// Rows from `src`, `srcStride` bytes apart (negative for a bottom-up picture read top row
// first). Width and height must be even and positive, bytesPerPixel 3 or 4 (the fourth byte is
// ignored); false and nothing written otherwise.
bool ConvertRgbToYuv420(const uint8_t* src, std::ptrdiff_t srcStride, int bytesPerPixel, int width, int height,
                        const Yuv420Planes& out, YuvRange range);
