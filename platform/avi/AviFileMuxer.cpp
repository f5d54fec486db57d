#include "platform/avi/AviFileMuxer.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr std::size_t kHeaderCapture = 64 * 1024;
constexpr int kIoBufferSize = 64 * 1024;
constexpr uint32_t kBitmapInfoHeaderSize = 40;

// How often the header is brought up to date while the file grows.
constexpr std::chrono::seconds kHeaderUpdateInterval {1};

#if LIBAVFORMAT_VERSION_MAJOR >= 61
using AvioWriteBuffer = const uint8_t*;
#else
using AvioWriteBuffer = uint8_t*;
#endif

int WriteThunk(void* opaque, AvioWriteBuffer buf, int size)
{
    return CAviFileMuxer::OnWrite(opaque, buf, size);
}

HRESULT HResultFromAvError(int err)
{
    if (err == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
    if (err == AVERROR(EINVAL)) return E_INVALIDARG;
    return E_FAIL;
}

} // namespace

CAviFileMuxer::~CAviFileMuxer()
{
    Free();
}

void CAviFileMuxer::Free()
{
    if (m_ctx) {
        m_ctx->pb = nullptr;
        avformat_free_context(m_ctx);
        m_ctx = nullptr;
    }
    if (m_pb) {
        av_freep(&m_pb->buffer);
        avio_context_free(&m_pb);
    }
}

int CAviFileMuxer::OnWrite(void* opaque, const uint8_t* buf, int size)
{
    auto* self = static_cast<CAviFileMuxer*>(opaque);
    // Once a write failed nothing more reaches the file: the finish decides what stays.
    if (FAILED(self->m_hrError)) return AVERROR(EIO);
    if (self->m_pos < static_cast<int64_t>(kHeaderCapture)) {
        std::size_t n = std::min<std::size_t>(size, kHeaderCapture - self->m_pos);
        if (self->m_header.size() < self->m_pos + n) self->m_header.resize(self->m_pos + n);
        std::memcpy(self->m_header.data() + self->m_pos, buf, n);
    }
    HRESULT hr = self->m_output->Write(buf, size);
    if (FAILED(hr)) {
        self->m_hrError = hr;
        return AVERROR(EIO);
    }
    // The muxer's own bytes come from its buffer (frames are written from theirs): a new RIFF
    // past 1 GiB starts one such write, its 'movi' list and the first chunk's header with it.
    if (buf == self->m_pb->buffer && size >= 24 && AviIsId(buf, "RIFF") && AviIsId(buf + 8, "AVIX") &&
        AviIsId(buf + 12, "LIST") && AviIsId(buf + 20, "movi"))
        self->m_riffSeen = self->m_pos;
    self->m_pos += size;
    self->m_given += size;
    return size;
}

int64_t CAviFileMuxer::OnSeek(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<CAviFileMuxer*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) return -1;
    if (FAILED(self->m_hrError)) return AVERROR(EIO);
    LONGLONG pos = 0;
    HRESULT hr = self->m_output->Seek(offset, whence, &pos);
    if (FAILED(hr)) {
        self->m_hrError = hr;
        return AVERROR(EIO);
    }
    self->m_pos = pos;
    return pos;
}

HRESULT CAviFileMuxer::Open(IFileWriterOutput* pOutput, const std::vector<AviStreamFormat>& streams)
{
    if (!pOutput) return E_POINTER;
    if (streams.empty()) return VFW_E_NOT_CONNECTED;
    m_output = ComPtr<IFileWriterOutput>(pOutput);
    HRESULT hr = m_output->GetBytesWritten(&m_given);
    if (FAILED(hr)) return hr;

    const AVOutputFormat* fmt = av_guess_format("avi", nullptr, nullptr);
    if (!fmt) return E_FAIL;
    int err = avformat_alloc_output_context2(&m_ctx, fmt, nullptr, nullptr);
    if (err < 0 || !m_ctx) return HResultFromAvError(err);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (!buffer) return E_OUTOFMEMORY;
    m_pb = avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr, &WriteThunk, &CAviFileMuxer::OnSeek);
    if (!m_pb) {
        av_free(buffer);
        return E_OUTOFMEMORY;
    }
    m_pb->direct = 1;  // a frame reaches the writer in one piece, not in buffer-sized ones
    m_ctx->pb = m_pb;
    m_ctx->flags |= AVFMT_FLAG_CUSTOM_IO;

    for (const AviStreamFormat& f : streams) {
        AVStream* st = avformat_new_stream(m_ctx, nullptr);
        if (!st) return E_OUTOFMEMORY;
        st->time_base = f.timeBase;
        if (f.type == AVMEDIA_TYPE_VIDEO) st->avg_frame_rate = av_inv_q(f.timeBase);
        err = f.FillCodecParameters(st->codecpar);
        if (err < 0) return HResultFromAvError(err);
        m_streams.push_back(Stream {f});
    }
    err = avformat_write_header(m_ctx, nullptr);
    if (err < 0) return FAILED(m_hrError) ? m_hrError : HResultFromAvError(err);
    avio_flush(m_pb);
    if (FAILED(m_hrError)) return m_hrError;
    m_layout = ParseAviHeader(m_header.data(), m_header.size());
    m_chunksEnd = avio_tell(m_pb);
    if (m_layout) m_riffMovi = m_layout->movi;
    m_nextUpdate = std::chrono::steady_clock::now() + kHeaderUpdateInterval;
    m_pending.push_back(Pending {m_chunksEnd, m_given, -1, 0, -1});
    ConfirmWritten();
    return m_layout && m_layout->strh.size() == m_streams.size() ? S_OK : E_FAIL;
}

