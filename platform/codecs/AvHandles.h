#pragma once
// Owning handles for the libav objects the compressors hold, and their errors as results.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libswscale/swscale.h>
}

#include "platform/com/ComBase.h"

#include <memory>

struct AvCodecContextDeleter {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct AvFrameDeleter {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct AvPacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsContextDeleter {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};

using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;

// Encoder options, freed whatever avcodec_open2 left in them.
struct AvDictionary {
    AVDictionary* p = nullptr;
    AvDictionary() = default;
    AvDictionary(const AvDictionary&) = delete;
    AvDictionary& operator=(const AvDictionary&) = delete;
    ~AvDictionary() { av_dict_free(&p); }
};

inline HRESULT HResultFromAv(int err)
{
    return err == AVERROR(ENOMEM) ? E_OUTOFMEMORY : E_FAIL;
}
