#include "common/EventLog.h"
#include "common/ReportFailure.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

const std::regex kLine(R"(([1-9]\d*)-([1-9]\d?)-([1-9]\d?) (\d{1,2}):(\d{1,2}):(\d{1,2}) ErrCode:(-?\d+) (.*))");

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    EXPECT_EQ(start, text.size()) << "every line ends with \\n";
    return lines;
}

} // namespace

TEST(EventLogFormat, TimeStampHasNoLeadingZeros)
{
    std::tm t {};
    t.tm_year = 2009 - 1900;
    t.tm_mon = 6;
    t.tm_mday = 6;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    EXPECT_EQ(CEventLog::FormatTimeStamp(t, 0), "2009-7-6 14:5:9 ErrCode:0");
    t.tm_mon = 0;
    t.tm_mday = 1;
    t.tm_hour = 0;
    t.tm_min = 0;
    t.tm_sec = 0;
    EXPECT_EQ(CEventLog::FormatTimeStamp(t, -3), "2009-1-1 0:0:0 ErrCode:-3");
}

TEST(EventLog, WritesOneLinePerCallWithErrnoAndUtcTime)
{
    TempDir dir;
    ScopedEnv env("VANTOREL_LOG", dir.file("kvellog.txt"));
    std::time_t before = std::time(nullptr);
    {
        CEventLog log;
        errno = EINTR;
        EXPECT_TRUE(log.Write("Build Graph Filter Failed!", true));
    }
    auto lines = Lines(ReadFile(dir.file("kvellog.txt")));
    ASSERT_EQ(lines.size(), 1u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kLine)) << lines[0];
    EXPECT_EQ(m[7], std::to_string(EINTR));
    EXPECT_EQ(m[8], "Build Graph Filter Failed!");
    std::tm utc {};
    gmtime_r(&before, &utc);
    EXPECT_EQ(std::stoi(m[1]), utc.tm_year + 1900);
    EXPECT_EQ(std::stoi(m[2]), utc.tm_mon + 1);
}

TEST(EventLog, AppendsToExistingFileAndKeepsItsLines)
{
    TempDir dir;
    testsupport::WriteFile(dir.file("log"), "old line\n");
    CEventLog log;
    log.SetPath(dir.file("log").c_str());
    log.Write("one", true);
    log.Write("two", true);
    auto lines = Lines(ReadFile(dir.file("log")));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "old line");
    EXPECT_NE(lines[2].find(" two"), std::string::npos);
}

TEST(EventLog, NullTextReturnsFalseAndLeavesNoFile)
{
    TempDir dir;
    ScopedEnv env("VANTOREL_LOG", dir.file("kvellog.txt"));
    CEventLog log;
    EXPECT_FALSE(log.Write(nullptr, true));
    EXPECT_FALSE(log.SetPath(nullptr));
    EXPECT_FALSE(std::filesystem::exists(dir.file("kvellog.txt")));
}

TEST(EventLog, UnwritablePathIsSilentAndStillTrue)
{
    TempDir dir;
    CEventLog log;
    EXPECT_TRUE(log.SetPath(dir.file("no/such/folder/log.txt").c_str()));
    EXPECT_TRUE(log.Write("lost", true));
    EXPECT_TRUE(log.Write("lost again", false));
    log.Close();
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
}

TEST(EventLog, TwoWritesWithoutCloseShareOneOpen)
{
    TempDir dir;
    std::string path = dir.file("log");
    CEventLog log;
    log.SetPath(path.c_str());
    log.Write("first", false);
    // Were the second line to reopen the path, it would recreate the file we just moved away.
    std::filesystem::rename(path, dir.file("moved"));
    log.Write("second", false);
    log.Close();
    EXPECT_FALSE(std::filesystem::exists(path));
    auto lines = Lines(ReadFile(dir.file("moved")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find(" second"), std::string::npos);
}

TEST(EventLog, SetPathWhileOpenMovesFurtherLines)
{
    TempDir dir;
    CEventLog log;
    log.SetPath(dir.file("a").c_str());
    log.Write("to a", false);
    log.SetPath(dir.file("b").c_str());
    log.Write("to b", true);
    ASSERT_EQ(Lines(ReadFile(dir.file("a"))).size(), 1u);
    EXPECT_NE(ReadFile(dir.file("a")).find("to a"), std::string::npos);
    auto b = Lines(ReadFile(dir.file("b")));
    ASSERT_EQ(b.size(), 1u);
    EXPECT_NE(b[0].find("to b"), std::string::npos);
}

TEST(EventLog, DefaultPathFolderIsCreatedOnFirstWrite)
{
    TempDir dir;
    ScopedEnv state("XDG_STATE_HOME", dir.path().string());
    unsetenv("VANTOREL_LOG");
    CEventLog log;
    log.Write("hello", true);
    EXPECT_TRUE(std::filesystem::exists(dir.file("vantorel/kvellog.txt")));
}

TEST(ReportFailure, ToLogWritesAndClosesOrShowsTheWindowlessBoxWithDefaultCaption)
{
    TempDir dir;
    ScopedEnv env("VANTOREL_LOG", dir.file("kvellog.txt"));
    ReportFailure("Can't create DirectDrawObject!", true);
    auto lines = Lines(ReadFile(dir.file("kvellog.txt")));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" Can't create DirectDrawObject!"), std::string::npos);

    testing::internal::CaptureStderr();
    ReportFailure("visible", false);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: visible\n");
    EXPECT_EQ(Lines(ReadFile(dir.file("kvellog.txt"))).size(), 1u);
}
