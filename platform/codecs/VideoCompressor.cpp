#include "platform/codecs/VideoCompressor.h"

#include "platform/codecs/RgbToYuv420.h"
#include "platform/dshow/WaveFormat.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

const std::array<VideoEncoderChoice, 5> kVideoEncoderChoices {{
    {L"Microsoft Video 1", "msvideo1"},
    {L"Motion JPEG", "mjpeg"},
    {L"MPEG-4 Video", "mpeg4"},
    {L"H.264 Video", "libx264"},
    {L"FFV1 Lossless", "ffv1"},
}};

namespace {

// How each encoder is fed: the pixel format common players expect from it, the size multiple it
// codes (4:2:0 needs even sizes, Video 1 works on 4x4 blocks), the bit depth its AVI header
// usually states, and how many slice threads it may use (slices add no delay).
struct EncoderSetup {
    AVPixelFormat pixelFormat;
    int sizeMultiple;
    WORD bitCount;
    bool threads;
};

EncoderSetup SetupFor(const char* encoder)
{
    std::string name = encoder;
    if (name == "msvideo1") return {AV_PIX_FMT_RGB555LE, 4, 16, false};
    if (name == "mjpeg") return {AV_PIX_FMT_YUVJ420P, 2, 24, true};
    if (name == "ffv1") return {AV_PIX_FMT_BGR0, 1, 24, true};
    if (name == "libx264") return {AV_PIX_FMT_YUV420P, 2, 24, true};
    return {AV_PIX_FMT_YUV420P, 2, 24, false};
}

constexpr LONG kMaxDimension = 16384;
constexpr REFERENCE_TIME kDefaultFrameTime = UNITS / 15;  // the capture pin's default cap
constexpr REFERENCE_TIME kKeyFrameInterval = 2 * UNITS;
constexpr std::size_t kPipelineSlots = 3;

// A 32-bit frame coded as it is, by an encoder that takes bgr0 at any size.
bool CodesFramesAsTheyAre(const char* encoder, AVPixelFormat input)
{
    EncoderSetup setup = SetupFor(encoder);
    return !IsOwnEncoder(encoder) && setup.sizeMultiple == 1 && setup.pixelFormat == input;
}

}  // namespace

bool IsOwnEncoder(const char* encoder)
{
    return encoder && std::string(encoder) == "msvideo1";
}

std::vector<DeviceEntry> ListVideoCompressors(const EncoderAvailable& available)
{
    std::vector<DeviceEntry> devices;
    for (const VideoEncoderChoice& choice : kVideoEncoderChoices) {
        if (!IsOwnEncoder(choice.encoder) && !available(choice.encoder)) continue;
        devices.push_back({choice.friendlyName, [choice](IBaseFilter** pp) { return CreateVideoCompressorFilter(choice, pp); }});
    }
    return devices;
}

HRESULT CreateVideoCompressorFilter(const VideoEncoderChoice& choice, IBaseFilter** ppFilter)
{
    if (!ppFilter) return E_POINTER;
    *ppFilter = nullptr;
    if (!IsOwnEncoder(choice.encoder) && !LibavHasEncoder(choice.encoder)) return E_FAIL;
    auto* filter = new (std::nothrow) CVideoCompressor(choice);
    if (!filter) return E_OUTOFMEMORY;
    filter->NonDelegatingAddRef();
    *ppFilter = filter;
    return S_OK;
}

CVideoCompressor::CVideoCompressor(const VideoEncoderChoice& choice)
    : CTransformFilter(L"Video Compressor", nullptr, CLSID_VideoCompressorFilter), m_choice(choice)
{
    // Coding straight from the capture's samples holds one per pipeline slot, the encoder keeps
    // the last one it coded, and the capture fills one more meanwhile.
    if (CodesFramesAsTheyAre(m_choice.encoder, AV_PIX_FMT_BGR0))
        m_pInput->SetAllocatorMinimum(static_cast<LONG>(kPipelineSlots) + 2);
}

CVideoCompressor::~CVideoCompressor() = default;

