// Benchmark support: keeps the whole X screen changing 30 times a second (a full-screen fill in a
// new colour and a few moving bars), with the pointer parked at (100, 100), until killed.
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <thread>

int main()
{
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "bench_screen_animator: cannot open the display\n");
        return 1;
    }
    int screen = DefaultScreen(dpy);
    Window root = RootWindow(dpy, screen);
    int width = DisplayWidth(dpy, screen), height = DisplayHeight(dpy, screen);
    GC gc = XCreateGC(dpy, root, 0, nullptr);
    XWarpPointer(dpy, None, root, 0, 0, 0, 0, 100, 100);

    auto next = std::chrono::steady_clock::now();
    for (unsigned tick = 0;; ++tick) {
        XSetForeground(dpy, gc, (tick * 0x010305u) & 0xFFFFFF);
        XFillRectangle(dpy, root, gc, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
        for (int bar = 0; bar < 8; ++bar) {
            XSetForeground(dpy, gc, (bar * 0x203040u + tick * 0x070507u) & 0xFFFFFF);
            int x = static_cast<int>((tick * 7 + static_cast<unsigned>(bar) * 240) % static_cast<unsigned>(width));
            XFillRectangle(dpy, root, gc, x, 0, 60, static_cast<unsigned>(height));
        }
        XSync(dpy, False);
        next += std::chrono::microseconds(33333);
        std::this_thread::sleep_until(next);
    }
}
