#pragma once
// The recording window's side of the hook library (libbrelin.so): installing and removing it, and
// the handling of its two notifications, WM_HOOK_KEY and WM_HOOK_CLICK (platform/hook/Brelin.h).
#include "platform/base/WinTypes.h"
#include "platform/hook/Brelin.h"
#include "recording/SlideCounter.h"

namespace recording {

// Notifications go to `recordWindow`, then the hooks are installed. When the library refuses:
// "Keyboard hook failed to install." on the window (OK, no icon, the application's name as
// caption) and false; the window goes on without the hook.
bool InstallKeyboardHook(HWND recordWindow);
// Always at closing, whether or not the install succeeded.
void RemoveKeyboardHook();

// WM_HOOK_KEY: when the foreground window is the slide-show pane or the presentation program's
// main window, the key goes to the counter by its rules and the caller shows the counter; false
// (nothing changed) when another window has the keyboard.
bool ApplyHookKey(CSlideCounter& counter, UINT virtualKey, HWND slideShowPane, HWND pptMainWindow);

// WM_HOOK_CLICK: a click inside the slide area's screen rectangle while the presentation
// program's main window is the foreground window brings the recording window to the front. True
// when it did.
bool ApplyHookClick(const MOUSEHOOKSTRUCT& click, HWND slideArea, HWND pptMainWindow, HWND recordWindow);

}  // namespace recording