HRESULT CAviFileMuxer::Write(int stream, const BYTE* pData, LONG cb, bool bKey, const REFERENCE_TIME* pStart,
                             const REFERENCE_TIME* pStop)
{
    if (!m_ctx || m_bFinished) return VFW_E_WRONG_STATE;
    if (FAILED(m_hrError)) return m_hrError;
    if (stream < 0 || stream >= static_cast<int>(m_streams.size())) return E_INVALIDARG;
    if (cb <= 0) return S_OK;  // an empty sample holds nothing to store
    Stream& s = m_streams[stream];
    AVStream* st = m_ctx->streams[stream];

    int64_t dts;
    if (s.format.type == AVMEDIA_TYPE_VIDEO) {
        dts = av_rescale_q(s.packets, s.format.timeBase, st->time_base);
    } else if (s.format.pcm) {
        dts = av_rescale_q(s.bytes / s.format.blockAlign, AVRational {1, s.format.sampleRate}, st->time_base);
    } else if (pStart) {
        dts = av_rescale_q(*pStart, AVRational {1, static_cast<int>(UNITS)}, st->time_base);
    } else {
        dts = s.lastDts + 1;
    }
    if (dts <= s.lastDts) dts = s.lastDts + 1;

    AVPacket* pkt = av_packet_alloc();
    if (!pkt) return E_OUTOFMEMORY;
    pkt->data = const_cast<uint8_t*>(pData);
    pkt->size = cb;
    pkt->stream_index = stream;
    pkt->pts = pkt->dts = dts;
    if (s.format.type != AVMEDIA_TYPE_VIDEO || s.format.everyFrameKey || bKey) pkt->flags |= AV_PKT_FLAG_KEY;
    int err = av_write_frame(m_ctx, pkt);
    av_packet_free(&pkt);
    if (err >= 0) avio_flush(m_pb);
    if (m_riffSeen >= 0) OnRiffStarted(std::exchange(m_riffSeen, -1));
    if (FAILED(m_hrError)) return m_hrError;
    if (err < 0 || m_pb->error < 0) {
        m_hrError = err < 0 ? HResultFromAvError(err) : E_FAIL;
        return m_hrError;
    }
    m_chunksEnd = avio_tell(m_pb);
    m_pending.push_back(Pending {m_chunksEnd, m_given, stream, cb, s.lastStop});
    s.lastDts = dts;
    ++s.packets;
    s.bytes += cb;
    if (pStop && s.format.type == AVMEDIA_TYPE_AUDIO) s.lastStop = std::max(s.lastStop, *pStop);
    ConfirmWritten();
    if (std::chrono::steady_clock::now() >= m_nextUpdate) UpdateHeader();
    return m_hrError;
}

uint32_t CAviFileMuxer::StreamLength(std::size_t i) const
{
    const Stream& s = m_streams[i];
    uint32_t sampleSize = AviLe32(m_header.data() + m_layout->strh[i] + AviHeaderLayout::kStrhSampleSize);
    return static_cast<uint32_t>(sampleSize ? s.bytes / sampleSize : s.packets);
}

