#include "platform/codecs/RgbToYuv420.h"

namespace {

// 14-bit fixed point: products of 4 summed 8-bit values stay well inside 32 bits.
constexpr int kShift = 14;

struct Matrix {
    int yr, yg, yb, yOffset;
    int ur, ug, ub;
    int vr, vg, vb;
};

// BT.601, scaled to 219 (luma) and 224 (chroma) steps for the limited range; each chroma row sums
// to zero, so grey stays exactly at 128.
constexpr Matrix kLimited {4207, 8260, 1604, 16, -2429, -4767, 7196, 7196, -6026, -1170};
constexpr Matrix kFull {4899, 9617, 1868, 0, -2765, -5427, 8192, 8192, -6860, -1332};

inline uint8_t Clamp(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Two picture rows into two luma rows and one row of each chroma plane. Plain loops over
// fixed strides, so that the compiler vectorises them; built for AVX2 as well where the
// processor has it.
template <int Bpp>
__attribute__((target_clones("avx2", "default"))) void ConvertRowPair(
    const uint8_t* __restrict s0, const uint8_t* __restrict s1, int width, uint8_t* __restrict y0,
    uint8_t* __restrict y1, uint8_t* __restrict u, uint8_t* __restrict v, Matrix m)
{
    const int yRound = (m.yOffset << kShift) + (1 << (kShift - 1));
    for (int x = 0; x < width; ++x) {
        const uint8_t* p = s0 + Bpp * x;
        y0[x] = static_cast<uint8_t>((m.yr * p[2] + m.yg * p[1] + m.yb * p[0] + yRound) >> kShift);
        p = s1 + Bpp * x;
        y1[x] = static_cast<uint8_t>((m.yr * p[2] + m.yg * p[1] + m.yb * p[0] + yRound) >> kShift);
    }
    // The sums of four pixels carry two more bits.
    const int cRound = (128 << (kShift + 2)) + (1 << (kShift + 1));
    for (int x = 0; x < width / 2; ++x) {
        const uint8_t* a = s0 + 2 * Bpp * x;
        const uint8_t* b = s1 + 2 * Bpp * x;
        int sb = a[0] + a[Bpp] + b[0] + b[Bpp];
        int sg = a[1] + a[Bpp + 1] + b[1] + b[Bpp + 1];
        int sr = a[2] + a[Bpp + 2] + b[2] + b[Bpp + 2];
        u[x] = Clamp((m.ur * sr + m.ug * sg + m.ub * sb + cRound) >> (kShift + 2));
        v[x] = Clamp((m.vr * sr + m.vg * sg + m.vb * sb + cRound) >> (kShift + 2));
    }
}

template <int Bpp>
void ConvertPicture(const uint8_t* src, std::ptrdiff_t srcStride, int width, int height, const Yuv420Planes& out,
                    const Matrix& m)
{
    for (int row = 0; row < height; row += 2) {
        const uint8_t* s0 = src + srcStride * row;
        ConvertRowPair<Bpp>(s0, s0 + srcStride, width, out.y + static_cast<std::ptrdiff_t>(out.yStride) * row,
                            out.y + static_cast<std::ptrdiff_t>(out.yStride) * (row + 1),
                            out.u + static_cast<std::ptrdiff_t>(out.uStride) * (row / 2),
                            out.v + static_cast<std::ptrdiff_t>(out.vStride) * (row / 2), m);
    }
}

}  // namespace

bool ConvertRgbToYuv420(const uint8_t* src, std::ptrdiff_t srcStride, int bytesPerPixel, int width, int height,
                        const Yuv420Planes& out, YuvRange range)
{
    if (!src || !out.y || !out.u || !out.v || width <= 0 || height <= 0 || width % 2 || height % 2) return false;
    const Matrix& m = range == YuvRange::Full ? kFull : kLimited;
    if (bytesPerPixel == 4) ConvertPicture<4>(src, srcStride, width, height, out, m);
    else if (bytesPerPixel == 3) ConvertPicture<3>(src, srcStride, width, height, out, m);
    else return false;
    return true;
}
