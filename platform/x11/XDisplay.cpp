#include "platform/x11/XDisplay.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <atomic>

namespace platform::x11 {

namespace {
// Errors of a request arrive asynchronously; they are counted here and read after XSync. Xlib
// keeps one handler per process, so the count is process-wide, guarded by being atomic.
std::atomic<int> g_nErrors {0};

int CountError(Display*, XErrorEvent*)
{
    ++g_nErrors;
    return 0;
}
}  // namespace

CXDisplay::CXDisplay()
{
    m_pDisplay = XOpenDisplay(nullptr);
    if (m_pDisplay)
        m_previousHandler = XSetErrorHandler(CountError);
}

CXDisplay::~CXDisplay()
{
    if (m_pDisplay) {
        XSync(m_pDisplay, False);
        XSetErrorHandler(m_previousHandler);
        XCloseDisplay(m_pDisplay);
    }
}

bool CXDisplay::SyncAndCheck()
{
    int before = g_nErrors.load();
    XSync(m_pDisplay, False);
    return g_nErrors.load() == before;
}

std::string CXDisplay::WindowTitle(Window w)
{
    std::string title;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_pDisplay, w, Intern("_NET_WM_NAME"), 0, 1024, False,
                           Intern("UTF8_STRING"), &type, &format, &count, &after, &data)
            == Success
        && data && format == 8)
        title.assign(reinterpret_cast<char*>(data), count);
    if (data)
        XFree(data);
    if (!title.empty())
        return title;
    char* name = nullptr;
    if (XFetchName(m_pDisplay, w, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

bool CXDisplay::Exists(Window w)
{
    XWindowAttributes attributes;
    int before = g_nErrors.load();
    Status ok = XGetWindowAttributes(m_pDisplay, w, &attributes);
    return ok != 0 && g_nErrors.load() == before;
}

}  // namespace platform::x11
