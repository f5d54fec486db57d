// The private X and sound servers of an unattended run: each answers while it lives, is gone
// afterwards, and leaves the environment as it found it.
#include "platform/session/PrivateDisplay.h"
#include "platform/session/PrivateSoundServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines None and Bool.
#include <X11/Xlib.h>

#include <cstdlib>

using namespace platform::session;

namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "(unset)";
}

TEST(PrivateSession, EachServerAnswersWhileItLivesAndLeavesNothingBehind)
{
    testsupport::ScopedEnv display("DISPLAY", ":none");
    testsupport::ScopedEnv pulse("PULSE_SERVER", "unix:/nonexistent/native");
    ASSERT_FALSE(CPrivateSoundServer::IsServerReachable(500));

    {
        CPrivateDisplay x;
        std::string error;
        ASSERT_TRUE(x.Start(1000, 700, &error)) << error;
        EXPECT_EQ(Env("DISPLAY"), x.Display());
        Display* dpy = XOpenDisplay(nullptr);
        ASSERT_NE(dpy, nullptr);
        EXPECT_EQ(DisplayWidth(dpy, 0), 1000);
        EXPECT_EQ(DisplayHeight(dpy, 0), 700);
        XCloseDisplay(dpy);

        CPrivateSoundServer sound;
        ASSERT_TRUE(sound.Start(&error)) << error;
        EXPECT_EQ(Env("PULSE_SERVER"), sound.Address());
        EXPECT_TRUE(CPrivateSoundServer::IsServerReachable());
        EXPECT_EQ(Env("DISPLAY"), x.Display()) << "the sound server leaves the display alone";
    }
    EXPECT_EQ(Env("DISPLAY"), ":none");
    EXPECT_EQ(Env("PULSE_SERVER"), "unix:/nonexistent/native");
    EXPECT_FALSE(CPrivateSoundServer::IsServerReachable(500));

    // A program that is not there is said so, and nothing is left running.
    testsupport::ScopedEnv path("PATH", "/nonexistent");
    CPrivateDisplay none;
    std::string error;
    EXPECT_FALSE(none.Start(640, 480, &error));
    EXPECT_NE(error.find("xvfb"), std::string::npos) << error;
    EXPECT_EQ(Env("DISPLAY"), ":none");
}

}  // namespace
