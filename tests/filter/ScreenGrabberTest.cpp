// CScreenGrabber against a real X server: each test runs its own Xvfb painted with a known
// pattern, and captures frames the way the output pin does (set up, capture, release).
#include "filter/ScreenGrabber.h"
#include "platform/screen/PixelFormat.h"
#include "platform/screen/PrivateXServer.h"
#include "platform/screen/ScreenPainter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

using screentest::Colour;
using screentest::CPrivateXServer;
using screentest::CScreenPainter;
using screentest::PatternColour;

namespace {

struct Format {
    const char* name;
    int bits;
    DWORD masks[3];
    platform::PixelLayout layout;
};

std::vector<Format> Formats()
{
    return {{"32", 32, {}, platform::DibLayout32()},
            {"24", 24, {}, platform::DibLayout24()},
            {"565", 16, {0xF800, 0x07E0, 0x001F}, platform::DibLayout565()},
            {"555", 16, {0x7C00, 0x03E0, 0x001F}, platform::DibLayout555()},
            {"8", 8, {}, platform::DibLayout8()}};
}

BITMAPINFOHEADER HeaderFor(const RECT& rc, int bits)
{
    LONG width = rc.right - rc.left, height = rc.bottom - rc.top;
    DWORD compression = bits == 16 ? BI_BITFIELDS : BI_RGB;
    return {sizeof(BITMAPINFOHEADER), width, height, 1, static_cast<WORD>(bits), compression,
            DibStride(width, static_cast<WORD>(bits)) * static_cast<DWORD>(height), 0, 0, 0, 0};
}

// A frame buffer with guard bytes behind it, as a sample buffer of biSizeImage bytes.
struct Frame {
    explicit Frame(const BITMAPINFOHEADER& h, BYTE fill = 0xA5)
        : header(h), bytes(h.biSizeImage + kGuard, fill)
    {
    }
    static constexpr std::size_t kGuard = 64;
    const BYTE* At(int x, int y) const
    {
        return bytes.data() + (header.biHeight - 1 - y) * DibStride(header.biWidth, header.biBitCount) +
               x * header.biBitCount / 8;
    }
    bool GuardIntact(BYTE fill = 0xA5) const
    {
        return std::all_of(bytes.end() - kGuard, bytes.end(), [fill](BYTE b) { return b == fill; });
    }
    bool Untouched(BYTE fill = 0xA5) const
    {
        return std::all_of(bytes.begin(), bytes.end(), [fill](BYTE b) { return b == fill; });
    }
    BITMAPINFOHEADER header;
    std::vector<BYTE> bytes;
};

std::vector<BYTE> Encoded(const Format& f, Colour c)
{
    std::vector<BYTE> out(f.bits / 8);
    platform::EncodePixel(f.layout, {c.r, c.g, c.b}, out.data());
    return out;
}

int CountMismatches(const Frame& frame, const Format& f, const RECT& rc)
{
    int wrong = 0;
    for (int y = 0; y < rc.bottom - rc.top; ++y)
        for (int x = 0; x < rc.right - rc.left; ++x) {
            std::vector<BYTE> expected = Encoded(f, PatternColour(rc.left + x, rc.top + y));
            // The DirectDraw path copies the server's words as they are, pad byte included.
            std::size_t compared = f.bits == 32 ? 3 : expected.size();
            wrong += std::memcmp(frame.At(x, y), expected.data(), compared) != 0;
        }
    return wrong;
}

bool IsColour(const BYTE* bgrx, Colour c)
{
    return bgrx[0] == c.b && bgrx[1] == c.g && bgrx[2] == c.r;
}

int OpenDescriptors()
{
    int n = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++n;
        closedir(dir);
    }
    return n;
}

int OwnShmSegments()
{
    std::ifstream in("/proc/sysvipc/shm");
    std::string line;
    std::getline(in, line);
    int n = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long key, id, size, cpid;
        std::string perms;
        fields >> key >> id >> perms >> size >> cpid;
        n += cpid == getpid();
    }
    return n;
}

class ScreenGrabber : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.IsRunning()) << "Xvfb did not start";
        ASSERT_TRUE(m_painter.IsOpen());
        m_painter.Paint(PatternColour);
        m_painter.TakeBells();
    }

    // Sets up like the pin's OnThreadCreate for the given output.
    void SetUpFor(CScreenGrabber& g, const Format& f)
    {
        g.SetOutputDepth(f.bits);
        if (f.bits == 16)
            g.SetOutputMasks(f.masks[0], f.masks[1], f.masks[2]);
        if (g.IsDirectDrawUsable())
            ASSERT_TRUE(g.SetUpDirectDraw(f.bits));
        else
            ASSERT_TRUE(g.SetUpGDI(f.bits));
    }

    CPrivateXServer m_server {"320x240x24"};
    CScreenPainter m_painter;
};

}  // namespace

