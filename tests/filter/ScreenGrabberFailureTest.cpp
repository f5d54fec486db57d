// CScreenGrabber without an X server: its defaults, the logged DirectDraw failures, and frames
// that are never written.
#include "filter/ScreenGrabber.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

int CountLines(const std::string& text, const std::string& message)
{
    int n = 0;
    for (std::size_t at = 0; (at = text.find(" " + message + "\n", at)) != std::string::npos; ++at)
        ++n;
    return n;
}

}  // namespace

TEST(ScreenGrabberDefaults, MatchTheFilterBeforeAnyCall)
{
    TempDir dir;
    ScopedEnv log("VANTOREL_LOG", dir.file("kvellog.txt"));
    ScopedEnv display("DISPLAY", ":999");
    CScreenGrabber g;
    RECT rc = g.GetCaptureRect();
    EXPECT_EQ(rc.left, 20);
    EXPECT_EQ(rc.top, 20);
    EXPECT_EQ(rc.right, 660);
    EXPECT_EQ(rc.bottom, 500);
    EXPECT_EQ(g.GetDrawCursor(), FALSE);
    EXPECT_EQ(g.GetCaptureMode(), CaptureModeGDI);
    EXPECT_EQ(g.GetWindow(), 0u);
    g.SetCaptureMode(0x1234, CaptureModeDirectDraw);
    EXPECT_EQ(g.GetWindow(), 0x1234u);
    EXPECT_EQ(g.GetCaptureMode(), CaptureModeDirectDraw);
    // The filter's 8-bit media type carries this table.
    EXPECT_EQ(CScreenGrabber::GetPalette8()[255].rgbRed, 255);
    EXPECT_EQ(CScreenGrabber::GetPalette8()[0b11100000].rgbGreen, 0);
}

TEST(ScreenGrabberWithoutServer, LogsTheProbeAndSetUpFailuresAndWritesNoFrame)
{
    TempDir dir;
    ScopedEnv log("VANTOREL_LOG", dir.file("kvellog.txt"));
    ScopedEnv display("DISPLAY", ":999");
    CScreenGrabber g;
    EXPECT_EQ(CountLines(ReadFile(dir.file("kvellog.txt")), "Can't create DirectDrawObject!"), 1);
    EXPECT_EQ(g.GetScreenDepth(), 0) << "undetermined";

    g.SetCaptureMode(0, CaptureModeDirectDraw);
    g.SetOutputDepth(32);
    EXPECT_FALSE(g.IsDirectDrawUsable());
    EXPECT_FALSE(g.SetUpDirectDraw(32));
    EXPECT_FALSE(g.SetUpGDI(32));
    std::string text = ReadFile(dir.file("kvellog.txt"));
    EXPECT_EQ(CountLines(text, "Can't create DirectDrawObject!"), 2);
    EXPECT_EQ(CountLines(text, "Screen capture (GDI) set-up failed!"), 2) << "the fallback and the direct call";

    BITMAPINFOHEADER h {sizeof(BITMAPINFOHEADER), 640, 480, 1, 32, BI_RGB, 640 * 480 * 4, 0, 0, 0, 0};
    std::vector<BYTE> frame(h.biSizeImage, 0x3C);
    for (CaptureMode mode : {CaptureModeGDI, CaptureModeDirectDraw}) {
        g.SetCaptureMode(0, mode);
        g.Capture(frame.data(), &h);
    }
    g.Capture(nullptr, &h);
    g.Capture(frame.data(), nullptr);
    EXPECT_EQ(std::count(frame.begin(), frame.end(), 0x3C), static_cast<long>(frame.size()));
    g.ReleaseGDI();
    g.ReleaseDirectDraw();
    g.ReleaseGDI();
}
