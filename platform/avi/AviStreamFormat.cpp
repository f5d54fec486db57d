#include "platform/avi/AviStreamFormat.h"

#include "platform/dshow/WaveFormat.h"

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t kBottomUp[9] = {'B', 'o', 't', 't', 'o', 'm', 'U', 'p', '\0'};
constexpr DWORD kMasks565[3] = {0xF800, 0x07E0, 0x001F};

HRESULT VideoFormat(const AM_MEDIA_TYPE& mt, AviStreamFormat* f)
{
    if (mt.formattype != FORMAT_VideoInfo || !mt.pbFormat || mt.cbFormat < sizeof(VIDEOINFOHEADER))
        return VFW_E_TYPE_NOT_ACCEPTED;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
    const BITMAPINFOHEADER& bih = vih->bmiHeader;
    if (bih.biSize < sizeof(BITMAPINFOHEADER) || bih.biWidth <= 0 || bih.biWidth > 65535 || bih.biHeight == 0 ||
        bih.biHeight > 65535 || bih.biHeight < -65535)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const BYTE* after = mt.pbFormat + offsetof(VIDEOINFOHEADER, bmiHeader) + sizeof(BITMAPINFOHEADER);
    std::size_t afterLen = mt.cbFormat - (after - mt.pbFormat);

    f->type = AVMEDIA_TYPE_VIDEO;
    f->width = bih.biWidth;
    f->timeBase = AviVideoTimeBase(vih->AvgTimePerFrame);
    f->bitsPerSample = bih.biBitCount;

    if (bih.biCompression == BI_RGB || bih.biCompression == BI_BITFIELDS) {
        // Rows are stored as they come, bottom-up; a top-down source would be stored upside down.
        if (bih.biHeight < 0) return VFW_E_TYPE_NOT_ACCEPTED;
        GUID sub = GetBitmapSubtype(&bih);
        if (bih.biCompression == BI_BITFIELDS && afterLen < sizeof(kMasks565)) return VFW_E_TYPE_NOT_ACCEPTED;
        if (sub == GUID_NULL || sub != mt.subtype) return VFW_E_TYPE_NOT_ACCEPTED;
        f->height = bih.biHeight;
        f->codecId = AV_CODEC_ID_RAWVIDEO;
        f->everyFrameKey = true;
        std::vector<uint8_t> extra;
        if (sub == MEDIASUBTYPE_RGB32) {
            f->pixelFormat = AV_PIX_FMT_BGRA;
        } else if (sub == MEDIASUBTYPE_RGB24) {
            f->pixelFormat = AV_PIX_FMT_BGR24;
        } else if (sub == MEDIASUBTYPE_RGB555) {
            f->pixelFormat = AV_PIX_FMT_RGB555LE;
        } else if (sub == MEDIASUBTYPE_RGB565) {
            f->pixelFormat = AV_PIX_FMT_RGB565LE;
            f->codecTag = BI_BITFIELDS;
            f->bitfields565 = true;
            extra.resize(sizeof(kMasks565));
            std::memcpy(extra.data(), kMasks565, sizeof(kMasks565));
        } else if (sub == MEDIASUBTYPE_RGB8) {
            DWORD colors = bih.biClrUsed ? bih.biClrUsed : 256;
            if (colors > 256 || afterLen < colors * sizeof(RGBQUAD)) return VFW_E_TYPE_NOT_ACCEPTED;
            f->pixelFormat = AV_PIX_FMT_PAL8;
            extra.assign(256 * sizeof(RGBQUAD), 0);
            std::memcpy(extra.data(), after, colors * sizeof(RGBQUAD));
        } else {
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        // Without a tag the muxer would write a negative height (top-down) unless told otherwise.
        if (f->codecTag == 0) extra.insert(extra.end(), kBottomUp, kBottomUp + sizeof(kBottomUp));
        f->extradata = std::move(extra);
        return S_OK;
    }

    const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
    AVCodecID id = av_codec_get_id(tables, bih.biCompression);
    if (id == AV_CODEC_ID_NONE || id == AV_CODEC_ID_RAWVIDEO) return VFW_E_TYPE_NOT_ACCEPTED;
    if (mt.subtype != FourCCSubtype(bih.biCompression) && mt.subtype != GUID_NULL) return VFW_E_TYPE_NOT_ACCEPTED;
    std::size_t extraLen = bih.biSize - sizeof(BITMAPINFOHEADER);
    if (extraLen > afterLen) return VFW_E_TYPE_NOT_ACCEPTED;
    f->codecId = id;
    f->codecTag = bih.biCompression;
    f->height = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
    f->extradata.assign(after, after + extraLen);
    f->everyFrameKey = !mt.bTemporalCompression;
    return S_OK;
}

AVCodecID PcmCodec(int bits)
{
    switch (bits) {
    case 8: return AV_CODEC_ID_PCM_U8;
    case 16: return AV_CODEC_ID_PCM_S16LE;
    case 24: return AV_CODEC_ID_PCM_S24LE;
    case 32: return AV_CODEC_ID_PCM_S32LE;
    default: return AV_CODEC_ID_NONE;
    }
}

HRESULT SoundFormat(const AM_MEDIA_TYPE& mt, AviStreamFormat* f)
{
    if (mt.formattype != FORMAT_WaveFormatEx || !mt.pbFormat || mt.cbFormat < sizeof(WAVEFORMATEX))
        return VFW_E_TYPE_NOT_ACCEPTED;
    WAVEFORMATEX wfx;
    std::memcpy(&wfx, mt.pbFormat, sizeof(wfx));
    if (wfx.wFormatTag != WAVE_FORMAT_PCM && mt.cbFormat < sizeof(WAVEFORMATEX) + wfx.cbSize)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (wfx.nChannels == 0 || wfx.nChannels > 8 || wfx.nSamplesPerSec == 0 || wfx.nBlockAlign == 0)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (mt.subtype != WaveFormatSubtype(wfx.wFormatTag)) return VFW_E_TYPE_NOT_ACCEPTED;
    AVCodecID id;
    if (wfx.wFormatTag == WAVE_FORMAT_PCM) {
        id = PcmCodec(wfx.wBitsPerSample);
        if (wfx.nBlockAlign != wfx.nChannels * wfx.wBitsPerSample / 8) return VFW_E_TYPE_NOT_ACCEPTED;
        f->pcm = true;
    } else {
        const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
        id = av_codec_get_id(tables, wfx.wFormatTag);
    }
    if (id == AV_CODEC_ID_NONE) return VFW_E_TYPE_NOT_ACCEPTED;
    f->type = AVMEDIA_TYPE_AUDIO;
    f->codecId = id;
    f->codecTag = wfx.wFormatTag;
    f->sampleRate = static_cast<int>(wfx.nSamplesPerSec);
    f->channels = wfx.nChannels;
    // MP3 is stored a frame a chunk (no fixed sample size), as players expect; its nominal
    // block of one byte would make them time it by bytes.
    f->blockAlign = wfx.wFormatTag == WAVE_FORMAT_MPEGLAYER3 ? 0 : wfx.nBlockAlign;
    f->bitsPerSample = wfx.wBitsPerSample;
    f->bitRate = static_cast<int64_t>(wfx.nAvgBytesPerSec) * 8;
    f->timeBase = AVRational {1, f->sampleRate};
    if (wfx.wFormatTag != WAVE_FORMAT_PCM && wfx.cbSize)
        f->extradata.assign(mt.pbFormat + sizeof(WAVEFORMATEX), mt.pbFormat + sizeof(WAVEFORMATEX) + wfx.cbSize);
    return S_OK;
}

} // namespace

