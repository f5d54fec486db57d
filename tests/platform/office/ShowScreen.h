#pragma once
// Test support for the office tests: waiting for what another process does, and reading what a
// window shows on the screen of the private X server (through a connection of our own).
#include "platform/base/WinGdiTypes.h"
#include "platform/base/WinTypes.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace officetest {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start);
bool WaitFor(const std::function<bool()>& done, int timeoutMs);

// Colours come back exactly on a 24-bit screen, but allow for a renderer's rounding.
bool Near(std::uint32_t a, std::uint32_t b);

// The screen's colour at (x, y), as 0xRRGGBB; 0xFFFFFFFF when it cannot be read.
std::uint32_t ScreenPixel(int x, int y);

// What a window shows: its rectangle on the screen and those pixels, row by row, as 0xRRGGBB.
struct WindowImage {
    RECT rect {};
    std::vector<std::uint32_t> pixels;
    int Width() const { return rect.right - rect.left; }
    int Height() const { return rect.bottom - rect.top; }
    // (x, y) relative to the window.
    std::uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * Width() + x]; }
    // The pixel at the window's fractions (fx, fy) of its width and height.
    std::uint32_t AtFraction(double fx, double fy) const;
};

// False when the window has no rectangle or the screen cannot be read.
bool CaptureWindow(HWND window, WindowImage* image);
// The same for a rectangle of the screen.
bool CaptureRect(const RECT& rect, WindowImage* image);

// Pixels of the window that are not the slide's colour (SlideColour of TestPresentations.h),
// leaving out the number's corner (top left) and the 3-pixel edge a window show leaves at the
// right and the bottom; -1 when the window cannot be read.
long ForeignPixels(HWND window, std::uint32_t slideColour);

// Watches, while it lives, for windows of other processes (the office's) that become viewable at
// top level, where the user would see them outside our window.
class CTopLevelWatch {
public:
    CTopLevelWatch();
    ~CTopLevelWatch();
    CTopLevelWatch(const CTopLevelWatch&) = delete;
    CTopLevelWatch& operator=(const CTopLevelWatch&) = delete;
    // Stops watching; the number of such windows seen.
    size_t Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};

}  // namespace officetest
