#include "platform/shell/Places.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

using namespace platform;
using testsupport::ScopedEnv;
using testsupport::TempDir;

TEST(Places, FoldersEndWithASlashAndFollowTheirVariables)
{
    TempDir dir;
    ScopedEnv home("HOME", dir.path().string());
    ScopedEnv config("XDG_CONFIG_HOME", "relative/ignored");
    unsetenv("VANTOREL_CONFIG_DIR");
    unsetenv("VANTOREL_REGISTRY");
    unsetenv("VANTOREL_LOG");
    unsetenv("XDG_STATE_HOME");
    std::string h = dir.path().string() + "/";
    EXPECT_EQ(GetHomeFolder(), h);
    EXPECT_EQ(GetConfigFolder(), h + ".config/vantorel/");
    EXPECT_EQ(GetRegistryPath(), h + ".config/vantorel/registry");
    EXPECT_EQ(GetEventLogPath(), h + ".local/state/vantorel/kvellog.txt");
    {
        ScopedEnv own("VANTOREL_CONFIG_DIR", "/etc/v");
        EXPECT_EQ(GetConfigFolder(), "/etc/v/");
        EXPECT_EQ(GetRegistryPath(), "/etc/v/registry");
    }
    ScopedEnv tmp("TMPDIR", "/var/tmp");
    EXPECT_EQ(GetTempPath(), "/var/tmp/");
    EXPECT_EQ(GetProgramFolder().back(), '/');
    EXPECT_EQ(GetProgramFolder() + "test_platform_shell", GetModuleFileName());
    EXPECT_EQ(WithTrailingSlash(""), "");
    EXPECT_EQ(WithTrailingSlash("/a/"), "/a/");
}

TEST(Places, TempFileNamesAreNewEmptyAndNeverReused)
{
    TempDir dir;
    std::string a = GetTempFileName(dir.path().string(), "tesk_");
    std::string b = GetTempFileName(dir.path().string(), "tesk_");
    EXPECT_TRUE(std::regex_match(std::filesystem::path(a).filename().string(), std::regex("tes[A-Za-z0-9]{6}\\.tmp")));
    EXPECT_NE(a, b);
    EXPECT_EQ(std::filesystem::file_size(a), 0u);
    EXPECT_EQ(GetTempFileName(dir.file("missing"), "tesk_"), "");
}

TEST(Places, CreateFoldersMakesTheWholePathOnce)
{
    TempDir dir;
    EXPECT_TRUE(CreateFolders(dir.file("a/b/c")));
    EXPECT_TRUE(CreateFolders(dir.file("a/b/c/")));
    testsupport::WriteFile(dir.file("file"), "x");
    EXPECT_FALSE(CreateFolders(dir.file("file/sub")));
}
