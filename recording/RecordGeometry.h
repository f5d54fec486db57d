#pragma once
// The arithmetic of the recording window's geometry, apart from any window: where the slide area
// sits in the window, where the capture frame sits in the slide area, how the presentation
// program's window is moved so that its slide-show pane fills the slide area, and the size
// presets. Rectangles are the platform's (left, top, right, bottom).
#include "platform/base/WinGdiTypes.h"

namespace recording {

inline int Width(const RECT& r) { return r.right - r.left; }
inline int Height(const RECT& r) { return r.bottom - r.top; }
inline RECT MakeRect(int x, int y, int width, int height) { return RECT {x, y, x + width, y + height}; }

// The slide area of width x height, clipped to the client area (below the separator line whose
// top is separatorTop, with 2 pixels between), centred horizontally in the client area and
// vertically in the part below the separator. Client coordinates.
RECT SlideAreaRect(const RECT& client, int separatorTop, int width, int height);

struct Margins {
    int top = 0;
    int bottom = 0;
    int left = 0;
    int right = 0;
};

// The capture frame inside the slide area (both in the same coordinates), shrunk by the margins.
// Each coordinate and size is taken as its absolute value, so margins larger than the area still
// give a frame.
RECT CaptureFrameRect(const RECT& slideArea, const Margins& margins);

// Where the presentation program's main window goes, relative to the slide area, so that its pane
// lands on the slide area's origin with the slide area's size: main and pane in screen
// coordinates, slideArea the slide area's client rectangle. The pane grows and shrinks with the
// main window.
RECT FitPowerPointRect(const RECT& main, const RECT& pane, const RECT& slideArea);

// The video size combo, in its order. Index 0 changes nothing.
struct SizePreset {
    const char* text;
    int width;
    int height;
};
inline constexpr SizePreset kSizePresets[] = {
    {"Customer", 0, 0},
    {"704 X 576(DVD)", 704, 576},
    {"480 X 576(SVCD)", 480, 576},
    {"352 X 288(VCD)", 352, 288},
    {"176 X 144", 176, 144},
    {"160 X 128", 160, 128},
};
inline constexpr int kSizePresetCount = sizeof(kSizePresets) / sizeof(kSizePresets[0]);

// The size of preset `index`; false for index 0 ("Customer"). An index outside the table counts
// as index 1.
bool PresetSize(int index, int* width, int* height);

}  // namespace recording
