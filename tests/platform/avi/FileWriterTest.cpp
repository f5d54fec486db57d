// The File Writer and the AVI file written through it, driven the way the AVI Mux drives them:
// a write failure that the writer finds behind the multiplexer still gives a cut, readable file,
// and a writer let go with queued data still writes it.
#include "AviTestSupport.h"
#include "platform/avi/AviClasses.h"
#include "platform/avi/AviFileMuxer.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/avutil.h>
}

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace avitest;

namespace {

class FileWriterTest : public AviClassesTest {
protected:
    // A File Writer with its file open for a run and claimed, as the mux finds it.
    HRESULT OpenWriter(const std::string& file, ComPtr<IBaseFilter>* pFilter, ComPtr<IFileWriterOutput>* pOutput)
    {
        HRESULT hr = CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      pFilter->ReleaseAndGetVoidAddressOf());
        if (FAILED(hr)) return hr;
        ComPtr<IFileSinkFilter> sink;
        if (FAILED(hr = pFilter->As(sink, IID_IFileSinkFilter))) return hr;
        if (FAILED(hr = sink->SetFileName(Wide(file).c_str(), nullptr))) return hr;
        if (FAILED(hr = (*pFilter)->Pause())) return hr;
        if (FAILED(hr = pFilter->As(*pOutput, IID_IFileWriterOutput))) return hr;
        return (*pOutput)->BeginOutput();
    }
};

// The limit comes down after the file is open, so the writer cannot see it coming: like a disk
// that fills up, the failure happens behind the multiplexer, which has moved on by some chunks.
TEST_F(FileWriterTest, AFailureBehindTheMuxCutsTheFileAtTheLastChunkThatReachedIt)
{
    constexpr int W = 64, H = 64, N = 40;  // 16 KiB a frame
    constexpr LONG kFrame = W * H * 4;
    constexpr rlim_t kLimit = 200 * 1024;
    std::string file = m_dir.file("behind.avi"), report = m_dir.file("report.txt");
    pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        int ok = 0, refused = 0;
        HRESULT hrFirst = S_OK, hrFinish = S_OK;
        {
            ComPtr<IBaseFilter> filter;
            ComPtr<IFileWriterOutput> output;
            if (FAILED(OpenWriter(file, &filter, &output))) _exit(2);
            AviStreamFormat format;
            if (FAILED(AviStreamFormatFromMediaType(VideoType(32, W, H, UNITS / 15), &format))) _exit(3);
            CAviFileMuxer mux;
            if (FAILED(mux.Open(output.Get(), {format}))) _exit(4);
            rlimit now {};
            getrlimit(RLIMIT_FSIZE, &now);
            rlimit lower {kLimit, now.rlim_max};
            setrlimit(RLIMIT_FSIZE, &lower);
            std::vector<BYTE> frame(kFrame);
            for (int i = 0; i < N; ++i) {
                std::memset(frame.data(), i, frame.size());
                HRESULT hr = mux.Write(0, frame.data(), kFrame, true, nullptr, nullptr);
                if (SUCCEEDED(hr)) ++ok;
                else if (++refused == 1) hrFirst = hr;
            }
            hrFinish = mux.Finish(-1);
            filter->Stop();
            rlimit raised {now.rlim_max, now.rlim_max};
            setrlimit(RLIMIT_FSIZE, &raised);
        }
        std::ofstream(report) << ok << ' ' << refused << ' ' << hrFirst << ' ' << hrFinish << '\n';
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the recording process crashed (signal " << WTERMSIG(status) << ")";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    int ok = 0, refused = 0;
    HRESULT hrFirst = S_OK, hrFinish = S_OK;
    std::ifstream(report) >> ok >> refused >> hrFirst >> hrFinish;
    constexpr HRESULT kFileTooLarge = HRESULT_FROM_WIN32(223);
    EXPECT_EQ(hrFinish, kFileTooLarge) << "the finish reports the failure";
    if (refused > 0) {
        EXPECT_EQ(hrFirst, kFileTooLarge);
        EXPECT_EQ(ok + refused, N) << "frames after the failure are refused";
    }

    std::vector<uint8_t> bytes = ReadBytes(file);
    ASSERT_LE(bytes.size(), kLimit);
    auto movi = std::search(bytes.begin(), bytes.end(), "movi", "movi" + 4) - bytes.begin();
    ASSERT_LT(static_cast<std::size_t>(movi), bytes.size());
    // Every chunk that fits below the limit reached the file; the cut keeps exactly those.
    const std::size_t chunk = 8 + kFrame;
    const std::size_t whole = (kLimit - (movi + 4)) / chunk;
    EXPECT_EQ(bytes.size(), movi + 4 + whole * chunk);
    EXPECT_LE(whole, static_cast<std::size_t>(ok));
    EXPECT_EQ(Le32At(bytes, 4), bytes.size() - 8) << "RIFF size";
    EXPECT_EQ(Le32At(bytes, 48), whole) << "avih dwTotalFrames";
    EXPECT_EQ(Le32At(bytes, 140), whole) << "strh dwLength";
    EXPECT_EQ(Probe(file, "v", "nb_read_frames"), std::to_string(whole));
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null -"), "");
    std::vector<StoredPacket> packets = ReadPackets(file, AVMEDIA_TYPE_VIDEO);
    ASSERT_EQ(packets.size(), whole);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        ASSERT_EQ(packets[i].data.size(), static_cast<std::size_t>(kFrame));
        EXPECT_EQ(std::count(packets[i].data.begin(), packets[i].data.end(), static_cast<uint8_t>(i)), kFrame)
            << "frame " << i << " holds its own bytes";
    }
}

