#include "platform/screen/PixelFormat.h"

#include <bit>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <cstring>

namespace platform {
namespace {

constexpr std::uint32_t kRed32 = 0x00FF0000, kGreen32 = 0x0000FF00, kBlue32 = 0x000000FF;

std::uint32_t Load32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void Store32(std::uint8_t* p, std::uint32_t v)
{
    std::memcpy(p, &v, 4);
}

void Store16(std::uint8_t* p, std::uint16_t v)
{
    std::memcpy(p, &v, 2);
}

std::uint8_t Widen(std::uint32_t value, std::uint32_t mask)
{
    if (mask == 0)
        return 0;
    int shift = std::countr_zero(mask);
    std::uint32_t max = mask >> shift;
    std::uint32_t c = (value & mask) >> shift;
    return static_cast<std::uint8_t>((c * 255 + max / 2) / max);
}

std::uint32_t Narrow(std::uint8_t c8, std::uint32_t mask)
{
    if (mask == 0)
        return 0;
    int shift = std::countr_zero(mask);
    int bits = std::popcount(mask);
    return (static_cast<std::uint32_t>(c8) >> (8 - bits)) << shift;
}

bool IsBgrx32(const PixelLayout& l)
{
    return l.bitsPerPixel == 32 && l.redMask == kRed32 && l.greenMask == kGreen32 &&
           l.blueMask == kBlue32;
}

bool MasksUsable(const PixelLayout& l)
{
    std::uint32_t masks[3] = {l.redMask, l.greenMask, l.blueMask};
    std::uint64_t limit = l.bitsPerPixel >= 32 ? 0x100000000ull : (1ull << l.bitsPerPixel);
    for (std::uint32_t m : masks) {
        if (m == 0 || m >= limit)
            return false;
        int bits = std::popcount(m);
        // Contiguous masks of at most 8 bits.
        if (bits > 8 || ((m >> std::countr_zero(m)) + 1) != (1u << bits))
            return false;
    }
    return (l.redMask & l.greenMask) == 0 && (l.redMask & l.blueMask) == 0 &&
           (l.greenMask & l.blueMask) == 0;
}

bool IsPalette332(const RGBQUAD* palette)
{
    if (!palette)
        return false;
    return palette == Palette332().data() ||
           std::memcmp(palette, Palette332().data(), sizeof(RGBQUAD) * 256) == 0;
}

std::uint8_t Level(std::uint8_t c, int levels)
{
    return static_cast<std::uint8_t>((c * (levels - 1) + 127) / 255);
}

// Row functions. Sources of 32 bits are X's native blue-green-red-pad words. The hot ones are
// built twice, for AVX2 and for plain x86-64, and the loader picks the one the CPU runs: the
// wider vectors more than double the speed of the 24- and 16-bit writers.
#if defined(__x86_64__) && defined(__GNUC__)
#define VANTOREL_ROW_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VANTOREL_ROW_CLONES
#endif

void RowCopy(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables& t)
{
    std::memcpy(d, s, static_cast<std::size_t>(w) * (t.source.bitsPerPixel / 8));
}

#if defined(__x86_64__) && defined(__GNUC__)
// Streaming stores write whole cache lines without reading them first, as the library's copy
// does; a plain masking loop pays a read of every target line and runs at half the speed.
__attribute__((target("avx2"))) void RowBgrxTo32Stream(const std::uint8_t* s, std::uint8_t* d, int w)
{
    int i = 0;
    for (; i < w && (reinterpret_cast<std::uintptr_t>(d + 4 * i) & 31) != 0; ++i)
        Store32(d + 4 * i, Load32(s + 4 * i) & 0x00FFFFFF);
    const __m256i mask = _mm256_set1_epi32(0x00FFFFFF);
    for (; i + 8 <= w; i += 8) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * i));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(d + 4 * i), _mm256_and_si256(v, mask));
    }
    for (; i < w; ++i)
        Store32(d + 4 * i, Load32(s + 4 * i) & 0x00FFFFFF);
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void CopyRowStream(const std::uint8_t* s, std::uint8_t* d, std::size_t n)
{
    std::size_t i = 0;
    std::size_t head = (32 - (reinterpret_cast<std::uintptr_t>(d) & 31)) & 31;
    if (head > n)
        head = n;
    std::memcpy(d, s, head);
    for (i = head; i + 32 <= n; i += 32) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(d + i), v);
    }
    std::memcpy(d + i, s + i, n - i);
}
#endif

