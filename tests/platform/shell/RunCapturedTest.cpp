#include "platform/shell/RunCaptured.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

using namespace platform;

namespace {

struct Captured {
    CapturedRun run;
    std::vector<std::string> chunks;
    std::string All() const
    {
        std::string all;
        for (const std::string& c : chunks)
            all += c;
        return all;
    }
};

Captured Capture(const std::vector<std::string>& argv, const std::function<void(Captured&)>& afterChunk = {},
             std::stop_token stop = {})
{
    Captured captured;
    captured.run = RunCaptured(
        argv, 0,
        [&](std::string_view chunk) {
            captured.chunks.emplace_back(chunk);
            if (afterChunk)
                afterChunk(captured);
        },
        stop);
    return captured;
}

} // namespace

TEST(RunCaptured, RelaysEachReadAsItCameAndReturnsTheExitCodeOrWhyTheProgramDidNotStart)
{
    testsupport::TempDir dir;
    const std::string go = dir.file("go");
    // The child writes a long text, waits until we have read it, then a short one: the second
    // entry holds exactly the new bytes. Standard error shares the pipe.
    const Captured c = Capture({"sh", "-c", "printf 'a long first text'; while [ ! -e \"$1\" ]; do sleep 0.01; done; printf b >&2; exit 3",
                            "sh", go},
                           [&](Captured&) { testsupport::WriteFile(go, ""); });
    EXPECT_EQ(c.run.m_start, CapturedStart::Started);
    EXPECT_EQ(c.run.m_nExitCode, 3);
    EXPECT_EQ(c.chunks, (std::vector<std::string> {"a long first text", "b"}));

    // At most 4095 bytes a read, nothing lost.
    const Captured big = Capture({"sh", "-c", "head -c 20000 /dev/zero | tr '\\0' x"});
    EXPECT_EQ(big.All(), std::string(20000, 'x'));
    for (const std::string& chunk : big.chunks)
        EXPECT_LE(chunk.size(), 4095u);

    // The end is the pipe's: what a program started by the child writes later still arrives.
    const Captured late = Capture({"sh", "-c", "(sleep 0.3; echo late) & echo early"});
    EXPECT_EQ(late.All(), "early\nlate\n");

    const Captured missing = Capture({dir.file("fg"), "-i", "x"});
    EXPECT_EQ(missing.run.m_start, CapturedStart::ProcessFailed);
    EXPECT_EQ(missing.run.m_nErrno, ENOENT);
    EXPECT_TRUE(missing.chunks.empty());
}

TEST(RunCaptured, AStopEndsTheChildAndWhatItStartedAndCutsThePauseShort)
{
    std::stop_source source;
    const auto t0 = std::chrono::steady_clock::now();
    // The grandchild holds the pipe too: only a signal to the whole group lets the read end.
    CapturedRun run = RunCaptured({"sh", "-c", "echo started; sleep 60 & sleep 60"}, 60000,
                                  [&](std::string_view) { source.request_stop(); }, source.get_token());
    EXPECT_EQ(run.m_start, CapturedStart::Started);
    EXPECT_EQ(run.m_nExitCode, -1) << "ended by the signal";
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
}
