#pragma once
// What one input of the AVI multiplexer becomes in the file: the media type of the connection
// turned into libavformat stream parameters ('strh' / 'strf' contents and the time base).
#include "platform/dshow/MediaType.h"

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/avutil.h>
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

#include <cstdint>
#include <vector>

struct AVCodecParameters;

struct AviStreamFormat {
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    AVCodecID codecId = AV_CODEC_ID_NONE;
    uint32_t codecTag = 0;       // biCompression / wFormatTag as the file stores it
    AVRational timeBase {1, 15};  // video: one tick per frame
    // Video.
    int width = 0, height = 0, bitsPerSample = 0;
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    bool bitfields565 = false;     // 'strf' gets a BI_BITFIELDS header with the three masks
    bool everyFrameKey = false;    // uncompressed: every frame stands alone
    // Sound.
    int sampleRate = 0, channels = 0, blockAlign = 0;
    int64_t bitRate = 0;
    bool pcm = false;
    // Codec data, palette or masks as 'strf' carries them after the header.
    std::vector<uint8_t> extradata;

    // Copies everything into a stream's parameters (extradata with libav's padding).
    int FillCodecParameters(AVCodecParameters* par) const;
};

// The stream a media type makes, or VFW_E_TYPE_NOT_ACCEPTED for anything the file cannot hold:
// bottom-up RGB 8 (with palette) / 16 (555, 565 bit fields) / 24 / 32, video compressed with a
// fourcc libavformat knows, WAVEFORMATEX sound with a known tag.
HRESULT AviStreamFormatFromMediaType(const AM_MEDIA_TYPE& mt, AviStreamFormat* pFormat);

// The video time base of a frame duration: whole rates (UNITS / n) exactly 1/n; 0 means 15 fps.
AVRational AviVideoTimeBase(REFERENCE_TIME avgTimePerFrame);
