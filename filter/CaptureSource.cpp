#include "filter/CaptureSource.h"

#include <new>

namespace {

const AMOVIESETUP_MEDIATYPE sudOpPinTypes = {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};
const AMOVIESETUP_PIN sudOpPin = {
    const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &sudOpPinTypes};

} // namespace

const AMOVIESETUP_FILTER g_sudOravane = {&CLSID_Oravane, L"Oravane", MERIT_DO_NOT_USE, 1, &sudOpPin};
const CFactoryTemplate g_Templates[] = {
    {L"Oravane", &CLSID_Oravane, &CCaptureSource::CreateInstance, nullptr, &g_sudOravane},
};
const int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

CCaptureSource::CCaptureSource(IUnknown* pUnk, HRESULT* phr, ITickClock* pClock)
    : CSource(nullptr, pUnk, CLSID_Oravane, phr)
{
    CAutoLock lock(&m_cStateLock);
    // The pin adds itself to the pin array.
    auto* pin = new (std::nothrow) CCaptureStream(phr, this, L"A Oravane!", pClock);
    if (!pin && phr) *phr = E_OUTOFMEMORY;
}

CUnknown* CCaptureSource::CreateInstance(IUnknown* pUnk, HRESULT* phr)
{
    return Create(pUnk, phr, nullptr);
}

CCaptureSource* CCaptureSource::Create(IUnknown* pUnk, HRESULT* phr, ITickClock* pClock)
{
    HRESULT hrLocal = S_OK;
    if (!phr) phr = &hrLocal;
    auto* p = new (std::nothrow) CCaptureSource(pUnk, phr, pClock);
    if (!p) *phr = E_OUTOFMEMORY;
    return p;
}

HRESULT CCaptureSource::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IOravane) return GetInterface(static_cast<IOravane*>(this), ppv);
    if (riid == IID_IOravaneFrameRate) return GetInterface(static_cast<IOravaneFrameRate*>(this), ppv);
    return CSource::NonDelegatingQueryInterface(riid, ppv);
}

CCaptureStream* CCaptureSource::Stream()
{
    return m_iPins > 0 ? static_cast<CCaptureStream*>(m_paStreams[0]) : nullptr;
}

HRESULT CCaptureSource::SetCaptureRect(RECT rc)
{
    if (CCaptureStream* pin = Stream()) {
        CScreenGrabber* grabber = pin->Grabber();
        // An empty, inverted, huge or wholly off-screen rectangle would size every frame and
        // its buffer from nonsense: it is refused and the settings stay.
        if (grabber && !grabber->IsCapturable(rc)) return E_INVALIDARG;
        if (grabber) grabber->SetCaptureRect(rc);
        pin->SetFrameSize(rc.right - rc.left, rc.bottom - rc.top);
    }
    return S_OK;
}

HRESULT CCaptureSource::GetCaptureRect(RECT* prc)
{
    CCaptureStream* pin = Stream();
    if (prc && pin && pin->Grabber()) *prc = pin->Grabber()->GetCaptureRect();
    return S_OK;
}

HRESULT CCaptureSource::SetCaptureMode(HWND hWnd, CaptureMode nMode)
{
    CCaptureStream* pin = Stream();
    if (pin && pin->Grabber()) pin->Grabber()->SetCaptureMode(hWnd, nMode);
    return S_OK;
}

HRESULT CCaptureSource::SetDrawCursor(BOOL bDrawCursor)
{
    CCaptureStream* pin = Stream();
    if (pin && pin->Grabber()) pin->Grabber()->SetDrawCursor(bDrawCursor);
    return S_OK;
}

HRESULT CCaptureSource::GetDrawCursor(BOOL* pbDrawCursor)
{
    CCaptureStream* pin = Stream();
    if (pbDrawCursor && pin && pin->Grabber()) *pbDrawCursor = pin->Grabber()->GetDrawCursor();
    return S_OK;
}

HRESULT CCaptureSource::SetPause(BOOL bPause)
{
    if (CCaptureStream* pin = Stream()) pin->SetPause(bPause);
    return S_OK;
}

HRESULT CCaptureSource::GetPause(BOOL* pbPause)
{
    CCaptureStream* pin = Stream();
    if (pbPause && pin) *pbPause = pin->GetPause();
    return S_OK;
}

HRESULT CCaptureSource::GetActualFrameRate(double* pdFps)
{
    CCaptureStream* pin = Stream();
    if (pdFps && pin) *pdFps = pin->GetActualFrameRate();
    return S_OK;
}

HRESULT CCaptureSource::SetMaxFrameRate(double dFps)
{
    if (CCaptureStream* pin = Stream()) pin->SetMaxFrameRate(dFps);
    return S_OK;
}
