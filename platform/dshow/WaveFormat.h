#pragma once
// Sound formats as media types carry them: WAVEFORMATEX (18 bytes, packed) followed by cbSize
// bytes of codec data, and the format tags of the compressors we offer.
#include "platform/base/WinTypes.h"
#include "platform/dshow/MediaTypes.h"

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};

struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;
    WORD wID;
    DWORD fdwFlags;
    WORD nBlockSize;
    WORD nFramesPerBlock;
    WORD nCodecDelay;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);

constexpr WORD WAVE_FORMAT_PCM = 0x0001;
constexpr WORD WAVE_FORMAT_ADPCM = 0x0002;
constexpr WORD WAVE_FORMAT_ALAW = 0x0006;
constexpr WORD WAVE_FORMAT_MULAW = 0x0007;
constexpr WORD WAVE_FORMAT_IMA_ADPCM = 0x0011;
constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x0055;

// The audio subtype of a format tag: {tag-0000-0010-8000-00AA00389B71}.
constexpr GUID WaveFormatSubtype(WORD tag)
{
    return GUID {tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
// The video subtype of a four-character code, the same way.
constexpr GUID FourCCSubtype(DWORD fourcc)
{
    return GUID {fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
constexpr DWORD MAKEFOURCC(char a, char b, char c, char d)
{
    return static_cast<DWORD>(static_cast<unsigned char>(a)) | static_cast<DWORD>(static_cast<unsigned char>(b)) << 8 |
           static_cast<DWORD>(static_cast<unsigned char>(c)) << 16 | static_cast<DWORD>(static_cast<unsigned char>(d)) << 24;
}
