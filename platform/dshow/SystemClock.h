#pragma once
// The system reference clock: monotonic time in 100 ns units. Advise requests are not offered;
// nothing in the capture graph waits on the clock.
#include "platform/dshow/BaseUnknown.h"
#include "platform/dshow/Interfaces.h"

class CSystemClock final : public CUnknown, public IReferenceClock {
public:
    CSystemClock(IUnknown* pUnk) : CUnknown(L"CSystemClock", pUnk) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT GetTime(REFERENCE_TIME* pTime) override;
};
