#include "AviTestSupport.h"

#include "platform/avi/AviClasses.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/dshow/WaveFormat.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace avitest {

void AviClassesTest::SetUp()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    RegisterMediaGraphClasses();
    RegisterAviClasses();
}

void AviClassesTest::TearDown()
{
    CoUninitialize();
}

std::wstring Wide(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

CMediaType VideoType(int bits, int width, int height, REFERENCE_TIME avgTimePerFrame, bool b565)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto* vi = reinterpret_cast<VIDEOINFO*>(mt.AllocFormatBuffer(SIZE_VIDEOINFO));
    vi->AvgTimePerFrame = avgTimePerFrame;
    vi->bmiHeader = {40, width, height, 1, static_cast<WORD>(bits), b565 ? BI_BITFIELDS : BI_RGB, 0, 0, 0, 0, 0};
    vi->bmiHeader.biSizeImage = GetBitmapSize(&vi->bmiHeader);
    if (b565) {
        vi->dwBitMasks[0] = 0xF800;
        vi->dwBitMasks[1] = 0x07E0;
        vi->dwBitMasks[2] = 0x001F;
    }
    if (bits == 8) {
        vi->bmiHeader.biClrUsed = 256;
        for (int i = 0; i < 256; ++i)
            vi->bmiColors[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 7), 0};
    }
    GUID sub = GetBitmapSubtype(&vi->bmiHeader);
    mt.SetSubtype(&sub);
    mt.SetSampleSize(vi->bmiHeader.biSizeImage);
    return mt;
}

CMediaType PcmType(int rate, int channels, int bits)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_PCM);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    WAVEFORMATEX wfx {};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = static_cast<WORD>(channels);
    wfx.nSamplesPerSec = static_cast<DWORD>(rate);
    wfx.wBitsPerSample = static_cast<WORD>(bits);
    wfx.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    wfx.nAvgBytesPerSec = wfx.nSamplesPerSec * wfx.nBlockAlign;
    mt.SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof(wfx));
    mt.SetSampleSize(wfx.nBlockAlign);
    return mt;
}

CRecordingGraph::CRecordingGraph() : m_pSource(new CScriptedSource) {}

CRecordingGraph::~CRecordingGraph()
{
    if (m_control) m_control->Stop();
    m_sink.Reset();
    m_mux.Reset();
    m_events.Reset();
    m_control.Reset();
    m_builder.Reset();
    m_graph.Reset();
    m_pSource->Release();
}

HRESULT CRecordingGraph::Build(const std::wstring& file)
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  m_graph.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) return hr;
    hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                          m_builder.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) return hr;
    if (FAILED(hr = m_builder->SetFiltergraph(m_graph.Get()))) return hr;
    if (FAILED(hr = m_graph.As(m_control, IID_IMediaControl))) return hr;
    if (FAILED(hr = m_graph.As(m_events, IID_IMediaEvent))) return hr;
    hr = m_builder->SetOutputFileName(&MEDIASUBTYPE_Avi, file.c_str(), m_mux.ReleaseAndGetAddressOf(),
                                      m_sink.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    if (FAILED(hr = m_graph->AddFilter(m_pSource, L"Source"))) return hr;
    for (int i = 0; i < m_pSource->GetPinCount(); ++i) {
        hr = m_builder->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(m_pSource), nullptr, m_mux.Get());
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

long CRecordingGraph::RunToEnd(HRESULT* phrRun, int timeoutMs)
{
    HRESULT hr = m_control->Run();
    if (phrRun) *phrRun = hr;
    long code = 0;
    if (SUCCEEDED(hr) && FAILED(m_events->WaitForCompletion(timeoutMs, &code))) code = 0;
    m_control->Stop();
    return code;
}

std::string RunCommand(const std::string& command)
{
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return "popen failed";
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    pclose(p);
    return out;
}

std::string Probe(const std::string& file, const char* kind, const char* entry)
{
    std::string out = RunCommand(std::string("ffprobe -v error -count_frames -select_streams ") + kind +
                          ":0 -show_entries stream=" + entry + " -of default=nw=1:nk=1 '" + file + "'");
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

double StreamEnd(const std::string& file, const char* kind)
{
    std::string out = RunCommand(std::string("ffprobe -v error -select_streams ") + kind +
                                 ":0 -show_entries packet=pts_time,duration_time -of csv=p=0 '" + file + "'");
    double end = -1;
    std::size_t pos = 0;
    while (pos < out.size()) {
        std::size_t eol = out.find('\n', pos);
        if (eol == std::string::npos) eol = out.size();
        std::string line = out.substr(pos, eol - pos);
        double pts = 0, duration = 0;
        if (std::sscanf(line.c_str(), "%lf,%lf", &pts, &duration) == 2) end = std::max(end, pts + duration);
        pos = eol + 1;
    }
    return end;
}

std::vector<uint8_t> ReadBytes(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Le32At(const std::vector<uint8_t>& b, std::size_t o)
{
    if (o + 4 > b.size()) return 0xFFFFFFFFu;
    return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | static_cast<uint32_t>(b[o + 3]) << 24;
}

std::vector<StoredPacket> ReadPackets(const std::string& file, int mediaType)
{
    std::vector<StoredPacket> out;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, file.c_str(), nullptr, nullptr) < 0) return out;
    int index = av_find_best_stream(fmt, static_cast<AVMediaType>(mediaType), -1, -1, nullptr, 0);
    AVPacket* pkt = av_packet_alloc();
    while (index >= 0 && av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == index)
            out.push_back({std::vector<uint8_t>(pkt->data, pkt->data + pkt->size), (pkt->flags & AV_PKT_FLAG_KEY) != 0});
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return out;
}

DecodedVideo DecodeVideo(const std::string& file, int bytesPerPixel)
{
    DecodedVideo out;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, file.c_str(), nullptr, nullptr) < 0) return out;
    avformat_find_stream_info(fmt, nullptr);
    const AVCodec* codec = nullptr;
    int index = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    AVCodecContext* ctx = index >= 0 && codec ? avcodec_alloc_context3(codec) : nullptr;
    if (ctx && avcodec_parameters_to_context(ctx, fmt->streams[index]->codecpar) >= 0 &&
        avcodec_open2(ctx, codec, nullptr) >= 0) {
        AVPacket* pkt = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        auto drain = [&] {
            while (avcodec_receive_frame(ctx, frame) >= 0) {
                out.width = frame->width;
                out.height = frame->height;
                const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format));
                out.pixelFormat = name ? name : "?";
                std::vector<uint8_t> pixels;
                for (int y = 0; y < frame->height; ++y) {
                    const uint8_t* row = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
                    pixels.insert(pixels.end(), row, row + frame->width * bytesPerPixel);
                }
                out.frames.push_back(std::move(pixels));
                if (out.palette.empty() && frame->format == AV_PIX_FMT_PAL8 && frame->data[1]) {
                    out.palette.resize(256);
                    std::memcpy(out.palette.data(), frame->data[1], 1024);
                }
                av_frame_unref(frame);
            }
        };
        while (av_read_frame(fmt, pkt) >= 0) {
            if (pkt->stream_index == index && avcodec_send_packet(ctx, pkt) >= 0) drain();
            av_packet_unref(pkt);
        }
        avcodec_send_packet(ctx, nullptr);
        drain();
        av_frame_free(&frame);
        av_packet_free(&pkt);
    }
    avcodec_free_context(&ctx);
    avformat_close_input(&fmt);
    return out;
}

} // namespace avitest
