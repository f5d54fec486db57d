#include "recording/KeyboardHook.h"

#include "platform/ui/MessageBox.h"
#include "platform/x11/WindowFunctions.h"

namespace recording {

bool InstallKeyboardHook(HWND recordWindow)
{
    Brelin_SetNotifyWindow(recordWindow);
    if (Brelin_InstallHooks())
        return true;
    platform::MessageBox(recordWindow, "Keyboard hook failed to install.", platform::GetAppName().c_str(),
                         platform::MB_OK);
    return false;
}

void RemoveKeyboardHook()
{
    Brelin_RemoveHooks();
}

bool ApplyHookKey(CSlideCounter& counter, UINT virtualKey, HWND slideShowPane, HWND pptMainWindow)
{
    // No window at all has the keyboard: that is not the show either.
    HWND foreground = platform::GetForegroundWindow();
    if (!foreground || (foreground != slideShowPane && foreground != pptMainWindow))
        return false;
    counter.ApplyKey(virtualKey);
    return true;
}

bool ApplyHookClick(const MOUSEHOOKSTRUCT& click, HWND slideArea, HWND pptMainWindow, HWND recordWindow)
{
    RECT area {};
    if (!platform::GetWindowRect(slideArea, &area) || !PtInRect(&area, click.pt))
        return false;
    if (!pptMainWindow || platform::GetForegroundWindow() != pptMainWindow)
        return false;
    platform::SetForegroundWindow(recordWindow);
    return true;
}

}  // namespace recording
