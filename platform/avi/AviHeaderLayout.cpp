#include "platform/avi/AviHeaderLayout.h"

#include <cstring>

namespace {

uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

bool Is(const uint8_t* p, const char* fourcc) { return std::memcmp(p, fourcc, 4) == 0; }

// Walks the chunks in [begin, end); false when a chunk runs past the data or 'movi' is never met.
bool Walk(const uint8_t* data, std::size_t size, std::size_t begin, std::size_t end, AviHeaderLayout& layout)
{
    std::size_t pos = begin;
    while (pos + 8 <= end && pos + 8 <= size) {
        const uint8_t* p = data + pos;
        uint32_t len = Le32(p + 4);
        if (Is(p, "LIST") && pos + 12 <= size) {
            if (Is(p + 8, "movi")) {
                layout.movi = static_cast<int64_t>(pos);
                return true;
            }
            std::size_t listEnd = pos + 8 + len;
            if (Is(p + 8, "hdrl") || Is(p + 8, "strl")) {
                if (listEnd > size) return false;
                if (Walk(data, size, pos + 12, listEnd, layout)) return true;
            }
        } else if (Is(p, "avih")) {
            if (len < 56) return false;
            layout.avih = static_cast<int64_t>(pos + 8);
        } else if (Is(p, "strh")) {
            if (len < 48) return false;
            layout.strh.push_back(static_cast<int64_t>(pos + 8));
        } else if (Is(p, "strf")) {
            layout.strf.push_back(static_cast<int64_t>(pos + 8));
        }
        pos += 8 + len + (len & 1);
    }
    return false;
}

} // namespace

std::optional<AviHeaderLayout> ParseAviHeader(const uint8_t* pData, std::size_t size)
{
    if (!pData || size < 12 || !Is(pData, "RIFF") || !Is(pData + 8, "AVI ")) return std::nullopt;
    AviHeaderLayout layout;
    if (!Walk(pData, size, 12, size, layout) || layout.avih < 0 || layout.strh.size() != layout.strf.size())
        return std::nullopt;
    return layout;
}
