#include "platform/screen/ScreenPainter.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <vector>

namespace screentest {
namespace {

unsigned long Pack(Visual* visual, Colour c)
{
    auto channel = [](std::uint8_t v, unsigned long mask) {
        int shift = std::countr_zero(mask);
        int bits = std::popcount(mask);
        return (static_cast<unsigned long>(v) >> (8 - bits)) << shift;
    };
    return channel(c.r, visual->red_mask) | channel(c.g, visual->green_mask) |
           channel(c.b, visual->blue_mask);
}

Colour Unpack(Visual* visual, unsigned long pixel)
{
    auto channel = [pixel](unsigned long mask) {
        int shift = std::countr_zero(mask);
        unsigned long max = mask >> shift;
        return static_cast<std::uint8_t>((((pixel & mask) >> shift) * 255 + max / 2) / max);
    };
    return {channel(visual->red_mask), channel(visual->green_mask), channel(visual->blue_mask)};
}

}  // namespace

Colour PatternColour(int x, int y)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 2654435761u ^ static_cast<std::uint32_t>(y) * 40503u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return {static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(h >> 8),
            static_cast<std::uint8_t>(h >> 16)};
}

CScreenPainter::CScreenPainter()
{
    m_pDisplay = XOpenDisplay(nullptr);
    if (!m_pDisplay)
        return;
    int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(m_pDisplay, &opcode, &m_nXkbEvent, &error, &major, &minor))
        XkbSelectEvents(m_pDisplay, XkbUseCoreKbd, XkbBellNotifyMask, XkbBellNotifyMask);
    else
        m_nXkbEvent = -1;
    XSync(m_pDisplay, False);
}

CScreenPainter::~CScreenPainter()
{
    if (!m_pDisplay)
        return;
    if (m_cursor) {
        XUndefineCursor(m_pDisplay, DefaultRootWindow(m_pDisplay));
        XFreeCursor(m_pDisplay, m_cursor);
    }
    XCloseDisplay(m_pDisplay);
}

int CScreenPainter::Width() const
{
    return DisplayWidth(m_pDisplay, DefaultScreen(m_pDisplay));
}

int CScreenPainter::Height() const
{
    return DisplayHeight(m_pDisplay, DefaultScreen(m_pDisplay));
}

int CScreenPainter::Depth() const
{
    return DefaultDepth(m_pDisplay, DefaultScreen(m_pDisplay));
}

void CScreenPainter::Paint(const std::function<Colour(int, int)>& colour)
{
    int screen = DefaultScreen(m_pDisplay);
    Visual* visual = DefaultVisual(m_pDisplay, screen);
    Window root = RootWindow(m_pDisplay, screen);
    GC gc = DefaultGC(m_pDisplay, screen);
    int width = Width();
    // A band of rows at a time keeps each request small.
    const int band = 64;
    for (int top = 0; top < Height(); top += band) {
        int rows = std::min(band, Height() - top);
        XImage* image = XCreateImage(m_pDisplay, visual, static_cast<unsigned>(Depth()), ZPixmap, 0,
                                     nullptr, static_cast<unsigned>(width), static_cast<unsigned>(rows), 32, 0);
        std::vector<char> data(static_cast<std::size_t>(image->bytes_per_line) * rows);
        image->data = data.data();
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < width; ++x)
                XPutPixel(image, x, y, Pack(visual, colour(x, top + y)));
        XPutImage(m_pDisplay, root, gc, image, 0, 0, 0, top, static_cast<unsigned>(width),
                  static_cast<unsigned>(rows));
        image->data = nullptr;
        XDestroyImage(image);
    }
    XSync(m_pDisplay, False);
}

Colour CScreenPainter::ScreenColour(int x, int y)
{
    int screen = DefaultScreen(m_pDisplay);
    XImage* image = XGetImage(m_pDisplay, RootWindow(m_pDisplay, screen), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return {0, 0, 0};
    Colour c = Unpack(DefaultVisual(m_pDisplay, screen), XGetPixel(image, 0, 0));
    XDestroyImage(image);
    return c;
}

void CScreenPainter::MovePointer(int x, int y)
{
    XWarpPointer(m_pDisplay, None, DefaultRootWindow(m_pDisplay), 0, 0, 0, 0, x, y);
    XSync(m_pDisplay, False);
}

void CScreenPainter::SetSolidCursor(int side, Colour colour, int hotX, int hotY)
{
    Window root = DefaultRootWindow(m_pDisplay);
    Pixmap shape = XCreatePixmap(m_pDisplay, root, static_cast<unsigned>(side), static_cast<unsigned>(side), 1);
    GC gc = XCreateGC(m_pDisplay, shape, 0, nullptr);
    XSetForeground(m_pDisplay, gc, 1);
    XFillRectangle(m_pDisplay, shape, gc, 0, 0, static_cast<unsigned>(side), static_cast<unsigned>(side));
    XFreeGC(m_pDisplay, gc);
    XColor fg {}, bg {};
    fg.red = static_cast<unsigned short>(colour.r * 257);
    fg.green = static_cast<unsigned short>(colour.g * 257);
    fg.blue = static_cast<unsigned short>(colour.b * 257);
    Cursor cursor = XCreatePixmapCursor(m_pDisplay, shape, shape, &fg, &bg,
                                        static_cast<unsigned>(hotX), static_cast<unsigned>(hotY));
    XFreePixmap(m_pDisplay, shape);
    XDefineCursor(m_pDisplay, root, cursor);
    if (m_cursor)
        XFreeCursor(m_pDisplay, m_cursor);
    m_cursor = cursor;
    XSync(m_pDisplay, False);
}

int CScreenPainter::TakeBells()
{
    XSync(m_pDisplay, False);
    int bells = 0;
    while (XPending(m_pDisplay) > 0) {
        XEvent event;
        XNextEvent(m_pDisplay, &event);
        if (m_nXkbEvent >= 0 && event.type == m_nXkbEvent &&
            reinterpret_cast<XkbAnyEvent*>(&event)->xkb_type == XkbBellNotify)
            ++bells;
    }
    return bells;
}

}  // namespace screentest