CAviFileMuxer::Fields CAviFileMuxer::CurrentFields(int64_t end) const
{
    Fields fields;
    if (!m_layout || end < m_riffMovi + 12) return fields;
    fields.emplace_back(m_riffStart + 4, static_cast<uint32_t>(end - m_riffStart - 8));
    fields.emplace_back(m_riffMovi + 4, static_cast<uint32_t>(end - m_riffMovi - 8));
    int64_t frames = 0;
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        fields.emplace_back(m_layout->strh[i] + AviHeaderLayout::kStrhLength, StreamLength(i));
        if (m_streams[i].format.type == AVMEDIA_TYPE_VIDEO) frames = std::max(frames, m_streams[i].packets);
    }
    // The main header counts the first RIFF's frames; the OpenDML header all of them.
    if (m_riffCount == 1)
        fields.emplace_back(m_layout->avih + AviHeaderLayout::kAvihTotalFrames, static_cast<uint32_t>(frames));
    else if (m_layout->odml >= 0)
        fields.emplace_back(m_layout->odml + AviHeaderLayout::kOdmlTotalFrames, static_cast<uint32_t>(frames));
    return fields;
}

void CAviFileMuxer::UpdateHeader()
{
    if (!m_layout || m_bFinished || FAILED(m_hrError)) return;
    m_nextUpdate = std::chrono::steady_clock::now() + kHeaderUpdateInterval;
    Fields fields = CurrentFields(m_chunksEnd);
    if (m_riffCount == 1 && !m_bIndexFlagCleared) {
        // No index follows 'movi' until the muxer writes one: readers scan the chunks instead.
        uint32_t flags = AviLe32(m_header.data() + m_layout->avih + AviHeaderLayout::kAvihFlags);
        fields.emplace_back(m_layout->avih + AviHeaderLayout::kAvihFlags,
                            flags & ~(AviHeaderLayout::AVIF_HASINDEX | AviHeaderLayout::AVIF_MUSTUSEINDEX));
        m_bIndexFlagCleared = true;
    }
    for (const auto& [offset, value] : fields) {
        uint8_t bytes[4];
        AviPutLe32(bytes, value);
        HRESULT hr = m_output->WriteAt(offset, bytes, 4);
        if (FAILED(hr)) {
            m_hrError = hr;  // a failure of the writing behind, returned once: it is this file's
            return;
        }
    }
}

void CAviFileMuxer::OnRiffStarted(int64_t at)
{
    if (!m_layout) return;
    // The first RIFF is whole now, its index written: its header may claim it again.
    if (m_bIndexFlagCleared && SUCCEEDED(m_hrError)) {
        uint8_t flags[4];
        std::memcpy(flags, m_header.data() + m_layout->avih + AviHeaderLayout::kAvihFlags, 4);
        HRESULT hr = m_output->WriteAt(m_layout->avih + AviHeaderLayout::kAvihFlags, flags, 4);
        if (FAILED(hr)) m_hrError = hr;
        m_bIndexFlagCleared = false;
    }
    if (m_layout->odml >= 0 && SUCCEEDED(m_hrError)) {
        HRESULT hr = m_output->WriteAt(m_layout->odml, reinterpret_cast<const BYTE*>("LIST"), 4);
        if (FAILED(hr)) m_hrError = hr;
    }
    m_riffStart = at;
    m_riffMovi = at + 12;
    ++m_riffCount;
    m_nextUpdate = {};  // its sizes are placeholders until the next update
}

void CAviFileMuxer::ConfirmWritten()
{
    LONGLONG written = 0;
    if (FAILED(m_output->GetBytesWritten(&written))) return;
    while (!m_pending.empty() && m_pending.front().given <= written) {
        m_goodEnd = m_pending.front().end;
        m_pending.pop_front();
    }
}

void CAviFileMuxer::SettleAfterFailure()
{
    // A seek to the end waits for the writer, so its count is final; a failure it returns is
    // one the finish already knows of (or a later one of the same writing).
    LONGLONG end = 0;
    m_output->Seek(0, SEEK_END, &end);
    ConfirmWritten();
    // What is still pending never reached the file whole: the counts forget it, newest first.
    for (auto it = m_pending.rbegin(); it != m_pending.rend(); ++it) {
        if (it->stream < 0) continue;
        Stream& s = m_streams[it->stream];
        --s.packets;
        s.bytes -= it->cb;
        s.lastStop = it->lastStop;
    }
    m_pending.clear();
}

HRESULT CAviFileMuxer::Patch32(int64_t offset, uint32_t value)
{
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    HRESULT hr = m_output->Seek(offset, SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) hr = m_output->Write(bytes, 4);
    return hr;
}

