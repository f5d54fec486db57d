#include "platform/x11/WindowFunctions.h"

#include "platform/x11/XDisplay.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

using x11::CXDisplay;

namespace {

bool ClassMatches(Display* display, Window w, const char* className)
{
    if (!className)
        return true;
    XClassHint hint {nullptr, nullptr};
    if (!XGetClassHint(display, w, &hint))
        return false;
    bool same = hint.res_class && std::strcmp(hint.res_class, className) == 0;
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    return same;
}

// The window's parent into *parent, the root included; false when the window is gone.
bool QueryParent(Display* display, Window w, Window* parent, Window* root = nullptr)
{
    Window rootReturn = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, w, &rootReturn, parent, &children, &count))
        return false;
    if (children)
        XFree(children);
    if (root)
        *root = rootReturn;
    return true;
}

// The parent of a window; 0 when it is gone or is the root.
Window ParentOf(Display* display, Window w)
{
    Window parent = 0, root = 0;
    return QueryParent(display, w, &parent, &root) && parent != root ? parent : 0;
}

// Whether `w` is `ancestor` or lies below it.
bool IsWithin(Display* display, Window w, Window ancestor)
{
    for (; w; w = ParentOf(display, w))
        if (w == ancestor)
            return true;
    return false;
}

// Whether the input focus is on a window below `w` (not on `w` itself).
bool FocusIsInside(Display* display, Window w)
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus != None && focus != PointerRoot && focus != w && IsWithin(display, focus, w);
}

// The window manager's active window; 0 without a window manager or when none is active.
Window ActiveWindow(CXDisplay& x)
{
    Window active = 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(x.Get(), x.Root(), x.Intern("_NET_ACTIVE_WINDOW"), 0, 1, False, XA_WINDOW,
                           &type, &format, &count, &after, &data)
            == Success
        && data && format == 32 && count == 1)
        active = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return active;
}

}  // namespace

HWND GetForegroundWindow()
{
    CXDisplay x;
    if (!x.IsOpen())
        return 0;
    Window focus = None;
    int revert = 0;
    XGetInputFocus(x.Get(), &focus, &revert);
    Window active = ActiveWindow(x);
    if (focus == None || focus == PointerRoot || focus == x.Root())
        return static_cast<HWND>(active);
    bool counts = !active || IsWithin(x.Get(), focus, active);
    if (!x.SyncAndCheck())  // the focus window went away while we looked
        return static_cast<HWND>(active);
    return static_cast<HWND>(counts ? focus : active);
}

HWND FindWindowA(const char* className, const char* windowName)
{
    if (!windowName)
        return 0;
    CXDisplay x;
    if (!x.IsOpen())
        return 0;
    // Breadth first: a top-level window is found before any of its descendants, and a window
    // manager's frame in between does not hide the client window.
    std::deque<Window> pending {x.Root()};
    while (!pending.empty()) {
        Window w = pending.front();
        pending.pop_front();
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(x.Get(), w, &root, &parent, &children, &count))
            continue;  // gone while we looked
        for (unsigned int i = 0; i < count; ++i) {
            Window c = children[i];
            if (x.WindowTitle(c) == windowName && ClassMatches(x.Get(), c, className)) {
                XFree(children);
                return static_cast<HWND>(c);
            }
            pending.push_back(c);
        }
        if (children)
            XFree(children);
    }
    return 0;
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId)
{
    DWORD pid = 0;
    CXDisplay x;
    if (x.IsOpen() && hwnd && x.Exists(hwnd)) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(x.Get(), hwnd, x.Intern("_NET_WM_PID"), 0, 1, False, XA_CARDINAL,
                               &type, &format, &count, &after, &data)
                == Success
            && data && format == 32 && count == 1)
            pid = static_cast<DWORD>(*reinterpret_cast<unsigned long*>(data));
        if (data)
            XFree(data);
    }
    if (processId)
        *processId = pid;
    return pid;
}

