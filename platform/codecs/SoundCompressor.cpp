#include "platform/codecs/SoundCompressor.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cstring>
#include <new>

const std::array<SoundEncoderChoice, 6> kSoundEncoderChoices {{
    {L"PCM", nullptr, WAVE_FORMAT_PCM},
    {L"MPEG Layer-3", "libmp3lame", WAVE_FORMAT_MPEGLAYER3},
    {L"Microsoft ADPCM", "adpcm_ms", WAVE_FORMAT_ADPCM},
    {L"IMA ADPCM", "adpcm_ima_wav", WAVE_FORMAT_IMA_ADPCM},
    {L"CCITT A-Law", "pcm_alaw", WAVE_FORMAT_ALAW},
    {L"CCITT u-Law", "pcm_mulaw", WAVE_FORMAT_MULAW},
}};

namespace {

constexpr WORD MPEGLAYER3_ID_MPEG = 1;
constexpr DWORD MPEGLAYER3_FLAG_PADDING_ISO = 0;

// The sample formats we can fill, in the order we prefer them.
bool Fillable(AVSampleFormat f)
{
    return f == AV_SAMPLE_FMT_S16 || f == AV_SAMPLE_FMT_S16P || f == AV_SAMPLE_FMT_S32P || f == AV_SAMPLE_FMT_FLTP ||
           f == AV_SAMPLE_FMT_FLT;
}

AVSampleFormat ChooseSampleFormat(const AVCodec* codec)
{
    if (!codec->sample_fmts) return AV_SAMPLE_FMT_S16;
    for (AVSampleFormat preferred : {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S32P, AV_SAMPLE_FMT_FLTP,
                                     AV_SAMPLE_FMT_FLT})
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == preferred) return preferred;
    return AV_SAMPLE_FMT_NONE;
}

}  // namespace

int Mp3BitRate(DWORD samplesPerSec, WORD channels)
{
    // 64 kbit/s per channel at 44.1 kHz, in proportion below; all are valid MPEG-1/2/2.5 rates.
    int perChannel = samplesPerSec >= 32000 ? 64000 : samplesPerSec >= 16000 ? 32000 : 16000;
    return perChannel * std::max<int>(1, channels);
}

std::vector<DeviceEntry> ListSoundCompressors(const EncoderAvailable& available)
{
    std::vector<DeviceEntry> devices;
    for (const SoundEncoderChoice& choice : kSoundEncoderChoices) {
        if (choice.encoder && !available(choice.encoder)) continue;
        devices.push_back({choice.friendlyName, [choice](IBaseFilter** pp) { return CreateSoundCompressorFilter(choice, pp); }});
    }
    return devices;
}

HRESULT CreateSoundCompressorFilter(const SoundEncoderChoice& choice, IBaseFilter** ppFilter)
{
    if (!ppFilter) return E_POINTER;
    *ppFilter = nullptr;
    if (choice.encoder && !LibavHasEncoder(choice.encoder)) return E_FAIL;
    auto* filter = new (std::nothrow) CSoundCompressor(choice);
    if (!filter) return E_OUTOFMEMORY;
    filter->NonDelegatingAddRef();
    *ppFilter = filter;
    return S_OK;
}

CSoundCompressor::CSoundCompressor(const SoundEncoderChoice& choice)
    : CTransformFilter(L"Sound Compressor", nullptr, CLSID_SoundCompressorFilter), m_choice(choice)
{
}

CSoundCompressor::~CSoundCompressor() = default;

