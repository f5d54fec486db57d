// A real recording (the capture graph in a process of its own, on a private X server and sound
// server) killed with SIGKILL part way: what it leaves already reads up to the header's last
// update, and the program's "--repair" gives back every frame and sound chunk that reached the
// file, in a file that decodes without an error.
#include "ModuleRegistration.h"
#include "platform/avi/AviRepair.h"
#include "platform/com/ObjectCreation.h"
#include "platform/screen/PrivateXServer.h"
#include "platform/screen/ScreenPainter.h"
#include "support/PrivatePulseServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr int kLeft = 16, kTop = 24, kWidth = 160, kHeight = 112;

std::string RunCommand(const std::string& command, int* pStatus = nullptr)
{
    std::string out;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        int status = pclose(pipe);
        if (pStatus) *pStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return out;
}

std::string Probe(const std::string& file, const char* entry)
{
    std::string out = RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=" +
                          std::string(entry) + " -of default=nw=1:nk=1 '" + file + "'");
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

uint32_t Le32(const std::string& bytes, std::size_t at)
{
    if (at + 4 > bytes.size()) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::size_t Find(const std::string& bytes, const char* id)
{
    return bytes.find(std::string(id, 4));
}

struct KillCase {
    const char* name;
    bool bSound;
    const char* videoCompressor;  // "" uncompressed
};

void PrintTo(const KillCase& c, std::ostream* os)
{
    *os << c.name;
}

class CrashRecovery : public ::testing::TestWithParam<KillCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.IsRunning());
        ASSERT_TRUE(m_painter.IsOpen());
        if (GetParam().bSound) {
            m_pulse = std::make_unique<testsupport::PrivatePulseServer>();
            ASSERT_TRUE(m_pulse->IsRunning()) << m_pulse->Log();
        }
        ASSERT_TRUE(RegisterServerModule(ORAVANE_MODULE));
        m_painterThread = std::thread([this] {
            for (int tick = 0; !m_bStop; ++tick) {
                m_painter.Paint([tick](int x, int y) {
                    return screentest::Colour {static_cast<std::uint8_t>(x + tick * 37), static_cast<std::uint8_t>(y),
                                               static_cast<std::uint8_t>(tick * 11)};
                });
                std::this_thread::sleep_for(50ms);
            }
        });
    }
    void TearDown() override
    {
        if (m_child > 0) {
            kill(m_child, SIGKILL);
            waitpid(m_child, nullptr, 0);
        }
        m_bStop = true;
        if (m_painterThread.joinable()) m_painterThread.join();
    }

    void StartRecording(const std::string& file)
    {
        const KillCase& c = GetParam();
        std::vector<std::string> args {RECORD_UNTIL_KILLED, file, std::to_string(kLeft), std::to_string(kTop),
                                       std::to_string(kWidth), std::to_string(kHeight)};
        if (c.bSound)
            args.insert(args.end(), {"PulseAudio Sound Server", testsupport::PrivatePulseServer::kToneMonitorDescription,
                                     c.videoCompressor});
        m_child = fork();
        ASSERT_NE(m_child, -1);
        if (m_child == 0) {
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }

    // Waits until what() holds or the deadline passes; false then.
    template <class Pred>
    bool WaitFor(Pred what, std::chrono::seconds deadline)
    {
        for (auto end = std::chrono::steady_clock::now() + deadline; std::chrono::steady_clock::now() < end;) {
            if (what()) return true;
            int status = 0;
            if (waitpid(m_child, &status, WNOHANG) == m_child) {
                m_child = -1;
                ADD_FAILURE() << "the recording process ended by itself (status " << status << ")";
                return false;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_registry {"VANTOREL_REGISTRY", m_dir.file("registry")};
    testsupport::ScopedEnv m_log {"VANTOREL_LOG", m_dir.file("kvellog.txt")};
    screentest::CPrivateXServer m_server {"320x240x24"};
    std::unique_ptr<testsupport::PrivatePulseServer> m_pulse;
    screentest::CScreenPainter m_painter;
    std::thread m_painterThread;
    std::atomic<bool> m_bStop {false};
    pid_t m_child = -1;
};

TEST_P(CrashRecovery, AKilledRecordingIsRepairedWithEveryFrameThatReachedTheFile)
{
    const std::string file = m_dir.file("killed.avi");
    StartRecording(file);
    // Killed after the header's first update (the muxer starts with sizes of -1) and once more
    // chunks have followed it.
    auto riffSize = [&] { return Le32(testsupport::ReadFile(file).substr(0, 8), 4); };
    ASSERT_TRUE(WaitFor([&] { return riffSize() != 0 && riffSize() != 0xFFFFFFFF; }, 30s))
        << "the header is brought up to date as the file grows";
    const uint32_t described = riffSize();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] {
        return std::chrono::steady_clock::now() - started > 3s && std::filesystem::file_size(file) > described + 8 + 64 * 1024;
    }, 30s));

    EXPECT_EQ(RepairAviFile(file).outcome, AviRepairResult::Outcome::InUse) << "a recording in progress is left alone";
    EXPECT_TRUE(FindUnfinishedRecordings(m_dir.path().string()).empty());
    ASSERT_EQ(kill(m_child, SIGKILL), 0);
    ASSERT_EQ(waitpid(m_child, nullptr, 0), m_child);
    m_child = -1;

    const std::string killed = testsupport::ReadFile(file);
    const std::size_t movi = Find(killed, "movi") - 8;
    const uint32_t counted = static_cast<uint32_t>(std::atoi(Probe(file, "nb_frames").c_str()));
    EXPECT_GT(counted, 0u) << "the header counts the frames up to its last update";
    EXPECT_GE(static_cast<uint32_t>(std::atoi(Probe(file, "nb_read_frames").c_str())), counted)
        << "and they read before any repair";
    EXPECT_EQ(InspectAviFile(file), AviFileState::Unfinished);

    int status = -1;
    const std::string said = RunCommand(std::string(VANTOREL_TEST_PROGRAM_DIR) + "vantorel --repair '" + file + "'", &status);
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find("killed.avi: repaired: kept "), std::string::npos) << said;
    EXPECT_EQ(InspectAviFile(file), AviFileState::Whole);
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null -"), "") << "every frame decodes";
    const std::string frames = Probe(file, "nb_read_frames");
    EXPECT_EQ(Probe(file, "nb_frames"), frames);

    const std::string repaired = testsupport::ReadFile(file);
    const std::size_t dataEnd = movi + 8 + Le32(repaired, movi + 4);
    ASSERT_LE(dataEnd, killed.size());
    if (!GetParam().bSound && !*GetParam().videoCompressor) {
        // Frames of one size: every one that fits before the cut is there.
        const std::size_t chunk = 8 + Le32(killed, movi + 16);
        EXPECT_EQ(frames, std::to_string((killed.size() - (movi + 12)) / chunk));
    }
    // What went was less than a chunk: the largest one the stream headers note.
    uint32_t largest = 0;
    for (std::size_t at = Find(repaired, "strh"); at < movi; at = repaired.find("strh", at + 4))
        largest = std::max(largest, Le32(repaired, at + 8 + 36));
    EXPECT_LT(killed.size() - dataEnd, 8 + largest + 1) << "no whole chunk was cut off";
    EXPECT_TRUE(repaired.compare(movi + 12, dataEnd - movi - 12, killed, movi + 12, dataEnd - movi - 12) == 0)
        << "the chunks themselves are untouched";
}

INSTANTIATE_TEST_SUITE_P(Recordings, CrashRecovery,
                         ::testing::Values(KillCase {"SilentUncompressed", false, ""},
                                           KillCase {"SoundMotionJpeg", true, "Motion JPEG"}),
                         [](const ::testing::TestParamInfo<KillCase>& info) { return std::string(info.param.name); });

} // namespace
