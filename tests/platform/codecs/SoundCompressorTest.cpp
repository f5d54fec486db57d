#include "CodecTestSupport.h"
#include "TestPushSource.h"
#include "platform/codecs/SoundCompressor.h"
#include "platform/com/ComPtr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

using namespace codectest;
using namespace dshowtest;

namespace {

const SoundEncoderChoice& Choice(WORD tag)
{
    for (const auto& c : kSoundEncoderChoices)
        if (c.formatTag == tag) return c;
    throw std::runtime_error("no such choice");
}

ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION wanted)
{
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.ReleaseAndGetAddressOf());
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        ComPtr<IPin> held;
        held.Attach(pin);
        PIN_DIRECTION dir;
        if (pin->QueryDirection(&dir) == S_OK && dir == wanted) return held;
    }
    return {};
}

struct SoundChain {
    CTestPushSource source;
    CTestSink sink;
    ComPtr<IBaseFilter> compressor;
    AM_MEDIA_TYPE outType {};
    DWORD rate;
    WORD channels, bits;

    SoundChain(WORD tag, DWORD rate_, WORD channels_, WORD bits_) : rate(rate_), channels(channels_), bits(bits_)
    {
        source.m_types.push_back(PcmType(rate, channels, bits));
        source.m_cbBuffer = 1 << 16;
        sink.m_bKeepData = true;
        EXPECT_EQ(CreateSoundCompressorFilter(Choice(tag), compressor.ReleaseAndGetAddressOf()), S_OK);
    }
    ~SoundChain()
    {
        Stop();
        FreeMediaType(outType);
    }
    HRESULT Connect()
    {
        HRESULT hr = source.OutputPin()->Connect(PinOf(compressor.Get(), PINDIR_INPUT).Get(), nullptr);
        if (FAILED(hr)) return hr;
        hr = PinOf(compressor.Get(), PINDIR_OUTPUT)->Connect(sink.InputPin(), nullptr);
        if (FAILED(hr)) return hr;
        return sink.InputPin()->ConnectionMediaType(&outType);
    }
    void Start()
    {
        ASSERT_EQ(sink.Pause(), S_OK);
        ASSERT_EQ(compressor->Pause(), S_OK);
        ASSERT_EQ(source.Pause(), S_OK);
    }
    void Stop()
    {
        sink.Stop();
        compressor->Stop();
        source.Stop();
    }
    // Pushes the bytes in pieces that do not respect sample frames, timed as a capture pin would.
    void Push(const std::vector<BYTE>& pcm, std::size_t piece = 1003)
    {
        std::size_t block = channels * bits / 8;
        for (std::size_t at = 0; at < pcm.size(); at += piece) {
            std::size_t n = std::min(piece, pcm.size() - at);
            REFERENCE_TIME start = REFERENCE_TIME(at / block) * UNITS / rate;
            REFERENCE_TIME stop = REFERENCE_TIME((at + n) / block) * UNITS / rate;
            ASSERT_EQ(source.Push(pcm.data() + at, n, &start, &stop, true), S_OK);
        }
    }
    WAVEFORMATEX OutFormat() const
    {
        WAVEFORMATEX wfx;
        std::memcpy(&wfx, outType.pbFormat, sizeof(wfx));
        return wfx;
    }
};

struct SoundCase {
    WORD tag;
    DWORD rate;
    WORD channels, bits;
};

class SoundCompression : public ::testing::TestWithParam<SoundCase> {};