HRESULT CSoundCompressor::ReadInputFormat(const CMediaType* mt, WAVEFORMATEX* wfx)
{
    if (!mt) return E_POINTER;
    constexpr ULONG kWaveFormatSize = 16;  // WAVEFORMAT: a PCM block may leave out cbSize
    if (*mt->Type() != MEDIATYPE_Audio || *mt->Subtype() != MEDIASUBTYPE_PCM ||
        *mt->FormatType() != FORMAT_WaveFormatEx || !mt->Format() || mt->FormatLength() < kWaveFormatSize)
        return VFW_E_TYPE_NOT_ACCEPTED;
    WAVEFORMATEX in {};
    std::memcpy(&in, mt->Format(), std::min<std::size_t>(mt->FormatLength(), sizeof(in)));
    in.cbSize = 0;
    bool rateOk = in.nSamplesPerSec == 11025 || in.nSamplesPerSec == 22050 || in.nSamplesPerSec == 44100;
    // The block and byte rate must agree with the rest: the buffering trusts them.
    if (in.wFormatTag != WAVE_FORMAT_PCM || (in.nChannels != 1 && in.nChannels != 2) ||
        (in.wBitsPerSample != 8 && in.wBitsPerSample != 16) || !rateOk ||
        in.nBlockAlign != in.nChannels * in.wBitsPerSample / 8 || in.nAvgBytesPerSec != in.nSamplesPerSec * in.nBlockAlign)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (wfx) *wfx = in;
    return S_OK;
}

HRESULT CSoundCompressor::CheckInputType(const CMediaType* mtIn)
{
    return ReadInputFormat(mtIn, nullptr);
}

HRESULT CSoundCompressor::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt)
{
    if (direction != PINDIR_INPUT) return S_OK;
    HRESULT hr = ReadInputFormat(pmt, &m_in);
    if (FAILED(hr)) return hr;
    m_encoder.reset();
    return S_OK;
}

HRESULT CSoundCompressor::BreakConnect(PIN_DIRECTION direction)
{
    if (direction == PINDIR_INPUT) {
        m_encoder.reset();
        m_in = WAVEFORMATEX {};
    }
    return S_OK;
}

HRESULT CSoundCompressor::OpenEncoder()
{
    m_encoder.reset();
    m_bEncoderUsed = false;
    if (!m_choice.encoder) return S_OK;
    if (m_in.nSamplesPerSec == 0) return VFW_E_NOT_CONNECTED;
    const AVCodec* codec = avcodec_find_encoder_by_name(m_choice.encoder);
    if (!codec) return E_FAIL;
    AVSampleFormat format = ChooseSampleFormat(codec);
    if (!Fillable(format)) return E_FAIL;
    AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) return E_OUTOFMEMORY;
    ctx->sample_rate = static_cast<int>(m_in.nSamplesPerSec);
    av_channel_layout_default(&ctx->ch_layout, m_in.nChannels);
    ctx->sample_fmt = format;
    ctx->time_base = {1, ctx->sample_rate};
    if (m_choice.formatTag == WAVE_FORMAT_MPEGLAYER3) ctx->bit_rate = Mp3BitRate(m_in.nSamplesPerSec, m_in.nChannels);
    AvDictionary opts;
    if (m_choice.formatTag == WAVE_FORMAT_ADPCM || m_choice.formatTag == WAVE_FORMAT_IMA_ADPCM) {
        // The platform's block sizes: 256 bytes per channel at 11 kHz, in proportion above, so
        // a block lasts about 23 ms at every rate.
        int block = 256 * m_in.nChannels * std::max<int>(1, static_cast<int>(m_in.nSamplesPerSec / 11025));
        av_dict_set_int(&opts.p, "block_size", block, 0);
    }
    int err = avcodec_open2(ctx.get(), codec, &opts.p);
    if (err < 0) return HResultFromAv(err);
    // Encoders that take any frame length get at most a tenth of a second at a time.
    m_frameSamples = ctx->frame_size > 0 ? ctx->frame_size : static_cast<int>(m_in.nSamplesPerSec / 10);
    m_encoder = std::move(ctx);
    return S_OK;
}