TEST_F(FileWriterTest, AWriterLetGoWithQueuedDataWritesItAll)
{
    std::string file = m_dir.file("released.bin");
    std::vector<BYTE> expected;
    {
        ComPtr<IBaseFilter> filter;
        ComPtr<IFileWriterOutput> output;
        ASSERT_EQ(OpenWriter(file, &filter, &output), S_OK);
        for (int i = 0; i < 24; ++i) {
            std::vector<BYTE> frame(3686400, static_cast<BYTE>(i * 11));  // 1280x720x32
            frame[i] = 0xEE;
            ASSERT_EQ(output->Write(frame.data(), static_cast<LONG>(frame.size())), S_OK);
            expected.insert(expected.end(), frame.begin(), frame.end());
        }
        LONGLONG pos = -1;
        ASSERT_EQ(output->Seek(0, SEEK_CUR, &pos), S_OK);
        EXPECT_EQ(pos, static_cast<LONGLONG>(expected.size()));
        LONGLONG written = -1;
        ASSERT_EQ(output->GetBytesWritten(&written), S_OK);
        EXPECT_LE(written, pos);
        // No EndOutput, no Stop: the last reference goes.
    }
    std::vector<uint8_t> bytes = ReadBytes(file);
    ASSERT_EQ(bytes.size(), expected.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), expected.begin()));
}

TEST_F(FileWriterTest, EndOutputReportsAFailureOfTheLastQueuedBytes)
{
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    ComPtr<IBaseFilter> filter;
    ComPtr<IFileWriterOutput> output;
    ASSERT_EQ(OpenWriter("/dev/full", &filter, &output), S_OK);
    BYTE bytes[512] = {};
    EXPECT_EQ(output->Write(bytes, sizeof bytes), S_OK);
    EXPECT_EQ(output->EndOutput(), HRESULT_FROM_WIN32(112)) << "disk full";
    EXPECT_EQ(output->Write(bytes, sizeof bytes), VFW_E_WRONG_STATE) << "the file is closed";
    LONGLONG written = 0;
    EXPECT_EQ(output->GetBytesWritten(&written), VFW_E_WRONG_STATE);
}

} // namespace
