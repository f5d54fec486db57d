#include "filter/ScreenGrabber.h"

#include "common/ReportFailure.h"
#include "platform/screen/PixelFormat.h"

#include <algorithm>
#include <cstring>

using namespace platform;

namespace {

// A BITMAPINFO with room for a full colour table or the three masks.
struct DrawingSurfaceInfo {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};

void ResetDesc(DDSURFACEDESC* desc)
{
    std::memset(desc, 0, sizeof *desc);
    desc->dwSize = sizeof *desc;
}

}  // namespace

CScreenGrabber::CScreenGrabber()
{
    ProbeScreenDepth();
}

CScreenGrabber::~CScreenGrabber()
{
    ReleaseGDI();
    ReleaseDirectDraw();
}

void CScreenGrabber::SetDrawCursor(BOOL bDrawCursor)
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    m_bDrawCursor = bDrawCursor;
}

BOOL CScreenGrabber::GetDrawCursor() const
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    return m_bDrawCursor;
}

void CScreenGrabber::SetCaptureRect(const RECT& rc)
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    m_rcCapture = rc;
}

RECT CScreenGrabber::GetCaptureRect() const
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    return m_rcCapture;
}

void CScreenGrabber::SetCaptureMode(HWND hWnd, CaptureMode nMode)
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    m_hWnd = hWnd;
    m_nCaptureMode = nMode;
}

CaptureMode CScreenGrabber::GetCaptureMode() const
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    return m_nCaptureMode;
}

HWND CScreenGrabber::GetWindow() const
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    return m_hWnd;
}

void CScreenGrabber::SetOutputDepth(int nBits)
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    m_nOutputDepth = nBits;
}

int CScreenGrabber::GetOutputDepth() const
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    return m_nOutputDepth;
}

void CScreenGrabber::SetOutputMasks(DWORD dwRed, DWORD dwGreen, DWORD dwBlue)
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    m_dwMasks[0] = dwRed;
    m_dwMasks[1] = dwGreen;
    m_dwMasks[2] = dwBlue;
}

BOOL CScreenGrabber::IsDirectDrawUsable() const
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    return m_nCaptureMode == CaptureModeDirectDraw && m_nScreenDepth == m_nOutputDepth &&
           m_nScreenDepth >= 24;
}

const std::array<RGBQUAD, 256>& CScreenGrabber::GetPalette8()
{
    return Palette332();
}

CScreenGrabber::Settings CScreenGrabber::ReadSettings() const
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    return {m_bDrawCursor, m_rcCapture, m_nCaptureMode};
}

void CScreenGrabber::ProbeScreenDepth()
{
    if (DirectDrawCreate(nullptr, m_pDirectDraw.Receive(), nullptr) != DD_OK) {
        ReportFailure("Can't create DirectDrawObject!", true);
        return;
    }
    if (m_pDirectDraw->SetCooperativeLevel(0, DDSCL_NORMAL) != DD_OK) {
        ReportFailure("SetCooperativeLevel(..) failed!", true);
        return;
    }
    ResetDesc(&m_ddsd);
    m_ddsd.dwFlags = DDSD_CAPS;
    m_ddsd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (m_pDirectDraw->CreateSurface(&m_ddsd, m_pPrimarySurface.Receive(), nullptr) != DD_OK) {
        ReportFailure("CreateSurface(..) create prime failed!", true);
        return;
    }
    ResetDesc(&m_ddsd);
    m_ddsd.dwFlags = DDSD_ALL;
    if (m_pPrimarySurface->GetSurfaceDesc(&m_ddsd) != DD_OK) {
        ReportFailure("GetSurfaceDesc(..) get prime info failed!", true);
        return;
    }
    m_nScreenDepth = static_cast<int>(m_ddsd.ddpfPixelFormat.dwRGBBitCount);
    m_rcProbedScreen = {0, 0, static_cast<LONG>(m_ddsd.dwWidth), static_cast<LONG>(m_ddsd.dwHeight)};
    ReleaseDirectDraw();
}