HRESULT CSoundCompressor::BuildOutputType(CMediaType* mt) const
{
    *mt = CMediaType();
    mt->SetType(&MEDIATYPE_Audio);
    mt->SetFormatType(&FORMAT_WaveFormatEx);
    GUID subtype = WaveFormatSubtype(m_choice.formatTag);
    mt->SetSubtype(&subtype);
    WAVEFORMATEX wfx = m_in;
    wfx.wFormatTag = m_choice.formatTag;
    wfx.cbSize = 0;
    std::vector<BYTE> extra;
    if (m_choice.encoder) {
        if (!m_encoder) return E_UNEXPECTED;
        const AVCodecContext& c = *m_encoder;
        switch (m_choice.formatTag) {
        case WAVE_FORMAT_MPEGLAYER3: {
            wfx.nAvgBytesPerSec = static_cast<DWORD>(c.bit_rate / 8);
            wfx.nBlockAlign = 1;  // a byte stream, as the platform's own MP3 codec states it
            wfx.wBitsPerSample = 0;
            MPEGLAYER3WAVEFORMAT mp3 {};
            mp3.wID = MPEGLAYER3_ID_MPEG;
            mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
            mp3.nBlockSize = static_cast<WORD>(c.frame_size / 8 * c.bit_rate / c.sample_rate);
            mp3.nFramesPerBlock = 1;
            mp3.nCodecDelay = static_cast<WORD>(c.initial_padding);
            const BYTE* p = reinterpret_cast<const BYTE*>(&mp3) + sizeof(WAVEFORMATEX);
            extra.assign(p, p + sizeof(mp3) - sizeof(WAVEFORMATEX));
            break;
        }
        case WAVE_FORMAT_ADPCM:
        case WAVE_FORMAT_IMA_ADPCM: {
            wfx.nBlockAlign = static_cast<WORD>(c.block_align);
            wfx.wBitsPerSample = 4;
            wfx.nAvgBytesPerSec = static_cast<DWORD>(int64_t(c.block_align) * c.sample_rate / c.frame_size);
            if (c.extradata_size > 0) {
                // The coefficient table the encoder made, as the AVI header keeps it.
                extra.assign(c.extradata, c.extradata + c.extradata_size);
            } else {
                WORD samplesPerBlock = static_cast<WORD>(c.frame_size);
                extra.resize(sizeof(samplesPerBlock));
                std::memcpy(extra.data(), &samplesPerBlock, sizeof(samplesPerBlock));
            }
            break;
        }
        default:  // A-law, u-law: one byte per sample
            wfx.nBlockAlign = static_cast<WORD>(c.block_align > 0 ? c.block_align : m_in.nChannels);
            wfx.wBitsPerSample = 8;
            wfx.nAvgBytesPerSec = m_in.nSamplesPerSec * wfx.nBlockAlign;
            break;
        }
    }
    wfx.cbSize = static_cast<WORD>(extra.size());
    BYTE* p = mt->AllocFormatBuffer(static_cast<ULONG>(sizeof(WAVEFORMATEX) + extra.size()));
    if (!p) return E_OUTOFMEMORY;
    std::memcpy(p, &wfx, sizeof(wfx));
    if (!extra.empty()) std::memcpy(p + sizeof(wfx), extra.data(), extra.size());
    if (m_choice.formatTag == WAVE_FORMAT_MPEGLAYER3) {
        mt->SetVariableSize();
        mt->lSampleSize = 0;
    } else {
        mt->SetSampleSize(wfx.nBlockAlign);
    }
    return S_OK;
}

HRESULT CSoundCompressor::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    if (!pMediaType) return E_POINTER;
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    if (m_choice.encoder && !m_encoder) {
        HRESULT hr = OpenEncoder();
        if (FAILED(hr)) return hr;
    }
    return BuildOutputType(pMediaType);
}

HRESULT CSoundCompressor::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    if (!mtIn || !mtOut) return E_POINTER;
    HRESULT hr = ReadInputFormat(mtIn, nullptr);
    if (FAILED(hr)) return hr;
    if (m_choice.encoder && !m_encoder) {
        hr = OpenEncoder();
        if (FAILED(hr)) return hr;
    }
    CMediaType ours;
    hr = BuildOutputType(&ours);
    if (FAILED(hr)) return hr;
    return ours == *mtOut ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

LONG CSoundCompressor::OutputBufferSize() const
{
    LONG block = std::max<LONG>(1, m_in.nBlockAlign);
    if (!m_choice.encoder) return std::max<LONG>(block, static_cast<LONG>(m_in.nAvgBytesPerSec / 2) / block * block);
    LONG frameBytes = static_cast<LONG>(m_frameSamples) * m_in.nChannels * 2;
    return std::max<LONG>({8192, frameBytes, m_encoder ? m_encoder->block_align : 0});
}

