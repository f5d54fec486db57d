// The X11 "GDI" and "DirectDraw" layers against a real server: each test runs its own Xvfb and
// paints it with a known pattern.
#include "platform/screen/DirectDraw.h"
#include "platform/screen/Gdi.h"
#include "platform/screen/PixelFormat.h"
#include "platform/screen/PrivateXServer.h"
#include "platform/screen/ScreenPainter.h"

#include <gtest/gtest.h>

// After the test framework: Xlib defines None and Bool as macros.
#include "platform/screen/ProcessErrorCounter.h"
#include "platform/screen/XConnection.h"

#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

using namespace platform;
using screentest::Colour;
using screentest::CPrivateXServer;
using screentest::CScreenPainter;
using screentest::PatternColour;

namespace {

struct Info256 {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};

struct Format {
    const char* name;
    WORD bits;
    DWORD compression;
    DWORD masks[3];
    PixelLayout layout;
};

std::vector<Format> Formats()
{
    return {{"32", 32, BI_RGB, {}, DibLayout32()},
            {"24", 24, BI_RGB, {}, DibLayout24()},
            {"565", 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, DibLayout565()},
            {"555", 16, BI_RGB, {}, DibLayout555()},
            {"8", 8, BI_RGB, {}, DibLayout8()}};
}

struct Surface {
    UniqueHDC display;
    UniqueHDC memory;
    UniqueHBITMAP dib;
    BYTE* bits = nullptr;
    LONG width = 0, height = 0;
    DWORD stride = 0;

    // The pixel (x, y) counted from the top of the bottom-up DIB.
    const BYTE* At(const Format& f, int x, int y) const
    {
        return bits + (height - 1 - y) * stride + x * (f.bits / 8);
    }
};

Surface MakeSurface(const Format& f, LONG width, LONG height)
{
    Surface s;
    s.display.reset(CreateDC("DISPLAY", nullptr, nullptr, nullptr));
    s.memory.reset(CreateCompatibleDC(s.display.get()));
    Info256 info {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, f.bits, f.compression, 0, 0, 0, 0, 0};
    std::memcpy(info.bmiColors, f.masks, sizeof f.masks);
    void* bits = nullptr;
    s.dib.reset(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0));
    s.bits = static_cast<BYTE*>(bits);
    s.width = width;
    s.height = height;
    s.stride = DibStride(width, f.bits);
    if (s.dib)
        SelectObject(s.memory.get(), s.dib.get());
    return s;
}

// The documented conversion of a 24-bit screen colour into a format.
std::vector<BYTE> Encoded(const Format& f, Colour c)
{
    std::vector<BYTE> out(f.bits / 8);
    EncodePixel(f.layout, {c.r, c.g, c.b}, out.data());
    return out;
}

struct ShmSegment {
    int perms;
    long attached;
};

// Shared-memory segments that this process created, as the kernel lists them.
std::vector<ShmSegment> OwnSegments()
{
    std::vector<ShmSegment> found;
    std::ifstream in("/proc/sysvipc/shm");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long key, id, size, cpid, lpid, nattch;
        std::string perms;
        fields >> key >> id >> perms >> size >> cpid >> lpid >> nattch;
        if (cpid == getpid())
            found.push_back({std::stoi(perms, nullptr, 8), nattch});
    }
    return found;
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

class XCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.IsRunning()) << "Xvfb did not start";
        ASSERT_TRUE(m_painter.IsOpen());
        m_painter.Paint(PatternColour);
    }

    CPrivateXServer m_server {"320x240x24"};
    CScreenPainter m_painter;
};

}  // namespace

