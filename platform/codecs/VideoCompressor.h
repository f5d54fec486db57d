#pragma once
// The video compressor filter: uncompressed bottom-up RGB frames (32, 24, 5-6-5, 5-5-5 and
// 8-bit palette) in, one compressed frame out per frame in, over a libavcodec encoder or, for
// Microsoft Video 1, our own coder. Frames are converted as they arrive and coded on a thread of
// the filter's own, in order; a frame already in the encoder's format is coded from its sample,
// which the filter holds until then.
#include "platform/codecs/AvHandles.h"
#include "platform/codecs/EncodePipeline.h"
#include "platform/codecs/Video1Encoder.h"
#include "platform/codecs/EncoderChoice.h"
#include "platform/dshow/DeviceEnum.h"
#include "platform/dshow/TransformFilter.h"

#include <array>
#include <vector>

// {6F1C2A40-8B3D-4E5A-9C71-2D4E6F8A0B11}
constexpr CLSID CLSID_VideoCompressorFilter {0x6F1C2A40, 0x8B3D, 0x4E5A, {0x9C, 0x71, 0x2D, 0x4E, 0x6F, 0x8A, 0x0B, 0x11}};

struct VideoEncoderChoice {
    const wchar_t* friendlyName;
    const char* encoder;
};
// In the order the category lists them.
extern const std::array<VideoEncoderChoice, 5> kVideoEncoderChoices;

// The video compressor category's devices: the choices whose encoder is available.
std::vector<DeviceEntry> ListVideoCompressors(const EncoderAvailable& available);

// Encoders coded by our own coder rather than libavcodec's ("msvideo1").
bool IsOwnEncoder(const char* encoder);

// A new compressor filter over the named encoder (one reference).
HRESULT CreateVideoCompressorFilter(const VideoEncoderChoice& choice, IBaseFilter** ppFilter);

class CVideoCompressor final : public CTransformFilter {
public:
    explicit CVideoCompressor(const VideoEncoderChoice& choice);
    ~CVideoCompressor() override;

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT BreakConnect(PIN_DIRECTION direction) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT Drain() override;
    HRESULT BeginFlush() override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;

private:
    struct InputFormat {
        LONG width = 0, height = 0;
        DWORD stride = 0;
        unsigned bytesPerPixel = 0;
        AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
        std::array<uint32_t, 256> palette {};
        REFERENCE_TIME avgTimePerFrame = 0;
    };
    static HRESULT ReadInputFormat(const CMediaType* mt, InputFormat* format);
    HRESULT OpenEncoder();
    HRESULT BuildOutputType(CMediaType* mt) const;
    HRESULT OpenConversion();
    HRESULT ConvertFrame(const BYTE* pBits, AVFrame* pPicture);
    // Makes the picture the sample's own frame, holding the sample while the picture lives.
    HRESULT LendSample(IMediaSample* pSample, BYTE* pBits, AVFrame* pPicture);
    HRESULT EncodeAndDeliver(EncodeSlot& slot);  // on the coding thread
    HRESULT DeliverCoded(const EncodeSlot& slot, const uint8_t* pData, int cbData, bool bKey);
    bool EncoderOpen() const { return m_encoder || m_video1; }

    VideoEncoderChoice m_choice;
    InputFormat m_in;
    AVPixelFormat m_encoderFormat = AV_PIX_FMT_NONE;
    LONG m_codedWidth = 0, m_codedHeight = 0;  // the input size, padded where the format needs it
    int m_gopSize = 0;
    // One of the two coders: libavcodec's, or our own Video 1 coder.
    AvCodecContextPtr m_encoder;
    std::unique_ptr<CVideo1Encoder> m_video1;
    std::vector<uint8_t> m_coded;  // our coder's output
    // What the output type states of the coder.
    AVCodecID m_codecId = AV_CODEC_ID_NONE;
    std::vector<uint8_t> m_extradata;
    int64_t m_bitRate = 0;
    bool m_bEncoderUsed = false;  // fed since opened: the next run needs a fresh one
    bool m_bOwnConversion = false;  // our 4:2:0 conversion instead of swscale
    bool m_bCodeFromSample = false;  // the input is what the encoder takes: no conversion at all
    SwsContextPtr m_sws;
    std::vector<uint8_t> m_padded;  // the input with its edge repeated, top row first
    // Converting on the streaming thread, coding and delivering on the pipeline's.
    CEncodePipeline m_pipeline;
    AvPacketPtr m_packet;
    int64_t m_frameIndex = 0;
};
