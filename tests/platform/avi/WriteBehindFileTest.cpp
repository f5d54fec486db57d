// The file written behind its caller: the bytes and positions as synchronous writes give them,
// nothing lost at destruction, and failures of the writing thread reported at the next call.
#include "platform/avi/WriteBehindFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr HRESULT kDiskFull = HRESULT_FROM_WIN32(112);
constexpr HRESULT kFileTooLarge = HRESULT_FROM_WIN32(223);

std::vector<BYTE> ReadAll(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

int OpenNew(const std::string& file)
{
    return ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

// Bytes that differ at every offset, so a piece written twice, dropped or misplaced shows.
std::vector<BYTE> Pattern(std::size_t size, unsigned seed)
{
    std::vector<BYTE> v(size);
    std::mt19937 random(seed);
    for (auto& b : v) b = static_cast<BYTE>(random());
    return v;
}

// Runs body in a child process (for file-size limits of its own) and returns its exit status.
template <typename Body>
int InChild(Body body)
{
    pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        _exit(body());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void LowerFileSizeLimit(rlim_t limit)
{
    rlimit now {};
    getrlimit(RLIMIT_FSIZE, &now);
    rlimit lower {limit, now.rlim_max};
    setrlimit(RLIMIT_FSIZE, &lower);
}

void RaiseFileSizeLimit()
{
    rlimit now {};
    getrlimit(RLIMIT_FSIZE, &now);
    rlimit raised {now.rlim_max, now.rlim_max};
    setrlimit(RLIMIT_FSIZE, &raised);
}

struct QueueCase {
    const char* name;
    CWriteBehindFile::Limits limits;
};

void PrintTo(const QueueCase& c, std::ostream* os) { *os << c.name; }

class WriteBehindQueueTest : public ::testing::TestWithParam<QueueCase> {
protected:
    testsupport::TempDir m_dir;
};

TEST_P(WriteBehindQueueTest, ALongRunOfWritesGivesTheBytesInTheirOrder)
{
    std::string file = m_dir.file("run.bin");
    std::vector<BYTE> expected;
    {
        CWriteBehindFile f(OpenNew(file), GetParam().limits);
        ASSERT_TRUE(f.IsOpen());
        EXPECT_TRUE(f.WritesBehind());
        std::mt19937 random(7);
        // Sizes from one byte to frames larger than a block, so writes end mid-block, fill
        // blocks exactly and span several; each from its own place in the source bytes.
        const std::size_t sizes[] = {1, 3, 4096, 65536, 65535, 65537, 300000, 8294400};
        const std::vector<BYTE> source = Pattern(8294400 + 1048576, 8);
        for (int i = 0; i < 160; ++i) {
            std::size_t size = sizes[random() % std::size(sizes)];
            const BYTE* piece = source.data() + random() % 1048576;
            ASSERT_EQ(f.Write(piece, size), S_OK) << "write " << i;
            expected.insert(expected.end(), piece, piece + size);
            if (i % 40 == 39) {
                int64_t pos = -1;
                ASSERT_EQ(f.Seek(0, SEEK_CUR, &pos), S_OK);
                EXPECT_EQ(pos, static_cast<int64_t>(expected.size())) << "the position counts queued bytes";
            }
        }
        EXPECT_EQ(f.Write(nullptr, 0), S_OK);
        EXPECT_EQ(f.Write(nullptr, 5), E_POINTER);
        EXPECT_LE(f.BytesWritten(), static_cast<int64_t>(expected.size()));
        EXPECT_EQ(f.Close(), S_OK);
        EXPECT_EQ(f.BytesWritten(), static_cast<int64_t>(expected.size()));
        EXPECT_EQ(f.Write(expected.data(), 1), E_UNEXPECTED) << "closed";
    }
    EXPECT_TRUE(ReadAll(file) == expected);
}

TEST_P(WriteBehindQueueTest, SeeksAndCutsAfterQueuedWritesLandWhereTheyWouldAtOnce)
{
    std::string file = m_dir.file("seek.bin");
    std::vector<BYTE> expected = Pattern(3 * 1024 * 1024 + 17, 1);
    const std::vector<BYTE> patch = Pattern(300, 2), tail = Pattern(70000, 3);
    {
        CWriteBehindFile f(OpenNew(file), GetParam().limits);
        ASSERT_EQ(f.Write(expected.data(), expected.size()), S_OK);
        int64_t pos = -1;
        ASSERT_EQ(f.Seek(100, SEEK_SET, &pos), S_OK);
        EXPECT_EQ(pos, 100);
        EXPECT_EQ(f.BytesWritten(), static_cast<int64_t>(expected.size())) << "a seek waits for the queue";
        ASSERT_EQ(f.Write(patch.data(), patch.size()), S_OK);
        std::copy(patch.begin(), patch.end(), expected.begin() + 100);
        ASSERT_EQ(f.Seek(0, SEEK_CUR, &pos), S_OK);
        EXPECT_EQ(pos, 400);
        ASSERT_EQ(f.Seek(0, SEEK_END, &pos), S_OK);
        EXPECT_EQ(pos, static_cast<int64_t>(expected.size()));
        ASSERT_EQ(f.Write(tail.data(), tail.size()), S_OK);
        expected.insert(expected.end(), tail.begin(), tail.end());
        // Back over queued bytes, relative to the position that counts them.
        ASSERT_EQ(f.Seek(-1000, SEEK_CUR, &pos), S_OK);
        EXPECT_EQ(pos, static_cast<int64_t>(expected.size()) - 1000);
        ASSERT_EQ(f.Write(patch.data(), 10), S_OK);
        std::copy(patch.begin(), patch.begin() + 10, expected.end() - 1000);
        ASSERT_EQ(f.Seek(0, SEEK_END, nullptr), S_OK);
        ASSERT_EQ(f.Write(tail.data(), 5000), S_OK);
        ASSERT_EQ(f.Truncate(static_cast<int64_t>(expected.size()) + 1234), S_OK) << "after queued bytes";
        expected.insert(expected.end(), tail.begin(), tail.begin() + 1234);
        ASSERT_EQ(f.Seek(0, SEEK_END, &pos), S_OK);
        EXPECT_EQ(pos, static_cast<int64_t>(expected.size()));
        EXPECT_EQ(f.Seek(-1, SEEK_SET, &pos), HResultFromErrno(EINVAL));
        EXPECT_EQ(f.Close(), S_OK);
    }
    std::vector<BYTE> bytes = ReadAll(file);
    ASSERT_EQ(bytes.size(), expected.size());
    EXPECT_TRUE(bytes == expected);
}

TEST_P(WriteBehindQueueTest, DestructionWritesEverythingQueued)
{
    std::string file = m_dir.file("end.bin");
    std::vector<BYTE> expected;
    {
        CWriteBehindFile f(OpenNew(file), GetParam().limits);
        for (unsigned i = 0; i < 12; ++i) {
            std::vector<BYTE> piece = Pattern(1500000 + i, i);
            ASSERT_EQ(f.Write(piece.data(), piece.size()), S_OK);
            expected.insert(expected.end(), piece.begin(), piece.end());
        }
    }
    EXPECT_TRUE(ReadAll(file) == expected);
}

INSTANTIATE_TEST_SUITE_P(Queues, WriteBehindQueueTest,
                         ::testing::Values(QueueCase {"Default", {}},
                                           // A caller far ahead of the thread waits for blocks.
                                           QueueCase {"TwoSmallBlocks", {65536, 2}},
                                           QueueCase {"OneBlock", {4096, 1}}),
                         [](const auto& info) { return std::string(info.param.name); });

class WriteBehindFailureTest : public ::testing::Test {
protected:
    testsupport::TempDir m_dir;
};

// /dev/full refuses every byte with ENOSPC, as a full disk does.
TEST_F(WriteBehindFailureTest, AFullDiskFoundBehindTheCallerIsReturnedByTheNextCallOnce)
{
    int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (fd < 0) GTEST_SKIP() << "no /dev/full";
    CWriteBehindFile f(fd);
    const std::vector<BYTE> bytes = Pattern(1000, 4);
    EXPECT_EQ(f.Write(bytes.data(), bytes.size()), S_OK) << "queued";
    EXPECT_EQ(f.Seek(0, SEEK_END, nullptr), kDiskFull);
    EXPECT_EQ(f.BytesWritten(), 0);
    int64_t pos = -1;
    EXPECT_EQ(f.Seek(0, SEEK_CUR, &pos), S_OK) << "reported once";
    EXPECT_EQ(pos, 0) << "where writing stopped";
    EXPECT_EQ(f.Write(bytes.data(), bytes.size()), S_OK);
    EXPECT_EQ(f.Close(), kDiskFull) << "the failure of the last queued bytes comes from the close";
    EXPECT_FALSE(f.IsOpen());
}

// The limit comes down after the open, so the writer cannot see it coming: the thread's write
// fails in the middle of queued data, as on a disk that fills up.
TEST_F(WriteBehindFailureTest, AFailureInQueuedDataStopsTheWritingWhereItHappened)
{
    constexpr rlim_t kLimit = 200 * 1024;
    std::string file = m_dir.file("limit.bin"), report = m_dir.file("report.txt");
    int status = InChild([&] {
        CWriteBehindFile f(OpenNew(file), {65536, 4});
        LowerFileSizeLimit(kLimit);
        const std::vector<BYTE> frame = Pattern(16 * 1024, 5);
        HRESULT hrFailed = S_OK;
        int ok = 0;
        for (int i = 0; i < 40 && SUCCEEDED(hrFailed); ++i) {
            hrFailed = f.Write(frame.data(), frame.size());
            if (SUCCEEDED(hrFailed)) ++ok;
        }
        if (SUCCEEDED(hrFailed)) hrFailed = f.Seek(0, SEEK_END, nullptr);
        int64_t written = f.BytesWritten(), pos = -1;
        HRESULT hrSeek = f.Seek(0, SEEK_CUR, &pos);
        HRESULT hrCut = f.Truncate(1000);
        HRESULT hrClose = f.Close();
        RaiseFileSizeLimit();
        std::ofstream(report) << hrFailed << ' ' << ok << ' ' << written << ' ' << hrSeek << ' ' << pos << ' '
                              << hrCut << ' ' << hrClose << '\n';
        return 0;
    });
    ASSERT_EQ(status, 0);
    HRESULT hrFailed = 0, hrSeek = 0, hrCut = 0, hrClose = 0;
    int ok = 0;
    int64_t written = 0, pos = 0;
    std::ifstream(report) >> hrFailed >> ok >> written >> hrSeek >> pos >> hrCut >> hrClose;
    EXPECT_EQ(hrFailed, kFileTooLarge);
    EXPECT_GE(ok, static_cast<int>(kLimit / (16 * 1024))) << "every frame below the limit was taken";
    EXPECT_EQ(written, static_cast<int64_t>(kLimit)) << "the bytes that reached the file";
    EXPECT_EQ(hrSeek, S_OK) << "the failure is returned once";
    EXPECT_EQ(pos, written) << "the position is where writing stopped";
    EXPECT_EQ(hrCut, S_OK);
    EXPECT_EQ(hrClose, S_OK);
    EXPECT_EQ(std::filesystem::file_size(file), 1000u);
}

// A limit the process has at the open is known: the write that crosses it fails itself, after
// the bytes before the limit are in the file.
TEST_F(WriteBehindFailureTest, TheWriteThatCrossesAKnownFileSizeLimitFailsAtOnce)
{
    constexpr rlim_t kLimit = 50 * 1000;
    std::string file = m_dir.file("known.bin"), report = m_dir.file("report.txt");
    int status = InChild([&] {
        LowerFileSizeLimit(kLimit);
        std::vector<HRESULT> results;
        int64_t written = 0;
        {
            CWriteBehindFile f(OpenNew(file));  // room for every frame in the queue
            const std::vector<BYTE> frame = Pattern(16 * 1000, 6);
            for (int i = 0; i < 5; ++i) results.push_back(f.Write(frame.data(), frame.size()));
            written = f.BytesWritten();
        }
        RaiseFileSizeLimit();
        std::ofstream out(report);
        out << written;
        for (HRESULT hr : results) out << ' ' << hr;
        out << '\n';
        return 0;
    });
    ASSERT_EQ(status, 0);
    int64_t written = 0;
    HRESULT results[5] = {};
    std::ifstream in(report);
    in >> written;
    for (HRESULT& hr : results) in >> hr;
    EXPECT_EQ(results[0], S_OK);
    EXPECT_EQ(results[1], S_OK);
    EXPECT_EQ(results[2], S_OK);
    EXPECT_EQ(results[3], kFileTooLarge) << "the fourth frame crosses the limit";
    EXPECT_EQ(results[4], kFileTooLarge) << "so does the one after it";
    EXPECT_EQ(written, static_cast<int64_t>(kLimit));
    EXPECT_EQ(std::filesystem::file_size(file), kLimit);
}

} // namespace
