#include "filter/CaptureStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

struct TypeRow {
    WORD bitCount;  // 0: the screen's depth
    DWORD compression;
    DWORD masks[3];
    DWORD clrUsed;
};

// How far the ceiling lets captures fall behind its schedule and still catch up.
constexpr DWORD kCeilingCatchUpMs = 500;

constexpr TypeRow kTypes[6] = {
    {0, BI_RGB, {0, 0, 0}, 0},
    {24, BI_RGB, {0, 0, 0}, 0},
    {32, BI_RGB, {0, 0, 0}, 0},
    {16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, 0},
    {16, BI_BITFIELDS, {0x7C00, 0x03E0, 0x001F}, 0},
    {8, BI_RGB, {0, 0, 0}, 256},
};

// The header of a video-info format block, or null when the block is too small to hold one.
const VIDEOINFOHEADER* VideoInfo(const CMediaType* pmt)
{
    if (!pmt || pmt->formattype != FORMAT_VideoInfo || !pmt->pbFormat || pmt->cbFormat < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(pmt->pbFormat);
}

} // namespace

CCaptureStream::CCaptureStream(HRESULT* phr, CSource* pParent, LPCWSTR pPinName, ITickClock* pClock)
    : CSourceStream(nullptr, phr, pParent, pPinName, pClock)
{
    CAutoLock lock(&m_cSharedState);
    m_pGrabber.reset(new (std::nothrow) CScreenGrabber);
    if (!m_pGrabber && phr) *phr = E_OUTOFMEMORY;
}

CCaptureStream::~CCaptureStream()
{
    CAutoLock lock(&m_cSharedState);
    m_pGrabber.reset();
}

void CCaptureStream::SetFrameSize(LONG width, LONG height)
{
    CAutoLock lock(m_pFilter->pStateLock());
    m_iWidth = width;
    m_iHeight = height;
}

void CCaptureStream::SetPause(BOOL bPause)
{
    // Under the lock: a frame being captured never overwrites the resume's tick, and the
    // streaming thread checks the flag under this lock right before it captures.
    CAutoLock lock(&m_cSharedState);
    const DWORD now = m_pTickClock->GetTickCount();
    if (bPause && !m_bPaused) {
        // The un-paused stretch ends here; before the first sample none has begun.
        if (!m_bFirstFrame) m_dwRunMs += now - m_dwRunStart;
    } else if (!bPause && m_bPaused) {
        m_dwRunStart = now;
        m_bCeilingArmed = false;  // the ceiling paces from the resume, with nothing to catch up
    }
    if (!bPause) m_dwLastTick = now;
    m_bPaused = bPause;
}

double CCaptureStream::GetActualFrameRate()
{
    CAutoLock lock(&m_cSharedState);
    return m_dActualFps;
}

void CCaptureStream::SetMaxFrameRate(double dFps)
{
    m_dMaxFps = dFps > 0.0 && std::isfinite(dFps) ? dFps : 0.0;
}

HRESULT CCaptureStream::GetMediaType(int iPosition, CMediaType* pmt)
{
    if (!pmt) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 5) return VFW_S_NO_MORE_ITEMS;

    auto* pvi = reinterpret_cast<VIDEOINFO*>(pmt->AllocFormatBuffer(SIZE_VIDEOINFO));
    if (!pvi) return E_OUTOFMEMORY;
    const TypeRow& row = kTypes[iPosition];
    WORD bits = row.bitCount;
    if (bits == 0) {
        int screen = m_pGrabber ? m_pGrabber->GetScreenDepth() : 0;
        // An unknown depth offers the richest format.
        bits = screen == 8 || screen == 16 || screen == 24 || screen == 32 ? static_cast<WORD>(screen) : 32;
    }
    BITMAPINFOHEADER& bih = pvi->bmiHeader;
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biWidth = m_iWidth;
    bih.biHeight = m_iHeight;
    bih.biPlanes = 1;
    bih.biBitCount = bits;
    bih.biCompression = row.compression;
    bih.biClrUsed = row.clrUsed;
    bih.biClrImportant = 0;
    if (row.compression == BI_BITFIELDS) std::memcpy(pvi->dwBitMasks, row.masks, sizeof(row.masks));
    if (bits == 8) {
        const auto& palette = CScreenGrabber::GetPalette8();
        std::memcpy(pvi->bmiColors, palette.data(), sizeof(pvi->bmiColors));
    }
    bih.biSizeImage = GetBitmapSize(&bih);

    pmt->SetType(&MEDIATYPE_Video);
    pmt->SetFormatType(&FORMAT_VideoInfo);
    pmt->SetTemporalCompression(FALSE);
    GUID subtype = GetBitmapSubtype(&bih);
    pmt->SetSubtype(&subtype);
    pmt->SetSampleSize(bih.biSizeImage);
    return S_OK;
}

