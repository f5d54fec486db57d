#pragma once
// One connection to the X server and what the screen layer needs to know about its screen:
// size, pixel layout of the root window's images, and the extensions on offer.
//
// A connection is used by one thread at a time (the thread that captures); it is shared between
// the objects made from it through shared_ptr, so it outlives all of them.
#include "platform/screen/PixelFormat.h"

#include <X11/Xlib.h>

#include <array>
#include <memory>

namespace platform {

class CXConnection {
public:
    // Null when no X server can be reached (DISPLAY unset or wrong) or its screen cannot be read.
    static std::shared_ptr<CXConnection> Open();
    ~CXConnection();
    CXConnection(const CXConnection&) = delete;
    CXConnection& operator=(const CXConnection&) = delete;

    Display* GetDisplay() const { return m_pDisplay; }
    Window GetRoot() const { return m_root; }
    Visual* GetVisual() const { return m_pVisual; }
    int GetDepth() const { return m_nDepth; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    // Bits per pixel of the root's ZPixmap images (32 on a 24-bit screen) and their row padding.
    int GetBitsPerPixel() const { return m_layout.bitsPerPixel; }
    int GetScanlinePad() const { return m_nScanlinePad; }
    // Bytes in one row of a root image of the given width.
    int RowBytes(int width) const;
    // The layout of the root's pixels; not IsSupportedLayout() for a server of foreign byte order.
    const PixelLayout& GetScreenLayout() const { return m_layout; }

    bool HasShm() const { return m_bShm; }
    bool HasXFixes() const { return m_bXFixes; }
    int GetXFixesEventBase() const { return m_nXFixesEventBase; }

    // The X error recorded on this connection since the last call (Success if none).
    int TakeError();
    // Sends everything and waits for the server; the error it produced, if any.
    int SyncAndTakeError();

private:
    explicit CXConnection(Display* dpy);
    bool ReadScreen();

    Display* m_pDisplay;
    Window m_root = 0;
    Visual* m_pVisual = nullptr;
    int m_nDepth = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nScanlinePad = 32;
    PixelLayout m_layout;
    std::array<RGBQUAD, 256> m_colourMap {};  // indexed screens: the default colormap
    bool m_bShm = false;
    bool m_bXFixes = false;
    int m_nXFixesEventBase = 0;
};

}  // namespace platform
