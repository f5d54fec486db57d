#include "platform/dshow/SystemClock.h"

#include "platform/dshow/MediaGraphClasses.h"

#include <ctime>
#include <new>

HRESULT CSystemClock::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IReferenceClock) return GetInterface(static_cast<IReferenceClock*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CSystemClock::GetTime(REFERENCE_TIME* pTime)
{
    if (!pTime) return E_POINTER;
    timespec ts {};
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return E_FAIL;
    *pTime = static_cast<REFERENCE_TIME>(ts.tv_sec) * UNITS + ts.tv_nsec / 100;
    return S_OK;
}

HRESULT CreateSystemClock(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    return CreateComObject<CSystemClock>(pUnkOuter, riid, ppv);
}
