#pragma once
// The record the burn window fills and hands to the burn worker, and the worker itself.
#include "platform/base/WinTypes.h"

#include <string>

class CDevice;

// The private message that steps the burn window's sequence.
constexpr UINT WM_BURN_STAGE = WM_USER + 600;

// What the burn worker needs of the burn window; implemented by the window.
class IBurnWindow {
public:
    virtual ~IBurnWindow() = default;
    // Hide the elapsed-time label, the progress bar and the percentage label; stop timer 1.
    virtual void HideBurnProgress() = 0;
    // Thread-safe post to the window's own thread.
    virtual void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

constexpr LONG BURN_KIND_VIDEO_CD = 0;
constexpr LONG BURN_KIND_SUPER_VIDEO_CD = 1;
constexpr LONG BURN_KIND_DVD_VIDEO = 2;

struct BurnJob {
    BYTE m_bOpc = 0;
    ULONG m_ulSpeed = 0;                // KB/s; the speed the drive took once it is set
    const char* m_szSpeedLabel = "";    // label from a speed table
    LONG m_lReserved = 0;
    char m_szVolumeLabel[256] = "";
    CDevice* m_pDevice = nullptr;
    IBurnWindow* m_pWindow = nullptr;
    LONG m_lBurnKind = BURN_KIND_DVD_VIDEO;
    std::string m_strSourcePath;
    BYTE m_bEject = 0;
};

// The program-wide burn record, refilled by the burn window before each burn.
BurnJob& ProgramBurnJob();

// Worker entry: runs the job's burn, ejects when asked, then hands control back to the window.
// Always returns 1; the outcome reaches the user through the key-1 texts.
UINT RunBurn(BurnJob* job);
