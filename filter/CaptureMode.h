#pragma once
// The capture back-end selector that IOravane::SetCaptureMode passes (32-bit signed).
// Other values are possible on the interface and select no back-end.
#include "platform/base/WinTypes.h"

using CaptureMode = LONG;
constexpr CaptureMode CaptureModeGDI = 0;
constexpr CaptureMode CaptureModeDirectDraw = 1;
