#include "platform/screen/XConnection.h"

#include "platform/screen/XErrorTrap.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>

#include <mutex>

namespace platform {

std::shared_ptr<CXConnection> CXConnection::Open()
{
    // Capture threads each hold a connection of their own beside the toolkit's.
    static std::once_flag threads;
    std::call_once(threads, [] { XInitThreads(); });

    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return nullptr;
    std::shared_ptr<CXConnection> connection(new CXConnection(dpy));
    if (!connection->ReadScreen())
        return nullptr;
    return connection;
}

CXConnection::CXConnection(Display* dpy) : m_pDisplay(dpy)
{
    XErrorTrap::Register(dpy);
}

CXConnection::~CXConnection()
{
    // Errors still in flight arrive here, while the trap still owns them; a later connection
    // may reuse the address, so the trap lets go before the display is freed.
    XSync(m_pDisplay, False);
    XErrorTrap::Unregister(m_pDisplay);
    XCloseDisplay(m_pDisplay);
}

bool CXConnection::ReadScreen()
{
    int screen = DefaultScreen(m_pDisplay);
    m_root = RootWindow(m_pDisplay, screen);
    m_pVisual = DefaultVisual(m_pDisplay, screen);
    m_nDepth = DefaultDepth(m_pDisplay, screen);
    m_nWidth = DisplayWidth(m_pDisplay, screen);
    m_nHeight = DisplayHeight(m_pDisplay, screen);
    if (!m_pVisual || m_nWidth <= 0 || m_nHeight <= 0)
        return false;

    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(m_pDisplay, &count);
    if (!formats)
        return false;
    for (int i = 0; i < count; ++i) {
        if (formats[i].depth == m_nDepth) {
            m_layout.bitsPerPixel = formats[i].bits_per_pixel;
            m_nScanlinePad = formats[i].scanline_pad;
        }
    }
    XFree(formats);
    if (m_layout.bitsPerPixel == 0 || m_nScanlinePad <= 0)
        return false;

    if (m_pVisual->c_class == TrueColor || m_pVisual->c_class == DirectColor) {
        m_layout.redMask = static_cast<std::uint32_t>(m_pVisual->red_mask);
        m_layout.greenMask = static_cast<std::uint32_t>(m_pVisual->green_mask);
        m_layout.blueMask = static_cast<std::uint32_t>(m_pVisual->blue_mask);
    } else if (m_layout.bitsPerPixel == 8) {
        // Indexed screens: the colours of the default colormap as they are at set-up.
        XColor colours[256];
        for (int i = 0; i < 256; ++i) {
            colours[i].pixel = static_cast<unsigned long>(i);
            colours[i].flags = DoRed | DoGreen | DoBlue;
        }
        int entries = m_pVisual->map_entries < 256 ? m_pVisual->map_entries : 256;
        XQueryColors(m_pDisplay, DefaultColormap(m_pDisplay, screen), colours, entries);
        if (SyncAndTakeError() != Success)
            return false;
        for (int i = 0; i < entries; ++i) {
            m_colourMap[i].rgbRed = static_cast<BYTE>(colours[i].red >> 8);
            m_colourMap[i].rgbGreen = static_cast<BYTE>(colours[i].green >> 8);
            m_colourMap[i].rgbBlue = static_cast<BYTE>(colours[i].blue >> 8);
        }
        m_layout.palette = m_colourMap.data();
    }
    // Our pixel readers are little-endian.
    if (ImageByteOrder(m_pDisplay) != LSBFirst)
        m_layout = PixelLayout {};

    m_bShm = XShmQueryExtension(m_pDisplay) == True;
    int errorBase = 0;
    if (XFixesQueryExtension(m_pDisplay, &m_nXFixesEventBase, &errorBase)) {
        int major = 0, minor = 0;
        // Cursor images and cursor notification came with version 2.
        m_bXFixes = XFixesQueryVersion(m_pDisplay, &major, &minor) && major >= 2;
    }
    return true;
}

int CXConnection::RowBytes(int width) const
{
    long bits = static_cast<long>(width) * m_layout.bitsPerPixel;
    long pad = m_nScanlinePad;
    return static_cast<int>(((bits + pad - 1) / pad) * pad / 8);
}

int CXConnection::TakeError()
{
    return XErrorTrap::Take(m_pDisplay);
}

int CXConnection::SyncAndTakeError()
{
    XSync(m_pDisplay, False);
    return TakeError();
}

}  // namespace platform
