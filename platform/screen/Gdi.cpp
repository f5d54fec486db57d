#include "platform/screen/Gdi.h"

#include "platform/screen/XConnection.h"
#include "platform/screen/XCursorTracker.h"
#include "platform/screen/XGrabImage.h"

#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <cstdlib>
#include <strings.h>

namespace platform {

class CDeviceContext {
public:
    // A display DC: the connection and its cursor.
    explicit CDeviceContext(std::shared_ptr<CXConnection> connection)
        : m_bDisplay(true), m_pConnection(std::move(connection)),
          m_pCursor(CXCursorTracker::Create(m_pConnection))
    {
    }

    // A memory DC, holding a 1x1 bitmap of its own until a DIB section is selected.
    CDeviceContext(std::shared_ptr<CXConnection> connection, bool)
        : m_bDisplay(false), m_pConnection(std::move(connection)),
          m_pDefault(new CDibSection(DibLayout32(), 1, 1, false))
    {
        m_pDefault->m_bOwnedByDC = true;
        m_pDefault->m_pSelectedInto = this;
        m_pSelected = m_pDefault.get();
    }

    ~CDeviceContext()
    {
        DiscardPointerQuestion();
        if (m_pSelected && m_pSelected != m_pDefault.get())
            m_pSelected->m_pSelectedInto = nullptr;
    }

    // The pointer question sent by RequestCursorPos and not yet answered to GetCursorPos.
    void DiscardPointerQuestion()
    {
        if (m_pointerQuestion) {
            xcb_discard_reply(XGetXCBConnection(m_pConnection->GetDisplay()), *m_pointerQuestion);
            m_pointerQuestion.reset();
        }
    }

    CDibSection* Select(CDibSection* bitmap)
    {
        CDibSection* previous = m_pSelected;
        if (previous)
            previous->m_pSelectedInto = nullptr;
        m_pSelected = bitmap;
        bitmap->m_pSelectedInto = this;
        // The read buffer and the converter are made once here, not per blit.
        m_pGrab.reset();
        m_converter.reset();
        if (m_pConnection && bitmap != m_pDefault.get()) {
            m_pGrab = CXGrabImage::Create(m_pConnection, bitmap->m_nWidth, bitmap->m_nHeight);
            m_converter.emplace(m_pConnection->GetScreenLayout(), bitmap->m_layout);
        }
        return previous;
    }

    void SelectDefault() { Select(m_pDefault.get()); }

    bool m_bDisplay;
    std::shared_ptr<CXConnection> m_pConnection;
    std::unique_ptr<CXCursorTracker> m_pCursor;
    std::unique_ptr<CDibSection> m_pDefault;
    CDibSection* m_pSelected = nullptr;
    std::unique_ptr<CXGrabImage> m_pGrab;
    std::optional<CPixelConverter> m_converter;
    std::optional<unsigned int> m_pointerQuestion;  // sequence number of its request
};

namespace {

bool ReadDibLayout(const BITMAPINFO* info, PixelLayout* layout)
{
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const auto* masks = reinterpret_cast<const DWORD*>(info->bmiColors);
    switch (h.biBitCount) {
    case 8: {
        if (h.biCompression != BI_RGB)
            return false;
        // The table given must be the fixed one, or unset (all zero).
        std::size_t entries = h.biClrUsed == 0 || h.biClrUsed > 256 ? 256 : h.biClrUsed;
        const auto& fixed = Palette332();
        bool zero = std::all_of(info->bmiColors, info->bmiColors + entries, [](const RGBQUAD& q) {
            return q.rgbRed == 0 && q.rgbGreen == 0 && q.rgbBlue == 0 && q.rgbReserved == 0;
        });
        if (!zero && std::memcmp(info->bmiColors, fixed.data(), entries * sizeof(RGBQUAD)) != 0)
            return false;
        *layout = DibLayout8();
        return true;
    }
    case 16:
        if (h.biCompression == BI_RGB) {
            *layout = DibLayout555();
            return true;
        }
        if (h.biCompression != BI_BITFIELDS)
            return false;
        *layout = {16, masks[0], masks[1], masks[2], nullptr};
        return *layout == DibLayout555() || *layout == DibLayout565();
    case 24:
        *layout = DibLayout24();
        return h.biCompression == BI_RGB;
    case 32:
        *layout = DibLayout32();
        return h.biCompression == BI_RGB ||
               (h.biCompression == BI_BITFIELDS && masks[0] == 0x00FF0000 &&
                masks[1] == 0x0000FF00 && masks[2] == 0x000000FF);
    default:
        return false;
    }
}

// Clips one axis of a copy to [0, limit) of the destination, moving the source alike.
void ClipAxis(int& dest, int& src, int& length, int limit)
{
    if (dest < 0) {
        src -= dest;
        length += dest;
        dest = 0;
    }
    if (dest + length > limit)
        length = limit - dest;
}

}  // namespace

void BitmapDeleter::operator()(CDibSection* bitmap) const
{
    DeleteObject(static_cast<HGDIOBJ>(bitmap));
}

BOOL IsRectEmpty(const RECT* rect)
{
    return !rect || rect->left >= rect->right || rect->top >= rect->bottom;
}

HDC CreateDC(const char* driver, const char*, const char*, const void*)
{
    if (!driver || strcasecmp(driver, "DISPLAY") != 0)
        return nullptr;
    std::shared_ptr<CXConnection> connection = CXConnection::Open();
    if (!connection)
        return nullptr;
    return new (std::nothrow) CDeviceContext(std::move(connection));
}

HDC CreateCompatibleDC(HDC hdc)
{
    std::shared_ptr<CXConnection> connection = hdc ? hdc->m_pConnection : nullptr;
    return new (std::nothrow) CDeviceContext(std::move(connection), true);
}

BOOL DeleteDC(HDC hdc)
{
    if (!hdc)
        return FALSE;
    delete hdc;
    return TRUE;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, void* section, DWORD)
{
    if (bits)
        *bits = nullptr;
    if (!info || usage != DIB_RGB_COLORS || section)
        return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    PixelLayout layout;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biWidth <= 0 ||
        h.biHeight == 0 || h.biHeight == INT32_MIN || !ReadDibLayout(info, &layout))
        return nullptr;
    int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    // Keep the image below 2 GiB so that every offset fits the platform's 32-bit fields.
    if (static_cast<std::uint64_t>(DibStride(h.biWidth, h.biBitCount)) * height > 0x7FFFFFFFull)
        return nullptr;
    CDibSection* dib = new (std::nothrow) CDibSection(layout, h.biWidth, height, h.biHeight < 0);
    if (!dib)
        return nullptr;
    if (bits)
        *bits = dib->Bits();
    return dib;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object)
{
    auto* bitmap = dynamic_cast<CDibSection*>(object);
    if (!hdc || hdc->m_bDisplay || !bitmap)
        return nullptr;
    if (bitmap->m_pSelectedInto == hdc)
        return bitmap;
    if (bitmap->m_pSelectedInto || (bitmap->m_bOwnedByDC && bitmap != hdc->m_pDefault.get()))
        return nullptr;
    return hdc->Select(bitmap);
}

