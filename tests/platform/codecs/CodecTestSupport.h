#pragma once
// Test support for the compressors: synthetic RGB frames and PCM sine waves in the media types
// the capture filters produce, and decoding of what a compressor delivered with libavcodec.
#include "TestFilters.h"
#include "platform/dshow/MediaType.h"
#include "platform/dshow/WaveFormat.h"

#include <cstdint>
#include <vector>

namespace codectest {

// Bottom-up RGB types as the capture pin offers them; bits 15 is 5-5-5, 16 is 5-6-5 with masks,
// 8 carries a 6x6x6 colour cube palette.
CMediaType RgbType(int bits, LONG width, LONG height, REFERENCE_TIME avgTimePerFrame);

// A frame in that depth: gradients plus a block that moves with the index. *pExpected gets what
// the depth can show, as 8-bit R, G, B, top row first.
std::vector<BYTE> MakeFrame(int bits, LONG width, LONG height, int index, std::vector<uint8_t>* pExpected);

struct DecodedVideo {
    int width = 0, height = 0;
    std::vector<std::vector<uint8_t>> frames;  // R, G, B, top row first, decoded size
    bool ok = false;
};
// Decodes the samples with the decoder for the type's fourcc and its extradata.
DecodedVideo DecodeVideo(const AM_MEDIA_TYPE& type, const std::vector<dshowtest::ReceivedSample>& samples);

// The peak signal-to-noise ratio over the top-left width x height of a frame (dB; 99 if equal).
double Psnr(const std::vector<uint8_t>& expected, int width, int height, const std::vector<uint8_t>& decoded,
            int decodedWidth);

CMediaType PcmType(DWORD rate, WORD channels, WORD bits);
// A sine at the given frequency, half full scale, the same on every channel.
std::vector<BYTE> Sine(DWORD rate, WORD channels, WORD bits, double seconds, double frequency);
// Samples of the first channel as signed 16-bit values.
std::vector<int16_t> FirstChannel(const std::vector<BYTE>& pcm, WORD channels, WORD bits);

struct DecodedSound {
    std::vector<int16_t> firstChannel;
    int64_t samples = 0;  // per channel
    bool ok = false;
};
DecodedSound DecodeSound(const AM_MEDIA_TYPE& type, const std::vector<dshowtest::ReceivedSample>& samples);

// Frequency from the upward zero crossings of the middle of the signal.
double MeasuredFrequency(const std::vector<int16_t>& samples, DWORD rate);

}  // namespace codectest