TEST_P(SoundCompression, KeepsDurationAndPitchAndStampsBySampleCount)
{
    const SoundCase& c = GetParam();
    const double kSeconds = 1.5;
    const double kFrequency = c.rate == 11025 ? 440.0 : 1000.0;
    SoundChain chain(c.tag, c.rate, c.channels, c.bits);
    ASSERT_EQ(chain.Connect(), S_OK);

    WAVEFORMATEX wfx = chain.OutFormat();
    EXPECT_EQ(chain.outType.majortype, MEDIATYPE_Audio);
    EXPECT_EQ(chain.outType.subtype, WaveFormatSubtype(c.tag));
    EXPECT_EQ(chain.outType.formattype, FORMAT_WaveFormatEx);
    EXPECT_EQ(wfx.wFormatTag, c.tag);
    EXPECT_EQ(wfx.nChannels, c.channels);
    EXPECT_EQ(wfx.nSamplesPerSec, c.rate);
    EXPECT_EQ(chain.outType.cbFormat, sizeof(WAVEFORMATEX) + wfx.cbSize);
    EXPECT_GT(wfx.nBlockAlign, 0);
    EXPECT_GT(wfx.nAvgBytesPerSec, 0u);

    // How long one coded frame lasts: what the end may differ by.
    int64_t frameSamples = 1;
    int64_t codecDelay = 0;
    switch (c.tag) {
    case WAVE_FORMAT_MPEGLAYER3: {
        ASSERT_EQ(wfx.cbSize, 12);
        MPEGLAYER3WAVEFORMAT mp3;
        std::memcpy(&mp3, chain.outType.pbFormat, sizeof(mp3));
        EXPECT_EQ(mp3.wID, 1);
        EXPECT_EQ(mp3.nFramesPerBlock, 1);
        EXPECT_EQ(int(wfx.nAvgBytesPerSec) * 8, Mp3BitRate(c.rate, c.channels));
        EXPECT_EQ(wfx.nBlockAlign, 1);
        frameSamples = c.rate >= 32000 ? 1152 : 576;
        EXPECT_NEAR(mp3.nBlockSize, frameSamples * wfx.nAvgBytesPerSec / c.rate, 1);
        codecDelay = mp3.nCodecDelay;
        EXPECT_GT(codecDelay, 0);
        break;
    }
    case WAVE_FORMAT_ADPCM: {
        ASSERT_EQ(wfx.cbSize, 32);  // samples per block, 7 coefficient pairs
        WORD samplesPerBlock, coefficients;
        std::memcpy(&samplesPerBlock, chain.outType.pbFormat + 18, 2);
        std::memcpy(&coefficients, chain.outType.pbFormat + 20, 2);
        EXPECT_EQ(coefficients, 7);
        EXPECT_EQ(wfx.nBlockAlign, 256 * c.channels * (c.rate / 11025));
        EXPECT_EQ(samplesPerBlock, (wfx.nBlockAlign - 7 * c.channels) * 8 / (4 * c.channels) + 2);
        frameSamples = samplesPerBlock;
        break;
    }
    case WAVE_FORMAT_IMA_ADPCM: {
        ASSERT_EQ(wfx.cbSize, 2);
        WORD samplesPerBlock;
        std::memcpy(&samplesPerBlock, chain.outType.pbFormat + 18, 2);
        EXPECT_EQ(samplesPerBlock, (wfx.nBlockAlign - 4 * c.channels) * 8 / (4 * c.channels) + 1);
        EXPECT_EQ(wfx.nBlockAlign, 256 * c.channels * (c.rate / 11025));
        frameSamples = samplesPerBlock;
        break;
    }
    case WAVE_FORMAT_PCM:
        EXPECT_EQ(wfx.cbSize, 0);
        EXPECT_EQ(wfx.wBitsPerSample, c.bits);
        break;
    default:  // A-law, u-law
        EXPECT_EQ(wfx.nBlockAlign, c.channels);
        EXPECT_EQ(wfx.wBitsPerSample, 8);
        frameSamples = c.rate / 10;
        break;
    }

    std::vector<BYTE> pcm = Sine(c.rate, c.channels, c.bits, kSeconds, kFrequency);
    const int64_t inputSamples = static_cast<int64_t>(pcm.size() / (c.channels * c.bits / 8));
    chain.Start();
    chain.Push(pcm);
    ASSERT_EQ(chain.source.PushEndOfStream(), S_OK);
    chain.Stop();

    std::vector<ReceivedSample> got = chain.sink.Samples();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(chain.sink.EndsOfStream(), (std::vector<std::size_t> {got.size()}));
    // Times follow the samples passed on: no gaps, no overlaps, from zero.
    REFERENCE_TIME expectedStart = 0;
    for (const auto& s : got) {
        EXPECT_EQ(s.timeResult, S_OK);
        EXPECT_NEAR(double(s.start), double(expectedStart), 1.0);
        EXPECT_GT(s.stop, s.start);
        EXPECT_TRUE(s.syncPoint);
        expectedStart = s.stop;
    }
    // The end is within a frame of the input's end; MP3 adds its encoder's delay at the start.
    const double inputDuration = double(inputSamples + codecDelay) * UNITS / c.rate;
    EXPECT_NEAR(double(got.back().stop), inputDuration, double(frameSamples) * UNITS / c.rate);

    DecodedSound decoded = DecodeSound(chain.outType, got);
    ASSERT_TRUE(decoded.ok);
    // Decoders add their own delay at the start (MP3: the encoder's and decoder's padding).
    int64_t slack = frameSamples + (c.tag == WAVE_FORMAT_MPEGLAYER3 ? codecDelay + 529 + frameSamples : 0);
    EXPECT_GE(decoded.samples, inputSamples - frameSamples);
    EXPECT_LE(decoded.samples, inputSamples + slack);
    EXPECT_NEAR(MeasuredFrequency(decoded.firstChannel, c.rate), kFrequency, kFrequency * 0.01);

    std::vector<int16_t> original = FirstChannel(pcm, c.channels, c.bits);
    if (c.tag == WAVE_FORMAT_PCM) {
        std::vector<BYTE> all;
        for (const auto& s : got) all.insert(all.end(), s.data.begin(), s.data.end());
        EXPECT_EQ(all, pcm);
    } else if (c.tag == WAVE_FORMAT_ALAW || c.tag == WAVE_FORMAT_MULAW || c.tag == WAVE_FORMAT_ADPCM ||
               c.tag == WAVE_FORMAT_IMA_ADPCM) {
        // Sample-aligned codecs: compare the waveform itself.
        ASSERT_GE(decoded.firstChannel.size(), original.size());
        double signal = 0, noise = 0;
        for (std::size_t i = 0; i < original.size(); ++i) {
            signal += double(original[i]) * original[i];
            double d = double(original[i]) - decoded.firstChannel[i];
            noise += d * d;
        }
        EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 20.0);
    }
}