AVRational AviVideoTimeBase(REFERENCE_TIME avg)
{
    if (avg <= 0) return AVRational {1, 15};
    // Producers round UNITS / n either way.
    LONGLONG n = (UNITS + avg / 2) / avg;
    if (n > 0 && n <= 1000 && std::llabs(UNITS / n - avg) <= 1) return AVRational {1, static_cast<int>(n)};
    int num = 0, den = 0;
    av_reduce(&num, &den, avg, UNITS, INT32_MAX);
    return AVRational {num, den};
}

HRESULT AviStreamFormatFromMediaType(const AM_MEDIA_TYPE& mt, AviStreamFormat* pFormat)
{
    if (!pFormat) return E_POINTER;
    *pFormat = AviStreamFormat {};
    if (mt.majortype == MEDIATYPE_Video) return VideoFormat(mt, pFormat);
    if (mt.majortype == MEDIATYPE_Audio) return SoundFormat(mt, pFormat);
    return VFW_E_TYPE_NOT_ACCEPTED;
}

int AviStreamFormat::FillCodecParameters(AVCodecParameters* par) const
{
    par->codec_type = type;
    par->codec_id = codecId;
    par->codec_tag = codecTag;
    par->bits_per_coded_sample = bitsPerSample;
    if (type == AVMEDIA_TYPE_VIDEO) {
        par->width = width;
        par->height = height;
        par->format = pixelFormat;
    } else {
        par->sample_rate = sampleRate;
        av_channel_layout_default(&par->ch_layout, channels);
        par->block_align = blockAlign;
        par->bit_rate = bitRate;
    }
    if (!extradata.empty()) {
        par->extradata = static_cast<uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!par->extradata) return AVERROR(ENOMEM);
        std::memcpy(par->extradata, extradata.data(), extradata.size());
        par->extradata_size = static_cast<int>(extradata.size());
    }
    return 0;
}
