#pragma once
// Microsoft Video 1 in its 16-bit form (fourcc 'MSVC' / 'CRAM', RGB555): our own coder of the
// bitstream, built for speed on screen recordings. Blocks of 4x4 are skipped when the picture
// the decoder already shows is close enough, filled with one colour, split into two colours, or
// into two colours per 2x2 quadrant, whichever costs least in error plus bytes. Blocks of one or
// two distinct colours (text, flat slides) always come out exact.
//
// Not thread-safe: one caller at a time. Encode may code bands of a large frame on threads of
// its own, which have ended when Encode returns.
#include <cstddef>
#include <cstdint>
#include <vector>

class CVideo1Encoder {
public:
    // width and height: multiples of 4, > 0 (std::invalid_argument otherwise).
    // keyFrameInterval: a key frame at least every that many frames; <= 0 only the first and
    // forced ones. threads: how many bands of block rows are coded at once, each on a thread
    // (<= 0: one, on the caller's thread).
    CVideo1Encoder(int width, int height, int keyFrameInterval, int threads = 0);

    // pixels: RGB555 (bit 15 is ignored), top row first, rows strideBytes apart (negative for a
    // bottom-up picture: pixels then points at the top row). Appends one frame's bitstream to
    // out and returns true when it is a key frame (no block depends on the previous frame).
    // A frame that skips nothing counts as a key frame and restarts the interval.
    bool Encode(const uint16_t* pixels, ptrdiff_t strideBytes, std::vector<uint8_t>& out);

    // The next frame is a key frame.
    void ForceKeyFrame() { m_forceKey = true; }

    // The most bytes one frame of width x height can take.
    static size_t MaxFrameBytes(int width, int height);

    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    struct Band {
        int firstRow = 0, endRow = 0;  // block rows in coding order (0 is the bottom row)
        std::vector<uint8_t> bytes;
        size_t size = 0;
        bool skipped = false;  // some block was skipped
    };
    void EncodeBand(Band& band, const uint8_t* top, ptrdiff_t stride, bool keyFrame);

    int m_width;
    int m_height;
    int m_keyFrameInterval;
    int m_sinceKey = 0;     // frames coded since the last key frame
    bool m_forceKey = true;  // the first frame
    std::vector<uint16_t> m_shown;  // what the decoder shows after the last frame, top row first
    std::vector<uint16_t> m_input;  // the last frame's input, bit 15 cleared, top row first
    std::vector<Band> m_bands;
};
