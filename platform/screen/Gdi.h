#pragma once
// The drawing calls the screen capture makes, over X11 (the platform's "GDI" path):
// - the display DC is an X connection of its own (CreateDC("DISPLAY")), opened on the calling
//   thread and used only there;
// - a DIB section is our own buffer of 8, 16 (5-5-5 or with 5-6-5 / 5-5-5 masks), 24 or 32 bits,
//   bottom-up for a positive height; an 8-bit section always uses the fixed table Palette332()
//   (an all-zero table passed in stands for it, any other table is refused);
// - BitBlt from the display DC reads the root window (XShmGetImage into an image made when the
//   DIB section is selected, XGetImage without MIT-SHM) and converts into the DIB's format with
//   the rule of PixelFormat.h. Screen areas outside the screen come out black;
// - GetCursor / GetIconInfo / DrawIcon are the XFixes cursor image (premultiplied ARGB with its
//   hot spot), alpha-blended; GetCursorPos is XQueryPointer; LoadCursor(NULL, IDC_ARROW) is a
//   built-in arrow.
// Functions keep the platform's names and results; those that need the X connection where the
// platform's take none (GetCursor, GetCursorPos, Beep) take the display DC first.
#include "platform/base/WinGdiTypes.h"
#include "platform/screen/CursorImage.h"
#include "platform/screen/DibSection.h"

#include <memory>

namespace platform {

class CDeviceContext;

using HGDIOBJ = CGdiObject*;
using HBITMAP = CDibSection*;
using HDC = CDeviceContext*;
using HCURSOR = const CursorImage*;
using HICON = HCURSOR;

struct ICONINFO {
    BOOL fIcon;
    DWORD xHotspot;
    DWORD yHotspot;
    HBITMAP hbmMask;
    HBITMAP hbmColor;
};

// MAKEINTRESOURCE(32512)
inline const char* const IDC_ARROW = reinterpret_cast<const char*>(static_cast<UINT_PTR>(32512));

BOOL IsRectEmpty(const RECT* rect);

HDC CreateDC(const char* driver, const char* device, const char* port, const void* mode);
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
// usage must be DIB_RGB_COLORS and section null (no file mapping). bits receives the pixels.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, void* section,
                         DWORD offset);
// Only DIB sections can be selected, into memory DCs; a DIB section is in at most one DC.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
HGDIOBJ SelectObject(HDC hdc, HBITMAP bitmap);
// A selected DIB section is taken out of its DC first.
BOOL DeleteObject(HGDIOBJ object);
BOOL DeleteObject(HBITMAP bitmap);
// From a display DC into a memory DC made compatible with it; SRCCOPY only.
BOOL BitBlt(HDC dest, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop);

// Our additions for a frame that goes straight into the caller's buffer: BitBlt and DrawIcon
// writing into memory laid out exactly like the DIB section selected into dest (its size, format
// and row order) instead of into the section itself. The capture uses them to save one copy of
// each frame.
BOOL BitBltToBits(void* bits, HDC dest, int x, int y, int cx, int cy, HDC src, int x1, int y1,
                  DWORD rop);
BOOL DrawIconToBits(void* bits, HDC hdc, int x, int y, HICON icon);

HCURSOR GetCursor(HDC display);
BOOL GetCursorPos(HDC display, POINT* point);
// Our addition: sends the question GetCursorPos asks without waiting for the answer; the next
// GetCursorPos on this display DC returns that answer (the position when the server read the
// question) instead of asking again. A capture asks just before its blit, so the position and
// the picture take one round trip to the server between them, not two.
BOOL RequestCursorPos(HDC display);
// The cursors here have no bitmaps of their own: hbmMask and hbmColor come back null.
BOOL GetIconInfo(HICON icon, ICONINFO* info);
BOOL DrawIcon(HDC hdc, int x, int y, HICON icon);
HCURSOR LoadCursor(void* instance, const char* name);

// The X bell (XBell); X has no pitch or length per ring, so frequency and duration are not used.
BOOL Beep(HDC display, DWORD frequency, DWORD duration);

struct DCDeleter {
    void operator()(CDeviceContext* hdc) const { DeleteDC(hdc); }
};
struct BitmapDeleter {
    void operator()(CDibSection* bitmap) const;
};
using UniqueHDC = std::unique_ptr<CDeviceContext, DCDeleter>;
using UniqueHBITMAP = std::unique_ptr<CDibSection, BitmapDeleter>;

}  // namespace platform