HRESULT CSoundCompressor::DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pProp)
{
    if (!pAllocator || !pProp) return E_POINTER;
    pProp->cBuffers = std::max<LONG>(pProp->cBuffers, 4);
    pProp->cbBuffer = std::max<LONG>(pProp->cbBuffer, OutputBufferSize());
    if (pProp->cbAlign <= 0) pProp->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual {};
    HRESULT hr = pAllocator->SetProperties(pProp, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cbBuffer < pProp->cbBuffer || actual.cBuffers < 1) return E_FAIL;
    return S_OK;
}

HRESULT CSoundCompressor::StartStreaming()
{
    if (m_choice.encoder && (!m_encoder || m_bEncoderUsed)) {
        HRESULT hr = OpenEncoder();
        if (FAILED(hr)) return hr;
        if (m_pOutput->IsConnected()) {
            CMediaType ours;
            hr = BuildOutputType(&ours);
            if (FAILED(hr)) return hr;
            if (ours != OutputType()) return VFW_E_TYPE_NOT_ACCEPTED;
        }
    }
    m_packet.reset(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!m_packet || !m_frame) return E_OUTOFMEMORY;
    m_pending.clear();
    m_partial.clear();
    m_samplesIn = m_samplesOut = 0;
    return S_OK;
}

HRESULT CSoundCompressor::StopStreaming()
{
    m_pending.clear();
    m_partial.clear();
    m_frame.reset();
    m_packet.reset();
    return S_OK;
}

HRESULT CSoundCompressor::PassThrough(const BYTE* p, std::size_t cb)
{
    // Whole blocks only, as many per output sample as its buffer holds.
    const std::size_t block = m_in.nBlockAlign;
    const std::size_t chunkMax = static_cast<std::size_t>(OutputBufferSize());
    std::size_t whole = cb / block * block;
    for (std::size_t done = 0; done < whole;) {
        std::size_t chunk = std::min(chunkMax, whole - done);
        int64_t samples = static_cast<int64_t>(chunk / block);
        REFERENCE_TIME start = m_samplesOut * UNITS / m_in.nSamplesPerSec;
        REFERENCE_TIME stop = (m_samplesOut + samples) * UNITS / m_in.nSamplesPerSec;
        HRESULT hr = DeliverOutput(p + done, static_cast<LONG>(chunk), start, stop, true);
        if (FAILED(hr)) return hr;
        m_samplesOut += samples;
        done += chunk;
    }
    return S_OK;
}

HRESULT CSoundCompressor::Receive(IMediaSample* pSample)
{
    if (!m_packet) return VFW_E_WRONG_STATE;
    BYTE* p = nullptr;
    HRESULT hr = pSample->GetPointer(&p);
    if (FAILED(hr)) return hr;
    LONG length = pSample->GetActualDataLength();
    if (length < 0 || length > pSample->GetSize()) return E_INVALIDARG;

    // A sample frame split across input samples is joined first.
    std::vector<BYTE> joined;
    const BYTE* data = p;
    std::size_t cb = static_cast<std::size_t>(length);
    if (!m_partial.empty()) {
        joined = std::move(m_partial);
        joined.insert(joined.end(), p, p + cb);
        data = joined.data();
        cb = joined.size();
    }
    const std::size_t block = m_in.nBlockAlign;
    std::size_t whole = cb / block * block;
    m_partial.assign(data + whole, data + cb);

    if (!m_choice.encoder) return PassThrough(data, whole);

    std::size_t values = whole / (m_in.wBitsPerSample / 8);
    std::size_t at = m_pending.size();
    m_pending.resize(at + values);
    if (m_in.wBitsPerSample == 8) {
        for (std::size_t i = 0; i < values; ++i) m_pending[at + i] = static_cast<int16_t>((int(data[i]) - 128) << 8);
    } else {
        std::memcpy(m_pending.data() + at, data, values * sizeof(int16_t));
    }
    const std::size_t frameValues = static_cast<std::size_t>(m_frameSamples) * m_in.nChannels;
    while (m_pending.size() >= frameValues) {
        hr = EncodeFrame(m_frameSamples);
        if (FAILED(hr)) return hr;
    }
    // An encoder that takes any length gets the rest now: nothing waits for a stop that comes
    // after the multiplexer has stopped.
    if (m_encoder->frame_size == 0 && !m_pending.empty()) return EncodeFrame(static_cast<int>(m_pending.size() / m_in.nChannels));
    return S_OK;
}