TEST_F(XCapture, BitBltConvertsEveryFormatPixelExactAndBottomUp)
{
    const int left = 13, top = 7, width = 37, height = 21;
    for (const Format& f : Formats()) {
        Surface s = MakeSurface(f, width, height);
        ASSERT_TRUE(s.dib) << f.name;
        ASSERT_TRUE(BitBlt(s.memory.get(), 0, 0, width, height, s.display.get(), left, top, SRCCOPY)) << f.name;
        int wrong = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::vector<BYTE> expected = Encoded(f, PatternColour(left + x, top + y));
                wrong += std::memcmp(s.At(f, x, y), expected.data(), expected.size()) != 0;
            }
        EXPECT_EQ(wrong, 0) << f.name;
    }
}

TEST_F(XCapture, BitBltPartlyOffTheScreenGivesBlackThere)
{
    Format f = Formats()[0];
    Surface s = MakeSurface(f, 20, 10);
    std::memset(s.bits, 0x77, s.stride * 10);
    // The rectangle's right 5 columns and bottom 4 rows lie beyond 320x240.
    ASSERT_TRUE(BitBlt(s.memory.get(), 0, 0, 20, 10, s.display.get(), 305, 234, SRCCOPY));
    EXPECT_EQ(std::vector<BYTE>(s.At(f, 0, 0), s.At(f, 0, 0) + 4), Encoded(f, PatternColour(305, 234)));
    EXPECT_EQ(std::vector<BYTE>(s.At(f, 14, 5), s.At(f, 14, 5) + 4), Encoded(f, PatternColour(319, 239)));
    EXPECT_EQ(std::vector<BYTE>(s.At(f, 15, 0), s.At(f, 15, 0) + 4), (std::vector<BYTE> {0, 0, 0, 0}));
    EXPECT_EQ(std::vector<BYTE>(s.At(f, 0, 6), s.At(f, 0, 6) + 4), (std::vector<BYTE> {0, 0, 0, 0}));
    // Wholly off the screen: all black, still a success like the platform's blit.
    ASSERT_TRUE(BitBlt(s.memory.get(), 0, 0, 20, 10, s.display.get(), 400, 400, SRCCOPY));
    EXPECT_EQ(std::count(s.bits, s.bits + s.stride * 10, 0), static_cast<long>(s.stride * 10));
}

TEST_F(XCapture, ErrorsOfOurConnectionsStayOursAndTheProcessHandlerKeepsTheRest)
{
    screentest::CProcessErrorCounter process;
    std::shared_ptr<CXConnection> ours = CXConnection::Open();
    ASSERT_TRUE(ours);
    XMapWindow(ours->GetDisplay(), screentest::CProcessErrorCounter::kNoWindow);
    EXPECT_EQ(ours->SyncAndTakeError(), BadWindow);
    EXPECT_EQ(process.Errors(), 0) << "our connection's error is ours alone";
    EXPECT_TRUE(process.IsInstalled()) << "the process's handler is left in place";
    process.ProvokeError();
    EXPECT_EQ(process.Errors(), 1) << "another connection's error reaches the process's handler";
    EXPECT_EQ(ours->TakeError(), Success);
}

TEST_F(XCapture, SharedMemoryIsPrivateAndMarkedForRemovalWhileAttached)
{
    {
        Surface s = MakeSurface(Formats()[0], 64, 64);
        ASSERT_TRUE(BitBlt(s.memory.get(), 0, 0, 64, 64, s.display.get(), 0, 0, SRCCOPY));
        std::vector<ShmSegment> segments = OwnSegments();
        ASSERT_EQ(segments.size(), 1u) << "one image per selected DIB section";
        EXPECT_EQ(segments[0].perms & 0777, 0600);
        EXPECT_NE(segments[0].perms & 01000, 0) << "removed (IPC_RMID) right after attaching";
        EXPECT_EQ(segments[0].attached, 2) << "we and the server";
    }
    EXPECT_TRUE(OwnSegments().empty());
}

