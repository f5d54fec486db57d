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

// Row functions. Sources of 32 bits are X's native blue-green-red-pad words. The hot writers
// come twice: a plain x86-64 one (word-wise) and an AVX2 one, picked once when the converter is
// made. Each AVX2 writer has a cached-store and a streaming-store form (see kStreamingFrameBytes).
#if defined(__x86_64__) && defined(__GNUC__)
#define VANTOREL_AVX2 1
#define VANTOREL_ROW_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VANTOREL_AVX2 0
#define VANTOREL_ROW_CLONES
#endif

void RowCopy(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables& t)
{
    std::memcpy(d, s, static_cast<std::size_t>(w) * (t.source.bitsPerPixel / 8));
}

void RowBgrxTo32(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables&)
{
    for (int i = 0; i < w; ++i)
        Store32(d + 4 * i, Load32(s + 4 * i) & 0x00FFFFFF);
}

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

std::uint16_t To565(std::uint32_t p)
{
    return static_cast<std::uint16_t>(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
}

std::uint16_t To555(std::uint32_t p)
{
    return static_cast<std::uint16_t>(((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F));
}

void RowBgrxTo565(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables&)
{
    for (int i = 0; i < w; ++i)
        Store16(d + 2 * i, To565(Load32(s + 4 * i)));
}

void RowBgrxTo555(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables&)
{
    for (int i = 0; i < w; ++i)
        Store16(d + 2 * i, To555(Load32(s + 4 * i)));
}

VANTOREL_ROW_CLONES
void RowBgrxTo8(const std::uint8_t* s, std::uint8_t* d, int w, const CPixelConverter::Tables& t)
{
    for (int i = 0; i < w; ++i, s += 4)
        d[i] = static_cast<std::uint8_t>(t.index8B[s[0]] | t.index8G[s[1]] | t.index8R[s[2]]);
}

#if VANTOREL_AVX2
// Streaming stores write whole cache lines without reading them first and keep the frame out of
// the caches. The writers below run scalar up to the first aligned target address (streaming
// needs it; cached stores that straddle cache lines run at two thirds of the speed) and for the
// last few pixels of a row.
template <bool Stream>
__attribute__((target("avx2"))) inline void Put256(std::uint8_t* d, __m256i v)
{
    if constexpr (Stream)
        _mm256_stream_si256(reinterpret_cast<__m256i*>(d), v);
    else
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v);
}

template <bool Stream>
__attribute__((target("avx2"))) inline void Put128(std::uint8_t* d, __m128i v)
{
    if constexpr (Stream)
        _mm_stream_si128(reinterpret_cast<__m128i*>(d), v);
    else
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
}

template <bool Stream>
__attribute__((target("avx2"))) void RowBgrxTo32Avx2(const std::uint8_t* s, std::uint8_t* d, int w,
                                                     const CPixelConverter::Tables&)
{
    int i = 0;
    for (; i < w && (reinterpret_cast<std::uintptr_t>(d + 4 * i) & 31) != 0; ++i)
        Store32(d + 4 * i, Load32(s + 4 * i) & 0x00FFFFFF);
    const __m256i mask = _mm256_set1_epi32(0x00FFFFFF);
    // Four stores a turn keep up with the library's copy.
    for (; i + 32 <= w; i += 32) {
        const auto* from = reinterpret_cast<const __m256i*>(s + 4 * i);
        __m256i v0 = _mm256_loadu_si256(from), v1 = _mm256_loadu_si256(from + 1);
        __m256i v2 = _mm256_loadu_si256(from + 2), v3 = _mm256_loadu_si256(from + 3);
        Put256<Stream>(d + 4 * i, _mm256_and_si256(v0, mask));
        Put256<Stream>(d + 4 * i + 32, _mm256_and_si256(v1, mask));
        Put256<Stream>(d + 4 * i + 64, _mm256_and_si256(v2, mask));
        Put256<Stream>(d + 4 * i + 96, _mm256_and_si256(v3, mask));
    }
    for (; i + 8 <= w; i += 8) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * i));
        Put256<Stream>(d + 4 * i, _mm256_and_si256(v, mask));
    }
    for (; i < w; ++i)
        Store32(d + 4 * i, Load32(s + 4 * i) & 0x00FFFFFF);
}

// Sixteen pixels at a time: each group of four drops its pad bytes into 12 bytes, and the four
// groups are shifted together into three whole 16-byte stores.
template <bool Stream>
__attribute__((target("avx2"))) void RowBgrxTo24Avx2(const std::uint8_t* s, std::uint8_t* d, int w,
                                                     const CPixelConverter::Tables& t)
{
    int i = 0;
    for (; i < w && (reinterpret_cast<std::uintptr_t>(d + 3 * i) & 15) != 0; ++i) {
        d[3 * i] = s[4 * i];
        d[3 * i + 1] = s[4 * i + 1];
        d[3 * i + 2] = s[4 * i + 2];
    }
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    for (; i + 16 <= w; i += 16) {
        const auto* from = reinterpret_cast<const __m128i*>(s + 4 * i);
        __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(from), pack);
        __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(from + 1), pack);
        __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(from + 2), pack);
        __m128i e = _mm_shuffle_epi8(_mm_loadu_si128(from + 3), pack);
        std::uint8_t* to = d + 3 * i;
        Put128<Stream>(to, _mm_or_si128(a, _mm_slli_si128(b, 12)));
        Put128<Stream>(to + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        Put128<Stream>(to + 32, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(e, 4)));
    }
    RowBgrxTo24(s + 4 * i, d + 3 * i, w - i, t);
}

