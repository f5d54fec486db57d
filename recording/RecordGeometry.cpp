#include "recording/RecordGeometry.h"

#include <cstdlib>

namespace recording {

RECT SlideAreaRect(const RECT& client, int separatorTop, int width, int height)
{
    int clientWidth = Width(client);
    int below = Height(client) - separatorTop - 2;
    int w = width < clientWidth ? width : clientWidth;
    int h = height < below ? height : below;
    // A window too small to hold any slide area (a minimised one) has an empty one.
    w = w < 0 ? 0 : w;
    h = h < 0 ? 0 : h;
    // Signed divisions round toward zero, as the window's own arithmetic does.
    int x = (clientWidth - w) / 2;
    int y = (below - h) / 2 + separatorTop + 2;
    return MakeRect(x, y, w, h);
}

RECT CaptureFrameRect(const RECT& slideArea, const Margins& margins)
{
    return MakeRect(std::abs(slideArea.left + margins.left), std::abs(slideArea.top + margins.top),
                    std::abs(Width(slideArea) - margins.left - margins.right),
                    std::abs(Height(slideArea) - margins.top - margins.bottom));
}

RECT FitPowerPointRect(const RECT& main, const RECT& pane, const RECT& slideArea)
{
    return MakeRect(main.left - pane.left, main.top - pane.top,
                    Width(main) + Width(slideArea) - Width(pane),
                    Height(main) + Height(slideArea) - Height(pane));
}

bool PresetSize(int index, int* width, int* height)
{
    if (index == 0)
        return false;
    if (index < 0 || index >= kSizePresetCount)
        index = 1;
    *width = kSizePresets[index].width;
    *height = kSizePresets[index].height;
    return true;
}

}  // namespace recording