HRESULT CVideoCompressor::ReadInputFormat(const CMediaType* mt, InputFormat* format)
{
    if (!mt) return E_POINTER;
    if (*mt->Type() != MEDIATYPE_Video || *mt->FormatType() != FORMAT_VideoInfo || !mt->Format() ||
        mt->FormatLength() < sizeof(VIDEOINFOHEADER))
        return VFW_E_TYPE_NOT_ACCEPTED;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->Format());
    const BITMAPINFOHEADER& bih = vih->bmiHeader;
    // Only bottom-up frames of a sane size: the sizes drive every buffer computation.
    if (bih.biWidth <= 0 || bih.biHeight <= 0 || bih.biWidth > kMaxDimension || bih.biHeight > kMaxDimension)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const BYTE* extra = mt->Format() + sizeof(VIDEOINFOHEADER);
    std::size_t extraLength = mt->FormatLength() - sizeof(VIDEOINFOHEADER);
    auto masks = [&](DWORD r, DWORD g, DWORD b) {
        if (extraLength < 3 * sizeof(DWORD)) return false;
        DWORD m[3];
        std::memcpy(m, extra, sizeof(m));
        return m[0] == r && m[1] == g && m[2] == b;
    };
    InputFormat in;
    const GUID& sub = *mt->Subtype();
    if (sub == MEDIASUBTYPE_RGB32 && bih.biBitCount == 32 && bih.biCompression == BI_RGB) {
        in.pixelFormat = AV_PIX_FMT_BGR0;
    } else if (sub == MEDIASUBTYPE_RGB24 && bih.biBitCount == 24 && bih.biCompression == BI_RGB) {
        in.pixelFormat = AV_PIX_FMT_BGR24;
    } else if (sub == MEDIASUBTYPE_RGB565 && bih.biBitCount == 16 && bih.biCompression == BI_BITFIELDS &&
               masks(0xF800, 0x07E0, 0x001F)) {
        in.pixelFormat = AV_PIX_FMT_RGB565LE;
    } else if (sub == MEDIASUBTYPE_RGB555 && bih.biBitCount == 16 &&
               (bih.biCompression == BI_RGB || (bih.biCompression == BI_BITFIELDS && masks(0x7C00, 0x03E0, 0x001F)))) {
        in.pixelFormat = AV_PIX_FMT_RGB555LE;
    } else if (sub == MEDIASUBTYPE_RGB8 && bih.biBitCount == 8 && bih.biCompression == BI_RGB) {
        DWORD colours = bih.biClrUsed ? bih.biClrUsed : 256;
        if (colours > 256 || extraLength < colours * sizeof(RGBQUAD)) return VFW_E_TYPE_NOT_ACCEPTED;
        for (DWORD i = 0; i < colours; ++i) {
            RGBQUAD q;
            std::memcpy(&q, extra + i * sizeof(RGBQUAD), sizeof(q));
            in.palette[i] = 0xFF000000u | uint32_t(q.rgbRed) << 16 | uint32_t(q.rgbGreen) << 8 | q.rgbBlue;
        }
        in.pixelFormat = AV_PIX_FMT_PAL8;
    } else {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    in.width = bih.biWidth;
    in.height = bih.biHeight;
    in.stride = static_cast<DWORD>((bih.biWidth * bih.biBitCount + 31) / 32 * 4);
    in.bytesPerPixel = bih.biBitCount / 8;
    in.avgTimePerFrame = vih->AvgTimePerFrame;
    if (format) *format = in;
    return S_OK;
}

HRESULT CVideoCompressor::CheckInputType(const CMediaType* mtIn)
{
    return ReadInputFormat(mtIn, nullptr);
}

HRESULT CVideoCompressor::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt)
{
    if (direction != PINDIR_INPUT) return S_OK;
    HRESULT hr = ReadInputFormat(pmt, &m_in);
    if (FAILED(hr)) return hr;
    m_encoder.reset();
    m_video1.reset();
    return S_OK;
}

