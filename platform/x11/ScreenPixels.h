#pragma once
// What the screen shows in a rectangle, read from the root window: for a caller that must know
// whether another client (the office) has drawn there yet.
#include "platform/base/WinGdiTypes.h"

namespace platform {

enum class ScreenRectLook {
    Black,     // every pixel black: nothing is drawn there
    Drawn,     // some pixel is not black
    Unknown,   // no display, or the rectangle is empty or off the screen
};
ScreenRectLook LookAtScreenRect(const RECT& rect);

}  // namespace platform
