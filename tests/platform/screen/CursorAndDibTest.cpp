// The screen layer's pieces that need no X server: cursor blending, DIB sections, memory DCs.
#include "platform/screen/CursorImage.h"
#include "platform/screen/Gdi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace platform;

namespace {

struct Info256 {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};

Info256 Header(LONG width, LONG height, WORD bits, DWORD compression = BI_RGB)
{
    Info256 info {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, bits, compression, 0, 0, 0, 0, 0};
    return info;
}

const BITMAPINFO* AsInfo(const Info256& info)
{
    return reinterpret_cast<const BITMAPINFO*>(&info);
}

UniqueHBITMAP MakeDib(const Info256& info, BYTE** bits)
{
    void* p = nullptr;
    UniqueHBITMAP dib(CreateDIBSection(nullptr, AsInfo(info), DIB_RGB_COLORS, &p, nullptr, 0));
    *bits = static_cast<BYTE*>(p);
    return dib;
}

}  // namespace

TEST(CursorBlend, PremultipliedPixelsBlendAndTransparentOnesLeaveTheImage)
{
    // One opaque white, one half-transparent black (premultiplied: 0x80000000), one clear.
    std::uint32_t pixels[3] = {0xFFFFFFFF, 0x80000000, 0x00000000};
    CursorImage cursor {3, 1, 0, 0, pixels};
    std::vector<std::uint8_t> image(4 * 3, 200);
    BlendCursor(cursor, 0, 0, image.data(), 12, 3, 1, DibLayout32());
    EXPECT_EQ(image[0], 255);
    EXPECT_EQ(image[4], (200 * (255 - 128) + 127) / 255);
    EXPECT_EQ(image[8], 200);
}

TEST(CursorBlend, ClipsAtEveryEdgeOfABottomUpImage)
{
    std::uint32_t pixels[4] = {0xFF0000FF, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF};  // blue 2x2
    CursorImage cursor {2, 2, 0, 0, pixels};
    // 3x3 bottom-up 24-bit image: rows 12 bytes apart, the top row last in memory.
    std::vector<std::uint8_t> image(36, 0);
    std::uint8_t* top = image.data() + 24;
    for (auto [x, y] : {std::pair {-1, -1}, {2, 2}, {-5, 0}, {3, 0}}) {
        std::fill(image.begin(), image.end(), 0);
        BlendCursor(cursor, x, y, top, -12, 3, 3, DibLayout24());
        int blue = 0;
        for (std::size_t i = 0; i < image.size(); i += 3)
            blue += image[i] == 255;
        int expected = (x == -1 || x == 2) ? 1 : 0;
        EXPECT_EQ(blue, expected) << "cursor at " << x << "," << y;
    }
    // Top-left corner: image pixel (0, 0) is the first pixel of the last row in memory.
    std::fill(image.begin(), image.end(), 0);
    BlendCursor(cursor, -1, -1, top, -12, 3, 3, DibLayout24());
    EXPECT_EQ(top[0], 255);
}

TEST(CursorBlend, StandardArrowHasItsTipAtTheHotSpot)
{
    const CursorImage& arrow = StandardArrowCursor();
    EXPECT_EQ(arrow.xHotspot, 0);
    EXPECT_EQ(arrow.yHotspot, 0);
    EXPECT_EQ(arrow.pixels[0], 0xFF000000u) << "outline at the tip";
    EXPECT_EQ(arrow.pixels[2 * arrow.width + 1], 0xFFFFFFFFu) << "white inside";
    EXPECT_EQ(arrow.pixels[arrow.width - 1], 0u) << "clear beside the tip";
    EXPECT_EQ(LoadCursor(nullptr, IDC_ARROW), &arrow);
    EXPECT_EQ(LoadCursor(nullptr, reinterpret_cast<const char*>(static_cast<UINT_PTR>(32513))), nullptr);
}

TEST(DibSection, RowsArePaddedAndThePixelsStartZeroed)
{
    for (WORD bits : {8, 16, 24, 32}) {
        BYTE* p = nullptr;
        UniqueHBITMAP dib = MakeDib(Header(3, 2, bits), &p);
        ASSERT_TRUE(dib) << bits;
        DWORD size = DibStride(3, bits) * 2;
        EXPECT_EQ(size % 8, 0u);
        EXPECT_EQ(std::count(p, p + size, 0), static_cast<long>(size));
    }
    EXPECT_EQ(DibStride(3, 24), 12u);
    EXPECT_EQ(DibStride(3, 8), 4u);
    EXPECT_EQ(DibStride(704, 16), 1408u);
}

