#include "platform/x11/WindowFunctions.h"

#include "platform/x11/XDisplay.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

#include <csignal>
#include <cstring>
#include <deque>
#include <vector>
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

// The process of the client that made the window, from the X-Resource extension; 0 when the
// server does not know it (a remote client, no extension).
DWORD ClientProcessId(Display* display, Window w)
{
    int event = 0, error = 0;
    if (!XResQueryExtension(display, &event, &error))
        return 0;
    XResClientIdSpec spec {w, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    if (XResQueryClientIds(display, 1, &spec, &count, &values) != Success)
        return 0;
    DWORD pid = 0;
    for (long i = 0; i < count && pid == 0; ++i) {
        pid_t p = XResGetClientPid(&values[i]);
        if (p > 0)
            pid = static_cast<DWORD>(p);
    }
    XResClientIdsDestroy(count, values);
    return pid;
}

// The window's attributes on an open connection; false when there is no display or the window
// is gone.
bool Attributes(CXDisplay& x, HWND hwnd, XWindowAttributes* a)
{
    return hwnd && x.IsOpen() && x.Exists(hwnd) && XGetWindowAttributes(x.Get(), hwnd, a);
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
        // A window made inside another program's window (the office's, in our slide area)
        // carries no _NET_WM_PID: the server knows which process its client is.
        if (pid == 0)
            pid = ClientProcessId(x.Get(), hwnd);
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
    XWindowAttributes a;
    if (!rect || !Attributes(x, hwnd, &a))
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
    XWindowAttributes a;
    if (!rect || !Attributes(x, hwnd, &a))
        return FALSE;
    *rect = RECT {0, 0, a.width, a.height};
    return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd)
{
    CXDisplay x;
    XWindowAttributes a;
    if (!Attributes(x, hwnd, &a))
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

BOOL IsWindowVisible(HWND hwnd)
{
    CXDisplay x;
    XWindowAttributes a;
    return Attributes(x, hwnd, &a) && a.map_state == IsViewable ? TRUE : FALSE;
}

HWND GetWindow(HWND hwnd, UINT cmd)
{
    CXDisplay x;
    if (!hwnd || !x.IsOpen() || !x.Exists(hwnd))
        return 0;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    HWND found = 0;
    if (cmd == GW_CHILD) {
        // XQueryTree lists children bottom to top.
        if (XQueryTree(x.Get(), hwnd, &root, &parent, &children, &count) && count > 0)
            found = children[count - 1];
    } else if (cmd == GW_HWNDNEXT) {
        Window* siblings = nullptr;
        if (XQueryTree(x.Get(), hwnd, &root, &parent, &children, &count)) {
            if (children)
                XFree(children);
            children = nullptr;
            if (XQueryTree(x.Get(), parent, &root, &parent, &siblings, &count)) {
                for (unsigned int i = 1; i < count; ++i)
                    if (siblings[i] == hwnd)
                        found = siblings[i - 1];
                children = siblings;
            }
        }
    }
    if (children)
        XFree(children);
    return found;
}

HWND GetParent(HWND hwnd)
{
    CXDisplay x;
    if (!hwnd || !x.IsOpen() || !x.Exists(hwnd))
        return 0;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(x.Get(), hwnd, &root, &parent, &children, &count))
        return 0;
    if (children)
        XFree(children);
    return parent == root ? 0 : static_cast<HWND>(parent);
}

namespace {

// Adds or removes _NET_WM_STATE_ABOVE on a top-level window, the way the window manager
// specification asks: a request to the manager while the window is mapped, the property itself
// before it is.
void SetStateAbove(CXDisplay& x, Window w, bool above, bool mapped)
{
    Atom state = x.Intern("_NET_WM_STATE");
    Atom atomAbove = x.Intern("_NET_WM_STATE_ABOVE");
    if (mapped) {
        XEvent e {};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = state;
        e.xclient.format = 32;
        e.xclient.data.l[0] = above ? 1 : 0;  // _NET_WM_STATE_ADD / _REMOVE
        e.xclient.data.l[1] = static_cast<long>(atomAbove);
        e.xclient.data.l[2] = 0;
        e.xclient.data.l[3] = 1;  // a normal application
        XSendEvent(x.Get(), x.Root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        return;
    }
    std::vector<Atom> atoms;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(x.Get(), w, state, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                           &data)
            == Success
        && data && format == 32) {
        auto* list = reinterpret_cast<unsigned long*>(data);
        for (unsigned long i = 0; i < count; ++i)
            if (list[i] != atomAbove)
                atoms.push_back(static_cast<Atom>(list[i]));
    }
    if (data)
        XFree(data);
    if (above)
        atoms.push_back(atomAbove);
    XChangeProperty(x.Get(), w, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
}

}  // namespace

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x0, int y0, int cx, int cy, UINT flags)
{
    CXDisplay x;
    XWindowAttributes a;
    if (!Attributes(x, hwnd, &a))
        return FALSE;
    if (!(flags & SWP_NOMOVE) && !(flags & SWP_NOSIZE) && cx > 0 && cy > 0)
        XMoveResizeWindow(x.Get(), hwnd, x0, y0, static_cast<unsigned>(cx), static_cast<unsigned>(cy));
    else if (!(flags & SWP_NOMOVE))
        XMoveWindow(x.Get(), hwnd, x0, y0);
    else if (!(flags & SWP_NOSIZE) && cx > 0 && cy > 0)
        XResizeWindow(x.Get(), hwnd, static_cast<unsigned>(cx), static_cast<unsigned>(cy));
    if (!(flags & SWP_NOZORDER)) {
        if (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST)
            SetStateAbove(x, hwnd, insertAfter == HWND_TOPMOST, a.map_state != IsUnmapped);
        // Without a window manager the stacking order is ours to set.
        if (insertAfter != HWND_NOTOPMOST)
            XRaiseWindow(x.Get(), hwnd);
    }
    if ((flags & SWP_SHOWWINDOW) && a.map_state == IsUnmapped)
        XMapWindow(x.Get(), hwnd);
    return x.SyncAndCheck() ? TRUE : FALSE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL bErase)
{
    CXDisplay x;
    if (!hwnd || !x.IsOpen() || !x.Exists(hwnd))
        return FALSE;
    (void)bErase;  // X clears the area and asks its owner to paint it: always with erase
    if (rect)
        XClearArea(x.Get(), hwnd, rect->left, rect->top, static_cast<unsigned>(rect->right - rect->left),
                   static_cast<unsigned>(rect->bottom - rect->top), True);
    else
        XClearArea(x.Get(), hwnd, 0, 0, 0, 0, True);
    return x.SyncAndCheck() ? TRUE : FALSE;
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
