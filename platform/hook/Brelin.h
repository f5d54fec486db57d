#pragma once
// The keyboard and mouse hook library libbrelin.so: three C entry points, one for each ordinal of
// the library's contract, and the two notifications it sends.
//
// While installed, the library watches every key press and mouse click on the X server (XInput2
// raw events, so nothing is taken from the window that receives them) on a thread of its own,
// and reports them to the notify window:
//   WM_HOOK_KEY   posted; wParam = virtual-key code of the key that went down (VirtualKeys.h).
//   WM_HOOK_CLICK sent, waiting until the window has handled it; lParam = address of a
//                 MOUSEHOOKSTRUCT whose point is the click's screen position.
// Only the left, middle and right buttons are clicks; keys without a virtual-key code are not
// reported.
#include "platform/base/WinGdiTypes.h"
#include "platform/base/WinTypes.h"

constexpr UINT WM_HOOK_KEY = WM_USER + 189;    // 0x4BD
constexpr UINT WM_HOOK_CLICK = WM_USER + 190;  // 0x4BE

// What WM_HOOK_CLICK points to. The click point comes first, as the contract requires.
struct MOUSEHOOKSTRUCT {
    POINT pt;          // screen coordinates
    HWND hwnd;         // the top-level window under the point, 0 if none
    UINT wHitTestCode; // 1: a client area (the only kind reported)
    UINT_PTR dwExtraInfo;
};

extern "C" {

// Ordinal 1: from now on notifications go to this window (0: to nobody).
void Brelin_SetNotifyWindow(HWND hWnd);
// Ordinal 2: installs the hooks; nonzero when installed (also when they already were), 0 when the
// X server cannot be reached or lacks XInput 2.2.
int Brelin_InstallHooks();
// Ordinal 3: removes the hooks: the watching thread ends and its X connection closes. Harmless
// when nothing is installed. A click waiting for the notify window is given up.
void Brelin_RemoveHooks();

}