BOOL CScreenGrabber::IsCapturable(const RECT& rc) const
{
    // In 64 bits: the differences of extreme coordinates overflow a LONG.
    const long long width = static_cast<long long>(rc.right) - rc.left;
    const long long height = static_cast<long long>(rc.bottom) - rc.top;
    if (width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide)
        return FALSE;
    const RECT& screen = m_rcProbedScreen;
    if (screen.right <= screen.left || screen.bottom <= screen.top)
        return TRUE;  // no screen to check against; the capture finds out
    return rc.left < screen.right && rc.right > screen.left && rc.top < screen.bottom && rc.bottom > screen.top;
}

bool CScreenGrabber::CreateDrawingSurface(int nBitDepth, UniqueHBITMAP* phBitmap, BYTE** ppBits)
{
    RECT rc = GetCaptureRect();
    DWORD masks[3];
    {
        std::lock_guard<std::mutex> guard(m_settingsLock);
        std::copy(std::begin(m_dwMasks), std::end(m_dwMasks), masks);
    }
    DrawingSurfaceInfo info {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = rc.right - rc.left;
    info.bmiHeader.biHeight = rc.bottom - rc.top;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(nBitDepth);
    info.bmiHeader.biCompression = BI_RGB;
    if (nBitDepth == 16) {
        info.bmiHeader.biCompression = BI_BITFIELDS;
        std::memcpy(info.bmiColors, masks, sizeof masks);
    } else if (nBitDepth == 8) {
        // The same table the 8-bit media type carries, so the frames read back as captured.
        std::copy(Palette332().begin(), Palette332().end(), info.bmiColors);
    }
    void* pBits = nullptr;
    phBitmap->reset(CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info),
                                     DIB_RGB_COLORS, &pBits, nullptr, 0));
    *ppBits = static_cast<BYTE*>(pBits);
    if (!*phBitmap)
        return false;
    m_nSurfaceWidth = info.bmiHeader.biWidth;
    m_nSurfaceHeight = info.bmiHeader.biHeight;
    m_nSurfaceDepth = nBitDepth;
    m_hPrevObject = SelectObject(m_hMemDC.get(), phBitmap->get());
    return m_hPrevObject != nullptr;
}

BOOL CScreenGrabber::SetUpGDI(int nBitDepth)
{
    ReleaseGDI();
    m_hDisplayDC.reset(CreateDC("DISPLAY", nullptr, nullptr, nullptr));
    if (m_hDisplayDC)
        m_hMemDC.reset(CreateCompatibleDC(m_hDisplayDC.get()));
    if (!m_hMemDC || !CreateDrawingSurface(nBitDepth, &m_hGdiBitmap, &m_pGdiBits)) {
        // Every frame of the run would stay unwritten: say so once, here.
        ReportFailure("Screen capture (GDI) set-up failed!", true);
        ReleaseGDI();
        return FALSE;
    }
    return TRUE;
}

BOOL CScreenGrabber::SetUpDirectDraw(int nBitDepth)
{
    ReleaseDirectDraw();
    auto fail = [this, nBitDepth](const char* text) {
        ReportFailure(text, true);
        // The frame dispatch must never meet half-made surfaces: drop them and capture with GDI.
        ReleaseDirectDraw();
        SetUpGDI(nBitDepth);
        return FALSE;
    };
    if (DirectDrawCreate(nullptr, m_pDirectDraw.Receive(), nullptr) != DD_OK)
        return fail("Can't create DirectDrawObject!");
    if (m_pDirectDraw->SetCooperativeLevel(0, DDSCL_NORMAL) != DD_OK)
        return fail("SetCooperativeLevel(..) failed!");
    ResetDesc(&m_ddsd);
    m_ddsd.dwFlags = DDSD_CAPS;
    m_ddsd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (m_pDirectDraw->CreateSurface(&m_ddsd, m_pPrimarySurface.Receive(), nullptr) != DD_OK)
        return fail("CreateSurface(..) create prime failed!");
    if (m_pDirectDraw->GetGDISurface(m_pGdiSurface.Receive()) != DD_OK)
        return fail("GetGDISurface(&lpDDSGdi) failed!");
    ResetDesc(&m_ddsd);
    m_ddsd.dwFlags = DDSD_ALL;
    if (m_pPrimarySurface->GetSurfaceDesc(&m_ddsd) != DD_OK)
        return fail("GetSurfaceDesc(..) get prime info failed!");
    m_rcScreen = {0, 0, static_cast<LONG>(m_ddsd.dwWidth), static_cast<LONG>(m_ddsd.dwHeight)};
    DWORD dwWidth = m_ddsd.dwWidth, dwHeight = m_ddsd.dwHeight;
    ResetDesc(&m_ddsd);
    m_ddsd.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    m_ddsd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    m_ddsd.dwWidth = dwWidth;
    m_ddsd.dwHeight = dwHeight;
    if (m_pDirectDraw->CreateSurface(&m_ddsd, m_pBackSurface.Receive(), nullptr) != DD_OK)
        return fail("CreateSurface(&DDSdesc, &lpDDSBack, 0) create back failed!");

    m_hDisplayDC.reset(CreateDC("DISPLAY", nullptr, nullptr, nullptr));
    m_hMemDC.reset(m_hDisplayDC ? CreateCompatibleDC(m_hDisplayDC.get()) : nullptr);
    if (!m_hMemDC || !CreateDrawingSurface(nBitDepth, &m_hDDBitmap, &m_pDDBits))
        return fail("Screen capture (DirectDraw) set-up failed!");
    return TRUE;
}

