#pragma once
// CBaseFilter: the filter state machine (stopped, paused, running), the graph and clock it
// belongs to, and pin enumeration over the pins a derived filter supplies.
#include "platform/dshow/BaseUnknown.h"
#include "platform/dshow/CritSec.h"
#include "platform/dshow/Interfaces.h"

#include <string>

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
public:
    CBaseFilter(const wchar_t* pName, IUnknown* pUnk, CCritSec* pLock, REFCLSID clsid);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist
    HRESULT GetClassID(CLSID* pClsID) override;
    // IMediaFilter: each state change goes to every pin (Active / Inactive / Run).
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(DWORD dwMSecs, FILTER_STATE* State) override;
    HRESULT SetSyncSource(IReferenceClock* pClock) override;
    HRESULT GetSyncSource(IReferenceClock** pClock) override;
    // IBaseFilter
    HRESULT EnumPins(IEnumPins** ppEnum) override;
    HRESULT FindPin(LPCWSTR Id, IPin** ppPin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* pInfo) override;
    HRESULT JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;
    HRESULT QueryVendorInfo(LPWSTR* pVendorInfo) override;
    // IAMovieSetup: the filter registers itself through the templates, not through this.
    HRESULT Register() override { return S_FALSE; }
    HRESULT Unregister() override { return S_FALSE; }

    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int n) = 0;

    bool IsActive();
    bool IsStopped();
    IFilterGraph* GetFilterGraph() const { return m_pGraph; }

protected:
    FILTER_STATE m_State = State_Stopped;
    IReferenceClock* m_pClock = nullptr;  // referenced
    REFERENCE_TIME m_tStart = 0;
    CLSID m_clsid;
    CCritSec* m_pLock;
    IFilterGraph* m_pGraph = nullptr;  // not referenced: the graph holds the filter
    std::wstring m_strName;
};

// Copies a wide name into a fixed array, truncating and terminating.
void CopyWideName(WCHAR* pDest, std::size_t size, const std::wstring& name);
