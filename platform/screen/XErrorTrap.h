#pragma once
// X protocol errors on the screen layer's own connections are recorded instead of ending the
// process (Xlib's default handler exits). Xlib has one error handler per process, so the layer
// installs its handler once and forwards errors on every other connection to the handler that
// was there before it.
//
// Thread-safe: connections register and unregister from any thread; an error is delivered on
// the thread that is using the connection, which is the only thread reading its record.
#include <X11/Xlib.h>

namespace platform {

class XErrorTrap {
public:
    // Starts recording the errors of dpy; the last one is kept until Take().
    static void Register(Display* dpy);
    static void Unregister(Display* dpy);
    // The error code recorded on dpy since the last call (Success if none), then clears it.
    static int Take(Display* dpy);
};

}  // namespace platform