bool CScreenGrabber::HeaderMatchesSurface(const BITMAPINFOHEADER& header, LONG width, LONG height,
                                          int nBitDepth)
{
    return header.biWidth == width && header.biHeight == height && header.biBitCount == nBitDepth;
}

void CScreenGrabber::Capture(BYTE* pDest, const BITMAPINFOHEADER* pHeader)
{
    if (!pDest || !pHeader)
        return;
    Settings s = ReadSettings();
    if (s.nMode == CaptureModeGDI) {
        CaptureGDI(pDest, *pHeader, s);
    } else if (s.nMode == CaptureModeDirectDraw) {
        // Without surfaces (a failed DirectDraw set-up) the GDI back-end stands in.
        if (IsDirectDrawUsable() && m_pBackSurface)
            CaptureDirectDraw(pDest, *pHeader, s);
        else
            CaptureGDI(pDest, *pHeader, s);
    }
}

void CScreenGrabber::CaptureGDI(BYTE* pDest, const BITMAPINFOHEADER& header, const Settings& s)
{
    if (IsRectEmpty(&s.rcCapture))
        return;
    if (!m_hMemDC || !m_hGdiBitmap || !m_pGdiBits ||
        !HeaderMatchesSurface(header, m_nSurfaceWidth, m_nSurfaceHeight, m_nSurfaceDepth))
        return;
    LONG width = s.rcCapture.right - s.rcCapture.left, height = s.rcCapture.bottom - s.rcCapture.top;
    DWORD size = DibStride(m_nSurfaceWidth, static_cast<WORD>(m_nSurfaceDepth)) *
                 static_cast<DWORD>(m_nSurfaceHeight);
    // The overlay's pointer position travels with the blit's round trip.
    if (s.bDrawCursor)
        RequestCursorPos(m_hDisplayDC.get());
    if (header.biSizeImage >= size) {
        // The buffer holds the whole drawing surface: blit and draw straight into it, which
        // gives the same frame as drawing on the surface and copying it, one copy sooner.
        BitBltToBits(pDest, m_hMemDC.get(), 0, 0, width, height, m_hDisplayDC.get(),
                     s.rcCapture.left, s.rcCapture.top, SRCCOPY);
        if (s.bDrawCursor)
            DrawCursorOverlay(GetCursor(m_hDisplayDC.get()), s.rcCapture, pDest);
        return;
    }
    BitBlt(m_hMemDC.get(), 0, 0, width, height, m_hDisplayDC.get(), s.rcCapture.left,
           s.rcCapture.top, SRCCOPY);
    if (s.bDrawCursor)
        DrawCursorOverlay(GetCursor(m_hDisplayDC.get()), s.rcCapture, nullptr);
    std::memcpy(pDest, m_pGdiBits, header.biSizeImage);
}

