#pragma once
// The frame-rate patch of a silent recording: the rate the source measured, written over the
// video stream's dwRate in the file the multiplexer finished. No windows, no media graph.
#include "platform/base/WinTypes.h"

#include <string>

// Writes the rate, truncated to an integer, over the video stream's dwRate at byte 132.
BOOL UpdateAviFrameRate(const std::string& strFileName, double dFps);