HRESULT CCaptureStream::CheckMediaType(const CMediaType* pMediaType)
{
    if (!pMediaType) return E_POINTER;
    if (*pMediaType->Type() != MEDIATYPE_Video || !pMediaType->IsFixedSize()) return E_INVALIDARG;
    const GUID& sub = *pMediaType->Subtype();
    if (sub != MEDIASUBTYPE_RGB32 && sub != MEDIASUBTYPE_RGB24 && sub != MEDIASUBTYPE_RGB555 &&
        sub != MEDIASUBTYPE_RGB565 && sub != MEDIASUBTYPE_RGB8)
        return E_INVALIDARG;
    const VIDEOINFOHEADER* pvi = VideoInfo(pMediaType);
    if (!pvi) return E_INVALIDARG;
    if (pvi->bmiHeader.biWidth != m_iWidth || pvi->bmiHeader.biHeight < 0 || pvi->bmiHeader.biHeight != m_iHeight)
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CCaptureStream::SetMediaType(const CMediaType* pMediaType)
{
    CAutoLock lock(m_pFilter->pStateLock());
    HRESULT hr = CSourceStream::SetMediaType(pMediaType);
    if (FAILED(hr)) return hr;
    const VIDEOINFOHEADER* pvi = VideoInfo(pMediaType);
    if (!pvi) return E_UNEXPECTED;
    const BITMAPINFOHEADER& bih = pvi->bmiHeader;
    switch (bih.biBitCount) {
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return E_INVALIDARG;
    }
    hr = m_mtNegotiated.Set(*pMediaType);
    if (FAILED(hr)) return hr;
    m_nBitCount = bih.biBitCount;
    if (m_pGrabber) {
        m_pGrabber->SetOutputDepth(m_nBitCount);
        if (bih.biBitCount == 16) {
            // The 5-6-5 type says so through its masks; a plain 16-bit type is 5-5-5.
            bool masks = bih.biCompression == BI_BITFIELDS && pMediaType->cbFormat >= sizeof(VIDEOINFOHEADER) + 12;
            const auto* m = reinterpret_cast<const DWORD*>(pMediaType->pbFormat + sizeof(VIDEOINFOHEADER));
            if (masks) m_pGrabber->SetOutputMasks(m[0], m[1], m[2]);
            else m_pGrabber->SetOutputMasks(0x7C00, 0x03E0, 0x001F);
        }
    }
    return S_OK;
}

HRESULT CCaptureStream::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest)
{
    if (!pAlloc || !pRequest) return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    const VIDEOINFOHEADER* pvi = VideoInfo(&m_mt);
    if (!pvi) return E_UNEXPECTED;
    pRequest->cBuffers = 1;
    pRequest->cbBuffer = static_cast<LONG>(pvi->bmiHeader.biSizeImage);
    ALLOCATOR_PROPERTIES actual {};
    HRESULT hr = pAlloc->SetProperties(pRequest, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cbBuffer < pRequest->cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CCaptureStream::Notify(IBaseFilter*, Quality)
{
    return S_OK;  // quality messages change nothing
}

HRESULT CCaptureStream::OnThreadCreate()
{
    CAutoLock lock(&m_cSharedState);
    m_rtNextStart = 0;
    m_llElapsedMs = 0;
    m_dActualFps = 0.0;
    m_rtFrameLength = kInitialFrameLength;
    m_dwLastTick = 0;
    m_bFirstFrame = TRUE;
    m_nFrames = 0;
    m_dwRunMs = 0;
    m_dwRunStart = 0;
    m_bCeilingArmed = false;
    if (m_pGrabber) {
        if (m_pGrabber->IsDirectDrawUsable()) m_pGrabber->SetUpDirectDraw(m_nBitCount);
        else m_pGrabber->SetUpGDI(m_nBitCount);
    }
    return S_OK;
}

HRESULT CCaptureStream::OnThreadDestroy()
{
    CAutoLock lock(&m_cSharedState);
    // Stopped while paused: the stretch was closed by the pause.
    if (!m_bPaused && !m_bFirstFrame) m_dwRunMs += m_pTickClock->GetTickCount() - m_dwRunStart;
    // A run without un-paused time has no rate.
    m_dActualFps = m_dwRunMs == 0 ? 0.0 : static_cast<double>(m_nFrames) * 1000.0 / static_cast<double>(m_dwRunMs);
    if (m_pGrabber) {
        m_pGrabber->ReleaseGDI();
        m_pGrabber->ReleaseDirectDraw();
    }
    return S_OK;
}

DWORD CCaptureStream::FrameSlotWaitMs(DWORD now)
{
    const double fps = m_dMaxFps;
    if (fps <= 0.0 || !m_bCeilingArmed) return 0;
    const DWORD elapsed = now - m_dwCeilingBase;
    const double due = m_nCeilingFrames * 1000.0 / fps;  // not frames * interval: that rounds up
    if (elapsed >= due) {
        // Behind: capture at once until the count is due again, so a short stall (an encoder's
        // first frame) costs no frames. Far behind (a slow downstream): pace from now instead.
        if (elapsed - due >= kCeilingCatchUpMs) m_bCeilingArmed = false;
        return 0;
    }
    return static_cast<DWORD>(std::ceil(due - elapsed));
}

HRESULT CCaptureStream::FillBuffer(IMediaSample* pSample)
{
    if (!pSample) return E_POINTER;
    for (;;) {
        // A command (a stop above all) ends any wait: it is answered before another frame.
        if (CheckRequest(nullptr)) return S_SOURCE_NO_SAMPLE;
        DWORD wait = 1;  // paused: look again every millisecond
        {
            CAutoLock lock(&m_cSharedState);
            const DWORD now = m_pTickClock->GetTickCount();
            if (!m_bPaused) wait = FrameSlotWaitMs(now);
            if (wait == 0) {
                // The pause was checked under the same lock: it comes before or after this frame.
                CaptureFrame(pSample);
                return S_OK;
            }
        }
        m_pTickClock->Sleep(std::min(wait, kWaitSliceMs));
    }
}

void CCaptureStream::CaptureFrame(IMediaSample* pSample)
{
    BYTE* pData = nullptr;
    const VIDEOINFOHEADER* pvi = VideoInfo(&m_mtNegotiated);
    if (SUCCEEDED(pSample->GetPointer(&pData)) && pData && pvi && m_pGrabber) {
        // A buffer smaller than the frame (a foreign allocator) is left as it is.
        if (static_cast<DWORD>(pSample->GetSize()) >= pvi->bmiHeader.biSizeImage) {
            m_pGrabber->Capture(pData, &pvi->bmiHeader);
            pSample->SetActualDataLength(static_cast<LONG>(pvi->bmiHeader.biSizeImage));
        }
    }
    const DWORD now = m_pTickClock->GetTickCount();
    if (m_bFirstFrame) {
        m_rtNextStart = 0;
        m_dwRunStart = now;
        m_bFirstFrame = FALSE;
        m_dwLastTick = now;
    } else {
        m_llElapsedMs += now - m_dwLastTick;
        m_dwLastTick = now;
        m_rtFrameLength = static_cast<REFERENCE_TIME>(m_llElapsedMs * 10000) / static_cast<REFERENCE_TIME>(m_nFrames);
    }
    if (!m_bCeilingArmed) {
        m_bCeilingArmed = true;
        m_dwCeilingBase = now;
        m_nCeilingFrames = 0;
    }
    ++m_nCeilingFrames;

    REFERENCE_TIME rtStart = m_rtNextStart;
    REFERENCE_TIME rtStop = rtStart + m_rtFrameLength;
    pSample->SetTime(&rtStart, &rtStop);
    ++m_nFrames;
    m_rtNextStart = rtStop;
    pSample->SetSyncPoint(TRUE);
}
