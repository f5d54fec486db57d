#pragma once
// The PCM formats the sound capture pin offers: 8 or 16 bits, mono or stereo, 11025, 22050 or
// 44100 Hz, as media types (MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx) and as the
// capabilities IAMStreamConfig lists.
#include "platform/dshow/MediaType.h"
#include "platform/dshow/WaveFormat.h"

#include <optional>
#include <vector>

struct AUDIO_STREAM_CONFIG_CAPS {
    GUID guid;  // MEDIATYPE_Audio
    ULONG MinimumChannels;
    ULONG MaximumChannels;
    ULONG ChannelsGranularity;
    ULONG MinimumBitsPerSample;
    ULONG MaximumBitsPerSample;
    ULONG BitsPerSampleGranularity;
    ULONG MinimumSampleFrequency;
    ULONG MaximumSampleFrequency;
    ULONG SampleFrequencyGranularity;
};

struct PcmFormat {
    DWORD rate = 44100;
    WORD bits = 16;
    WORD channels = 2;
    WORD BlockAlign() const { return static_cast<WORD>(channels * bits / 8); }
    friend bool operator==(const PcmFormat&, const PcmFormat&) = default;
};

// Every format offered; the first is the default (44100 Hz, 16-bit, stereo).
const std::vector<PcmFormat>& SupportedPcmFormats();
bool IsSupportedPcmFormat(const PcmFormat& format);

WAVEFORMATEX MakeWaveFormat(const PcmFormat& format);
HRESULT MakeAudioMediaType(const PcmFormat& format, CMediaType* pmt);
// The format of a PCM audio type whose block is a consistent WAVEFORMATEX of a supported
// format; nothing otherwise.
std::optional<PcmFormat> PcmFormatFromMediaType(const AM_MEDIA_TYPE& mt);
// The capabilities entry of one format: exactly that format.
AUDIO_STREAM_CONFIG_CAPS MakeStreamCaps(const PcmFormat& format);
