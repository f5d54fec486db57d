#pragma once
// The window functions the recording window calls on the presentation program's window, on X11.
// A window handle is an X window id (see platform/base/WinTypes.h); each call opens its own short
// connection to $DISPLAY, so any thread may call them. Without a display every call fails: null
// handles, FALSE, zero.
#include "platform/base/WinGdiTypes.h"
#include "platform/base/WinTypes.h"

#include <sys/types.h>

namespace platform {

// The first window, searched from the root down, whose title is exactly `windowName` (and, when
// `className` is given, whose WM_CLASS class is that name). A null title matches nothing.
HWND FindWindowA(const char* className, const char* windowName);

// The pid of the window's owner (its _NET_WM_PID, else the server's record of the client that
// made it) into *processId; returns the pid too, 0 when the window is gone or no pid is known
// (then *processId is 0).
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);

// Makes `child` a child of `parent` at (0, 0); returns the former parent, 0 on failure.
HWND SetParent(HWND child, HWND parent);

// Position relative to the parent and size; FALSE when the window is gone or the size is empty.
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);

// Outer rectangle in screen coordinates.
BOOL GetWindowRect(HWND hwnd, RECT* rect);
// (0, 0, width, height).
BOOL GetClientRect(HWND hwnd, RECT* rect);

// Raises the window and gives it the keyboard focus (when it is mapped), unless the focus is
// already on a window inside it (another application's window embedded there), where it stays.
BOOL SetForegroundWindow(HWND hwnd);

// The window the keyboard goes to: the X input focus window. That may be a window inside
// another (the office's window in the recording window's slide area, which has the keyboard while
// the show runs), so the show's window is the foreground window while the user steps through it.
// Under a window manager (_NET_ACTIVE_WINDOW set) the focus counts only inside the active window;
// otherwise, and when the focus is None or PointerRoot, the active window is the answer (0
// without a window manager).
HWND GetForegroundWindow();

BOOL IsWindow(HWND hwnd);
// Mapped, with every ancestor mapped.
BOOL IsWindowVisible(HWND hwnd);

// GW_CHILD: the window's topmost child; GW_HWNDNEXT: the sibling just below it. 0 when none.
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_CHILD = 5;
HWND GetWindow(HWND hwnd, UINT cmd);
// The window's parent; 0 for a top-level window (a child of the root) or a window that is gone.
HWND GetParent(HWND hwnd);

// Z-order and placement. HWND_TOP raises the window among its siblings; HWND_TOPMOST and
// HWND_NOTOPMOST put a top-level window in or out of the window manager's "above" layer
// (_NET_WM_STATE_ABOVE: a message to the window manager while mapped, the property itself
// while unmapped) and raise it. The window's own X window stays as it is, so a toolkit never
// recreates it (which would take an embedded window down with it).
inline constexpr HWND HWND_TOP = 0;
inline constexpr HWND HWND_TOPMOST = static_cast<HWND>(-1);
inline constexpr HWND HWND_NOTOPMOST = static_cast<HWND>(-2);
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);

// Asks the window's owner to paint the rectangle (null: the whole window) again; X clears it
// first, so bErase is always taken as TRUE.
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL bErase);

// Process handles: a pidfd, so a terminate can never hit a process that reused the pid.
using HANDLE = long;
constexpr HANDLE INVALID_PROCESS_HANDLE = -1;
constexpr DWORD PROCESS_TERMINATE = 0x0001;

// Null-equivalent INVALID_PROCESS_HANDLE when the process does not exist or access is refused.
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
// Kills the process (SIGKILL; the exit code cannot be chosen on Linux and is ignored).
BOOL TerminateProcess(HANDLE process, UINT exitCode);
BOOL CloseHandle(HANDLE handle);

}  // namespace platform
