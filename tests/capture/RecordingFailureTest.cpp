// How a recording fails: an output folder nothing can be written to, a write failure part way
// (the file-size limit, as a full disk), a frame-rate patch that cannot be made. Each reaches Stop
// and the event log, nothing hangs, and what was written stays readable.
#include "GraphDoubles.h"
#include "capture/CaptureGraph.h"
#include "platform/avi/AviClasses.h"
#include "platform/avi/AviRepair.h"
#include "platform/ui/MessageBox.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>

using namespace capturetest;
using namespace testsupport;
using namespace std::chrono_literals;

namespace {

class RecordingFailure : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        InstallGraphClasses();
        RegisterAviClasses();
        m_previous = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_messages.push_back(r.text);
            return platform::IDOK;
        });
        m_options.m_strOutputPath = m_dir.path().string() + "/";
        m_options.m_bRecordSound = 0;
        m_options.m_bVideoCompress = 0;
        CFakeOravane::s_dActualFps = 14.2;
    }
    void TearDown() override
    {
        platform::SetMessageBoxHandler(m_previous);
        CoUninitialize();
    }

    // The recording window's watch: the graph reports the failure within the deadline.
    static bool WaitForWriteFailure(CCaptureGraph& graph)
    {
        for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;) {
            if (graph.HasWriteFailed()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    std::string Log() { return ReadFile(m_dir.file("kvellog.txt")); }
    static std::string Decode(const std::string& file)
    {
        std::string out;
        if (FILE* pipe = popen(("ffmpeg -nostdin -v error -i '" + file + "' -f null - 2>&1").c_str(), "r")) {
            char buffer[512];
            while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
            pclose(pipe);
        }
        return out;
    }

    TempDir m_dir;
    ScopedEnv m_registry {"VANTOREL_REGISTRY", m_dir.file("registry")};
    ScopedEnv m_log {"VANTOREL_LOG", m_dir.file("kvellog.txt")};
    options::CVideoOptions m_options;
    std::vector<std::string> m_messages;
    platform::MessageBoxHandler m_previous;
};

TEST_F(RecordingFailure, AnOutputFolderThatCannotHoldFilesFailsTheRecordingAtOnce)
{
    // A folder below a plain file: not even root can create anything there.
    WriteFile(m_dir.file("plain"), "x");
    m_options.m_strOutputPath = m_dir.file("plain") + "/";
    const std::string file = m_options.m_strOutputPath + "talk_001.avi";
    CCaptureGraph graph(m_options);
    ASSERT_TRUE(graph.StartBuild());
    graph.SetFileName(file);
    graph.Run();
    EXPECT_TRUE(WaitForWriteFailure(graph));
    EXPECT_FALSE(graph.Stop());
    EXPECT_NE(Log().find("Writing " + file + " failed!"), std::string::npos) << Log();
    EXPECT_TRUE(m_messages.empty()) << "the failure is told once, not as a failed rate patch too: " << m_messages[0];
    graph.ReleaseCaptureGraph();
    // A second recording into a good folder works as ever.
    m_options.m_strOutputPath = m_dir.path().string() + "/";
    ASSERT_TRUE(graph.StartBuild());
    graph.SetFileName(m_dir.file("talk_002.avi"));
    graph.Run();
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(graph.Stop());
    EXPECT_EQ(Decode(m_dir.file("talk_002.avi")), "");
}

TEST_F(RecordingFailure, AWriteFailurePartWayReachesStopAndLeavesTheFramesWrittenReadable)
{
    const std::string file = m_dir.file("full.avi");
    CCaptureGraph graph(m_options);
    ASSERT_TRUE(graph.StartBuild());
    // The process's file-size limit, lowered for this recording only (the event log stays far
    // below it), fails a write part way as a full disk would.
    rlimit before {};
    getrlimit(RLIMIT_FSIZE, &before);
    const rlimit lower {256 * 1024, before.rlim_max};
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lower), 0);
    graph.SetFileName(file);
    graph.Run();
    const bool failed = WaitForWriteFailure(graph);
    const BOOL stopped = graph.Stop();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(failed) << "the recording window hears of it and stops";
    EXPECT_FALSE(stopped);
    EXPECT_NE(Log().find("Writing " + file + " failed!"), std::string::npos) << Log();
    EXPECT_TRUE(m_messages.empty()) << m_messages.front();  // the rate patch still works on the cut file
    EXPECT_LE(std::filesystem::file_size(file), 256u * 1024);
    EXPECT_EQ(Decode(file), "") << "the whole frames before the failure read";
    EXPECT_EQ(RepairAviFile(file).outcome, AviRepairResult::Outcome::Repaired) << "and get their index back";
}

TEST_F(RecordingFailure, AFrameRatePatchThatCannotBeMadeIsSaidOnceAndTheRecordingCounts)
{
    // The file is moved away during the recording: the writer goes on into it, the patch cannot
    // find it.
    const std::string file = m_dir.file("moved.avi"), moved = m_dir.file("elsewhere.avi");
    CCaptureGraph graph(m_options);
    ASSERT_TRUE(graph.StartBuild());
    graph.SetFileName(file);
    graph.Run();
    std::this_thread::sleep_for(200ms);
    std::filesystem::rename(file, moved);
    EXPECT_TRUE(graph.Stop()) << "the multiplexer wrote everything";
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Update Video Stream FrameRate Failed!");
    EXPECT_EQ(Log().find("failed!"), std::string::npos) << Log();
    EXPECT_EQ(Decode(moved), "");
}

} // namespace
