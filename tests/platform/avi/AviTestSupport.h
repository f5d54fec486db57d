#pragma once
// Helpers of the AVI tests: media types as the capture pin and the sound capture offer them, a
// recording graph built the way the program builds it, and readers of the written file (ffprobe,
// ffmpeg, libavformat decoding, header bytes).
#include "ScriptedSource.h"
#include "platform/com/ComPtr.h"
#include "platform/dshow/CaptureInterfaces.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace avitest {

// Each test with the media graph's and the AVI writer's classes registered, and a folder of its
// own for the files it writes.
class AviClassesTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    testsupport::TempDir m_dir;
};

std::wstring Wide(const std::string& s);

// Uncompressed bottom-up video; bits 16 is RGB555 unless b565.
CMediaType VideoType(int bits, int width, int height, REFERENCE_TIME avgTimePerFrame, bool b565 = false);
CMediaType PcmType(int rate, int channels, int bits);

// Filter Graph + Capture Graph Builder + AVI Mux + File Writer with a scripted source whose pins
// are rendered to the multiplexer in order.
class CRecordingGraph {
public:
    CRecordingGraph();
    ~CRecordingGraph();
    CScriptedSource* Source() { return m_pSource; }
    HRESULT Build(const std::wstring& file);
    // Runs until every stream ended (or the graph reports an error), then stops. The code of
    // the event that ended the run, 0 when none came.
    long RunToEnd(HRESULT* phrRun = nullptr, int timeoutMs = 20000);

    ComPtr<IGraphBuilder> m_graph;
    ComPtr<ICaptureGraphBuilder2> m_builder;
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaEvent> m_events;
    ComPtr<IBaseFilter> m_mux;
    ComPtr<IFileSinkFilter> m_sink;

private:
    CScriptedSource* m_pSource;
};

std::string RunCommand(const std::string& command);  // stdout and stderr together
// ffprobe's value of one entry of the first stream of a kind ("v" or "a").
std::string Probe(const std::string& file, const char* kind, const char* entry);
// Where the last packet of the first stream of a kind ends, in seconds, as a reader times it.
double StreamEnd(const std::string& file, const char* kind);
std::vector<uint8_t> ReadBytes(const std::string& file);
uint32_t Le32At(const std::vector<uint8_t>& bytes, std::size_t offset);

struct StoredPacket {
    std::vector<uint8_t> data;
    bool key = false;
};
// The packets of the first stream of a type, as the demuxer reads them.
std::vector<StoredPacket> ReadPackets(const std::string& file, int mediaType);

struct DecodedVideo {
    int width = 0, height = 0;
    std::string pixelFormat;
    std::vector<std::vector<uint8_t>> frames;  // each top-down, width * bytes per pixel a row
    std::vector<uint32_t> palette;             // of the first frame (PAL8)
};
DecodedVideo DecodeVideo(const std::string& file, int bytesPerPixel);

} // namespace avitest
