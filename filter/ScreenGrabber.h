#pragma once
// Copies one rectangle of the screen into one bottom-up DIB frame, through the "GDI" back-end
// (BitBlt into a DIB section of the output depth, which converts) or the "DirectDraw" back-end
// (blit into an off-screen surface, locked and copied row by row; only when the screen already
// has the output depth, at least 24 bits), optionally with the mouse cursor drawn in.
//
// Threads: set-up, Capture and the release steps run on the streaming thread under the pin's
// lock; construction, destruction and the IOravane setters come from the window thread. The
// settings are therefore read under a lock of their own.
#include "filter/CaptureMode.h"
#include "platform/base/WinGdiTypes.h"
#include "platform/screen/DirectDraw.h"
#include "platform/screen/Gdi.h"

#include <array>
#include <mutex>

class CScreenGrabber {
public:
    CScreenGrabber();
    virtual ~CScreenGrabber();
    CScreenGrabber(const CScreenGrabber&) = delete;
    CScreenGrabber& operator=(const CScreenGrabber&) = delete;

    void SetDrawCursor(BOOL bDrawCursor);
    BOOL GetDrawCursor() const;
    void SetCaptureRect(const RECT& rc);
    RECT GetCaptureRect() const;
    void SetCaptureMode(HWND hWnd, CaptureMode nMode);
    CaptureMode GetCaptureMode() const;
    HWND GetWindow() const;

    // Bits per pixel of the screen (0 when the probe failed).
    int GetScreenDepth() const { return m_nScreenDepth; }
    // Whether rc makes a frame this grabber can capture: not empty, no side longer than
    // kMaxFrameSide, and at least partly on the screen when the probe found one.
    BOOL IsCapturable(const RECT& rc) const;
    // 8192 x 8192 at 32 bits is 256 MiB a frame: anything larger is a wrong rectangle.
    static constexpr LONG kMaxFrameSide = 8192;
    // The negotiated depth, set by the pin's SetMediaType.
    void SetOutputDepth(int nBits);
    int GetOutputDepth() const;
    // The colour masks of a negotiated 16-bit type (5-5-5 until set); the 16-bit drawing surface
    // is made with them.
    void SetOutputMasks(DWORD dwRed, DWORD dwGreen, DWORD dwBlue);

    // Capture mode DirectDraw, screen depth = output depth, screen depth >= 24.
    BOOL IsDirectDrawUsable() const;

    BOOL SetUpGDI(int nBitDepth);
    // A failure is logged; the GDI back-end is then set up in its place.
    BOOL SetUpDirectDraw(int nBitDepth);

    // Writes at most pHeader->biSizeImage bytes, and nothing when the frame cannot be captured.
    void Capture(BYTE* pDest, const BITMAPINFOHEADER* pHeader);

    void ReleaseGDI();
    void ReleaseDirectDraw();

    // The colour table of 8-bit frames (the 3-3-2 table of the screen layer).
    static const std::array<RGBQUAD, 256>& GetPalette8();

private:
    struct Settings {
        BOOL bDrawCursor;
        RECT rcCapture;
        CaptureMode nMode;
    };
    Settings ReadSettings() const;
    void ProbeScreenDepth();
    bool CreateDrawingSurface(int nBitDepth, platform::UniqueHBITMAP* phBitmap, BYTE** ppBits);
    void CaptureGDI(BYTE* pDest, const BITMAPINFOHEADER& header, const Settings& s);
    void CaptureDirectDraw(BYTE* pDest, const BITMAPINFOHEADER& header, const Settings& s);
    // Draws on the memory DC's surface, or into pTarget laid out like it.
    void DrawCursorOverlay(platform::HCURSOR hCursor, const RECT& rcCapture, BYTE* pTarget);
    static bool HeaderMatchesSurface(const BITMAPINFOHEADER& header, LONG width, LONG height,
                                     int nBitDepth);

    mutable std::mutex m_settingsLock;  // guards the first four fields

    BOOL m_bDrawCursor = FALSE;
    RECT m_rcCapture {20, 20, 660, 500};
    CaptureMode m_nCaptureMode = CaptureModeGDI;
    HWND m_hWnd = 0;
    platform::DDRef<platform::IDirectDraw> m_pDirectDraw;
    platform::DDRef<platform::IDirectDrawSurface> m_pPrimarySurface;
    platform::DDRef<platform::IDirectDrawSurface> m_pBackSurface;
    platform::DDRef<platform::IDirectDrawSurface> m_pGdiSurface;
    platform::DDSURFACEDESC m_ddsd {};
    BYTE* m_pDDBits = nullptr;
    platform::UniqueHBITMAP m_hDDBitmap;
    RECT m_rcScreen {0, 0, 0, 0};
    int m_nScreenDepth = 0;
    // The screen as the constructor's probe found it (empty when it failed); fixed afterwards.
    RECT m_rcProbedScreen {0, 0, 0, 0};
    int m_nOutputDepth = 0;
    BYTE* m_pGdiBits = nullptr;
    platform::HGDIOBJ m_hPrevObject = nullptr;
    platform::UniqueHDC m_hMemDC;
    platform::UniqueHBITMAP m_hGdiBitmap;
    platform::UniqueHDC m_hDisplayDC;

    // Not among the platform's fields: the masks of a 16-bit output, and the size of the
    // drawing surface made at set-up.
    DWORD m_dwMasks[3] = {0x7C00, 0x03E0, 0x001F};
    LONG m_nSurfaceWidth = 0;
    LONG m_nSurfaceHeight = 0;
    int m_nSurfaceDepth = 0;
};