HRESULT CVideoCompressor::BreakConnect(PIN_DIRECTION direction)
{
    if (direction == PINDIR_INPUT) {
        m_encoder.reset();
        m_video1.reset();
        m_in = InputFormat();
    }
    return S_OK;
}

HRESULT CVideoCompressor::OpenEncoder()
{
    m_encoder.reset();
    m_video1.reset();
    m_bEncoderUsed = false;
    if (m_in.width <= 0) return VFW_E_NOT_CONNECTED;
    EncoderSetup setup = SetupFor(m_choice.encoder);
    m_encoderFormat = setup.pixelFormat;
    auto roundUp = [&](LONG v) { return (v + setup.sizeMultiple - 1) / setup.sizeMultiple * setup.sizeMultiple; };
    m_codedWidth = roundUp(m_in.width);
    m_codedHeight = roundUp(m_in.height);
    REFERENCE_TIME frameTime = m_in.avgTimePerFrame > 0 ? m_in.avgTimePerFrame : kDefaultFrameTime;
    m_gopSize = static_cast<int>(std::max<REFERENCE_TIME>(1, kKeyFrameInterval / frameTime));

    if (IsOwnEncoder(m_choice.encoder)) {
        // libavcodec's Video 1 coder searches every block's colours and codes a 1280x720 screen
        // at half of 30 frames a second here; ours splits by brightness and skips unchanged blocks.
        try {
            m_video1 = std::make_unique<CVideo1Encoder>(m_codedWidth, m_codedHeight, m_gopSize);
        } catch (const std::exception&) {
            return E_OUTOFMEMORY;
        }
        m_codecId = AV_CODEC_ID_MSVIDEO1;
        m_extradata.clear();
        m_bitRate = 0;
        return S_OK;
    }

    const AVCodec* codec = avcodec_find_encoder_by_name(m_choice.encoder);
    if (!codec) return E_FAIL;
    AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) return E_OUTOFMEMORY;
    int num = 0, den = 0;
    av_reduce(&num, &den, frameTime, UNITS, 65535);  // MPEG-4 allows no larger time base
    if (num <= 0 || den <= 0) {
        num = 1;
        den = 15;
    }
    ctx->time_base = {num, den};
    ctx->framerate = {den, num};
    ctx->width = m_codedWidth;
    ctx->height = m_codedHeight;
    ctx->pix_fmt = m_encoderFormat;
    ctx->gop_size = m_gopSize;
    ctx->max_b_frames = 0;  // one packet per frame, in order
    ctx->thread_type = FF_THREAD_SLICE;
    // One slice thread more than processors, as ffmpeg's automatic count: FFV1 at 1080p took 3 %
    // more processor time a frame with one per processor.
    ctx->thread_count = setup.threads ? static_cast<int>(std::clamp(std::thread::hardware_concurrency() + 1, 1u, 4u)) : 1;

    AvDictionary opts;
    std::string name = m_choice.encoder;
    if (name == "mjpeg" || name == "mpeg4") {
        ctx->flags |= AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = FF_QP2LAMBDA * 3;
    } else if (name == "libx264") {
        av_dict_set(&opts.p, "preset", "veryfast", 0);
        av_dict_set(&opts.p, "tune", "zerolatency", 0);
        av_dict_set(&opts.p, "crf", "20", 0);
    } else if (name == "ffv1") {
        av_dict_set(&opts.p, "level", "3", 0);  // slices with their own checksums
    }
    if (m_encoderFormat == AV_PIX_FMT_YUVJ420P) {
        ctx->color_range = AVCOL_RANGE_JPEG;
    } else if (m_encoderFormat == AV_PIX_FMT_YUV420P) {
        ctx->color_range = AVCOL_RANGE_MPEG;
        ctx->colorspace = AVCOL_SPC_SMPTE170M;  // what swscale's default conversion gives
        ctx->color_primaries = AVCOL_PRI_SMPTE170M;
        ctx->color_trc = AVCOL_TRC_SMPTE170M;
    }
    int err = avcodec_open2(ctx.get(), codec, &opts.p);
    if (err < 0) return HResultFromAv(err);
    m_codecId = ctx->codec_id;
    m_extradata.assign(ctx->extradata, ctx->extradata + (ctx->extradata ? ctx->extradata_size : 0));
    m_bitRate = ctx->bit_rate;
    m_encoder = std::move(ctx);
    return S_OK;
}