std::vector<SoundCase> AllSoundCases()
{
    std::vector<SoundCase> cases;
    for (WORD tag : {WAVE_FORMAT_PCM, WAVE_FORMAT_MPEGLAYER3, WAVE_FORMAT_ADPCM, WAVE_FORMAT_IMA_ADPCM, WAVE_FORMAT_ALAW,
                     WAVE_FORMAT_MULAW}) {
        cases.push_back({tag, 44100, 2, 16});
        cases.push_back({tag, 22050, 1, 8});
        cases.push_back({tag, 11025, 2, 8});
        cases.push_back({tag, 11025, 1, 16});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllEncodersAndFormats, SoundCompression, ::testing::ValuesIn(AllSoundCases()), [](const auto& info) {
    const SoundCase& c = info.param;
    return "tag" + std::to_string(c.tag) + "_" + std::to_string(c.rate) + "Hz_" + std::to_string(c.channels) + "ch_" +
           std::to_string(c.bits) + "bit";
});

TEST(SoundCompressor, LawCodersHoldNothingBack)
{
    for (WORD tag : {WAVE_FORMAT_ALAW, WAVE_FORMAT_MULAW}) {
        SoundChain chain(tag, 11025, 1, 8);
        ASSERT_EQ(chain.Connect(), S_OK);
        chain.Start();
        std::vector<BYTE> pcm = Sine(11025, 1, 8, 0.05, 440);
        chain.Push(pcm, 301);
        std::vector<ReceivedSample> got = chain.sink.Samples();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back().stop, REFERENCE_TIME(pcm.size()) * UNITS / 11025);
    }
}

