#include "platform/shell/ShellExecute.h"
#include "platform/shell/SpawnDetached.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
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

TEST(ShellExecute, AnOpenerThatFailsGivesThePlatformCodeAndOneThatRunsOnIsStarted)
{
    // An xdg-open of the test's that ends as FAKE_OPEN says, or runs on for a while.
    testsupport::TempDir dir;
    const std::string opener = dir.file("xdg-open");
    {
        std::ofstream script(opener);
        script << "#!/bin/sh\n[ \"$FAKE_OPEN\" = run ] && exec sleep 4\nexit \"$FAKE_OPEN\"\n";
    }
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    testsupport::ScopedEnv path("PATH", dir.path().string() + ":/usr/bin:/bin");
    const std::string file = dir.file("page.html");
    std::ofstream(file) << "<p>";
    struct Case {
        const char* exit;
        intptr_t result;
    };
    for (Case c : {Case {"0", SE_ERR_STARTED}, Case {"3", SE_ERR_NOASSOC}, Case {"4", SE_ERR_NOASSOC},
                   Case {"2", SE_ERR_FNF}, Case {"5", SE_ERR_ACCESSDENIED}, Case {"run", SE_ERR_STARTED}}) {
        testsupport::ScopedEnv code("FAKE_OPEN", c.exit);
        EXPECT_EQ(ShellExecute("open", file), c.result) << "xdg-open " << c.exit;
    }
    EXPECT_EQ(ShellErrorText(SE_ERR_NOASSOC), "There is no application associated\nwith the given filename extension.");
}