TEST_F(ScreenGrabber, GdiFramesMatchTheScreenInEveryDepth)
{
    const RECT rc {13, 7, 13 + 37, 7 + 21};
    for (const Format& f : Formats()) {
        CScreenGrabber g;
        g.SetCaptureRect(rc);
        SetUpFor(g, f);
        Frame frame(HeaderFor(rc, f.bits));
        g.Capture(frame.bytes.data(), &frame.header);
        EXPECT_EQ(CountMismatches(frame, f, rc), 0) << f.name;
        EXPECT_TRUE(frame.GuardIntact()) << f.name;
        if (f.bits == 32) {
            // GDI's 32-bit pixels carry a zero in the fourth byte.
            EXPECT_EQ(frame.At(0, 0)[3], 0);
        }
        g.ReleaseGDI();
        g.ReleaseDirectDraw();
    }
}

TEST_F(ScreenGrabber, DirectDrawIsUsedOnlyForTheScreensOwnDepth)
{
    CScreenGrabber g;
    EXPECT_EQ(g.GetScreenDepth(), 32);
    g.SetCaptureMode(0, CaptureModeDirectDraw);
    g.SetOutputDepth(32);
    EXPECT_TRUE(g.IsDirectDrawUsable());
    g.SetOutputDepth(24);
    EXPECT_FALSE(g.IsDirectDrawUsable());
    g.SetCaptureMode(0, CaptureModeGDI);
    g.SetOutputDepth(32);
    EXPECT_FALSE(g.IsDirectDrawUsable());

    // Mode DirectDraw with a 24-bit type captures through GDI, and correctly.
    const RECT rc {40, 30, 120, 90};
    g.SetCaptureRect(rc);
    g.SetCaptureMode(0, CaptureModeDirectDraw);
    SetUpFor(g, Formats()[1]);
    Frame frame(HeaderFor(rc, 24));
    g.Capture(frame.bytes.data(), &frame.header);
    EXPECT_EQ(CountMismatches(frame, Formats()[1], rc), 0);
}

TEST_F(ScreenGrabber, DirectDrawFramesMatchTheScreen)
{
    for (RECT rc : {RECT {13, 7, 50, 28}, RECT {0, 0, 320, 240}, RECT {250, 200, 320, 240}}) {
        CScreenGrabber g;
        g.SetCaptureRect(rc);
        g.SetCaptureMode(0, CaptureModeDirectDraw);
        SetUpFor(g, Formats()[0]);
        Frame frame(HeaderFor(rc, 32));
        g.Capture(frame.bytes.data(), &frame.header);
        EXPECT_EQ(CountMismatches(frame, Formats()[0], rc), 0) << rc.left << "," << rc.top;
        EXPECT_TRUE(frame.GuardIntact());
        EXPECT_EQ(m_painter.TakeBells(), 0);
    }
}

TEST_F(ScreenGrabber, CursorCornerLandsAtPointerMinusRectangleMinusHotSpot)
{
    const Colour red {255, 0, 0};
    const RECT rc {20, 20, 220, 220};
    m_painter.MovePointer(100, 100);
    for (auto [hotX, hotY] : {std::pair {0, 0}, {3, 2}}) {
        m_painter.SetSolidCursor(8, red, hotX, hotY);
        CScreenGrabber g;
        g.SetCaptureRect(rc);
        g.SetDrawCursor(TRUE);
        SetUpFor(g, Formats()[0]);
        Frame frame(HeaderFor(rc, 32));
        g.Capture(frame.bytes.data(), &frame.header);
        int cornerX = 80 - hotX, cornerY = 80 - hotY;
        int redInside = 0;
        for (int y = cornerY; y < cornerY + 8; ++y)
            for (int x = cornerX; x < cornerX + 8; ++x)
                redInside += IsColour(frame.At(x, y), red);
        EXPECT_EQ(redInside, 64) << "hot spot " << hotX << "," << hotY;
        EXPECT_TRUE(IsColour(frame.At(cornerX - 1, cornerY), PatternColour(20 + cornerX - 1, 20 + cornerY)));
        EXPECT_TRUE(IsColour(frame.At(cornerX, cornerY - 1), PatternColour(20 + cornerX, 20 + cornerY - 1)));
        EXPECT_TRUE(IsColour(frame.At(cornerX + 8, cornerY + 8), PatternColour(20 + cornerX + 8, 20 + cornerY + 8)));
    }
}

