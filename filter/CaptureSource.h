#pragma once
// The capture filter: a source with one CCaptureStream pin, configured through IOravane. Every
// IOravane method goes to the pin or its grabber; IOravaneFrameRate sets the pin's ceiling.
#include "common/Oravane.h"
#include "filter/CaptureStream.h"
#include "platform/dshow/FactoryTemplate.h"

class CCaptureSource : public CSource, public IOravane, public IOravaneFrameRate {
public:
    // The creation function of the factory template.
    static CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr);
    // The same with a tick clock of the caller's (tests script the timing through it).
    static CCaptureSource* Create(IUnknown* pUnk, HRESULT* phr, ITickClock* pClock);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT SetCaptureRect(RECT rc) override;
    HRESULT GetCaptureRect(RECT* prc) override;
    HRESULT SetCaptureMode(HWND hWnd, CaptureMode nMode) override;
    HRESULT SetDrawCursor(BOOL bDrawCursor) override;
    HRESULT GetDrawCursor(BOOL* pbDrawCursor) override;
    HRESULT SetPause(BOOL bPause) override;
    HRESULT GetPause(BOOL* pbPause) override;
    HRESULT GetActualFrameRate(double* pdFps) override;
    HRESULT SetMaxFrameRate(double dFps) override;

    CCaptureStream* Stream();

private:
    CCaptureSource(IUnknown* pUnk, HRESULT* phr, ITickClock* pClock);
};

// The module's identity and set-up data.
extern const AMOVIESETUP_FILTER g_sudOravane;
extern const CFactoryTemplate g_Templates[];
extern const int g_cTemplates;