HRESULT CSoundCompressor::EncodeFrame(int nSamples)
{
    const int channels = m_in.nChannels;
    // Encoders with a fixed frame size take a short last frame only if they say so; others get
    // it filled up with silence.
    int frameSamples = nSamples;
    const int caps = m_encoder->codec->capabilities;
    if (nSamples < m_frameSamples && m_encoder->frame_size > 0 &&
        !(caps & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)))
        frameSamples = m_frameSamples;

    AVFrame* frame = m_frame.get();
    av_frame_unref(frame);
    frame->nb_samples = frameSamples;
    frame->format = m_encoder->sample_fmt;
    frame->sample_rate = m_encoder->sample_rate;
    int err = av_channel_layout_copy(&frame->ch_layout, &m_encoder->ch_layout);
    if (err >= 0) err = av_frame_get_buffer(frame, 0);
    if (err < 0) return HResultFromAv(err);

    const int16_t* src = m_pending.data();
    auto sample = [&](int i, int c) -> int16_t { return i < nSamples ? src[i * channels + c] : 0; };
    switch (m_encoder->sample_fmt) {
    case AV_SAMPLE_FMT_S16:
        for (int i = 0; i < frameSamples; ++i)
            for (int c = 0; c < channels; ++c) reinterpret_cast<int16_t*>(frame->data[0])[i * channels + c] = sample(i, c);
        break;
    case AV_SAMPLE_FMT_S16P:
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < frameSamples; ++i) reinterpret_cast<int16_t*>(frame->data[c])[i] = sample(i, c);
        break;
    case AV_SAMPLE_FMT_S32P:
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < frameSamples; ++i) reinterpret_cast<int32_t*>(frame->data[c])[i] = int32_t(sample(i, c)) * 65536;
        break;
    case AV_SAMPLE_FMT_FLTP:
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < frameSamples; ++i) reinterpret_cast<float*>(frame->data[c])[i] = sample(i, c) / 32768.0f;
        break;
    case AV_SAMPLE_FMT_FLT:
        for (int i = 0; i < frameSamples; ++i)
            for (int c = 0; c < channels; ++c)
                reinterpret_cast<float*>(frame->data[0])[i * channels + c] = sample(i, c) / 32768.0f;
        break;
    default:
        return E_UNEXPECTED;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(nSamples) * channels);
    frame->pts = m_samplesIn;
    m_samplesIn += frameSamples;
    m_bEncoderUsed = true;
    err = avcodec_send_frame(m_encoder.get(), frame);
    if (err < 0) return HResultFromAv(err);
    return DeliverPackets();
}

HRESULT CSoundCompressor::DeliverPackets()
{
    for (;;) {
        int err = avcodec_receive_packet(m_encoder.get(), m_packet.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return S_OK;
        if (err < 0) return HResultFromAv(err);
        int64_t duration = m_packet->duration > 0 ? m_packet->duration : m_frameSamples;
        // Each packet's place in the coded stream, the encoder's start-up delay included: that is
        // where it plays from the file, and the times must rise strictly for the multiplexer.
        REFERENCE_TIME start = m_samplesOut * UNITS / m_in.nSamplesPerSec;
        REFERENCE_TIME stop = (m_samplesOut + duration) * UNITS / m_in.nSamplesPerSec;
        m_samplesOut += duration;
        HRESULT hr = DeliverOutput(m_packet->data, m_packet->size, start, stop, true);
        av_packet_unref(m_packet.get());
        if (FAILED(hr)) return hr;
    }
}

HRESULT CSoundCompressor::Drain()
{
    if (!m_choice.encoder || !m_encoder || !m_packet) return S_OK;
    HRESULT hr = S_OK;
    if (!m_pending.empty()) hr = EncodeFrame(static_cast<int>(m_pending.size() / m_in.nChannels));
    m_pending.clear();
    if (FAILED(hr)) return hr;
    m_bEncoderUsed = true;
    int err = avcodec_send_frame(m_encoder.get(), nullptr);
    if (err < 0 && err != AVERROR_EOF) return HResultFromAv(err);
    return DeliverPackets();
}