TEST_F(ScreenGrabber, CursorIsBlendedIntoEveryDepthAndClippedAtTheFrameEdge)
{
    const Colour blue {0, 0, 255};
    m_painter.SetSolidCursor(8, blue, 0, 0);
    // The pointer near the rectangle's bottom-right corner: only a 3x2 corner of it shows.
    const RECT rc {20, 20, 120, 100};
    m_painter.MovePointer(117, 98);
    for (const Format& f : Formats()) {
        CScreenGrabber g;
        g.SetCaptureRect(rc);
        g.SetDrawCursor(TRUE);
        SetUpFor(g, f);
        Frame frame(HeaderFor(rc, f.bits));
        g.Capture(frame.bytes.data(), &frame.header);
        std::vector<BYTE> expected = Encoded(f, blue);
        int blueSeen = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 100; ++x)
                blueSeen += std::memcmp(frame.At(x, y), expected.data(), expected.size()) == 0 &&
                            (x >= 97 && y >= 78);
        EXPECT_EQ(blueSeen, 6) << f.name;
        EXPECT_TRUE(frame.GuardIntact()) << f.name;
    }
}

TEST_F(ScreenGrabber, DirectDrawDrawsTheStandardArrow)
{
    m_painter.SetSolidCursor(8, {255, 0, 0}, 4, 4);  // not what DirectDraw draws
    m_painter.MovePointer(100, 100);
    const RECT rc {20, 20, 220, 220};
    CScreenGrabber g;
    g.SetCaptureRect(rc);
    g.SetDrawCursor(TRUE);
    g.SetCaptureMode(0, CaptureModeDirectDraw);
    SetUpFor(g, Formats()[0]);
    Frame frame(HeaderFor(rc, 32));
    g.Capture(frame.bytes.data(), &frame.header);
    EXPECT_TRUE(IsColour(frame.At(80, 80), {0, 0, 0})) << "the arrow's tip, hot spot (0, 0)";
    EXPECT_TRUE(IsColour(frame.At(81, 82), {255, 255, 255})) << "inside the arrow";
    EXPECT_TRUE(IsColour(frame.At(79, 80), PatternColour(99, 100)));
    EXPECT_TRUE(IsColour(frame.At(10, 10), PatternColour(30, 30)));
    EXPECT_TRUE(frame.GuardIntact());
}

TEST_F(ScreenGrabber, EmptyRectangleAndUnknownModesLeaveTheBufferAsItWas)
{
    const RECT normal {20, 20, 100, 80};
    for (CaptureMode mode : {CaptureModeGDI, CaptureModeDirectDraw}) {
        CScreenGrabber g;
        g.SetCaptureRect(normal);
        g.SetCaptureMode(0, mode);
        SetUpFor(g, Formats()[0]);
        g.SetCaptureRect({50, 50, 50, 90});
        Frame frame(HeaderFor(normal, 32));
        g.Capture(frame.bytes.data(), &frame.header);
        EXPECT_TRUE(frame.Untouched()) << "mode " << mode;
    }
    for (CaptureMode mode : {2, -1, 0x7FFFFFFF}) {
        CScreenGrabber g;
        g.SetCaptureRect(normal);
        SetUpFor(g, Formats()[0]);
        g.SetCaptureMode(0, mode);
        Frame frame(HeaderFor(normal, 32));
        g.Capture(frame.bytes.data(), &frame.header);
        EXPECT_TRUE(frame.Untouched()) << "mode " << mode;
    }
}