HRESULT CVideoCompressor::BuildOutputType(CMediaType* mt) const
{
    if (!EncoderOpen()) return E_UNEXPECTED;
    const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
    DWORD fourcc = av_codec_get_tag(tags, m_codecId);
    if (fourcc == 0) return E_FAIL;
    EncoderSetup setup = SetupFor(m_choice.encoder);
    auto extraSize = static_cast<ULONG>(m_extradata.size());

    *mt = CMediaType();
    mt->SetType(&MEDIATYPE_Video);
    GUID subtype = FourCCSubtype(fourcc);
    mt->SetSubtype(&subtype);
    mt->SetFormatType(&FORMAT_VideoInfo);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->AllocFormatBuffer(sizeof(VIDEOINFOHEADER) + extraSize));
    if (!vih) return E_OUTOFMEMORY;
    vih->AvgTimePerFrame = m_in.avgTimePerFrame;
    vih->dwBitRate = static_cast<DWORD>(std::clamp<int64_t>(m_bitRate, 0, 0xFFFFFFFF));
    BITMAPINFOHEADER& bih = vih->bmiHeader;
    bih.biSize = sizeof(BITMAPINFOHEADER) + extraSize;
    bih.biWidth = m_codedWidth;
    bih.biHeight = m_codedHeight;
    bih.biPlanes = 1;
    bih.biBitCount = setup.bitCount;
    bih.biCompression = fourcc;
    // Room for the worst frame: more than the raw picture, for headers and incompressible data.
    bih.biSizeImage = static_cast<DWORD>(m_codedWidth) * static_cast<DWORD>(m_codedHeight) * 3 + 65536;
    if (extraSize) std::memcpy(mt->Format() + sizeof(VIDEOINFOHEADER), m_extradata.data(), extraSize);
    const AVCodecDescriptor* desc = avcodec_descriptor_get(m_codecId);
    mt->SetTemporalCompression(!(desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY)));
    mt->SetVariableSize();
    mt->lSampleSize = 0;
    return S_OK;
}

HRESULT CVideoCompressor::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    if (!pMediaType) return E_POINTER;
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    if (!EncoderOpen()) {
        HRESULT hr = OpenEncoder();
        if (FAILED(hr)) return hr;
    }
    return BuildOutputType(pMediaType);
}

HRESULT CVideoCompressor::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    if (!mtIn || !mtOut) return E_POINTER;
    HRESULT hr = ReadInputFormat(mtIn, nullptr);
    if (FAILED(hr)) return hr;
    if (!EncoderOpen()) {
        hr = OpenEncoder();
        if (FAILED(hr)) return hr;
    }
    CMediaType ours;
    hr = BuildOutputType(&ours);
    if (FAILED(hr)) return hr;
    return ours == *mtOut ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CVideoCompressor::DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pProp)
{
    if (!pAllocator || !pProp) return E_POINTER;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(OutputType().Format());
    if (!vih) return E_UNEXPECTED;
    pProp->cBuffers = std::max<LONG>(pProp->cBuffers, 2);
    pProp->cbBuffer = std::max<LONG>(pProp->cbBuffer, static_cast<LONG>(vih->bmiHeader.biSizeImage));
    if (pProp->cbAlign <= 0) pProp->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual {};
    HRESULT hr = pAllocator->SetProperties(pProp, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cbBuffer < pProp->cbBuffer || actual.cBuffers < 1) return E_FAIL;
    return S_OK;
}

