#include "platform/pulse/AudioFormats.h"

#include <algorithm>
#include <cstring>

const std::vector<PcmFormat>& SupportedPcmFormats()
{
    static const std::vector<PcmFormat> formats = [] {
        std::vector<PcmFormat> list;
        for (DWORD rate : {44100u, 22050u, 11025u})
            for (WORD bits : {16, 8})
                for (WORD channels : {2, 1}) list.push_back({rate, bits, channels});
        return list;
    }();
    return formats;
}

bool IsSupportedPcmFormat(const PcmFormat& format)
{
    const auto& all = SupportedPcmFormats();
    return std::find(all.begin(), all.end(), format) != all.end();
}

WAVEFORMATEX MakeWaveFormat(const PcmFormat& f)
{
    WAVEFORMATEX wfx {};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = f.channels;
    wfx.nSamplesPerSec = f.rate;
    wfx.wBitsPerSample = f.bits;
    wfx.nBlockAlign = f.BlockAlign();
    wfx.nAvgBytesPerSec = f.rate * f.BlockAlign();
    wfx.cbSize = 0;
    return wfx;
}

HRESULT MakeAudioMediaType(const PcmFormat& format, CMediaType* pmt)
{
    if (!pmt) return E_POINTER;
    if (!IsSupportedPcmFormat(format)) return E_INVALIDARG;
    WAVEFORMATEX wfx = MakeWaveFormat(format);
    pmt->InitMediaType();
    pmt->SetType(&MEDIATYPE_Audio);
    GUID sub = WaveFormatSubtype(WAVE_FORMAT_PCM);
    pmt->SetSubtype(&sub);
    pmt->SetFormatType(&FORMAT_WaveFormatEx);
    pmt->SetTemporalCompression(FALSE);
    pmt->SetSampleSize(wfx.nBlockAlign);
    if (!pmt->SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof(wfx))) return E_OUTOFMEMORY;
    return S_OK;
}

std::optional<PcmFormat> PcmFormatFromMediaType(const AM_MEDIA_TYPE& mt)
{
    if (mt.majortype != MEDIATYPE_Audio || mt.subtype != MEDIASUBTYPE_PCM || mt.formattype != FORMAT_WaveFormatEx)
        return std::nullopt;
    // PCMWAVEFORMAT (16 bytes, no cbSize) is the older form of the same block.
    if (!mt.pbFormat || mt.cbFormat < 16) return std::nullopt;
    WAVEFORMATEX wfx {};
    std::memcpy(&wfx, mt.pbFormat, std::min<std::size_t>(mt.cbFormat, sizeof(wfx)));
    if (wfx.wFormatTag != WAVE_FORMAT_PCM) return std::nullopt;
    PcmFormat f {wfx.nSamplesPerSec, wfx.wBitsPerSample, wfx.nChannels};
    if (!IsSupportedPcmFormat(f)) return std::nullopt;
    if (wfx.nBlockAlign != f.BlockAlign() || wfx.nAvgBytesPerSec != f.rate * f.BlockAlign()) return std::nullopt;
    return f;
}

AUDIO_STREAM_CONFIG_CAPS MakeStreamCaps(const PcmFormat& f)
{
    AUDIO_STREAM_CONFIG_CAPS caps {};
    caps.guid = MEDIATYPE_Audio;
    caps.MinimumChannels = caps.MaximumChannels = f.channels;
    caps.ChannelsGranularity = 1;
    caps.MinimumBitsPerSample = caps.MaximumBitsPerSample = f.bits;
    caps.BitsPerSampleGranularity = 8;
    caps.MinimumSampleFrequency = caps.MaximumSampleFrequency = f.rate;
    caps.SampleFrequencyGranularity = 1;
    return caps;
}
