#include "platform/avi/AviHeaderLayout.h"

namespace {

// A super index as the muxer lays it out: four longs an entry, an index of index chunks.
bool IsSuperIndex(const uint8_t* body, uint32_t len)
{
    return len >= AviHeaderLayout::kIndxEntries && body[0] == 4 && body[1] == 0 && body[3] == 0;
}

// Walks the chunks in [begin, end) of the list 'list' (the file itself: "AVI "); false when a
// chunk runs past the data or 'movi' is never met. Lists nest two deep ('hdrl', then 'strl'):
// deeper ones are skipped, so no file can make the walk recurse without end.
bool Walk(const uint8_t* data, std::size_t size, std::size_t begin, std::size_t end, const char* list, int depth,
          AviHeaderLayout& layout)
{
    const bool inStream = AviIsId(reinterpret_cast<const uint8_t*>(list), "strl");
    const bool inHeader = AviIsId(reinterpret_cast<const uint8_t*>(list), "hdrl");
    std::size_t pos = begin;
    while (pos + 8 <= end && pos + 8 <= size) {
        const uint8_t* p = data + pos;
        uint32_t len = AviLe32(p + 4);
        std::size_t chunkEnd = pos + 8 + len;
        if (AviIsId(p, "LIST") && pos + 12 <= size) {
            if (AviIsId(p + 8, "movi")) {
                layout.movi = static_cast<int64_t>(pos);
                return true;
            }
            if ((AviIsId(p + 8, "hdrl") || AviIsId(p + 8, "strl")) && depth < 2) {
                if (chunkEnd > size) return false;
                if (Walk(data, size, pos + 12, chunkEnd, AviIsId(p + 8, "hdrl") ? "hdrl" : "strl", depth + 1,
                         layout))
                    return true;
            } else if (AviIsId(p + 8, "odml")) {
                layout.odml = static_cast<int64_t>(pos);
            }
        } else if (AviIsId(p, "avih")) {
            if (len < 56 || chunkEnd > size) return false;
            layout.avih = static_cast<int64_t>(pos + 8);
        } else if (AviIsId(p, "strh")) {
            if (len < 48 || chunkEnd > size) return false;
            layout.strh.push_back(static_cast<int64_t>(pos + 8));
            layout.indx.push_back(-1);
            layout.indxSize.push_back(0);
        } else if (AviIsId(p, "strf")) {
            layout.strf.push_back(static_cast<int64_t>(pos + 8));
        } else if (inStream && (AviIsId(p, "indx") || AviIsId(p, "JUNK")) && chunkEnd <= size &&
                   !layout.strh.empty() && layout.indx.back() < 0 && IsSuperIndex(p + 8, len)) {
            layout.indx.back() = static_cast<int64_t>(pos);
            layout.indxSize.back() = len;
        } else if (inHeader && AviIsId(p, "JUNK") && pos + 16 <= size && AviIsId(p + 8, "odml")) {
            layout.odml = static_cast<int64_t>(pos);
        }
        pos = chunkEnd + (len & 1);
    }
    return false;
}

} // namespace

std::optional<AviHeaderLayout> ParseAviHeader(const uint8_t* pData, std::size_t size)
{
    if (!pData || size < 12 || !AviIsId(pData, "RIFF") || !AviIsId(pData + 8, "AVI ")) return std::nullopt;
    AviHeaderLayout layout;
    if (!Walk(pData, size, 12, size, "AVI ", 0, layout) || layout.avih < 0 || layout.strh.size() != layout.strf.size())
        return std::nullopt;
    // A list 'odml' needs its 'dmlh' to be patched.
    if (layout.odml >= 0 && (static_cast<std::size_t>(layout.odml) + 24 > size ||
                             !AviIsId(pData + layout.odml + 12, "dmlh") || AviLe32(pData + layout.odml + 16) < 4))
        layout.odml = -1;
    return layout;
}
