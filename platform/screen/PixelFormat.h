#pragma once
// Pixel layouts of the screen and of DIB sections, and the conversions between them.
//
// Conversion rule (the same for every path, so recordings are reproducible):
// - reading: a channel of n bits widens to 8 bits as round(c * 255 / (2^n - 1)); an 8-bit
//   indexed pixel reads its colour-table entry;
// - writing 16 bits (5-5-5 or 5-6-5): each channel keeps its top bits (truncation), as the
//   platform's blitter does;
// - writing 8 bits: the fixed 3-3-2 colour table of Palette332(), each channel rounded to the
//   nearest of its levels: r3 = round(r * 7 / 255), g3 = round(g * 7 / 255), b2 = round(b * 3 / 255),
//   index = r3 << 5 | g3 << 2 | b2;
// - writing 32 bits: blue, green, red, then a zero byte.
#include "platform/base/WinGdiTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

struct PixelLayout {
    int bitsPerPixel = 0;  // 8, 16, 24 or 32; pixels are little-endian
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
    // 8 bits: the 256 colours the indices stand for (not owned).
    const RGBQUAD* palette = nullptr;

    bool operator==(const PixelLayout&) const = default;
};

struct Rgb {
    std::uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

// The layouts of the DIB formats the capture produces.
PixelLayout DibLayout32();
PixelLayout DibLayout24();
PixelLayout DibLayout555();
PixelLayout DibLayout565();
PixelLayout DibLayout8();  // indices into Palette332()

// The fixed colour table of 8-bit surfaces (see the rule above).
const std::array<RGBQUAD, 256>& Palette332();

// True for a layout the converter can read or write.
bool IsSupportedLayout(const PixelLayout& layout);

Rgb DecodePixel(const PixelLayout& layout, const std::uint8_t* pixel);
void EncodePixel(const PixelLayout& layout, Rgb colour, std::uint8_t* pixel);

// Copies rows of frame memory as they are; a large frame with streaming stores where the CPU
// has them (no read of the target lines first). The copies are visible to other threads after
// the call.
void CopyRows(const std::uint8_t* src, std::ptrdiff_t srcStride, std::uint8_t* dst,
              std::ptrdiff_t dstStride, std::size_t rowBytes, int rows);

// Converts rectangles from one layout into another. Built once per surface pair; Convert does
// no allocation. A negative destination stride walks the rows upwards (bottom-up DIBs).
class CPixelConverter {
public:
    CPixelConverter(const PixelLayout& source, const PixelLayout& target);

    bool IsValid() const { return m_pRow != nullptr; }
    void Convert(const std::uint8_t* src, std::ptrdiff_t srcStride, std::uint8_t* dst,
                 std::ptrdiff_t dstStride, int width, int height) const;

    // Per-channel tables of the generic path and the 8-bit writer.
    struct Tables {
        std::array<std::uint8_t, 256> index8R, index8G, index8B;
        PixelLayout source, target;
    };

private:
    using RowFunction = void (*)(const std::uint8_t* src, std::uint8_t* dst, int width,
                                 const Tables& tables);
    RowFunction m_pRow = nullptr;
    // The same writer with streaming stores, for frames too large to stay in the caches.
    RowFunction m_pRowStream = nullptr;
    Tables m_tables {};
};

}  // namespace platform
