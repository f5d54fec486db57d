#pragma once
// A short-lived connection to the X server of $DISPLAY, owned for the length of one window
// function. Window state set through it (parent, geometry, focus) stays after it closes, because
// the windows belong to their own clients.
#include <X11/Xlib.h>

#include <string>

namespace platform::x11 {

class CXDisplay {
public:
    CXDisplay();
    ~CXDisplay();
    CXDisplay(const CXDisplay&) = delete;
    CXDisplay& operator=(const CXDisplay&) = delete;

    bool IsOpen() const { return m_pDisplay != nullptr; }
    Display* Get() const { return m_pDisplay; }
    Window Root() const { return DefaultRootWindow(m_pDisplay); }

    // Waits for the server to handle every request; false if any of them failed (a window gone
    // in between, a bad id), so callers report failure instead of a silent no-op.
    bool SyncAndCheck();
    Atom Intern(const char* name) const { return XInternAtom(m_pDisplay, name, False); }
    // The window's _NET_WM_NAME (UTF-8), else its WM_NAME; empty when it has neither.
    std::string WindowTitle(Window w);
    // Whether the window still exists on the server.
    bool Exists(Window w);

private:
    Display* m_pDisplay = nullptr;
    XErrorHandler m_previousHandler = nullptr;
};

}  // namespace platform::x11
