#include "platform/shell/ShellExecute.h"
#include "platform/shell/SpawnDetached.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

using namespace platform;

TEST(SpawnDetached, StartsTheProgramOrSaysWhyNot)
{
    testsupport::TempDir dir;
    std::string marker = dir.file("ran");
    // A path with a blank and a quote stays one argument: no shell sees it.
    EXPECT_EQ(SpawnDetached({"sh", "-c", "echo \"$1\" > \"$2\"", "sh", "it's here", marker}), SpawnResult::Started);
    for (int i = 0; i < 500 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (int i = 0; i < 500 && testsupport::ReadFile(marker).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(testsupport::ReadFile(marker), "it's here\n");

    int err = 0;
    EXPECT_EQ(SpawnDetached({dir.file("no-such-program")}, &err), SpawnResult::ExecFailed);
    EXPECT_EQ(err, ENOENT);
    EXPECT_EQ(SpawnDetached({}), SpawnResult::NoResources);
}

TEST(ShellExecute, MissingFilesAndUnknownVerbsFailWithThePlatformCodes)
{
    EXPECT_EQ(ShellExecute("open", "/no/such/help.html"), SE_ERR_FNF);
    EXPECT_EQ(ShellExecute("print", "/etc/hostname"), SE_ERR_NOASSOC);
    testsupport::ScopedEnv path("PATH", "/nonexistent");
    EXPECT_EQ(ShellExecute("open", "https://example.invalid/"), SE_ERR_NOASSOC) << "no opener on this PATH";
}
