#pragma once
// Where the fields we patch after writing live in an AVI file's header: the main header, each
// stream's 'strh' and 'strf', and the 'movi' list. Found by walking the RIFF chunks of the header
// as the muxer wrote it, so nothing depends on the muxer's padding or optional chunks.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct AviHeaderLayout {
    int64_t avih = -1;            // body of 'avih'
    std::vector<int64_t> strh;    // body of each stream's 'strh', in stream order
    std::vector<int64_t> strf;    // body of each stream's 'strf'
    int64_t movi = -1;            // the 'LIST' chunk header of 'movi'

    // Field offsets inside the bodies.
    static constexpr int kAvihMicroSecPerFrame = 0;
    static constexpr int kAvihFlags = 12;
    static constexpr int kAvihTotalFrames = 16;
    static constexpr int kStrhScale = 20;
    static constexpr int kStrhRate = 24;
    static constexpr int kStrhLength = 32;
    static constexpr int kStrhSampleSize = 44;
    static constexpr uint32_t AVIF_HASINDEX = 0x10;
    static constexpr uint32_t AVIF_MUSTUSEINDEX = 0x20;
};

// Nothing when the bytes do not start with a RIFF 'AVI ' header that reaches 'movi'.
std::optional<AviHeaderLayout> ParseAviHeader(const uint8_t* pData, std::size_t size);
