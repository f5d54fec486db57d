#pragma once
// The capture filter's identity and control interfaces, shared by the program and the filter
// module. A program and a module may come from different builds: an interface never changes once
// published under its id; an addition is an interface of its own, asked for with QueryInterface.
#include "filter/CaptureMode.h"
#include "platform/base/WinGdiTypes.h"
#ifndef Q_MOC_RUN
#include "platform/com/Unknown.h"
#endif

constexpr CLSID CLSID_Oravane {0x5159D8CF, 0xF477, 0x42AD, {0x9D, 0xE0, 0xDB, 0x35, 0xCE, 0x84, 0xA7, 0xA3}};
constexpr IID IID_IOravane {0xE67148C0, 0x1FD2, 0x43CD, {0xA4, 0xAC, 0x95, 0x55, 0x9B, 0xB2, 0x42, 0x81}};

// Every method returns S_OK, except SetCaptureRect for a rectangle the filter cannot capture.
struct IOravane : IUnknown {
    // E_INVALIDARG, changing nothing, for an empty or inverted rectangle, one with a side over
    // 8192 pixels, or one wholly off the screen.
    virtual HRESULT SetCaptureRect(RECT rc) = 0;
    virtual HRESULT GetCaptureRect(RECT* prc) = 0;
    virtual HRESULT SetCaptureMode(HWND hWnd, CaptureMode nMode) = 0;
    virtual HRESULT SetDrawCursor(BOOL bDrawCursor) = 0;
    virtual HRESULT GetDrawCursor(BOOL* pbDrawCursor) = 0;
    // Setting holds the streaming thread before its next capture; clearing restarts the frame
    // interval from now, so paused time is not counted.
    virtual HRESULT SetPause(BOOL bPause) = 0;
    virtual HRESULT GetPause(BOOL* pbPause) = 0;
    // Frames of the last run per un-paused second, known after the stop (0.0 until then).
    virtual HRESULT GetActualFrameRate(double* pdFps) = 0;
};

// {F95653A6-5538-438D-8700-0913CEA75832}
constexpr IID IID_IOravaneFrameRate {0xF95653A6, 0x5538, 0x438D, {0x87, 0x00, 0x09, 0x13, 0xCE, 0xA7, 0x58, 0x32}};

// The frame-rate ceiling of the filter. A module without it captures as fast as the graph takes
// the frames.
struct IOravaneFrameRate : IUnknown {
    // The most frames per second the source captures (0 = no limit; 15 until set), so a graph
    // without a compressor cannot write thousands of frames a second. Returns S_OK.
    virtual HRESULT SetMaxFrameRate(double dFps) = 0;
};
