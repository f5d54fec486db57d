#pragma once
// X protocol errors on the screen layer's own connections are recorded instead of ending the
// process (Xlib's default handler exits). The trap hooks each of its connections alone (Xlib's
// per-display error conversion), never the process-wide handler: errors on other connections go
// wherever the process sends them, and nothing of the trap is left in Xlib once its connections
// are closed, so a module holding it can be unloaded.
//
// Thread-safe: connections register and unregister from any thread; an error is delivered on
// the thread that is using the connection, which is the only thread reading its record.
#include <X11/Xlib.h>

namespace platform {

class XErrorTrap {
public:
    // Starts recording the errors of dpy; the last one is kept until Take().
    static void Register(Display* dpy);
    // Stops recording and takes the hooks off dpy again.
    static void Unregister(Display* dpy);
    // The error code recorded on dpy since the last call (Success if none), then clears it.
    static int Take(Display* dpy);
};

}  // namespace platform
