#pragma once
// Test support: counts the X errors that reach the process-wide error handler, which it is for
// its lifetime. Include after the test framework: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>

namespace screentest {

class CProcessErrorCounter {
public:
    CProcessErrorCounter() : m_previous(XSetErrorHandler(Count)) { s_nErrors = 0; }
    ~CProcessErrorCounter() { XSetErrorHandler(m_previous); }
    CProcessErrorCounter(const CProcessErrorCounter&) = delete;
    CProcessErrorCounter& operator=(const CProcessErrorCounter&) = delete;

    int Errors() const { return s_nErrors; }
    // Whether the process's handler is still this counter's.
    static bool IsInstalled()
    {
        XErrorHandler current = XSetErrorHandler(nullptr);
        XSetErrorHandler(current);
        return current == &Count;
    }
    // Makes an error on a connection of its own: mapping a window that does not exist.
    static void ProvokeError()
    {
        if (Display* dpy = XOpenDisplay(nullptr)) {
            XMapWindow(dpy, kNoWindow);
            XSync(dpy, False);
            XCloseDisplay(dpy);
        }
    }
    static constexpr XID kNoWindow = 0x7FFFFFF0;

private:
    static int Count(Display*, XErrorEvent*)
    {
        ++s_nErrors;
        return 0;
    }
    static inline int s_nErrors = 0;
    XErrorHandler m_previous;
};

}  // namespace screentest
