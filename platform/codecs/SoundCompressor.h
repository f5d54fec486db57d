#pragma once
// The sound compressor filter: PCM (8-bit unsigned or 16-bit, mono or stereo) in; out either
// the same PCM or packets of a libavcodec encoder. Encoders with a fixed frame size are fed whole
// frames, so the filter buffers; what is left is flushed at end of stream and at stop. Output
// samples are stamped from the count of samples passed on, not from the input's times.
#include "platform/codecs/AvHandles.h"
#include "platform/codecs/EncoderChoice.h"
#include "platform/dshow/DeviceEnum.h"
#include "platform/dshow/TransformFilter.h"
#include "platform/dshow/WaveFormat.h"

#include <array>
#include <vector>

// {6F1C2A41-8B3D-4E5A-9C71-2D4E6F8A0B11}
constexpr CLSID CLSID_SoundCompressorFilter {0x6F1C2A41, 0x8B3D, 0x4E5A, {0x9C, 0x71, 0x2D, 0x4E, 0x6F, 0x8A, 0x0B, 0x11}};

struct SoundEncoderChoice {
    const wchar_t* friendlyName;
    const char* encoder;  // null: PCM passed through
    WORD formatTag;
};
// In the order the category lists them.
extern const std::array<SoundEncoderChoice, 6> kSoundEncoderChoices;

std::vector<DeviceEntry> ListSoundCompressors(const EncoderAvailable& available);
HRESULT CreateSoundCompressorFilter(const SoundEncoderChoice& choice, IBaseFilter** ppFilter);

// The MP3 bit rate used for a rate and channel count (bits per second).
int Mp3BitRate(DWORD samplesPerSec, WORD channels);

class CSoundCompressor final : public CTransformFilter {
public:
    explicit CSoundCompressor(const SoundEncoderChoice& choice);
    ~CSoundCompressor() override;

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT BreakConnect(PIN_DIRECTION direction) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT Drain() override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

private:
    static HRESULT ReadInputFormat(const CMediaType* mt, WAVEFORMATEX* wfx);
    HRESULT OpenEncoder();
    HRESULT BuildOutputType(CMediaType* mt) const;
    HRESULT PassThrough(const BYTE* p, std::size_t cb);
    HRESULT EncodeFrame(int nSamples);
    HRESULT DeliverPackets();
    LONG OutputBufferSize() const;

    SoundEncoderChoice m_choice;
    WAVEFORMATEX m_in {};
    AvCodecContextPtr m_encoder;
    bool m_bEncoderUsed = false;
    int m_frameSamples = 0;                // samples per encoder frame (per channel)
    std::vector<int16_t> m_pending;        // interleaved samples not yet encoded
    std::vector<BYTE> m_partial;           // bytes of an incomplete sample frame
    AvFramePtr m_frame;
    AvPacketPtr m_packet;
    int64_t m_samplesIn = 0;   // fed to the encoder
    int64_t m_samplesOut = 0;  // passed on: the output time stamps
};