TEST(DibSection, AcceptsOnlyFormatsTheCaptureCanWrite)
{
    BYTE* p = nullptr;
    Info256 grey = Header(4, 4, 8);
    for (int i = 0; i < 256; ++i)
        grey.bmiColors[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    EXPECT_FALSE(MakeDib(grey, &p)) << "a foreign colour table would be written wrongly";
    EXPECT_EQ(p, nullptr);
    Info256 fixed = Header(4, 4, 8);
    std::memcpy(fixed.bmiColors, Palette332().data(), sizeof fixed.bmiColors);
    EXPECT_TRUE(MakeDib(fixed, &p));
    EXPECT_TRUE(MakeDib(Header(4, 4, 8), &p)) << "an unset table stands for the fixed one";

    Info256 masks565 = Header(4, 4, 16, BI_BITFIELDS);
    DWORD m565[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(masks565.bmiColors, m565, sizeof m565);
    EXPECT_TRUE(MakeDib(masks565, &p));
    DWORD odd[3] = {0xF000, 0x0F00, 0x00FF};
    std::memcpy(masks565.bmiColors, odd, sizeof odd);
    EXPECT_FALSE(MakeDib(masks565, &p));

    EXPECT_FALSE(MakeDib(Header(4, 4, 15), &p));
    EXPECT_FALSE(MakeDib(Header(0, 4, 32), &p));
    EXPECT_FALSE(MakeDib(Header(4, 0, 32), &p));
    EXPECT_FALSE(MakeDib(Header(-4, 4, 32), &p));
    EXPECT_FALSE(MakeDib(Header(100000, 100000, 32), &p)) << "too large for 32-bit sizes";
    Info256 planes = Header(4, 4, 32);
    planes.bmiHeader.biPlanes = 2;
    EXPECT_FALSE(MakeDib(planes, &p));
    void* bits = nullptr;
    EXPECT_EQ(CreateDIBSection(nullptr, AsInfo(Header(4, 4, 32)), 1 /* DIB_PAL_COLORS */, &bits, nullptr, 0), nullptr);
}

TEST(MemoryDC, SelectionReturnsThePreviousObjectAndDeletionDetaches)
{
    UniqueHDC dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    BYTE* p = nullptr;
    UniqueHBITMAP first = MakeDib(Header(2, 2, 32), &p);
    UniqueHBITMAP second = MakeDib(Header(2, 2, 32), &p);
    HGDIOBJ original = SelectObject(dc.get(), first.get());
    ASSERT_NE(original, nullptr);
    EXPECT_EQ(SelectObject(dc.get(), second.get()), static_cast<HGDIOBJ>(first.get()));

    // A DIB section lives in one DC at a time.
    UniqueHDC other(CreateCompatibleDC(nullptr));
    EXPECT_EQ(SelectObject(other.get(), second.get()), nullptr);
    EXPECT_FALSE(DeleteObject(original)) << "the DC's own bitmap is not the caller's to delete";

    // Deleting the selected section puts the DC's own bitmap back.
    second.reset();
    EXPECT_EQ(SelectObject(dc.get(), first.get()), original);
    EXPECT_EQ(SelectObject(dc.get(), original), static_cast<HGDIOBJ>(first.get()));

    // Deleting the DC first leaves the section free for another DC.
    SelectObject(dc.get(), first.get());
    dc.reset();
    EXPECT_NE(SelectObject(other.get(), first.get()), nullptr);
}

TEST(MemoryDC, DrawIconBlendsIntoTheSelectedSectionTopDown)
{
    UniqueHDC dc(CreateCompatibleDC(nullptr));
    BYTE* p = nullptr;
    UniqueHBITMAP dib = MakeDib(Header(4, 4, 32), &p);
    SelectObject(dc.get(), dib.get());
    std::uint32_t red = 0xFFFF0000;
    CursorImage dot {1, 1, 0, 0, &red};
    ASSERT_TRUE(DrawIcon(dc.get(), 1, 0, &dot));
    // Top row of a bottom-up 4x4 DIB is its last 16 bytes.
    EXPECT_EQ(p[3 * 16 + 4 + 2], 255);
    EXPECT_EQ(std::count(p, p + 64, 0), 63);
    EXPECT_FALSE(DrawIcon(dc.get(), 0, 0, nullptr));
}

TEST(DisplayDC, NeedsAReachableServer)
{
    testsupport::ScopedEnv noDisplay("DISPLAY", ":999");
    EXPECT_EQ(CreateDC("DISPLAY", nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(CreateDC("PRINTER", nullptr, nullptr, nullptr), nullptr);
    // Without a display DC, a blit has no source and fails, leaving the section alone.
    UniqueHDC dc(CreateCompatibleDC(nullptr));
    BYTE* p = nullptr;
    UniqueHBITMAP dib = MakeDib(Header(2, 2, 32), &p);
    SelectObject(dc.get(), dib.get());
    p[0] = 7;
    EXPECT_FALSE(BitBlt(dc.get(), 0, 0, 2, 2, nullptr, 0, 0, SRCCOPY));
    EXPECT_EQ(p[0], 7);
    POINT pt;
    EXPECT_FALSE(GetCursorPos(nullptr, &pt));
    EXPECT_EQ(GetCursor(nullptr), nullptr);
    EXPECT_TRUE(IsRectEmpty(nullptr));
    RECT empty {5, 5, 5, 9}, flipped {5, 5, 4, 9}, some {0, 0, 1, 1};
    EXPECT_TRUE(IsRectEmpty(&empty));
    EXPECT_TRUE(IsRectEmpty(&flipped));
    EXPECT_FALSE(IsRectEmpty(&some));
}
