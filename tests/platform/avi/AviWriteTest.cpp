// Recording graphs that write AVI files: what readers find in the file, the rate fields the
// program patches or relies on, the master stream, and failures while writing.
#include "AviTestSupport.h"
#include "platform/avi/AviClasses.h"
#include "platform/avi/AviRepair.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/TaskMemory.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/dshow/WaveFormat.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace avitest;

namespace {

class AviWriteTest : public AviClassesTest {};

// Pixel bytes of frame i: every byte differs between frames, rows and columns.
BYTE PixelByte(int i, int x, int y, int c) { return static_cast<BYTE>(i * 31 + x * 7 + y * 13 + c * 101); }

FillFunction VideoFill(int width, int height, int bits)
{
    return [=](int i, BYTE* p, LONG) -> LONG {
        DWORD stride = DibStride(width, bits);
        int bpp = bits / 8;
        std::memset(p, 0, stride * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < bpp; ++c) p[y * stride + x * bpp + c] = PixelByte(i, x, y, c);
        return static_cast<LONG>(stride * height);
    };
}

FillFunction PcmFill(int samplesPerPacket, int blockAlign)
{
    return [=](int i, BYTE* p, LONG) -> LONG {
        for (int n = 0; n < samplesPerPacket * blockAlign; ++n) p[n] = static_cast<BYTE>(i + n);
        return samplesPerPacket * blockAlign;
    };
}

struct PixelCase {
    const char* name;
    int bits;
    bool b565;
    const char* pixelFormat;
};

class AviPixelTest : public AviWriteTest, public ::testing::WithParamInterface<PixelCase> {};

TEST_P(AviPixelTest, FramesDecodeToTheSourcePixels)
{
    const PixelCase& pc = GetParam();
    constexpr int W = 37, H = 9, N = 6;  // odd width: rows are padded to 4 bytes
    std::string file = m_dir.file("pixels.avi");
    CRecordingGraph g;
    CMediaType mt = VideoType(pc.bits, W, H, UNITS / 15, pc.b565);
    g.Source()->Add(L"Video", mt, static_cast<LONG>(mt.GetSampleSize()), N, VideoFill(W, H, pc.bits));
    ASSERT_EQ(g.Build(Wide(file)), S_OK);
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing is written while stopped";
    ASSERT_EQ(g.RunToEnd(), EC_COMPLETE);

    EXPECT_EQ(Probe(file, "v", "codec_name"), "rawvideo");
    EXPECT_EQ(Probe(file, "v", "width"), std::to_string(W));
    EXPECT_EQ(Probe(file, "v", "height"), std::to_string(H));
    EXPECT_EQ(Probe(file, "v", "nb_read_frames"), std::to_string(N));
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null -"), "");

    std::vector<uint8_t> bytes = ReadBytes(file);
    // strf of the only stream: BITMAPINFOHEADER right after 'strf' and its size.
    auto strf = std::search(bytes.begin(), bytes.end(), "strf", "strf" + 4) - bytes.begin();
    ASSERT_LT(static_cast<std::size_t>(strf), bytes.size());
    EXPECT_EQ(Le32At(bytes, strf + 8), 40u) << "a standard 40-byte header";
    EXPECT_EQ(static_cast<int32_t>(Le32At(bytes, strf + 16)), H) << "positive height: rows stored bottom-up";
    EXPECT_EQ(Le32At(bytes, strf + 24), pc.b565 ? BI_BITFIELDS : BI_RGB);
    if (pc.b565) {
        EXPECT_EQ(Le32At(bytes, strf + 48), 0xF800u);
        EXPECT_EQ(Le32At(bytes, strf + 52), 0x07E0u);
        EXPECT_EQ(Le32At(bytes, strf + 56), 0x001Fu);
    }

    int bpp = pc.bits / 8;
    DecodedVideo video = DecodeVideo(file, bpp);
    EXPECT_EQ(video.pixelFormat, pc.pixelFormat);
    ASSERT_EQ(video.frames.size(), static_cast<std::size_t>(N));
    for (int i = 0; i < N; ++i) {
        int wrong = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                for (int c = 0; c < bpp; ++c)
                    // Decoded rows are top-down; the source's first row is the bottom one.
                    wrong += video.frames[i][(H - 1 - y) * W * bpp + x * bpp + c] != PixelByte(i, x, y, c);
        EXPECT_EQ(wrong, 0) << "frame " << i;
    }
    if (pc.bits == 8) {
        ASSERT_EQ(video.palette.size(), 256u);
        const auto* vi = reinterpret_cast<const VIDEOINFO*>(mt.Format());
        for (int i = 0; i < 256; ++i) {
            const RGBQUAD& q = vi->bmiColors[i];
            EXPECT_EQ(video.palette[i] & 0xFFFFFF, static_cast<uint32_t>(q.rgbRed << 16 | q.rgbGreen << 8 | q.rgbBlue))
                << "entry " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, AviPixelTest,
                         ::testing::Values(PixelCase {"RGB32", 32, false, "bgra"}, PixelCase {"RGB24", 24, false, "bgr24"},
                                           PixelCase {"RGB565", 16, true, "rgb565le"},
                                           PixelCase {"RGB555", 16, false, "rgb555le"},
                                           PixelCase {"RGB8", 8, false, "pal8"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The program patches byte 132 with the measured rate: it must be the video stream's dwRate,
// with dwScale 1 before it.
TEST_F(AviWriteTest, VideoRateFieldsSitAtOffsets128And132)
{
    struct Case {
        REFERENCE_TIME avg;
        uint32_t rate;
    };
    for (Case c : {Case {UNITS / 15, 15}, Case {UNITS / 25, 25}, Case {0, 15}, Case {UNITS / 30, 30}}) {
        std::string file = m_dir.file("rate" + std::to_string(c.rate) + "_" + std::to_string(c.avg) + ".avi");
        CRecordingGraph g;
        CMediaType mt = VideoType(32, 16, 8, c.avg);
        g.Source()->Add(L"Video", mt, static_cast<LONG>(mt.GetSampleSize()), 3, VideoFill(16, 8, 32));
        ASSERT_EQ(g.Build(Wide(file)), S_OK);
        ASSERT_EQ(g.RunToEnd(), EC_COMPLETE);
        std::vector<uint8_t> bytes = ReadBytes(file);
        ASSERT_GT(bytes.size(), 136u);
        EXPECT_EQ(std::string(bytes.begin() + 100, bytes.begin() + 104), "strh");
        EXPECT_EQ(std::string(bytes.begin() + 108, bytes.begin() + 112), "vids");
        EXPECT_EQ(Le32At(bytes, 128), 1u) << "avg " << c.avg;
        EXPECT_EQ(Le32At(bytes, 132), c.rate) << "avg " << c.avg;
        EXPECT_EQ(Le32At(bytes, 32), 1000000u / c.rate) << "avih dwMicroSecPerFrame";
    }
}

struct MasterCase {
    int frames;
    int soundPackets;  // of 800 samples at 8000 Hz: 0.1 s each
    uint32_t rate, scale;
};

class AviMasterTest : public AviWriteTest, public ::testing::WithParamInterface<MasterCase> {};

TEST_P(AviMasterTest, VideoRateFollowsTheSoundDuration)
{
    const MasterCase& mc = GetParam();
    std::string file = m_dir.file("master.avi");
    CRecordingGraph g;
    CMediaType video = VideoType(24, 16, 8, UNITS / 15);
    g.Source()->Add(L"Video", video, static_cast<LONG>(video.GetSampleSize()), mc.frames, VideoFill(16, 8, 24));
    CScriptedStream* sound = g.Source()->Add(L"Sound", PcmType(8000, 1, 16), 1600, mc.soundPackets, PcmFill(800, 2));
    sound->SetSoundTiming(8000, 2);
    ASSERT_EQ(g.Build(Wide(file)), S_OK);
    ComPtr<IConfigAviMux> config;
    ASSERT_EQ(g.m_mux.As(config, IID_IConfigAviMux), S_OK);
    ASSERT_EQ(config->SetMasterStream(1), S_OK);
    ASSERT_EQ(g.RunToEnd(), EC_COMPLETE);

    std::vector<uint8_t> bytes = ReadBytes(file);
    EXPECT_EQ(Le32At(bytes, 128), mc.scale);
    EXPECT_EQ(Le32At(bytes, 132), mc.rate);
    double soundSeconds = mc.soundPackets * 0.1;
    double videoSeconds = mc.frames * static_cast<double>(mc.scale) / mc.rate;
    EXPECT_NEAR(videoSeconds, soundSeconds, 1e-6);
    // Readers agree: both streams last as long, within a frame.
    EXPECT_NEAR(StreamEnd(file, "v"), soundSeconds, static_cast<double>(mc.scale) / mc.rate);
    EXPECT_NEAR(StreamEnd(file, "a"), soundSeconds, 1e-3);
    EXPECT_EQ(Probe(file, "v", "nb_read_frames"), std::to_string(mc.frames));
    EXPECT_EQ(Probe(file, "a", "codec_name"), "pcm_s16le");
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null -"), "");
}

INSTANTIATE_TEST_SUITE_P(Durations, AviMasterTest,
                         ::testing::Values(MasterCase {30, 30, 10, 1},   // 30 frames in 3 s
                                           MasterCase {30, 32, 75, 8},   // 3.2 s: 9.375 fps
                                           MasterCase {12, 5, 24, 1}));  // faster than written

TEST_F(AviWriteTest, WithoutMasterTheWrittenRateStays)
{
    std::string file = m_dir.file("nomaster.avi");
    CRecordingGraph g;
    CMediaType video = VideoType(24, 16, 8, UNITS / 15);
    g.Source()->Add(L"Video", video, static_cast<LONG>(video.GetSampleSize()), 30, VideoFill(16, 8, 24));
    g.Source()->Add(L"Sound", PcmType(8000, 1, 16), 1600, 10, PcmFill(800, 2))->SetSoundTiming(8000, 2);
    ASSERT_EQ(g.Build(Wide(file)), S_OK);
    ComPtr<IConfigAviMux> config;
    ASSERT_EQ(g.m_mux.As(config, IID_IConfigAviMux), S_OK);
    LONG master = 0;
    EXPECT_EQ(config->GetMasterStream(&master), S_OK);
    EXPECT_EQ(master, -1);
    ASSERT_EQ(g.RunToEnd(), EC_COMPLETE);
    std::vector<uint8_t> bytes = ReadBytes(file);
    EXPECT_EQ(Le32At(bytes, 128), 1u);
    EXPECT_EQ(Le32At(bytes, 132), 15u);
    EXPECT_NEAR(StreamEnd(file, "a"), 1.0, 1e-3);
    EXPECT_NEAR(StreamEnd(file, "v"), 2.0, 1e-3);
}

TEST_F(AviWriteTest, SecondRunAfterSetFileNameWritesASecondCompleteFile)
{
    std::string first = m_dir.file("first.avi"), second = m_dir.file("second.avi");
    CRecordingGraph g;
    CMediaType mt = VideoType(32, 16, 8, UNITS / 15);
    g.Source()->Add(L"Video", mt, static_cast<LONG>(mt.GetSampleSize()), 5, VideoFill(16, 8, 32));
    ASSERT_EQ(g.Build(Wide(first)), S_OK);
    ASSERT_EQ(g.RunToEnd(), EC_COMPLETE);
    auto firstSize = std::filesystem::file_size(first);

    ASSERT_EQ(g.m_sink->SetFileName(Wide(second).c_str(), nullptr), S_OK);
    LPOLESTR name = nullptr;
    ASSERT_EQ(g.m_sink->GetCurFile(&name, nullptr), S_OK);
    EXPECT_EQ(std::wstring(name), Wide(second));
    CoTaskMemFree(name);
    EXPECT_FALSE(std::filesystem::exists(second));
    ASSERT_EQ(g.RunToEnd(), EC_COMPLETE);

    EXPECT_EQ(std::filesystem::file_size(first), firstSize) << "the first file is left alone";
    for (const std::string& f : {first, second}) {
        EXPECT_EQ(Probe(f, "v", "nb_read_frames"), "5") << f;
        EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + f + "' -f null -"), "") << f;
    }
}

TEST_F(AviWriteTest, RecordingIntoAMissingFolderFailsAtRunAndReportsIt)
{
    std::string file = m_dir.file("missing/folder/x.avi");
    CRecordingGraph g;
    CMediaType mt = VideoType(32, 16, 8, UNITS / 15);
    g.Source()->Add(L"Video", mt, static_cast<LONG>(mt.GetSampleSize()), 5, VideoFill(16, 8, 32));
    ASSERT_EQ(g.Build(Wide(file)), S_OK);
    HRESULT hrRun = S_OK;
    g.RunToEnd(&hrRun, 1000);
    EXPECT_TRUE(FAILED(hrRun));
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(g.m_events->GetEvent(&code, &p1, &p2, 1000), S_OK);
    EXPECT_EQ(code, EC_ERRORABORT);
    EXPECT_EQ(static_cast<HRESULT>(p1), hrRun);
    OAFilterState state = -1;
    g.m_control->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_FALSE(std::filesystem::exists(file));
}

// The file size limit makes write() fail with EFBIG part way, as a full disk would.
TEST_F(AviWriteTest, WriteFailureAbortsTheRecordingAndLeavesAReadableFile)
{
    constexpr int W = 64, H = 64, N = 40;  // 16 KiB a frame, 640 KiB in all
    constexpr rlim_t kLimit = 200 * 1024;
    std::string file = m_dir.file("full.avi");
    std::string report = m_dir.file("report.txt");
    pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit {kLimit, kLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        long code = 0;
        int ok = 0, failed = 0, afterFailure = 0;
        {
            CRecordingGraph g;
            CMediaType mt = VideoType(32, W, H, UNITS / 15);
            CScriptedStream* s = g.Source()->Add(L"Video", mt, static_cast<LONG>(mt.GetSampleSize()), N, VideoFill(W, H, 32));
            if (FAILED(g.Build(Wide(file)))) _exit(2);
            code = g.RunToEnd(nullptr, 10000);
            for (HRESULT hr : s->Results()) {
                if (failed) ++afterFailure;
                if (SUCCEEDED(hr)) ++ok;
                else ++failed;
            }
        }
        // The report is small and goes below the limit (a new file).
        std::ofstream(report) << code << ' ' << ok << ' ' << failed << ' ' << afterFailure << '\n';
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the recording process crashed (signal " << WTERMSIG(status) << ")";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    long code = 0;
    int ok = 0, failed = 0, afterFailure = 0;
    std::ifstream(report) >> code >> ok >> failed >> afterFailure;
    EXPECT_EQ(code, EC_ERRORABORT);
    EXPECT_EQ(failed, 1) << "Receive returned an error";
    EXPECT_EQ(afterFailure, 0) << "the source stops delivering once refused";
    EXPECT_GT(ok, 0);
    EXPECT_LT(ok, N);

    EXPECT_LE(std::filesystem::file_size(file), kLimit);
    // The file holds exactly the frames written whole, and says so.
    EXPECT_EQ(Probe(file, "v", "nb_read_frames"), std::to_string(ok));
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null -"), "");
    std::vector<uint8_t> bytes = ReadBytes(file);
    EXPECT_EQ(Le32At(bytes, 4), bytes.size() - 8) << "RIFF size";
    EXPECT_EQ(Le32At(bytes, 48), static_cast<uint32_t>(ok)) << "avih dwTotalFrames";
    EXPECT_EQ(Le32At(bytes, 140), static_cast<uint32_t>(ok)) << "strh dwLength";
}

TEST_F(AviWriteTest, AFileThatCannotHoldItsHeaderFailsTheRunAndStaysEmpty)
{
    std::string file = m_dir.file("tiny.avi");
    std::string report = m_dir.file("report.txt");
    pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit {1024, 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        HRESULT hrRun = S_OK;
        long code = 0;
        {
            CRecordingGraph g;
            CMediaType mt = VideoType(32, 16, 8, UNITS / 15);
            g.Source()->Add(L"Video", mt, static_cast<LONG>(mt.GetSampleSize()), 5, VideoFill(16, 8, 32));
            if (FAILED(g.Build(Wide(file)))) _exit(2);
            g.RunToEnd(&hrRun, 1000);
            LONG_PTR p1 = 0, p2 = 0;
            if (FAILED(g.m_events->GetEvent(&code, &p1, &p2, 1000))) code = 0;
        }
        std::ofstream(report) << hrRun << ' ' << code << '\n';
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    HRESULT hrRun = S_OK;
    long code = 0;
    std::ifstream(report) >> hrRun >> code;
    EXPECT_TRUE(FAILED(hrRun));
    EXPECT_EQ(code, EC_ERRORABORT);
    EXPECT_EQ(std::filesystem::file_size(file), 0u) << "no half header left behind";
}

// Past 1 GiB the muxer goes on in OpenDML 'AVIX' parts, seeking back through the writer for
// its indexes.
TEST_F(AviWriteTest, FilesPastOneGibibyteGoOnInOpenDmlParts)
{
    constexpr int W = 1280, H = 720, N = 300;  // 3.5 MiB a frame, 1.03 GiB in all
    std::string file = m_dir.file("large.avi");
    CRecordingGraph g;
    CMediaType mt = VideoType(32, W, H, UNITS / 15);
    // Before the last frame, the file as a crash would leave it: its header already describes
    // the second part, and it reads.
    std::vector<uint8_t> growing;
    std::string readGrowing;
    uint32_t secondPart = 0;
    g.Source()->Add(L"Video", mt, static_cast<LONG>(mt.GetSampleSize()), N, [&](int i, BYTE* p, LONG cb) -> LONG {
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
             i == N - 1 && std::chrono::steady_clock::now() < end;) {
            std::ifstream in(file, std::ios::binary);
            growing.assign(64 * 1024, 0);
            in.read(reinterpret_cast<char*>(growing.data()), 64 * 1024);
            const uint32_t first = Le32At(growing, 4);
            in.seekg(8 + static_cast<std::streamoff>(first) + 4);
            uint8_t size[4] = {};
            in.read(reinterpret_cast<char*>(size), 4);
            secondPart = Le32At(std::vector<uint8_t>(size, size + 4), 0);
            if (in && secondPart != 0xFFFFFFFF) {
                readGrowing = RunCommand("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                                         "stream=nb_read_packets -of csv=p=0 '" + file + "'");
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::memset(p, i, cb);
        return cb;
    });
    ASSERT_EQ(g.Build(Wide(file)), S_OK);
    ASSERT_EQ(g.RunToEnd(nullptr, 120000), EC_COMPLETE);
    ASSERT_FALSE(readGrowing.empty()) << "the second part's size is set while it grows";
    EXPECT_TRUE(Le32At(growing, 44) & 0x10) << "the first part has its index: the header says so again";
    const uint32_t firstPart = Le32At(growing, 48);
    const std::size_t odml = std::search(growing.begin(), growing.end(), "odml", "odml" + 4) - growing.begin();
    ASSERT_LT(odml, growing.size());
    EXPECT_EQ(std::string(growing.begin() + odml - 8, growing.begin() + odml - 4), "LIST");
    const uint32_t counted = Le32At(growing, odml + 12);
    EXPECT_GE(secondPart, 4 + 12 + 8 + mt.GetSampleSize()) << "the second part's size takes in its first frame";
    EXPECT_GE(counted, firstPart) << "the OpenDML header counts every frame";
    EXPECT_GE(static_cast<uint32_t>(std::atoi(readGrowing.c_str())), counted) << "and those frames read";
    EXPECT_GT(std::filesystem::file_size(file), 1024ull * 1024 * 1024);
    std::string out = RunCommand("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                                 "stream=nb_read_packets,width,height -of default=nw=1 '" + file + "'");
    EXPECT_NE(out.find("nb_read_packets=" + std::to_string(N)), std::string::npos) << out;
    EXPECT_NE(out.find("width=1280"), std::string::npos) << out;
    // The second part starts right after the first.
    std::ifstream in(file, std::ios::binary);
    char head[12];
    in.read(head, 12);
    uint32_t first = 0;
    std::memcpy(&first, head + 4, 4);
    in.seekg(8 + static_cast<std::streamoff>(first));
    char next[12] = {};
    in.read(next, 12);
    EXPECT_EQ(std::string(next, 4), "RIFF");
    EXPECT_EQ(std::string(next + 8, 4), "AVIX");
    in.close();
    EXPECT_EQ(InspectAviFile(file), AviFileState::Whole);

    // Cut inside the last part's next-to-last frame, as a crash there would leave it: the repair
    // keeps every frame before and indexes the part.
    const uint64_t chunk = 8 + mt.GetSampleSize();
    std::filesystem::resize_file(file, std::filesystem::file_size(file) - 2 * chunk);
    EXPECT_EQ(InspectAviFile(file), AviFileState::Unfinished);
    const AviRepairResult repaired = RepairAviFile(file);
    EXPECT_EQ(repaired.outcome, AviRepairResult::Outcome::Repaired) << repaired.Describe();
    EXPECT_EQ(repaired.videoFrames, N - 2);
    EXPECT_EQ(InspectAviFile(file), AviFileState::Whole);
    out = RunCommand("ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets "
                     "-of default=nw=1 '" + file + "'");
    EXPECT_EQ(out, "nb_read_packets=" + std::to_string(N - 2) + "\n");
    std::filesystem::remove(file);
}

TEST_F(AviWriteTest, MuxMakesInputPinsAsTheyAreConnected)
{
    CRecordingGraph g;
    CMediaType video = VideoType(32, 16, 8, UNITS / 15);
    g.Source()->Add(L"Video", video, static_cast<LONG>(video.GetSampleSize()), 1, VideoFill(16, 8, 32));
    g.Source()->Add(L"Sound", PcmType(8000, 1, 16), 1600, 1, PcmFill(800, 2));
    ComPtr<IBaseFilter> mux;
    ASSERT_EQ(CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               mux.ReleaseAndGetVoidAddressOf()), S_OK);
    auto names = [&] {
        std::vector<std::wstring> list;
        ComPtr<IEnumPins> pins;
        mux->EnumPins(pins.ReleaseAndGetAddressOf());
        ComPtr<IPin> pin;
        while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            PIN_INFO info {};
            pin->QueryPinInfo(&info);
            info.pFilter->Release();
            list.push_back(info.achName);
        }
        return list;
    };
    EXPECT_EQ(names(), (std::vector<std::wstring> {L"AVI Out", L"Input 01"}));
    ASSERT_EQ(g.Build(Wide(m_dir.file("pins.avi"))), S_OK);
    mux = g.m_mux;
    EXPECT_EQ(names(), (std::vector<std::wstring> {L"AVI Out", L"Input 01", L"Input 02", L"Input 03"}));
}

TEST_F(AviWriteTest, InputPinAcceptsTheContractsTypesOnly)
{
    ComPtr<IBaseFilter> mux;
    ASSERT_EQ(CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               mux.ReleaseAndGetVoidAddressOf()), S_OK);
    ComPtr<IPin> in;
    ASSERT_EQ(mux->FindPin(L"Input 01", in.ReleaseAndGetAddressOf()), S_OK);
    for (int bits : {8, 16, 24, 32}) {
        CMediaType mt = VideoType(bits, 33, 7, 0);
        EXPECT_EQ(in->QueryAccept(&mt), S_OK) << bits;
    }
    CMediaType rgb565 = VideoType(16, 33, 7, 0, true);
    EXPECT_EQ(in->QueryAccept(&rgb565), S_OK);

    CMediaType topDown = VideoType(32, 16, 8, 0);
    reinterpret_cast<VIDEOINFOHEADER*>(topDown.Format())->bmiHeader.biHeight = -8;
    EXPECT_EQ(in->QueryAccept(&topDown), S_FALSE) << "top-down rows would be stored upside down";

    CMediaType mjpg = VideoType(24, 16, 8, 0);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mjpg.Format());
    vih->bmiHeader.biCompression = MAKEFOURCC('M', 'J', 'P', 'G');
    GUID sub = FourCCSubtype(vih->bmiHeader.biCompression);
    mjpg.SetSubtype(&sub);
    EXPECT_EQ(in->QueryAccept(&mjpg), S_OK);
    CMediaType unknown = mjpg;
    vih = reinterpret_cast<VIDEOINFOHEADER*>(unknown.Format());
    vih->bmiHeader.biCompression = MAKEFOURCC('Q', 'Q', 'Z', '9');
    sub = FourCCSubtype(vih->bmiHeader.biCompression);
    unknown.SetSubtype(&sub);
    EXPECT_EQ(in->QueryAccept(&unknown), S_FALSE);
    // Extradata the header claims but the format block does not hold.
    CMediaType truncated = mjpg;
    reinterpret_cast<VIDEOINFOHEADER*>(truncated.Format())->bmiHeader.biSize = 40 + 4096;
    EXPECT_EQ(in->QueryAccept(&truncated), S_FALSE);

    CMediaType stereo = PcmType(44100, 2, 16), mono8 = PcmType(11025, 1, 8);
    EXPECT_EQ(in->QueryAccept(&stereo), S_OK);
    EXPECT_EQ(in->QueryAccept(&mono8), S_OK);
    CMediaType mp3;
    mp3.SetType(&MEDIATYPE_Audio);
    GUID mp3Sub = WaveFormatSubtype(WAVE_FORMAT_MPEGLAYER3);
    mp3.SetSubtype(&mp3Sub);
    mp3.SetFormatType(&FORMAT_WaveFormatEx);
    MPEGLAYER3WAVEFORMAT m {};
    m.wfx = {WAVE_FORMAT_MPEGLAYER3, 2, 44100, 16000, 1, 0, 12};
    m.wID = 1;
    m.nBlockSize = 417;
    m.nFramesPerBlock = 1;
    mp3.SetFormat(reinterpret_cast<const BYTE*>(&m), sizeof(m));
    EXPECT_EQ(in->QueryAccept(&mp3), S_OK);
    CMediaType shortMp3 = mp3;
    shortMp3.ReallocFormatBuffer(sizeof(WAVEFORMATEX) + 4);  // cbSize says 12
    EXPECT_EQ(in->QueryAccept(&shortMp3), S_FALSE);
    CMediaType stream;
    stream.SetType(&MEDIATYPE_Stream);
    EXPECT_EQ(in->QueryAccept(&stream), S_FALSE);
}

} // namespace
