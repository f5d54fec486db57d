#pragma once
// The recording window's resource: its id, its controls' ids and its private messages.
#include "platform/base/WinTypes.h"

namespace recording {

inline constexpr UINT IDD_RECORD_DIALOG = 131;

enum : int {
    IDC_REC_START = 1000,
    IDC_REC_STOP = 1001,
    IDC_REC_PAUSE = 1002,
    IDC_REC_OPTION = 1003,
    IDC_REC_OUTPUT_FOLDER = 1004,
    IDC_REC_BURN = 1005,
    IDC_REC_PREVIOUS = 1021,
    IDC_REC_NEXT = 1022,
    IDC_REC_LAST = 1023,
    IDC_REC_VIDEO_HEIGHT = 1024,   // hidden
    IDC_REC_VIDEO_WIDTH = 1025,    // hidden
    IDC_REC_PPT_HEIGHT = 1026,
    IDC_REC_BOTTOM_MARGIN = 1028,
    IDC_REC_TOP_MARGIN = 1029,
    IDC_REC_RIGHT_MARGIN = 1030,
    IDC_REC_LEFT_MARGIN = 1031,
    IDC_REC_SLIDE_AREA = 1040,
    IDC_REC_CAPTURE_FRAME = 1041,
    IDC_REC_SPIN_PPT_WIDTH = 1042,
    IDC_REC_SPIN_PPT_HEIGHT = 1043,
    IDC_REC_SPIN_VIDEO_WIDTH = 1044,   // hidden
    IDC_REC_SPIN_VIDEO_HEIGHT = 1045,  // hidden
    IDC_REC_SEPARATOR = 1046,
    IDC_REC_FIRST = 1047,
    IDC_REC_PPT_WIDTH = 1048,
    IDC_REC_PRESENTATIONS = 1049,
    IDC_REC_STATUS = 1051,
    IDC_REC_SPIN_TOP_MARGIN = 1052,
    IDC_REC_SPIN_BOTTOM_MARGIN = 1053,
    IDC_REC_SPIN_LEFT_MARGIN = 1054,
    IDC_REC_SPIN_RIGHT_MARGIN = 1055,
    IDC_REC_SLIDE_COUNTER = 1056,
    IDC_REC_SIZE = 1057,
};

// Private messages the window posts to itself.
inline constexpr UINT WM_START_RECORDING = 2025;
inline constexpr UINT WM_DRAW_CAPTURE_FRAME = 2026;
inline constexpr UINT WM_ASK_BURN = 2027;
// Set the slide counter from the show's current position (the show changed slide, or a key was
// counted a moment ago; see ShowFollower.h).
inline constexpr UINT WM_SHOW_SLIDE_CHANGED = 2028;
// The hook's key and click notifications, WM_HOOK_KEY and WM_HOOK_CLICK: platform/hook/Brelin.h.

// The window's state.
enum RecordState : int {
    RECORD_STATE_RECORDING = 101,
    RECORD_STATE_PAUSED = 102,
    RECORD_STATE_READY = 103,
};

}  // namespace recording
