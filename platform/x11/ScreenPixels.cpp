#include "platform/x11/ScreenPixels.h"

#include "platform/x11/XDisplay.h"

#include <X11/Xutil.h>

#include <algorithm>

namespace platform {

ScreenRectLook LookAtScreenRect(const RECT& rect)
{
    x11::CXDisplay display;
    if (!display.IsOpen())
        return ScreenRectLook::Unknown;
    Display* dpy = display.Get();
    const int screenWidth = DisplayWidth(dpy, DefaultScreen(dpy));
    const int screenHeight = DisplayHeight(dpy, DefaultScreen(dpy));
    const int left = std::max<int>(0, rect.left), top = std::max<int>(0, rect.top);
    const int right = std::min<int>(screenWidth, rect.right), bottom = std::min<int>(screenHeight, rect.bottom);
    if (right <= left || bottom <= top)
        return ScreenRectLook::Unknown;
    XImage* image = XGetImage(dpy, display.Root(), left, top, static_cast<unsigned>(right - left),
                              static_cast<unsigned>(bottom - top), AllPlanes, ZPixmap);
    if (image == nullptr)
        return ScreenRectLook::Unknown;
    // A visual without colour masks (a palette) counts every bit.
    unsigned long colours = image->red_mask | image->green_mask | image->blue_mask;
    if (colours == 0)
        colours = ~0UL;
    ScreenRectLook look = ScreenRectLook::Black;
    for (int y = 0; y < image->height && look == ScreenRectLook::Black; ++y)
        for (int x = 0; x < image->width; ++x)
            if ((XGetPixel(image, x, y) & colours) != 0) {
                look = ScreenRectLook::Drawn;
                break;
            }
    XDestroyImage(image);
    return look;
}

}  // namespace platform