BOOL DeleteObject(HGDIOBJ object)
{
    auto* bitmap = dynamic_cast<CDibSection*>(object);
    if (!bitmap || bitmap->m_bOwnedByDC)
        return FALSE;
    if (bitmap->m_pSelectedInto)
        bitmap->m_pSelectedInto->SelectDefault();
    delete bitmap;
    return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HBITMAP bitmap)
{
    return SelectObject(hdc, static_cast<HGDIOBJ>(bitmap));
}

BOOL DeleteObject(HBITMAP bitmap)
{
    return DeleteObject(static_cast<HGDIOBJ>(bitmap));
}

namespace {

// The blit of BitBlt, written into pixels laid out like the DIB section selected into dest:
// row 0 (the picture's top) at top, rows stride bytes apart.
BOOL BlitFromScreen(HDC dest, std::uint8_t* top, std::ptrdiff_t stride, int x, int y, int cx,
                    int cy, HDC src, int x1, int y1, DWORD rop)
{
    if (!dest || !src || !top || dest->m_bDisplay || !src->m_bDisplay || rop != SRCCOPY ||
        dest->m_pConnection != src->m_pConnection || !dest->m_pGrab || !dest->m_converter ||
        !dest->m_converter->IsValid())
        return FALSE;
    CDibSection& dib = *dest->m_pSelected;
    ClipAxis(x, x1, cx, dib.m_nWidth);
    ClipAxis(y, y1, cy, dib.m_nHeight);
    if (cx <= 0 || cy <= 0)
        return TRUE;

    const CXConnection& screen = *src->m_pConnection;
    int ix = std::max(x1, 0), iy = std::max(y1, 0);
    int iw = std::min(x1 + cx, screen.GetWidth()) - ix;
    int ih = std::min(y1 + cy, screen.GetHeight()) - iy;
    bool inside = iw == cx && ih == cy;
    if (iw > 0 && ih > 0 && !dest->m_pGrab->Grab(ix, iy, iw, ih))
        return FALSE;

    int bytes = dib.m_layout.bitsPerPixel / 8;
    if (!inside) {
        // Off-screen parts read as black, which is 0 in every DIB format here.
        for (int row = 0; row < cy; ++row)
            std::memset(top + (y + row) * stride + x * bytes, 0, static_cast<std::size_t>(cx) * bytes);
    }
    if (iw > 0 && ih > 0) {
        int dx = x + (ix - x1), dy = y + (iy - y1);
        dest->m_converter->Convert(dest->m_pGrab->Data(), dest->m_pGrab->Stride(),
                                   top + dy * stride + dx * bytes, stride, iw, ih);
    }
    return TRUE;
}

// Where row 0 of a picture laid out like the selected section starts in memory at bits.
std::uint8_t* TopRowOf(const CDibSection& dib, void* bits)
{
    auto* start = static_cast<std::uint8_t*>(bits);
    return dib.m_bTopDown ? start : start + (dib.m_nHeight - 1) * dib.m_nStride;
}

}  // namespace