void RowBgrxTo32(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables&)
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx2")) {
        RowBgrxTo32Stream(s, d, w);
        return;
    }
#endif
    for (int i = 0; i < w; ++i)
        Store32(d + 4 * i, Load32(s + 4 * i) & 0x00FFFFFF);
}

VANTOREL_ROW_CLONES
void RowBgrxTo24(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables&)
{
    int i = 0;
    // Four pixels make three whole words.
    for (; i + 4 <= w; i += 4, s += 16, d += 12) {
        std::uint32_t p0 = Load32(s), p1 = Load32(s + 4), p2 = Load32(s + 8), p3 = Load32(s + 12);
        Store32(d, (p0 & 0x00FFFFFF) | (p1 << 24));
        Store32(d + 4, ((p1 >> 8) & 0x0000FFFF) | (p2 << 16));
        Store32(d + 8, ((p2 >> 16) & 0x000000FF) | (p3 << 8));
    }
    for (; i < w; ++i, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

VANTOREL_ROW_CLONES
void RowBgrxTo565(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables&)
{
    for (int i = 0; i < w; ++i) {
        std::uint32_t p = Load32(s + 4 * i);
        Store16(d + 2 * i, static_cast<std::uint16_t>(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) |
                                                      ((p >> 3) & 0x001F)));
    }
}

VANTOREL_ROW_CLONES
void RowBgrxTo555(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables&)
{
    for (int i = 0; i < w; ++i) {
        std::uint32_t p = Load32(s + 4 * i);
        Store16(d + 2 * i, static_cast<std::uint16_t>(((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) |
                                                      ((p >> 3) & 0x001F)));
    }
}

VANTOREL_ROW_CLONES
void RowBgrxTo8(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables& t)
{
    for (int i = 0; i < w; ++i, s += 4)
        d[i] = static_cast<std::uint8_t>(t.index8B[s[0]] | t.index8G[s[1]] | t.index8R[s[2]]);
}

void RowGeneric(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables& t)
{
    int sb = t.source.bitsPerPixel / 8, db = t.target.bitsPerPixel / 8;
    for (int i = 0; i < w; ++i, s += sb, d += db)
        EncodePixel(t.target, DecodePixel(t.source, s), d);
}

}  // namespace

void CopyRows(const std::uint8_t* src, std::ptrdiff_t srcStride, std::uint8_t* dst,
              std::ptrdiff_t dstStride, std::size_t rowBytes, int rows)
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx2")) {
        for (int y = 0; y < rows; ++y, src += srcStride, dst += dstStride)
            CopyRowStream(src, dst, rowBytes);
        _mm_sfence();
        return;
    }
#endif
    for (int y = 0; y < rows; ++y, src += srcStride, dst += dstStride)
        std::memcpy(dst, src, rowBytes);
}

PixelLayout DibLayout32()
{
    return {32, kRed32, kGreen32, kBlue32, nullptr};
}

PixelLayout DibLayout24()
{
    return {24, kRed32, kGreen32, kBlue32, nullptr};
}

PixelLayout DibLayout555()
{
    return {16, 0x7C00, 0x03E0, 0x001F, nullptr};
}

PixelLayout DibLayout565()
{
    return {16, 0xF800, 0x07E0, 0x001F, nullptr};
}

PixelLayout DibLayout8()
{
    return {8, 0, 0, 0, Palette332().data()};
}

const std::array<RGBQUAD, 256>& Palette332()
{
    static const std::array<RGBQUAD, 256> table = [] {
        std::array<RGBQUAD, 256> t {};
        for (int i = 0; i < 256; ++i) {
            int r3 = (i >> 5) & 7, g3 = (i >> 2) & 7, b2 = i & 3;
            t[i].rgbRed = static_cast<BYTE>((r3 * 255 + 3) / 7);
            t[i].rgbGreen = static_cast<BYTE>((g3 * 255 + 3) / 7);
            t[i].rgbBlue = static_cast<BYTE>((b2 * 255 + 1) / 3);
            t[i].rgbReserved = 0;
        }
        return t;
    }();
    return table;
}