HRESULT CVideoCompressor::StartStreaming()
{
    // The encoder that made the output type starts the first run; a later run needs a fresh
    // one, which must code the same way as the type says.
    if (!EncoderOpen() || m_bEncoderUsed) {
        HRESULT hr = OpenEncoder();
        if (FAILED(hr)) return hr;
        if (m_pOutput->IsConnected()) {
            CMediaType ours;
            hr = BuildOutputType(&ours);
            if (FAILED(hr)) return hr;
            if (ours != OutputType()) return VFW_E_TYPE_NOT_ACCEPTED;
        }
    }
    m_bCodeFromSample = CodesFramesAsTheyAre(m_choice.encoder, m_in.pixelFormat);
    m_sws.reset();
    HRESULT hr = m_bCodeFromSample ? S_OK : OpenConversion();
    if (FAILED(hr)) return hr;
    m_packet.reset(av_packet_alloc());
    if (!m_packet) return E_OUTOFMEMORY;
    // One picture being coded, one waiting, one being converted: the streaming thread waits
    // only when coding falls two frames behind.
    std::vector<EncodeSlot> slots(kPipelineSlots);
    for (EncodeSlot& slot : slots) {
        slot.picture.reset(av_frame_alloc());
        if (!slot.picture) return E_OUTOFMEMORY;
        if (m_bCodeFromSample) continue;  // each picture lends a sample's memory
        slot.picture->format = m_encoderFormat;
        slot.picture->width = m_codedWidth;
        slot.picture->height = m_codedHeight;
        int err = av_frame_get_buffer(slot.picture.get(), 0);
        if (err < 0) return HResultFromAv(err);
    }
    m_frameIndex = 0;
    return m_pipeline.Start(std::move(slots), [this](EncodeSlot& slot) { return EncodeAndDeliver(slot); });
}