void CScreenGrabber::CaptureDirectDraw(BYTE* pDest, const BITMAPINFOHEADER& header,
                                       const Settings& s)
{
    RECT rc = s.rcCapture;
    int bits = header.biBitCount;
    DWORD stride = header.biWidth > 0 ? DibStride(header.biWidth, header.biBitCount) : 0;
    // The frame is described by the header: it bounds every row written below.
    if (bits != m_nScreenDepth || header.biHeight <= 0 || stride == 0 ||
        header.biSizeImage / stride < static_cast<DWORD>(header.biHeight))
        return;
    bool bCursor = s.bDrawCursor && m_pDDBits &&
                   HeaderMatchesSurface(header, m_nSurfaceWidth, m_nSurfaceHeight, m_nSurfaceDepth);

    // Asked before the blit on the display connection, answered while the blit runs.
    if (bCursor)
        RequestCursorPos(m_hDisplayDC.get());
    HRESULT hr = m_pBackSurface->BltFast(static_cast<DWORD>(rc.left), static_cast<DWORD>(rc.top),
                                         m_pPrimarySurface.Get(), &rc, DDBLTFAST_NOCOLORKEY);
    if (hr == DD_OK) {
        ResetDesc(&m_ddsd);
        hr = m_pBackSurface->Lock(nullptr, &m_ddsd, DDLOCK_WAIT | DDLOCK_READONLY, nullptr);
    }
    if (hr != DD_OK) {
        Beep(m_hDisplayDC.get(), 120, 200);
        return;
    }
    LONG width = std::min(rc.right - rc.left, header.biWidth);
    LONG height = std::min(rc.bottom - rc.top, header.biHeight);
    std::size_t rowBytes = static_cast<std::size_t>(bits) * width / 8;
    // With the cursor the rows still go straight into the buffer, which has the drawing surface's
    // exact layout, and the arrow is drawn there: the same frame, one copy sooner.
    BYTE* target = pDest;
    // Screen row y goes to target row (biHeight - 1 - (y - top)): bottom-up like the GDI frame.
    const BYTE* surface = static_cast<const BYTE*>(m_ddsd.lpSurface);
    const BYTE* src = surface + static_cast<std::ptrdiff_t>(rc.top) * m_ddsd.lPitch +
                      static_cast<std::ptrdiff_t>(bits) * rc.left / 8;
    BYTE* dst = target + static_cast<std::size_t>(header.biHeight - 1) * stride;
    CopyRows(src, m_ddsd.lPitch, dst, -static_cast<std::ptrdiff_t>(stride), rowBytes, height);
    if (bCursor)
        DrawCursorOverlay(LoadCursor(nullptr, IDC_ARROW), rc, pDest);
    m_pBackSurface->Unlock(nullptr);
}

void CScreenGrabber::DrawCursorOverlay(HCURSOR hCursor, const RECT& rcCapture, BYTE* pTarget)
{
    POINT pt;
    // Without a pointer position there is nowhere to draw.
    if (!GetCursorPos(m_hDisplayDC.get(), &pt))
        return;
    int x = pt.x - rcCapture.left, y = pt.y - rcCapture.top;
    ICONINFO ii;
    if (GetIconInfo(hCursor, &ii)) {
        x -= static_cast<int>(ii.xHotspot);
        y -= static_cast<int>(ii.yHotspot);
        if (ii.hbmMask)
            DeleteObject(ii.hbmMask);
        if (ii.hbmColor)
            DeleteObject(ii.hbmColor);
    }
    if (pTarget)
        DrawIconToBits(pTarget, m_hMemDC.get(), x, y, hCursor);
    else
        DrawIcon(m_hMemDC.get(), x, y, hCursor);
}

void CScreenGrabber::ReleaseGDI()
{
    if (m_hPrevObject && m_hMemDC)
        SelectObject(m_hMemDC.get(), m_hPrevObject);
    m_hPrevObject = nullptr;
    m_hMemDC.reset();
    m_hDisplayDC.reset();
    m_hGdiBitmap.reset();
    m_pGdiBits = nullptr;
}

void CScreenGrabber::ReleaseDirectDraw()
{
    m_hDDBitmap.reset();
    m_pDDBits = nullptr;
    m_pBackSurface.Reset();
    m_pGdiSurface.Reset();
    m_pPrimarySurface.Reset();
    m_pDirectDraw.Reset();
}
