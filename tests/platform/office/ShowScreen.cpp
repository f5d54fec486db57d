#include "platform/office/ShowScreen.h"

#include "platform/x11/WindowFunctions.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <unistd.h>
#include <thread>

// Last: Xlib's macros (None, Bool) would break the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace officetest {

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool Near(std::uint32_t a, std::uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d < -12 || d > 12)
            return false;
    }
    return true;
}

namespace {
// Reads a screen rectangle with a plain XGetImage of the root window.
bool ReadScreen(int x, int y, int w, int h, std::vector<std::uint32_t>* pixels)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y,
                              static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes,
                              ZPixmap);
    if (image) {
        pixels->resize(static_cast<size_t>(w) * h);
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col)
                (*pixels)[static_cast<size_t>(row) * w + col]
                    = static_cast<std::uint32_t>(XGetPixel(image, col, row)) & 0xFFFFFF;
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return image != nullptr;
}
}  // namespace

std::uint32_t ScreenPixel(int x, int y)
{
    std::vector<std::uint32_t> pixel;
    return ReadScreen(x, y, 1, 1, &pixel) ? pixel[0] : 0xFFFFFFFF;
}

std::uint32_t WindowImage::AtFraction(double fx, double fy) const
{
    int x = static_cast<int>(fx * Width()), y = static_cast<int>(fy * Height());
    return At(std::min(std::max(x, 0), Width() - 1), std::min(std::max(y, 0), Height() - 1));
}

bool CaptureWindow(HWND window, WindowImage* image)
{
    RECT rect {};
    return platform::GetWindowRect(window, &rect) && CaptureRect(rect, image);
}

bool CaptureRect(const RECT& rect, WindowImage* image)
{
    image->rect = rect;
    if (image->Width() <= 0 || image->Height() <= 0)
        return false;
    return ReadScreen(rect.left, rect.top, image->Width(), image->Height(), &image->pixels);
}

long ForeignPixels(HWND window, std::uint32_t slideColour)
{
    WindowImage image;
    if (!CaptureWindow(window, &image))
        return -1;
    long foreign = 0;
    for (int y = 0; y < image.Height() - 3; ++y)
        for (int x = 0; x < image.Width() - 3; ++x)
            if (!(x < image.Width() / 4 && y < image.Height() * 2 / 5)
                && !Near(image.At(x, y), slideColour))
                ++foreign;
    return foreign;
}

struct CTopLevelWatch::Impl {
    std::atomic<bool> stop {false};
    std::set<Window> seen;
    std::map<Window, DWORD> owners;
    std::thread thread;
    XErrorHandler previous = nullptr;

    void Run()
    {
        Display* d = XOpenDisplay(nullptr);
        DWORD self = static_cast<DWORD>(getpid());
        while (d && !stop) {
            Window root = 0, parent = 0, *children = nullptr;
            unsigned int count = 0;
            if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
                for (unsigned int i = 0; i < count; ++i) {
                    XWindowAttributes a;
                    if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable)
                        continue;
                    auto owner = owners.find(children[i]);
                    if (owner == owners.end())
                        owner = owners.emplace(children[i], platform::GetWindowThreadProcessId(
                                                                 children[i], nullptr)).first;
                    if (owner->second != self)
                        seen.insert(children[i]);
                }
                if (children)
                    XFree(children);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (d)
            XCloseDisplay(d);
    }
};

CTopLevelWatch::CTopLevelWatch() : m_pImpl(std::make_unique<Impl>())
{
    // Windows come and go while it looks: their errors are no failure.
    m_pImpl->previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    m_pImpl->thread = std::thread([impl = m_pImpl.get()] { impl->Run(); });
}

CTopLevelWatch::~CTopLevelWatch()
{
    Stop();
}

size_t CTopLevelWatch::Stop()
{
    m_pImpl->stop = true;
    if (m_pImpl->thread.joinable()) {
        m_pImpl->thread.join();
        XSetErrorHandler(m_pImpl->previous);
    }
    return m_pImpl->seen.size();
}

}  // namespace officetest