TEST_F(XCapture, RepeatedSetUpAndReleaseLeavesNothingBehind)
{
    int before = OpenDescriptors();
    for (int i = 0; i < 40; ++i) {
        Surface s = MakeSurface(Formats()[i % 5], 50, 40);
        BitBlt(s.memory.get(), 0, 0, 50, 40, s.display.get(), i, i, SRCCOPY);
        IDirectDraw* dd = nullptr;
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
        dd->Release();
    }
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_TRUE(OwnSegments().empty());
}

TEST_F(XCapture, DirectDrawLockAddressesTheBlittedRectangleInScreenCoordinates)
{
    DDRef<IDirectDraw> dd;
    ASSERT_EQ(DirectDrawCreate(nullptr, dd.Receive(), nullptr), DD_OK);
    ASSERT_EQ(dd->SetCooperativeLevel(0, DDSCL_NORMAL), DD_OK);
    DDSURFACEDESC desc {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    DDRef<IDirectDrawSurface> primary, back, gdi;
    ASSERT_EQ(dd->CreateSurface(&desc, primary.Receive(), nullptr), DD_OK);
    ASSERT_EQ(dd->GetGDISurface(gdi.Receive()), DD_OK);
    EXPECT_EQ(gdi.Get(), primary.Get());
    desc = {};
    desc.dwSize = sizeof desc;
    ASSERT_EQ(primary->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(desc.dwWidth, 320u);
    EXPECT_EQ(desc.dwHeight, 240u);
    EXPECT_EQ(desc.ddpfPixelFormat.dwRGBBitCount, 32u) << "a 24-bit X screen has 32 bits per pixel";
    EXPECT_EQ(primary->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DDERR_UNSUPPORTED);

    desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    desc.dwWidth = 320;
    desc.dwHeight = 240;
    ASSERT_EQ(dd->CreateSurface(&desc, back.Receive(), nullptr), DD_OK);

    for (RECT r : {RECT {10, 20, 90, 70}, RECT {0, 0, 320, 240}, RECT {319, 239, 320, 240}}) {
        ASSERT_EQ(back->BltFast(r.left, r.top, primary.Get(), &r, DDBLTFAST_NOCOLORKEY), DD_OK);
        desc = {};
        desc.dwSize = sizeof desc;
        ASSERT_EQ(back->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK);
        auto* start = static_cast<const BYTE*>(desc.lpSurface);
        int wrong = 0;
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) {
                const BYTE* p = start + y * desc.lPitch + 32 * x / 8;
                Colour c = PatternColour(x, y);
                wrong += p[0] != c.b || p[1] != c.g || p[2] != c.r;
            }
        EXPECT_EQ(wrong, 0) << r.left << "," << r.top;
        EXPECT_EQ(back->Unlock(nullptr), DD_OK);
    }
    EXPECT_EQ(back->Unlock(nullptr), DDERR_NOTLOCKED);

    for (RECT r : {RECT {300, 0, 321, 10}, RECT {-1, 0, 10, 10}, RECT {0, 230, 10, 241}, RECT {5, 5, 5, 9}}) {
        EXPECT_EQ(back->BltFast(r.left, r.top, primary.Get(), &r, DDBLTFAST_NOCOLORKEY), DDERR_INVALIDRECT)
            << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
    EXPECT_EQ(dd->SetCooperativeLevel(0, 0x11 /* exclusive, full screen */), DDERR_UNSUPPORTED);
}

TEST_F(XCapture, CursorImageAndPositionComeFromTheServer)
{
    m_painter.SetSolidCursor(8, {255, 0, 0}, 3, 2);
    m_painter.MovePointer(100, 50);
    UniqueHDC display(CreateDC("DISPLAY", nullptr, nullptr, nullptr));
    POINT pt {};
    ASSERT_TRUE(GetCursorPos(display.get(), &pt));
    EXPECT_EQ(pt.x, 100);
    EXPECT_EQ(pt.y, 50);
    HCURSOR cursor = GetCursor(display.get());
    ASSERT_NE(cursor, nullptr);
    ICONINFO ii;
    ASSERT_TRUE(GetIconInfo(cursor, &ii));
    EXPECT_EQ(ii.xHotspot, 3u);
    EXPECT_EQ(ii.yHotspot, 2u);
    EXPECT_EQ(ii.hbmMask, nullptr);
    EXPECT_EQ(cursor->width, 8);
    EXPECT_EQ(cursor->pixels[0], 0xFFFF0000u);

    // A new cursor is noticed without asking for the image on every call.
    m_painter.SetSolidCursor(5, {0, 0, 255}, 0, 0);
    cursor = GetCursor(display.get());
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->width, 5);
    EXPECT_EQ(cursor->pixels[0], 0xFF0000FFu);
}

TEST_F(XCapture, CursorPositionAskedAheadIsTheOneAtTheTimeOfAsking)
{
    m_painter.MovePointer(10, 20);
    UniqueHDC display(CreateDC("DISPLAY", nullptr, nullptr, nullptr));
    UniqueHDC memory(CreateCompatibleDC(display.get()));
    Info256 info {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, 4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    UniqueHBITMAP dib(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0));
    ASSERT_NE(SelectObject(memory.get(), dib.get()), nullptr);
    ASSERT_TRUE(RequestCursorPos(display.get()));
    // A blit on the same connection: the server has answered the question when it returns.
    ASSERT_TRUE(BitBlt(memory.get(), 0, 0, 4, 4, display.get(), 0, 0, SRCCOPY));
    m_painter.MovePointer(200, 150);
    POINT pt {};
    ASSERT_TRUE(GetCursorPos(display.get(), &pt));
    EXPECT_EQ(pt.x, 10);
    EXPECT_EQ(pt.y, 20);
    // The answer is used once; the next call asks again.
    ASSERT_TRUE(GetCursorPos(display.get(), &pt));
    EXPECT_EQ(pt.x, 200);
    EXPECT_EQ(pt.y, 150);

    // A question asked again replaces the one before it.
    ASSERT_TRUE(RequestCursorPos(display.get()));
    m_painter.MovePointer(30, 40);
    ASSERT_TRUE(RequestCursorPos(display.get()));
    ASSERT_TRUE(GetCursorPos(display.get(), &pt));
    EXPECT_EQ(pt.x, 30);
    EXPECT_EQ(pt.y, 40);
    EXPECT_FALSE(RequestCursorPos(nullptr));
}

TEST(XCaptureSixteenBitScreen, WidensItsChannelsIntoThirtyTwoBits)
{
    CPrivateXServer server("160x120x16");
    ASSERT_TRUE(server.IsRunning());
    CScreenPainter painter;
    ASSERT_TRUE(painter.IsOpen());
    ASSERT_EQ(painter.Depth(), 16);
    painter.Paint(PatternColour);
    Format f = Formats()[0];
    Surface s = MakeSurface(f, 30, 20);
    ASSERT_TRUE(BitBlt(s.memory.get(), 0, 0, 30, 20, s.display.get(), 5, 6, SRCCOPY));
    int wrong = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            // What the server holds, read by the painter's own connection.
            Colour c = painter.ScreenColour(5 + x, 6 + y);
            const BYTE* p = s.At(f, x, y);
            wrong += p[0] != c.b || p[1] != c.g || p[2] != c.r || p[3] != 0;
        }
    EXPECT_EQ(wrong, 0);
    // The DirectDraw layer reports the screen's 16 bits, so the capture keeps it off that path.
    IDirectDraw* dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    DDSURFACEDESC desc {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface* primary = nullptr;
    ASSERT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DD_OK);
    ASSERT_EQ(primary->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(desc.ddpfPixelFormat.dwRGBBitCount, 16u);
    EXPECT_EQ(desc.ddpfPixelFormat.dwGBitMask, 0x07E0u);
    primary->Release();
    dd->Release();
}
