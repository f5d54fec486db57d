#include "platform/codecs/Video1Encoder.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <stdexcept>

// The bitstream, as the decoder reads it: blocks of 4x4 from the bottom block row upward, left to
// right; in a block, pixel rows from the bottom up, and bit i of a block's flag word belongs to
// pixel i in that order. Every code starts with a little-endian 16-bit word w:
//   0x8400..0x87FF   skip (w & 0x3FF) blocks, this one included;
//   bit 15 set       fill the block with colour w;
//   else             flags; two colours c0 c1 follow (bit set: c0, clear: c1); when c0 has bit 15
//                    set, six more follow and each 2x2 quadrant has its own pair: c0 c1 bottom
//                    left, c2 c3 bottom right, c4 c5 top left, c6 c7 top right.
// A fill colour whose red is 1 would read as a skip, and flags with bit 15 set as a fill, so the
// top-right pixel (bit 15) always takes the second colour of its pair. Two zero bytes end a frame.

namespace {

constexpr unsigned kSkipCode = 0x8400;
constexpr int kMaxSkipRun = 0x3FF;

// Squared error (5-bit components, summed over R, G, B) that one byte of bitstream is worth:
// what libavcodec's own coder trades, so sizes and quality stay alike.
constexpr int kLambda = 24;
// A block this close to what is shown is skipped without looking further (sensor-free screens
// repeat exactly; this covers a stray level of dither).
constexpr int kSkipFree = 16;
// Beyond this a changed block is coded even when coding it costs more than the error saved, so a
// change on the screen always shows.
constexpr int kSkipMax = 64;

constexpr int kFillBytes = 2, kTwoBytes = 6, kEightBytes = 18;

// Pixels of each 2x2 quadrant in flag order; the last one is the one that takes the second
// colour of the quadrant's pair (for the top-right quadrant that is the pixel of bit 15).
constexpr int kQuadrant[4][4] = {{0, 1, 4, 5}, {2, 3, 6, 7}, {8, 9, 12, 13}, {10, 11, 14, 15}};

// Rounded division by 1..16 without a divide: (s * kRecip[n] + 0x8000) >> 16.
constexpr int kRecip[17] = {0,    65536, 32768, 21845, 16384, 13107, 10923, 9362, 8192,
                            7282, 6554,  5958,  5461,  5041,  4681,  4369,  4096};
inline int MeanOf(int sum, int n) { return (sum * kRecip[n] + 0x8000) >> 16; }

inline int Sq(int v) { return v * v; }
inline uint16_t Pack(int r, int g, int b) { return static_cast<uint16_t>(r << 10 | g << 5 | b); }

struct Block {
    uint16_t v[16];  // flag order
    int r[16], g[16], b[16];
    int Dist(int i, int j) const { return Sq(r[i] - r[j]) + Sq(g[i] - g[j]) + Sq(b[i] - b[j]); }
    int Dist(int i, int cr, int cg, int cb) const { return Sq(r[i] - cr) + Sq(g[i] - cg) + Sq(b[i] - cb); }
};

// One block's code: its words and the pixels the decoder will show for it (flag order).
struct Code {
    int words = 0;
    uint16_t w[9];
    uint16_t shown[16];
};

inline void MakeFill(uint16_t colour, Code& code)
{
    code.words = 1;
    code.w[0] = static_cast<uint16_t>(0x8000 | colour);
    std::fill(std::begin(code.shown), std::end(code.shown), colour);
}

// flags must have bit 15 clear; pixels whose bit is set show c0.
inline void MakeTwo(uint16_t flags, uint16_t c0, uint16_t c1, Code& code)
{
    if (flags == 0) {
        // Two zero bytes look like the end of a frame to some readers; c0 == c1 makes any flag
        // harmless.
        flags = 1;
        c0 = c1;
    }
    code.words = 3;
    code.w[0] = flags;
    code.w[1] = c0;
    code.w[2] = c1;
    for (int i = 0; i < 16; ++i) code.shown[i] = (flags >> i & 1) ? c0 : c1;
}

inline void MakeEight(uint16_t flags, const uint16_t c[8], Code& code)
{
    uint16_t colours[8];
    std::copy(c, c + 8, colours);
    if (flags == 0) {
        flags = 1;
        colours[0] = colours[1];
    }
    code.words = 9;
    code.w[0] = flags;
    code.w[1] = static_cast<uint16_t>(colours[0] | 0x8000);
    for (int i = 1; i < 8; ++i) code.w[1 + i] = colours[i];
    for (int q = 0; q < 4; ++q) {
        for (int i : kQuadrant[q]) code.shown[i] = colours[2 * q + ((flags >> i & 1) ? 0 : 1)];
    }
}

// The one colour of a block that has only one, coded exactly.
inline void MakeExactFill(uint16_t colour, Code& code)
{
    if ((colour >> 10) == 1) {
        MakeTwo(1, colour, colour, code);  // its fill word would read as a skip
    } else {
        MakeFill(colour, code);
    }
}

struct Two {
    int error;
    uint16_t flags, c0, c1;
};

// Two colours: the pixels split across the line between two far-apart pixels, each group's mean
// as its colour, then each pixel moved to the nearer colour and the means taken once more.
Two SplitTwo(const Block& blk)
{
    int i1 = 0, best = -1;
    for (int i = 0; i < 16; ++i) {
        int d = blk.Dist(i, 0);
        if (d > best) best = d, i1 = i;
    }
    int i2 = 0;
    best = -1;
    for (int i = 0; i < 16; ++i) {
        int d = blk.Dist(i, i1);
        if (d > best) best = d, i2 = i;
    }
    const int ar = blk.r[i2] - blk.r[i1], ag = blk.g[i2] - blk.g[i1], ab = blk.b[i2] - blk.b[i1];
    int t[16], sum = 0;
    for (int i = 0; i < 16; ++i) {
        t[i] = ar * blk.r[i] + ag * blk.g[i] + ab * blk.b[i];
        sum += t[i];
    }
    unsigned hi = 0;  // bit i: pixel i in the upper group
    for (int i = 0; i < 16; ++i) hi |= unsigned(16 * t[i] > sum) << i;

    int mean[2][3];
    auto means = [&](unsigned group) {
        int s[2][3] = {}, n[2] = {};
        for (int i = 0; i < 16; ++i) {
            int k = group >> i & 1;
            s[k][0] += blk.r[i], s[k][1] += blk.g[i], s[k][2] += blk.b[i], ++n[k];
        }
        for (int k = 0; k < 2; ++k) {
            for (int c = 0; c < 3; ++c) mean[k][c] = n[k] ? MeanOf(s[k][c], n[k]) : 0;
        }
    };
    means(hi);
    unsigned nearer = 0;
    for (int i = 0; i < 16; ++i) {
        int d0 = blk.Dist(i, mean[0][0], mean[0][1], mean[0][2]);
        int d1 = blk.Dist(i, mean[1][0], mean[1][1], mean[1][2]);
        nearer |= unsigned(d1 < d0) << i;
    }
    if (nearer != hi && nearer != 0 && nearer != 0xFFFF) {
        hi = nearer;
        means(hi);
    }
    int error = 0;
    for (int i = 0; i < 16; ++i) {
        int k = hi >> i & 1;
        error += blk.Dist(i, mean[k][0], mean[k][1], mean[k][2]);
    }
    // Pixel 15's group takes c1 (its flag bit must stay clear).
    int second = hi >> 15 & 1;
    unsigned flags = (second ? ~hi : hi) & 0xFFFF;
    return {error, static_cast<uint16_t>(flags), Pack(mean[1 - second][0], mean[1 - second][1], mean[1 - second][2]),
            Pack(mean[second][0], mean[second][1], mean[second][2])};
}

struct Eight {
    int error;
    uint16_t flags;
    uint16_t c[8];
};

// Two colours per quadrant: the farthest pair of its four pixels seeds the groups.
Eight SplitEight(const Block& blk)
{
    Eight e {0, 0, {}};
    for (int q = 0; q < 4; ++q) {
        const int* p = kQuadrant[q];
        int s = 0, t = 1, best = blk.Dist(p[0], p[1]);
        const int pairs[5][2] = {{0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
        for (const auto& pr : pairs) {
            int d = blk.Dist(p[pr[0]], p[pr[1]]);
            if (d > best) best = d, s = pr[0], t = pr[1];
        }
        // Group 1 is the one of the last pixel, which takes the pair's second colour.
        int group[4];
        for (int k = 0; k < 4; ++k) group[k] = blk.Dist(p[k], p[t]) < blk.Dist(p[k], p[s]) ? 1 : 0;
        if (group[3] == 0) {
            for (int& g : group) g ^= 1;
        }
        int sum[2][3] = {}, n[2] = {};
        for (int k = 0; k < 4; ++k) {
            int i = p[k];
            sum[group[k]][0] += blk.r[i], sum[group[k]][1] += blk.g[i], sum[group[k]][2] += blk.b[i];
            ++n[group[k]];
        }
        // Group 1 holds at least the last pixel; an empty group 0 repeats its colour.
        int mean[2][3];
        for (int c = 0; c < 3; ++c) {
            mean[1][c] = MeanOf(sum[1][c], n[1]);
            mean[0][c] = n[0] ? MeanOf(sum[0][c], n[0]) : mean[1][c];
        }
        for (int k = 0; k < 4; ++k) {
            e.error += blk.Dist(p[k], mean[group[k]][0], mean[group[k]][1], mean[group[k]][2]);
            if (group[k] == 0) e.flags |= uint16_t(1u << p[k]);
        }
        e.c[2 * q] = Pack(mean[0][0], mean[0][1], mean[0][2]);
        e.c[2 * q + 1] = Pack(mean[1][0], mean[1][1], mean[1][2]);
    }
    return e;
}

struct Choice {
    int score;  // error + kLambda * bytes
    int error;
};

// The cheapest code of a block in error + kLambda * bytes.
Choice ChooseCode(const Block& blk, Code& code)
{
    // One or two distinct colours: exact, without arithmetic.
    const uint16_t v0 = blk.v[0];
    uint16_t v1 = v0;
    bool fewColours = true;
    for (int i = 1; i < 16 && fewColours; ++i) {
        uint16_t v = blk.v[i];
        if (v == v0 || v == v1) continue;
        if (v1 == v0) {
            v1 = v;
        } else {
            fewColours = false;
        }
    }
    if (fewColours) {
        if (v1 == v0) {
            MakeExactFill(v0, code);
            return {kLambda * 2 * code.words, 0};
        }
        // Pixel 15 takes c1.
        uint16_t c1 = blk.v[15], c0 = c1 == v0 ? v1 : v0;
        uint16_t flags = 0;
        for (int i = 0; i < 15; ++i) flags |= uint16_t(blk.v[i] == c0) << i;
        MakeTwo(flags, c0, c1, code);
        return {kLambda * kTwoBytes, 0};
    }

    int sum[3] = {}, sq = 0;
    for (int i = 0; i < 16; ++i) {
        sum[0] += blk.r[i], sum[1] += blk.g[i], sum[2] += blk.b[i];
        sq += Sq(blk.r[i]) + Sq(blk.g[i]) + Sq(blk.b[i]);
    }
    int m[3] = {(sum[0] + 8) >> 4, (sum[1] + 8) >> 4, (sum[2] + 8) >> 4};
    if (m[0] == 1) m[0] = sum[0] < 16 ? 0 : 2;  // red 1 would read as a skip
    int fillError = sq;
    for (int c = 0; c < 3; ++c) fillError += 16 * m[c] * m[c] - 2 * m[c] * sum[c];
    const int fillScore = fillError + kLambda * kFillBytes;
    if (fillError <= kLambda * (kTwoBytes - kFillBytes)) {
        MakeFill(Pack(m[0], m[1], m[2]), code);
        return {fillScore, fillError};
    }

    Two two = SplitTwo(blk);
    const int twoScore = two.error + kLambda * kTwoBytes;
    if (two.error > kLambda * (kEightBytes - kTwoBytes)) {
        Eight eight = SplitEight(blk);
        const int eightScore = eight.error + kLambda * kEightBytes;
        if (eightScore < twoScore && eightScore < fillScore) {
            MakeEight(eight.flags, eight.c, code);
            return {eightScore, eight.error};
        }
    }
    if (fillScore <= twoScore) {
        MakeFill(Pack(m[0], m[1], m[2]), code);
        return {fillScore, fillError};
    }
    MakeTwo(two.flags, two.c0, two.c1, code);
    return {twoScore, two.error};
}

inline uint8_t* Put(uint8_t* p, unsigned word)
{
    p[0] = static_cast<uint8_t>(word);
    p[1] = static_cast<uint8_t>(word >> 8);
    return p + 2;
}

}  // namespace

CVideo1Encoder::CVideo1Encoder(int width, int height, int keyFrameInterval, int threads)
    : m_width(width), m_height(height), m_keyFrameInterval(keyFrameInterval)
{
    if (width <= 0 || height <= 0 || width % 4 || height % 4) {
        throw std::invalid_argument("Video 1 frames are a positive multiple of 4 wide and high");
    }
    m_shown.assign(static_cast<size_t>(width) * height, 0);
    m_input.assign(static_cast<size_t>(width) * height, 0);
    const int rows = height / 4;
    // One band unless asked: on two processors the other one grabs and converts the next frame
    // while this one codes, and a second band there was measured to slow coding as often as not.
    threads = std::max(threads, 1);
    m_bands.resize(static_cast<size_t>(std::min(threads, rows)));
    for (size_t k = 0; k < m_bands.size(); ++k) {
        m_bands[k].firstRow = static_cast<int>(rows * k / m_bands.size());
        m_bands[k].endRow = static_cast<int>(rows * (k + 1) / m_bands.size());
        size_t blocks = static_cast<size_t>(m_bands[k].endRow - m_bands[k].firstRow) * (width / 4);
        m_bands[k].bytes.resize(blocks * kEightBytes + 2);
    }
}

size_t CVideo1Encoder::MaxFrameBytes(int width, int height)
{
    // A coded block takes at most 18 bytes and a skip code at least one block; two end the frame.
    return static_cast<size_t>(width / 4) * (height / 4) * kEightBytes + 2;
}

bool CVideo1Encoder::Encode(const uint16_t* pixels, ptrdiff_t strideBytes, std::vector<uint8_t>& out)
{
    if (!pixels) throw std::invalid_argument("no picture");
    if (std::abs(strideBytes) < static_cast<ptrdiff_t>(m_width) * 2) {
        throw std::invalid_argument("rows overlap: the stride is smaller than a row");
    }
    bool keyFrame = m_forceKey || (m_keyFrameInterval > 0 && m_sinceKey + 1 >= m_keyFrameInterval);
    const auto* top = reinterpret_cast<const uint8_t*>(pixels);
    // Should this frame fail half-way (no thread, no memory), what is shown no longer matches
    // the decoder: the next frame then starts afresh.
    m_forceKey = true;

    // The bands share nothing but the input: each writes its own block rows of m_shown and
    // m_input and its own bytes.
    std::vector<std::future<void>> others;
    for (size_t k = 1; k < m_bands.size(); ++k) {
        others.push_back(std::async(std::launch::async,
                                    [this, k, top, strideBytes, keyFrame] { EncodeBand(m_bands[k], top, strideBytes, keyFrame); }));
    }
    EncodeBand(m_bands[0], top, strideBytes, keyFrame);
    for (auto& other : others) other.get();

    bool skipped = false;
    size_t total = 2;
    for (const Band& band : m_bands) {
        skipped |= band.skipped;
        total += band.size;
    }
    out.reserve(out.size() + total);
    for (const Band& band : m_bands) out.insert(out.end(), band.bytes.begin(), band.bytes.begin() + band.size);
    out.push_back(0);
    out.push_back(0);

    keyFrame = keyFrame || !skipped;
    m_forceKey = false;
    m_sinceKey = keyFrame ? 0 : m_sinceKey + 1;
    return keyFrame;
}

void CVideo1Encoder::EncodeBand(Band& band, const uint8_t* top, ptrdiff_t stride, bool keyFrame)
{
    uint8_t* const start = band.bytes.data();
    uint8_t* p = start;
    int run = 0;  // blocks skipped and not yet written
    band.skipped = false;
    Block blk;
    Code code;
    const int blocksWide = m_width / 4;

    for (int row = band.firstRow; row < band.endRow; ++row) {
        const int y0 = m_height - 4 * (row + 1);  // the block row's top pixel row
        for (int bx = 0; bx < blocksWide; ++bx) {
            const int x0 = bx * 4;
            uint16_t* shownRows[4];
            uint64_t sameShown = 0, sameInput = 0;
            for (int py = 0; py < 4; ++py) {
                const int y = y0 + 3 - py;
                const size_t at = static_cast<size_t>(y) * m_width + x0;
                uint64_t now, was, before;
                std::memcpy(&now, top + y * stride + x0 * 2, 8);
                now &= 0x7FFF7FFF7FFF7FFFull;
                std::memcpy(blk.v + 4 * py, &now, 8);
                shownRows[py] = m_shown.data() + at;
                std::memcpy(&was, shownRows[py], 8);
                sameShown |= now ^ was;
                std::memcpy(&before, m_input.data() + at, 8);
                if (now != before) {
                    sameInput = 1;
                    std::memcpy(m_input.data() + at, &now, 8);
                }
            }

            // An input block as it was last frame shows what it showed then: a photograph
            // coded with loss is not looked at again while it stands still.
            int skipError = 0;
            bool skip = !keyFrame && (sameShown == 0 || sameInput == 0);
            if (!keyFrame && !skip) {
                for (int i = 0; i < 16; ++i) {
                    unsigned a = blk.v[i], b = shownRows[i / 4][i % 4];
                    skipError += Sq(int(a >> 10) - int(b >> 10)) + Sq(int(a >> 5 & 31) - int(b >> 5 & 31)) +
                                 Sq(int(a & 31) - int(b & 31));
                }
                skip = skipError <= kSkipFree;
            }
            if (!skip) {
                for (int i = 0; i < 16; ++i) {
                    blk.r[i] = blk.v[i] >> 10;
                    blk.g[i] = blk.v[i] >> 5 & 31;
                    blk.b[i] = blk.v[i] & 31;
                }
                // Skipped too when coding anew would show no better (an unchanged block that
                // was coded with loss), or when the bytes are worth more than the error saved.
                Choice choice = ChooseCode(blk, code);
                skip = !keyFrame && (skipError <= choice.error || (skipError <= kSkipMax && skipError < choice.score));
            }
            if (skip) {
                band.skipped = true;
                if (++run == kMaxSkipRun) {
                    p = Put(p, kSkipCode | run);
                    run = 0;
                }
                continue;
            }
            if (run) {
                p = Put(p, kSkipCode | run);
                run = 0;
            }
            for (int k = 0; k < code.words; ++k) p = Put(p, code.w[k]);
            for (int py = 0; py < 4; ++py) std::memcpy(shownRows[py], code.shown + 4 * py, 8);
        }
    }
    // Each band ends its own run, so the halves join into one stream.
    if (run) p = Put(p, kSkipCode | run);
    band.size = static_cast<size_t>(p - start);
}
