// The server connection's deadlines: a socket that accepts but never answers (a stuck server)
// is an error in time, not a hang. No sound server needed.
#include "platform/pulse/Mixer.h"
#include "platform/pulse/PulseContext.h"
#include "platform/pulse/SoundDeviceList.h"
#include "support/SilentSocket.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

using testsupport::CSilentSocket;

TEST(PulseContext, AServerThatNeverAnswersTimesOut)
{
    testsupport::TempDir dir;
    CSilentSocket stuck(dir.file("native"));
    ASSERT_TRUE(stuck.Ok());
    testsupport::ScopedEnv env("PULSE_SERVER", "unix:" + dir.file("native"));

    CPulseContext ctx;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ctx.Connect("test", 300), E_FAIL);
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, 250ms) << "it waited for the answer";
    EXPECT_LT(took, 2s) << "and gave up at the deadline";
    EXPECT_FALSE(ctx.IsConnected());
    EXPECT_FALSE(ctx.LastError().empty());

    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(mixerGetNumDevs(), 0u);
    EXPECT_TRUE(ListSoundCaptureDevices().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 6s) << "two deadlines of 2 s, no more";
}

TEST(PulseContext, NoServerFailsAtOnce)
{
    testsupport::TempDir dir;
    testsupport::ScopedEnv env("PULSE_SERVER", "unix:" + dir.file("none"));
    CPulseContext ctx;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ctx.Connect("test"), E_FAIL);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    CPulseContext::Lock lock(ctx);  // a failed context can still be locked and destroyed
}

}  // namespace
