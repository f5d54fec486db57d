// The PCM formats of the capture pin: which are offered and which media types are taken.
#include "platform/pulse/AudioFormats.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

CMediaType PcmType(DWORD rate, WORD bits, WORD channels)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_PCM);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    WAVEFORMATEX wfx {WAVE_FORMAT_PCM, channels, rate, rate * channels * bits / 8,
                      static_cast<WORD>(channels * bits / 8), bits, 0};
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof(wfx));
    return mt;
}

WAVEFORMATEX* Wfx(CMediaType& mt)
{
    return reinterpret_cast<WAVEFORMATEX*>(mt.Format());
}

TEST(AudioFormats, OffersTwelveFormatsWithCdQualityFirst)
{
    const auto& all = SupportedPcmFormats();
    ASSERT_EQ(all.size(), 12u);
    EXPECT_EQ(all.front(), (PcmFormat {44100, 16, 2}));
    for (DWORD rate : {11025u, 22050u, 44100u})
        for (WORD bits : {8, 16})
            for (WORD ch : {1, 2}) EXPECT_TRUE(IsSupportedPcmFormat({rate, bits, ch})) << rate << "/" << bits << "/" << ch;

    CMediaType mt;
    ASSERT_EQ(MakeAudioMediaType({11025, 8, 1}, &mt), S_OK);
    EXPECT_EQ(*mt.Type(), MEDIATYPE_Audio);
    EXPECT_EQ(*mt.Subtype(), MEDIASUBTYPE_PCM);
    ASSERT_EQ(mt.FormatLength(), sizeof(WAVEFORMATEX));
    EXPECT_EQ(Wfx(mt)->nBlockAlign, 1);
    EXPECT_EQ(Wfx(mt)->nAvgBytesPerSec, 11025u);
    EXPECT_EQ(mt.GetSampleSize(), 1u);
    EXPECT_EQ(MakeAudioMediaType({48000, 16, 2}, &mt), E_INVALIDARG);

    AUDIO_STREAM_CONFIG_CAPS caps = MakeStreamCaps({22050, 8, 2});
    EXPECT_EQ(caps.guid, MEDIATYPE_Audio);
    EXPECT_EQ(caps.MinimumSampleFrequency, 22050u);
    EXPECT_EQ(caps.MaximumSampleFrequency, 22050u);
    EXPECT_EQ(caps.MaximumBitsPerSample, 8u);
    EXPECT_EQ(caps.MinimumChannels, 2u);
}

TEST(AudioFormats, TakesOnlyConsistentSupportedPcm)
{
    EXPECT_EQ(PcmFormatFromMediaType(PcmType(22050, 16, 1)), (PcmFormat {22050, 16, 1}));
    EXPECT_FALSE(PcmFormatFromMediaType(PcmType(48000, 16, 2))) << "rate";
    EXPECT_FALSE(PcmFormatFromMediaType(PcmType(44100, 24, 2))) << "depth";
    EXPECT_FALSE(PcmFormatFromMediaType(PcmType(44100, 16, 6))) << "channels";

    CMediaType mt = PcmType(44100, 16, 2);
    Wfx(mt)->nBlockAlign = 2;
    EXPECT_FALSE(PcmFormatFromMediaType(mt)) << "a block size that does not fit the format";
    mt = PcmType(44100, 16, 2);
    Wfx(mt)->nAvgBytesPerSec = 1000;
    EXPECT_FALSE(PcmFormatFromMediaType(mt)) << "a byte rate that does not fit";
    mt = PcmType(44100, 16, 2);
    Wfx(mt)->wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    EXPECT_FALSE(PcmFormatFromMediaType(mt));
    mt = PcmType(44100, 16, 2);
    GUID other = WaveFormatSubtype(WAVE_FORMAT_ALAW);
    mt.SetSubtype(&other);
    EXPECT_FALSE(PcmFormatFromMediaType(mt));
    WAVEFORMATEX wfx = *Wfx(mt = PcmType(44100, 16, 2));
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wfx), 12);
    EXPECT_FALSE(PcmFormatFromMediaType(mt)) << "a block too short to read";
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wfx), 16);
    EXPECT_EQ(PcmFormatFromMediaType(mt), (PcmFormat {44100, 16, 2})) << "the 16-byte form without cbSize";
    CMediaType none;
    EXPECT_FALSE(PcmFormatFromMediaType(none));
}

}  // namespace