TEST_F(ScreenGrabber, DirectDrawRectangleBeyondTheScreenBeepsAndLeavesTheFrame)
{
    const RECT rc {280, 200, 340, 260};  // 20 pixels past the right and bottom edges
    CScreenGrabber g;
    g.SetCaptureRect(rc);
    g.SetCaptureMode(0, CaptureModeDirectDraw);
    g.SetDrawCursor(TRUE);
    SetUpFor(g, Formats()[0]);
    Frame frame(HeaderFor(rc, 32));
    for (int i = 0; i < 3; ++i)
        g.Capture(frame.bytes.data(), &frame.header);
    EXPECT_TRUE(frame.Untouched());
    // The bells come from the grabber's own connection: the server may see them after our sync.
    int bells = 0;
    for (int i = 0; i < 150 && bells < 3; ++i) {
        bells += m_painter.TakeBells();
        if (bells < 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(bells, 3) << "one bell per failed frame";

    // The run goes on: a rectangle back on the screen captures again.
    const RECT inside {200, 150, 260, 210};
    g.SetCaptureRect(inside);
    g.SetDrawCursor(FALSE);
    g.Capture(frame.bytes.data(), &frame.header);
    EXPECT_EQ(CountMismatches(frame, Formats()[0], inside), 0);
}

TEST_F(ScreenGrabber, FramesNeverOutgrowTheBufferTheHeaderDescribes)
{
    // The rectangle grows after set-up; the header (and the sample buffer) keep the old size.
    const RECT small {10, 10, 50, 40};
    for (CaptureMode mode : {CaptureModeGDI, CaptureModeDirectDraw}) {
        for (BOOL cursor : {FALSE, TRUE}) {
            CScreenGrabber g;
            g.SetCaptureRect(small);
            g.SetCaptureMode(0, mode);
            g.SetDrawCursor(cursor);
            SetUpFor(g, Formats()[0]);
            g.SetCaptureRect({10, 10, 200, 160});
            Frame frame(HeaderFor(small, 32));
            g.Capture(frame.bytes.data(), &frame.header);
            EXPECT_TRUE(frame.GuardIntact()) << "mode " << mode << " cursor " << cursor;
            if (!cursor) {
                EXPECT_EQ(CountMismatches(frame, Formats()[0], small), 0) << "mode " << mode;
            }
        }
    }
    // A header of another size than the drawing surface is not written into at all.
    CScreenGrabber g;
    g.SetCaptureRect(small);
    SetUpFor(g, Formats()[0]);
    BITMAPINFOHEADER other = HeaderFor({0, 0, 41, 30}, 32);
    Frame frame(other);
    g.Capture(frame.bytes.data(), &frame.header);
    EXPECT_TRUE(frame.Untouched());
}

TEST_F(ScreenGrabber, SetUpAndTearDownManyTimesLeavesNoResources)
{
    {
        // The first connection loads what Xlib keeps for the process; count from after it.
        CScreenGrabber warm;
    }
    int descriptors = OpenDescriptors();
    const RECT rc {0, 0, 160, 120};
    for (int i = 0; i < 30; ++i) {
        CScreenGrabber g;
        g.SetCaptureRect(rc);
        g.SetDrawCursor(i % 2);
        g.SetCaptureMode(0, i % 3 == 0 ? CaptureModeGDI : CaptureModeDirectDraw);
        for (int run = 0; run < 2; ++run) {
            SetUpFor(g, Formats()[i % 5]);
            Frame frame(HeaderFor(rc, Formats()[i % 5].bits));
            g.Capture(frame.bytes.data(), &frame.header);
            EXPECT_GT(OwnShmSegments(), 0);
            // The pin's OnThreadDestroy: GDI first.
            g.ReleaseGDI();
            g.ReleaseDirectDraw();
            EXPECT_EQ(OwnShmSegments(), 0);
        }
        // Set up and left for the destructor to release.
        SetUpFor(g, Formats()[0]);
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(OwnShmSegments(), 0);
}

TEST_F(ScreenGrabber, DirectAndDrawingSurfaceRoutesGiveTheSameFrame)
{
    // A buffer that holds the whole frame is written directly; a shorter one gets a copy of the
    // drawing surface. Both must show the same picture, cursor included.
    m_painter.SetSolidCursor(6, {0, 255, 0}, 2, 1);
    m_painter.MovePointer(60, 50);
    const RECT rc {30, 30, 97, 80};
    for (const Format& f : Formats()) {
        CScreenGrabber g;
        g.SetCaptureRect(rc);
        g.SetDrawCursor(TRUE);
        SetUpFor(g, f);
        Frame whole(HeaderFor(rc, f.bits));
        g.Capture(whole.bytes.data(), &whole.header);
        BITMAPINFOHEADER shortHeader = HeaderFor(rc, f.bits);
        shortHeader.biSizeImage -= 1;
        Frame part(shortHeader);
        g.Capture(part.bytes.data(), &part.header);
        auto diff = std::mismatch(part.bytes.begin(), part.bytes.begin() + shortHeader.biSizeImage,
                                  whole.bytes.begin());
        EXPECT_EQ(diff.first - part.bytes.begin(), static_cast<long>(shortHeader.biSizeImage)) << f.name;
        EXPECT_EQ(part.bytes[shortHeader.biSizeImage], 0xA5) << f.name << ": at most biSizeImage bytes";
        std::vector<BYTE> green = Encoded(f, {0, 255, 0});
        EXPECT_EQ(std::memcmp(whole.At(60 - 30 - 2, 50 - 30 - 1), green.data(), green.size()), 0) << f.name;
    }
}