HRESULT CAviFileMuxer::PatchHeader(int masterStream)
{
    if (!m_layout) return E_FAIL;
    HRESULT hr = S_OK;
    auto keep = [&](HRESULT h) { if (SUCCEEDED(hr) && FAILED(h)) hr = h; };
    for (std::size_t i = 0; i < m_streams.size(); ++i)
        if (m_streams[i].format.bitfields565) keep(Patch32(m_layout->strf[i], kBitmapInfoHeaderSize));

    if (masterStream < 0 || masterStream >= static_cast<int>(m_streams.size())) return hr;
    const Stream& master = m_streams[masterStream];
    if (master.format.type != AVMEDIA_TYPE_AUDIO || master.bytes == 0) return hr;
    // The sound's duration as num / den seconds.
    int64_t num, den;
    if (master.format.pcm) {
        num = master.bytes / master.format.blockAlign;
        den = master.format.sampleRate;
    } else if (master.lastStop > 0) {
        num = master.lastStop;
        den = UNITS;
    } else if (master.format.bitRate > 0) {
        num = master.bytes * 8;
        den = master.format.bitRate;
    } else {
        return hr;
    }
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        const Stream& v = m_streams[i];
        if (v.format.type != AVMEDIA_TYPE_VIDEO || v.packets == 0 || num <= 0) continue;
        // frames / rate == duration: rate = frames * den / num.
        int rate = 0, scale = 0;
        av_reduce(&rate, &scale, v.packets * den, num, INT32_MAX);
        if (rate <= 0 || scale <= 0) continue;
        keep(Patch32(m_layout->strh[i] + AviHeaderLayout::kStrhScale, static_cast<uint32_t>(scale)));
        keep(Patch32(m_layout->strh[i] + AviHeaderLayout::kStrhRate, static_cast<uint32_t>(rate)));
        if (m_layout->avih >= 0)
            keep(Patch32(m_layout->avih + AviHeaderLayout::kAvihMicroSecPerFrame,
                         static_cast<uint32_t>(av_rescale(1000000, scale, rate))));
        break;  // the main header describes the first video stream
    }
    return hr;
}

HRESULT CAviFileMuxer::FinishAfterFailure()
{
    // A cut before the 'movi' list of the RIFF being written (the muxer was closing the one
    // before) is only made; the program's repair finishes such a file.
    if (!m_layout || m_goodEnd <= m_riffMovi) return m_output->Truncate(m_goodEnd);
    HRESULT hr = m_output->Truncate(m_goodEnd);
    auto keep = [&](HRESULT h) { if (SUCCEEDED(hr) && FAILED(h)) hr = h; };
    // No index follows the chunks: readers scan 'movi'. Past the first RIFF, that one has its
    // index, but the last one is in none.
    if (m_riffCount == 1) {
        uint32_t flags = AviLe32(m_header.data() + m_layout->avih + AviHeaderLayout::kAvihFlags);
        flags &= ~(AviHeaderLayout::AVIF_HASINDEX | AviHeaderLayout::AVIF_MUSTUSEINDEX);
        keep(Patch32(m_layout->avih + AviHeaderLayout::kAvihFlags, flags));
    }
    for (const auto& [offset, value] : CurrentFields(m_goodEnd))
        keep(Patch32(offset, value));
    return hr;
}

HRESULT CAviFileMuxer::Finish(int masterStream)
{
    if (!m_output) return S_OK;
    if (m_bFinished) return m_hrError;
    m_bFinished = true;
    HRESULT hr = m_hrError;
    if (SUCCEEDED(hr) && m_ctx && m_layout) {
        int err = av_write_trailer(m_ctx);
        if (err >= 0) avio_flush(m_pb);
        if (FAILED(m_hrError)) hr = m_hrError;
        else if (err < 0 || m_pb->error < 0) hr = m_hrError = err < 0 ? HResultFromAvError(err) : E_FAIL;
        if (SUCCEEDED(hr)) {
            hr = PatchHeader(masterStream);
            if (m_bIndexFlagCleared) {  // the index is written now
                HRESULT hrFlags = Patch32(m_layout->avih + AviHeaderLayout::kAvihFlags,
                                          AviLe32(m_header.data() + m_layout->avih + AviHeaderLayout::kAvihFlags));
                if (SUCCEEDED(hr)) hr = hrFlags;
            }
        } else {
            SettleAfterFailure();
            FinishAfterFailure();
            if (m_goodEnd > m_layout->movi) PatchHeader(masterStream);
        }
    } else if (m_layout) {
        // Keep the whole chunks after the header, when the header itself reached the file.
        SettleAfterFailure();
        HRESULT hrCut = FinishAfterFailure();
        if (SUCCEEDED(hrCut) && m_goodEnd > m_layout->movi) PatchHeader(masterStream);
        if (SUCCEEDED(hr)) hr = hrCut;
    } else {
        m_output->Truncate(0);  // not even the header was written whole
    }
    Free();
    HRESULT hrEnd = m_output->EndOutput();
    m_output.Reset();
    return FAILED(hr) ? hr : hrEnd;
}
