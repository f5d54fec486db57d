#include "platform/avi/AviKeyFrames.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::size_t kHeadBytes = 64 * 1024;  // parameter sets and SEI come first, then the slice

uint32_t Upper(uint32_t fourcc)
{
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i)
        out |= static_cast<uint32_t>(std::toupper(static_cast<int>((fourcc >> (8 * i)) & 0xFF))) << (8 * i);
    return out;
}

constexpr uint32_t Tag(const char (&s)[5])
{
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

// The byte after the next start code 00 00 01 at or after *pos, or -1.
int NextUnit(const uint8_t* p, std::size_t size, std::size_t* pos)
{
    for (std::size_t i = *pos; i + 3 < size; ++i) {
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
            *pos = i + 4;
            return p[i + 3];
        }
    }
    *pos = size;
    return -1;
}

bool H264Key(const uint8_t* p, std::size_t size)
{
    // The first slice decides: IDR (5) or not (1); parameter sets, SEI and delimiters come before.
    std::size_t pos = 0;
    for (int unit; (unit = NextUnit(p, size, &pos)) >= 0;) {
        int type = unit & 0x1F;
        if (type == 5) return true;
        if (type >= 1 && type <= 4) return false;
    }
    return false;
}

bool Mpeg4Key(const uint8_t* p, std::size_t size)
{
    std::size_t pos = 0;
    for (int unit; (unit = NextUnit(p, size, &pos)) >= 0;) {
        if (unit == 0xB6) return pos < size && (p[pos] >> 6) == 0;  // vop_coding_type I
    }
    return false;
}

bool Video1Key(const uint8_t* p, std::size_t size)
{
    // Blocks in turn: a skip code, one colour (2 bytes), two (6) or eight (18); a frame that
    // skips no block stands alone.
    std::size_t pos = 0;
    while (pos + 2 <= size) {
        uint8_t a = p[pos], b = p[pos + 1];
        pos += 2;
        if (a == 0 && b == 0) break;  // the end of the frame
        if ((b & 0xFC) == 0x84) return false;
        if (b < 0x80) {
            if (pos + 2 > size) break;
            bool eight = (p[pos + 1] & 0x80) != 0;
            pos += eight ? 16 : 4;
        }
    }
    return true;
}

} // namespace

AviVideoCoding AviVideoCodingOf(uint32_t fccHandler, uint32_t biCompression)
{
    for (uint32_t fourcc : {Upper(biCompression), Upper(fccHandler)}) {
        if (fourcc == Tag("MSVC") || fourcc == Tag("CRAM") || fourcc == Tag("WHAM")) return AviVideoCoding::Video1;
        if (fourcc == Tag("H264") || fourcc == Tag("X264") || fourcc == Tag("AVC1")) return AviVideoCoding::H264;
        if (fourcc == Tag("FMP4") || fourcc == Tag("XVID") || fourcc == Tag("DIVX") || fourcc == Tag("DX50") ||
            fourcc == Tag("MP4V"))
            return AviVideoCoding::Mpeg4;
        if (fourcc == Tag("FFV1")) return AviVideoCoding::Ffv1;
        if (fourcc <= 3 || fourcc == Tag("MJPG")) return AviVideoCoding::EveryFrameKey;  // BI_RGB .. BI_BITFIELDS
    }
    return AviVideoCoding::EveryFrameKey;  // a format we cannot tell: every frame a place to start
}

std::size_t AviKeyFrameBytes(AviVideoCoding coding, std::size_t chunkSize)
{
    switch (coding) {
    case AviVideoCoding::EveryFrameKey: return 0;
    case AviVideoCoding::Video1: return chunkSize;
    case AviVideoCoding::Ffv1: return std::min<std::size_t>(chunkSize, 2);
    default: return std::min(chunkSize, kHeadBytes);
    }
}

bool IsAviKeyFrame(AviVideoCoding coding, const uint8_t* pData, std::size_t size)
{
    switch (coding) {
    case AviVideoCoding::EveryFrameKey: return true;
    case AviVideoCoding::Video1: return Video1Key(pData, size);
    case AviVideoCoding::H264: return H264Key(pData, size);
    case AviVideoCoding::Mpeg4: return Mpeg4Key(pData, size);
    case AviVideoCoding::Ffv1:
        // The first symbol of the range coder (state 128, range 0xFF00) is the key bit: set when
        // the coder's first 16 bits reach past the lower half of the range.
        return size >= 2 && ((pData[0] << 8) | pData[1]) >= 0x7F80;
    }
    return true;
}