HRESULT CVideoCompressor::OpenConversion()
{
    // 24- and 32-bit frames to 4:2:0 take our own conversion, a quarter of swscale's time.
    m_bOwnConversion = (m_in.pixelFormat == AV_PIX_FMT_BGR0 || m_in.pixelFormat == AV_PIX_FMT_BGR24) &&
                       (m_encoderFormat == AV_PIX_FMT_YUV420P || m_encoderFormat == AV_PIX_FMT_YUVJ420P);
    if (m_bOwnConversion) return S_OK;
    // No accurate rounding: it turns off swscale's vector converters, which cost a fraction of
    // the time for differences below one step of the encoders' own quantisation. Fast bilinear:
    // the sizes are equal, so it only averages the 4:2:0 chroma, a tenth cheaper per frame
    // (not from a palette, whose colours it blurs badly).
    // The conversion is sliced over the processors: it runs on the capture pin's thread, and
    // while it runs the pin cannot grab the next frame.
    m_sws.reset(sws_alloc_context());
    if (!m_sws) return E_OUTOFMEMORY;
    SwsContext* sws = m_sws.get();
    if (av_opt_set_int(sws, "srcw", m_codedWidth, 0) < 0 || av_opt_set_int(sws, "srch", m_codedHeight, 0) < 0 ||
        av_opt_set_int(sws, "src_format", m_in.pixelFormat, 0) < 0 || av_opt_set_int(sws, "dstw", m_codedWidth, 0) < 0 ||
        av_opt_set_int(sws, "dsth", m_codedHeight, 0) < 0 || av_opt_set_int(sws, "dst_format", m_encoderFormat, 0) < 0 ||
        av_opt_set_int(sws, "sws_flags", m_in.pixelFormat == AV_PIX_FMT_PAL8 ? SWS_BILINEAR : SWS_FAST_BILINEAR, 0) < 0 ||
        av_opt_set_int(sws, "threads", static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)), 0) < 0 ||
        sws_init_context(sws, nullptr, nullptr) < 0) {
        m_sws.reset();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CVideoCompressor::StopStreaming()
{
    m_pipeline.Stop();
    // The next run needs a fresh encoder anyway, and this one may still reference the last
    // frame it coded: an upstream sample, which must go back before the allocator is reused.
    if (m_bEncoderUsed) {
        m_encoder.reset();
        m_video1.reset();
    }
    m_sws.reset();
    m_packet.reset();
    m_padded = {};
    return S_OK;
}

HRESULT CVideoCompressor::ConvertFrame(const BYTE* pBits, AVFrame* pPicture)
{
    int err = av_frame_make_writable(pPicture);  // the encoder may still hold the last one
    if (err < 0) return HResultFromAv(err);
    // Bottom-up rows: start at the last row and step backwards.
    const uint8_t* src[4] = {pBits + static_cast<std::size_t>(m_in.height - 1) * m_in.stride, nullptr, nullptr, nullptr};
    int srcStride[4] = {-static_cast<int>(m_in.stride), 0, 0, 0};
    if (m_codedWidth != m_in.width || m_codedHeight != m_in.height) {
        // Padding repeats the last column and row, in the input's own format and before the
        // conversion: swscale's 4:2:0 output of odd sizes is poor at the edges, and an edge copy
        // compresses to nothing visible.
        const std::size_t pixel = m_in.bytesPerPixel;
        const std::size_t used = static_cast<std::size_t>(m_in.width) * pixel;
        const std::size_t pitch = static_cast<std::size_t>(m_codedWidth) * pixel;
        m_padded.resize(pitch * static_cast<std::size_t>(m_codedHeight));
        for (LONG y = 0; y < m_codedHeight; ++y) {
            uint8_t* row = m_padded.data() + static_cast<std::size_t>(y) * pitch;
            if (y >= m_in.height) {
                std::memcpy(row, row - pitch, pitch);
                continue;
            }
            std::memcpy(row, pBits + static_cast<std::size_t>(m_in.height - 1 - y) * m_in.stride, used);
            for (std::size_t x = used; x < pitch; x += pixel) std::memcpy(row + x, row + used - pixel, pixel);
        }
        src[0] = m_padded.data();
        srcStride[0] = static_cast<int>(pitch);
    }
    if (m_bOwnConversion) {
        Yuv420Planes planes {pPicture->data[0], pPicture->linesize[0], pPicture->data[1],
                             pPicture->linesize[1], pPicture->data[2], pPicture->linesize[2]};
        YuvRange range = m_encoderFormat == AV_PIX_FMT_YUVJ420P ? YuvRange::Full : YuvRange::Limited;
        return ConvertRgbToYuv420(src[0], srcStride[0], static_cast<int>(m_in.bytesPerPixel), m_codedWidth,
                                  m_codedHeight, planes, range)
                   ? S_OK
                   : E_UNEXPECTED;
    }
    if (m_in.pixelFormat == AV_PIX_FMT_PAL8) {
        src[1] = reinterpret_cast<const uint8_t*>(m_in.palette.data());
        srcStride[1] = 4;
    }
    // The picture lent to swscale without a copy: a buffer that frees nothing.
    AvFramePtr source(av_frame_alloc());
    if (!source) return E_OUTOFMEMORY;
    source->format = m_in.pixelFormat;
    source->width = m_codedWidth;
    source->height = m_codedHeight;
    for (int i = 0; i < 2; ++i) {
        source->data[i] = const_cast<uint8_t*>(src[i]);
        source->linesize[i] = srcStride[i];
    }
    source->buf[0] = av_buffer_create(source->data[0], 1, [](void*, uint8_t*) {}, nullptr, AV_BUFFER_FLAG_READONLY);
    if (!source->buf[0]) return E_OUTOFMEMORY;
    err = sws_scale_frame(m_sws.get(), pPicture, source.get());
    return err < 0 ? HResultFromAv(err) : S_OK;
}

HRESULT CVideoCompressor::LendSample(IMediaSample* pSample, BYTE* pBits, AVFrame* pPicture)
{
    // A slot dropped uncoded may still hold its sample.
    av_frame_unref(pPicture);
    pPicture->format = m_in.pixelFormat;
    pPicture->width = m_in.width;
    pPicture->height = m_in.height;
    // Bottom-up rows: the picture starts at the last row and steps backwards.
    pPicture->data[0] = pBits + static_cast<std::size_t>(m_in.height - 1) * m_in.stride;
    pPicture->linesize[0] = -static_cast<int>(m_in.stride);
    // The sample stays out of its allocator until the encoder lets go of the picture.
    pSample->AddRef();
    pPicture->buf[0] = av_buffer_create(
        pBits, static_cast<std::size_t>(m_in.stride) * m_in.height,
        [](void* opaque, uint8_t*) { static_cast<IMediaSample*>(opaque)->Release(); }, pSample,
        AV_BUFFER_FLAG_READONLY);
    if (!pPicture->buf[0]) {
        pSample->Release();
        av_frame_unref(pPicture);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CVideoCompressor::Receive(IMediaSample* pSample)
{
    if (!EncoderOpen() || !m_packet) return VFW_E_WRONG_STATE;
    BYTE* pBits = nullptr;
    HRESULT hr = pSample->GetPointer(&pBits);
    if (FAILED(hr)) return hr;
    // A short frame would make the conversion read past the buffer.
    if (static_cast<std::size_t>(pSample->GetActualDataLength()) < static_cast<std::size_t>(m_in.stride) * m_in.height)
        return E_INVALIDARG;
    // A failure of an earlier frame's coding comes back here, and stops the stream.
    EncodeSlot* slot = m_pipeline.Acquire(&hr);
    if (!slot) return hr;
    hr = m_bCodeFromSample ? LendSample(pSample, pBits, slot->picture.get()) : ConvertFrame(pBits, slot->picture.get());
    if (FAILED(hr)) {
        m_pipeline.Release(slot);
        return hr;
    }
    slot->bTimed = pSample->GetTime(&slot->tStart, &slot->tStop) == S_OK;
    slot->bDiscontinuity = pSample->IsDiscontinuity() == S_OK;
    m_pipeline.Submit(slot);
    return S_OK;
}

HRESULT CVideoCompressor::Drain()
{
    return m_pipeline.WaitIdle();
}

HRESULT CVideoCompressor::BeginFlush()
{
    m_pipeline.Discard();
    return CTransformFilter::BeginFlush();
}

HRESULT CVideoCompressor::EncodeAndDeliver(EncodeSlot& slot)
{
    slot.picture->pts = m_frameIndex++;
    m_bEncoderUsed = true;
    if (m_video1) {
        m_coded.clear();
        bool bKey = false;
        try {
            bKey = m_video1->Encode(reinterpret_cast<const uint16_t*>(slot.picture->data[0]), slot.picture->linesize[0],
                                    m_coded);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const std::exception&) {
            return E_FAIL;
        }
        return DeliverCoded(slot, m_coded.data(), static_cast<int>(m_coded.size()), bKey);
    }
    int err = avcodec_send_frame(m_encoder.get(), slot.picture.get());
    if (m_bCodeFromSample) av_frame_unref(slot.picture.get());  // its sample goes back upstream
    if (err < 0) return HResultFromAv(err);
    err = avcodec_receive_packet(m_encoder.get(), m_packet.get());
    // The settings leave the encoder no delay; a frame held back would shift every later one.
    if (err == AVERROR(EAGAIN)) return E_UNEXPECTED;
    if (err < 0) return HResultFromAv(err);
    HRESULT hr = DeliverCoded(slot, m_packet->data, m_packet->size, (m_packet->flags & AV_PKT_FLAG_KEY) != 0);
    av_packet_unref(m_packet.get());
    if (FAILED(hr)) return hr;
    if (avcodec_receive_packet(m_encoder.get(), m_packet.get()) == 0) {
        av_packet_unref(m_packet.get());
        return E_UNEXPECTED;  // two packets for one frame: the multiplexer counts frames
    }
    return hr;
}

HRESULT CVideoCompressor::DeliverCoded(const EncodeSlot& slot, const uint8_t* pData, int cbData, bool bKey)
{
    return DeliverOutput(pData, cbData, slot.bTimed ? &slot.tStart : nullptr, slot.bTimed ? &slot.tStop : nullptr, bKey,
                         slot.bDiscontinuity);
}