HWND SetParent(HWND child, HWND parent)
{
    CXDisplay x;
    if (!x.IsOpen() || !child || !x.Exists(child))
        return 0;
    Window oldParent = 0;
    if (!QueryParent(x.Get(), child, &oldParent))
        return 0;
    Window newParent = parent ? static_cast<Window>(parent) : x.Root();
    XReparentWindow(x.Get(), child, newParent, 0, 0);
    if (!x.SyncAndCheck())
        return 0;
    return static_cast<HWND>(oldParent);
}

BOOL MoveWindow(HWND hwnd, int x0, int y0, int width, int height, BOOL)
{
    if (!hwnd || width <= 0 || height <= 0)
        return FALSE;
    CXDisplay x;
    if (!x.IsOpen() || !x.Exists(hwnd))
        return FALSE;
    XMoveResizeWindow(x.Get(), hwnd, x0, y0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
    return x.SyncAndCheck() ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect)
{
    CXDisplay x;
    if (!rect || !hwnd || !x.IsOpen() || !x.Exists(hwnd))
        return FALSE;
    XWindowAttributes a;
    if (!XGetWindowAttributes(x.Get(), hwnd, &a))
        return FALSE;
    int sx = 0, sy = 0;
    Window ignored = 0;
    // The border lies outside (x, y): the outer rectangle starts one border width up and left.
    if (!XTranslateCoordinates(x.Get(), hwnd, x.Root(), -a.border_width, -a.border_width, &sx, &sy,
                               &ignored))
        return FALSE;
    rect->left = sx;
    rect->top = sy;
    rect->right = sx + a.width + 2 * a.border_width;
    rect->bottom = sy + a.height + 2 * a.border_width;
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect)
{
    CXDisplay x;
    if (!rect || !hwnd || !x.IsOpen() || !x.Exists(hwnd))
        return FALSE;
    XWindowAttributes a;
    if (!XGetWindowAttributes(x.Get(), hwnd, &a))
        return FALSE;
    *rect = RECT {0, 0, a.width, a.height};
    return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd)
{
    CXDisplay x;
    if (!hwnd || !x.IsOpen() || !x.Exists(hwnd))
        return FALSE;
    XWindowAttributes a;
    if (!XGetWindowAttributes(x.Get(), hwnd, &a))
        return FALSE;
    XRaiseWindow(x.Get(), hwnd);
    // Focus on an unmapped window is a BadMatch; raising alone is then all that can be done. A
    // window that holds the focus in a window inside it (the show in the slide area) keeps it there.
    if (a.map_state == IsViewable && !FocusIsInside(x.Get(), hwnd))
        XSetInputFocus(x.Get(), hwnd, RevertToParent, CurrentTime);
    return x.SyncAndCheck() ? TRUE : FALSE;
}

BOOL IsWindow(HWND hwnd)
{
    CXDisplay x;
    return hwnd && x.IsOpen() && x.Exists(hwnd) ? TRUE : FALSE;
}

HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId)
{
    if (processId == 0 || (desiredAccess & PROCESS_TERMINATE) == 0)
        return INVALID_PROCESS_HANDLE;
    long fd = syscall(SYS_pidfd_open, static_cast<pid_t>(processId), 0);
    if (fd < 0)
        return INVALID_PROCESS_HANDLE;
    // A pidfd is close-on-exec from the start; only an inheritable handle needs a change.
    if (inheritHandle && fcntl(static_cast<int>(fd), F_SETFD, 0) != 0) {
        close(static_cast<int>(fd));
        return INVALID_PROCESS_HANDLE;
    }
    return fd;
}

BOOL TerminateProcess(HANDLE process, UINT)
{
    if (process < 0)
        return FALSE;
    return syscall(SYS_pidfd_send_signal, static_cast<int>(process), SIGKILL, nullptr, 0) == 0
        ? TRUE
        : FALSE;
}

BOOL CloseHandle(HANDLE handle)
{
    return handle >= 0 && close(static_cast<int>(handle)) == 0 ? TRUE : FALSE;
}

}  // namespace platform