bool IsSupportedLayout(const PixelLayout& layout)
{
    switch (layout.bitsPerPixel) {
    case 8:
        return layout.palette != nullptr;
    case 16:
    case 24:
    case 32:
        return MasksUsable(layout);
    default:
        return false;
    }
}

Rgb DecodePixel(const PixelLayout& l, const std::uint8_t* p)
{
    std::uint32_t v = 0;
    switch (l.bitsPerPixel) {
    case 8: {
        const RGBQUAD& q = l.palette[p[0]];
        return {q.rgbRed, q.rgbGreen, q.rgbBlue};
    }
    case 16:
        v = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
        break;
    case 24:
        v = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
            static_cast<std::uint32_t>(p[2]) << 16;
        break;
    default:
        v = Load32(p);
        break;
    }
    return {Widen(v, l.redMask), Widen(v, l.greenMask), Widen(v, l.blueMask)};
}

void EncodePixel(const PixelLayout& l, Rgb c, std::uint8_t* p)
{
    if (l.bitsPerPixel == 8) {
        p[0] = static_cast<std::uint8_t>(Level(c.r, 8) << 5 | Level(c.g, 8) << 2 | Level(c.b, 4));
        return;
    }
    std::uint32_t v = Narrow(c.r, l.redMask) | Narrow(c.g, l.greenMask) | Narrow(c.b, l.blueMask);
    switch (l.bitsPerPixel) {
    case 16:
        Store16(p, static_cast<std::uint16_t>(v));
        break;
    case 24:
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        p[2] = static_cast<std::uint8_t>(v >> 16);
        break;
    default:
        Store32(p, v);
        break;
    }
}

// GCC takes the address of a multi-versioned function for that of a local (a false alarm).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif
CPixelConverter::CPixelConverter(const PixelLayout& source, const PixelLayout& target)
{
    m_tables.source = source;
    m_tables.target = target;
    // An 8-bit target is always written with the fixed table.
    if (!IsSupportedLayout(source) || !IsSupportedLayout(target) ||
        (target.bitsPerPixel == 8 && !IsPalette332(target.palette)))
        return;
    for (int c = 0; c < 256; ++c) {
        auto v = static_cast<std::uint8_t>(c);
        m_tables.index8R[c] = static_cast<std::uint8_t>(Level(v, 8) << 5);
        m_tables.index8G[c] = static_cast<std::uint8_t>(Level(v, 8) << 2);
        m_tables.index8B[c] = Level(v, 4);
    }
    bool sameIndexed = source.bitsPerPixel == 8 && target.bitsPerPixel == 8 &&
                       IsPalette332(source.palette);
    // The 32-bit writer clears the pad byte, so X's words never go through the plain copy.
    if (IsBgrx32(source)) {
        if (target == DibLayout32())
            m_pRow = RowBgrxTo32;
        else if (target == DibLayout24())
            m_pRow = RowBgrxTo24;
        else if (target == DibLayout565())
            m_pRow = RowBgrxTo565;
        else if (target == DibLayout555())
            m_pRow = RowBgrxTo555;
        else if (target.bitsPerPixel == 8)
            m_pRow = RowBgrxTo8;
        else
            m_pRow = RowGeneric;
    } else if (sameIndexed || (source.bitsPerPixel != 8 && source == target)) {
        m_pRow = RowCopy;
    } else {
        m_pRow = RowGeneric;
    }
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

void CPixelConverter::Convert(const std::uint8_t* src, std::ptrdiff_t srcStride, std::uint8_t* dst,
                              std::ptrdiff_t dstStride, int width, int height) const
{
    if (!m_pRow || width <= 0)
        return;
    for (int y = 0; y < height; ++y, src += srcStride, dst += dstStride)
        m_pRow(src, dst, width, m_tables);
#if defined(__x86_64__)
    // Streamed rows are visible to other threads only after a store fence.
    _mm_sfence();
#endif
}

}  // namespace platform