TEST(SoundCompressor, StoppingFlushesTheEncodersLastFrames)
{
    for (WORD tag : {WAVE_FORMAT_MPEGLAYER3, WAVE_FORMAT_ADPCM, WAVE_FORMAT_IMA_ADPCM}) {
        SCOPED_TRACE(tag);
        SoundChain chain(tag, 22050, 2, 16);
        ASSERT_EQ(chain.Connect(), S_OK);
        chain.Start();
        std::vector<BYTE> pcm = Sine(22050, 2, 16, 1.01, 1000);  // not whole frames of any of them
        chain.Push(pcm, 4000);
        std::size_t before = chain.sink.Samples().size();
        // The compressor stops before the sink here, so what it held can still go out.
        ASSERT_EQ(chain.compressor->Stop(), S_OK);
        std::vector<ReceivedSample> got = chain.sink.Samples();
        EXPECT_GT(got.size(), before);
        EXPECT_GE(got.back().stop, REFERENCE_TIME(pcm.size() / 4) * UNITS / 22050);
        chain.Stop();

        // A new run starts from zero again with a fresh encoder.
        chain.Start();
        chain.Push(pcm, 4000);
        ASSERT_EQ(chain.source.PushEndOfStream(), S_OK);
        std::vector<ReceivedSample> all = chain.sink.Samples();
        ASSERT_GT(all.size(), got.size());
        EXPECT_EQ(all[got.size()].start, 0);
        std::vector<ReceivedSample> second(all.begin() + static_cast<std::ptrdiff_t>(got.size()), all.end());
        DecodedSound decoded = DecodeSound(chain.outType, second);
        ASSERT_TRUE(decoded.ok);
        EXPECT_NEAR(MeasuredFrequency(decoded.firstChannel, 22050), 1000, 10);
    }
}

TEST(SoundCompressor, PcmPassesLargeSamplesThroughInWholeBlocks)
{
    SoundChain chain(WAVE_FORMAT_PCM, 44100, 2, 16);
    chain.source.m_cbBuffer = 1 << 20;
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    std::vector<BYTE> pcm = Sine(44100, 2, 16, 2.0, 1000);  // one input sample larger than an output buffer
    chain.Push(pcm, pcm.size());
    std::vector<ReceivedSample> got = chain.sink.Samples();
    ASSERT_GT(got.size(), 1u);
    std::vector<BYTE> all;
    for (const auto& s : got) {
        EXPECT_EQ(s.data.size() % 4, 0u);
        all.insert(all.end(), s.data.begin(), s.data.end());
    }
    EXPECT_EQ(all, pcm);
    EXPECT_EQ(got.back().stop, 2 * UNITS);
}

TEST(SoundCompressor, RefusesPcmItCannotTakeOrWhoseFieldsDisagree)
{
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(CreateSoundCompressorFilter(Choice(WAVE_FORMAT_MPEGLAYER3), filter.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IPin> in = PinOf(filter.Get(), PINDIR_INPUT);
    auto accepted = [&](CMediaType mt) { return in->QueryAccept(&mt) == S_OK; };
    EXPECT_TRUE(accepted(PcmType(22050, 1, 8)));
    EXPECT_FALSE(accepted(PcmType(44100, 2, 24)));
    EXPECT_FALSE(accepted(PcmType(48000, 2, 16)));
    EXPECT_FALSE(accepted(PcmType(44100, 6, 16)));
    CMediaType badAlign = PcmType(44100, 2, 16);
    reinterpret_cast<WAVEFORMATEX*>(badAlign.Format())->nBlockAlign = 2;
    EXPECT_FALSE(accepted(badAlign));
    CMediaType badRate = PcmType(44100, 2, 16);
    reinterpret_cast<WAVEFORMATEX*>(badRate.Format())->nAvgBytesPerSec = 1;
    EXPECT_FALSE(accepted(badRate));
    CMediaType shortFormat = PcmType(44100, 2, 16);
    shortFormat.ReallocFormatBuffer(12);
    EXPECT_FALSE(accepted(shortFormat));
}

TEST(SoundCompressor, Mp3BitRatesFitRateAndChannels)
{
    EXPECT_EQ(Mp3BitRate(44100, 2), 128000);
    EXPECT_EQ(Mp3BitRate(44100, 1), 64000);
    EXPECT_EQ(Mp3BitRate(22050, 2), 64000);
    EXPECT_EQ(Mp3BitRate(22050, 1), 32000);
    EXPECT_EQ(Mp3BitRate(11025, 2), 32000);
    EXPECT_EQ(Mp3BitRate(11025, 1), 16000);
}

}  // namespace
