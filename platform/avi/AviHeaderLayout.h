#pragma once
// Where the fields we patch in an AVI file's header live: the main header, each stream's 'strh',
// 'strf' and super index, the OpenDML header and the 'movi' list. Found by walking the RIFF chunks
// of the header as written, so nothing depends on the muxer's padding or optional chunks.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct AviHeaderLayout {
    int64_t avih = -1;            // body of 'avih'
    std::vector<int64_t> strh;    // body of each stream's 'strh', in stream order
    std::vector<int64_t> strf;    // body of each stream's 'strf'
    // Each stream's OpenDML super index: the chunk header ('indx', or 'JUNK' until it is used),
    // -1 when the stream has none, and the size of its body.
    std::vector<int64_t> indx;
    std::vector<uint32_t> indxSize;
    int64_t odml = -1;            // header of the OpenDML list ('LIST', or 'JUNK' until it is used)
    int64_t movi = -1;            // the 'LIST' chunk header of 'movi'

    // Field offsets inside the bodies.
    static constexpr int kAvihMicroSecPerFrame = 0;
    static constexpr int kAvihFlags = 12;
    static constexpr int kAvihTotalFrames = 16;
    static constexpr int kStrhScale = 20;
    static constexpr int kStrhRate = 24;
    static constexpr int kStrhLength = 32;
    static constexpr int kStrhSuggestedBufferSize = 36;
    static constexpr int kStrhSampleSize = 44;
    static constexpr int kIndxEntriesInUse = 4;   // of the super index body
    static constexpr int kIndxEntries = 24;       // its table: qwOffset, dwSize, dwDuration
    static constexpr int kIndxEntrySize = 16;
    static constexpr int kOdmlTotalFrames = 20;   // from the list header: 'odml' 'dmlh' size frames
    static constexpr uint32_t AVIF_HASINDEX = 0x10;
    static constexpr uint32_t AVIF_MUSTUSEINDEX = 0x20;
};

// Nothing when the bytes do not start with a RIFF 'AVI ' header that reaches 'movi'.
std::optional<AviHeaderLayout> ParseAviHeader(const uint8_t* pData, std::size_t size);

// Little-endian fields and chunk ids, for the AVI code.
inline uint32_t AviLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
inline void AviPutLe32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline bool AviIsId(const uint8_t* p, const char* fourcc)
{
    return p[0] == static_cast<uint8_t>(fourcc[0]) && p[1] == static_cast<uint8_t>(fourcc[1]) &&
           p[2] == static_cast<uint8_t>(fourcc[2]) && p[3] == static_cast<uint8_t>(fourcc[3]);
}