BOOL BitBlt(HDC dest, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop)
{
    if (!dest || dest->m_bDisplay || !dest->m_pSelected)
        return FALSE;
    CDibSection& dib = *dest->m_pSelected;
    return BlitFromScreen(dest, dib.TopRow(), dib.TopDownStride(), x, y, cx, cy, src, x1, y1, rop);
}

BOOL BitBltToBits(void* bits, HDC dest, int x, int y, int cx, int cy, HDC src, int x1, int y1,
                  DWORD rop)
{
    if (!bits || !dest || dest->m_bDisplay || !dest->m_pSelected)
        return FALSE;
    CDibSection& dib = *dest->m_pSelected;
    // Row padding reads as zero, as it does in a section.
    std::size_t used = static_cast<std::size_t>(dib.m_nWidth) * (dib.m_layout.bitsPerPixel / 8);
    std::size_t pad = static_cast<std::size_t>(dib.m_nStride) - used;
    if (pad > 0) {
        auto* row = static_cast<std::uint8_t*>(bits);
        for (int r = 0; r < dib.m_nHeight; ++r, row += dib.m_nStride)
            std::memset(row + used, 0, pad);
    }
    return BlitFromScreen(dest, TopRowOf(dib, bits), dib.TopDownStride(), x, y, cx, cy, src, x1,
                          y1, rop);
}

BOOL DrawIconToBits(void* bits, HDC hdc, int x, int y, HICON icon)
{
    if (!bits || !hdc || hdc->m_bDisplay || !icon || !hdc->m_pSelected)
        return FALSE;
    CDibSection& dib = *hdc->m_pSelected;
    BlendCursor(*icon, x, y, TopRowOf(dib, bits), dib.TopDownStride(), dib.m_nWidth, dib.m_nHeight,
                dib.m_layout);
    return TRUE;
}

HCURSOR GetCursor(HDC display)
{
    if (!display || !display->m_bDisplay || !display->m_pCursor)
        return nullptr;
    return display->m_pCursor->Current();
}

BOOL GetCursorPos(HDC display, POINT* point)
{
    if (!display || !display->m_bDisplay || !point)
        return FALSE;
    CXConnection& x = *display->m_pConnection;
    if (display->m_pointerQuestion) {
        xcb_query_pointer_cookie_t question {*display->m_pointerQuestion};
        display->m_pointerQuestion.reset();
        xcb_generic_error_t* error = nullptr;
        xcb_query_pointer_reply_t* answer =
            xcb_query_pointer_reply(XGetXCBConnection(x.GetDisplay()), question, &error);
        bool onScreen = answer && !error && answer->same_screen;
        if (onScreen) {
            point->x = answer->root_x;
            point->y = answer->root_y;
        }
        free(answer);
        free(error);
        return onScreen ? TRUE : FALSE;
    }
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    Bool onScreen = XQueryPointer(x.GetDisplay(), x.GetRoot(), &root, &child, &rootX, &rootY, &winX,
                                  &winY, &mask);
    if (!onScreen || x.TakeError() != Success)
        return FALSE;
    point->x = rootX;
    point->y = rootY;
    return TRUE;
}

BOOL RequestCursorPos(HDC display)
{
    if (!display || !display->m_bDisplay)
        return FALSE;
    // A question nobody collected would answer for a later moment than it was asked.
    display->DiscardPointerQuestion();
    Display* dpy = display->m_pConnection->GetDisplay();
    // Xlib's own requests go out first, so the sequence stays in the order of the calls.
    XFlush(dpy);
    xcb_connection_t* connection = XGetXCBConnection(dpy);
    display->m_pointerQuestion =
        xcb_query_pointer(connection, static_cast<xcb_window_t>(display->m_pConnection->GetRoot())).sequence;
    // Sent now: when the picture comes from another connection, the server answers meanwhile.
    xcb_flush(connection);
    return TRUE;
}

BOOL GetIconInfo(HICON icon, ICONINFO* info)
{
    if (!icon || !info)
        return FALSE;
    info->fIcon = FALSE;
    info->xHotspot = static_cast<DWORD>(icon->xHotspot);
    info->yHotspot = static_cast<DWORD>(icon->yHotspot);
    info->hbmMask = nullptr;
    info->hbmColor = nullptr;
    return TRUE;
}

BOOL DrawIcon(HDC hdc, int x, int y, HICON icon)
{
    if (!hdc || hdc->m_bDisplay || !icon || !hdc->m_pSelected)
        return FALSE;
    CDibSection& dib = *hdc->m_pSelected;
    BlendCursor(*icon, x, y, dib.TopRow(), dib.TopDownStride(), dib.m_nWidth, dib.m_nHeight,
                dib.m_layout);
    return TRUE;
}

HCURSOR LoadCursor(void* instance, const char* name)
{
    if (instance || name != IDC_ARROW)
        return nullptr;
    return &StandardArrowCursor();
}

BOOL Beep(HDC display, DWORD, DWORD)
{
    if (!display || !display->m_bDisplay)
        return FALSE;
    Display* dpy = display->m_pConnection->GetDisplay();
    XBell(dpy, 0);
    XFlush(dpy);
    return TRUE;
}

}  // namespace platform