// Eight pixels' channels cut to 16 bits in 32-bit lanes.
template <bool Green6>
__attribute__((target("avx2"))) inline __m256i Cut16(__m256i p)
{
    __m256i r = _mm256_and_si256(_mm256_srli_epi32(p, Green6 ? 8 : 9), _mm256_set1_epi32(Green6 ? 0xF800 : 0x7C00));
    __m256i g = _mm256_and_si256(_mm256_srli_epi32(p, Green6 ? 5 : 6), _mm256_set1_epi32(Green6 ? 0x07E0 : 0x03E0));
    __m256i b = _mm256_and_si256(_mm256_srli_epi32(p, 3), _mm256_set1_epi32(0x001F));
    return _mm256_or_si256(_mm256_or_si256(r, g), b);
}

// Sixteen pixels at a time: the channels are cut in 32-bit lanes, packed to 16 bits (no value
// exceeds 0xFFFF, so the saturation never bites) and put back in pixel order.
template <bool Stream, bool Green6>
__attribute__((target("avx2"))) void RowBgrxTo16Avx2(const std::uint8_t* s, std::uint8_t* d, int w,
                                                     const CPixelConverter::Tables&)
{
    auto scalar = [](std::uint32_t p) { return Green6 ? To565(p) : To555(p); };
    int i = 0;
    for (; i < w && (reinterpret_cast<std::uintptr_t>(d + 2 * i) & 31) != 0; ++i)
        Store16(d + 2 * i, scalar(Load32(s + 4 * i)));
    for (; i + 16 <= w; i += 16) {
        const auto* from = reinterpret_cast<const __m256i*>(s + 4 * i);
        __m256i lo = Cut16<Green6>(_mm256_loadu_si256(from));
        __m256i hi = Cut16<Green6>(_mm256_loadu_si256(from + 1));
        Put256<Stream>(d + 2 * i, _mm256_permute4x64_epi64(_mm256_packus_epi32(lo, hi), 0xD8));
    }
    for (; i < w; ++i)
        Store16(d + 2 * i, scalar(Load32(s + 4 * i)));
}

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

bool HasAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}
#endif

// Above this many bytes of source and target per frame, the target is written with streaming
// stores. Measured with the capture benchmark (X server and grabber on one core): 1280x720 frames
// (at most 7.4 MB both ways) are faster through the caches, 1600x900 and 1920x1080 ones as fast
// or faster streamed, the 24-bit writer by a third.
constexpr std::size_t kStreamingFrameBytes = 8u << 20;

bool StreamsFrame(std::size_t sourceRowBytes, std::size_t targetRowBytes, int rows)
{
    return (sourceRowBytes + targetRowBytes) * static_cast<std::size_t>(rows) > kStreamingFrameBytes;
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
#if VANTOREL_AVX2
    if (HasAvx2() && StreamsFrame(rowBytes, rowBytes, rows)) {
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
#if VANTOREL_AVX2
        if (HasAvx2()) {
            if (target == DibLayout32()) {
                m_pRow = RowBgrxTo32Avx2<false>;
                m_pRowStream = RowBgrxTo32Avx2<true>;
            } else if (target == DibLayout24()) {
                m_pRow = RowBgrxTo24Avx2<false>;
                m_pRowStream = RowBgrxTo24Avx2<true>;
            } else if (target == DibLayout565()) {
                m_pRow = RowBgrxTo16Avx2<false, true>;
                m_pRowStream = RowBgrxTo16Avx2<true, true>;
            } else if (target == DibLayout555()) {
                m_pRow = RowBgrxTo16Avx2<false, false>;
                m_pRowStream = RowBgrxTo16Avx2<true, false>;
            }
        }
#endif
    } else if (sameIndexed || (source.bitsPerPixel != 8 && source == target)) {
        m_pRow = RowCopy;
    } else {
        m_pRow = RowGeneric;
    }
    if (!m_pRowStream)
        m_pRowStream = m_pRow;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

void CPixelConverter::Convert(const std::uint8_t* src, std::ptrdiff_t srcStride, std::uint8_t* dst,
                              std::ptrdiff_t dstStride, int width, int height) const
{
    if (!m_pRow || width <= 0)
        return;
    auto columns = static_cast<std::size_t>(width);
    RowFunction row = StreamsFrame(columns * (m_tables.source.bitsPerPixel / 8),
                                   columns * (m_tables.target.bitsPerPixel / 8), height)
                          ? m_pRowStream
                          : m_pRow;
    for (int y = 0; y < height; ++y, src += srcStride, dst += dstStride)
        row(src, dst, width, m_tables);
#if defined(__x86_64__)
    // Streamed rows are visible to other threads only after a store fence.
    _mm_sfence();
#endif
}

}  // namespace platform
