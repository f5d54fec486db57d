#include "platform/dshow/BaseFilter.h"

#include "platform/com/TaskMemory.h"
#include "platform/dshow/BasePin.h"

#include <algorithm>
#include <cwchar>
#include <new>

void CopyWideName(WCHAR* pDest, std::size_t size, const std::wstring& name)
{
    std::size_t n = std::min(name.size(), size - 1);
    std::wmemcpy(pDest, name.data(), n);
    pDest[n] = L'\0';
}

CBaseFilter::CBaseFilter(const wchar_t* pName, IUnknown* pUnk, CCritSec* pLock, REFCLSID clsid)
    : CUnknown(pName, pUnk), m_clsid(clsid), m_pLock(pLock)
{
}

CBaseFilter::~CBaseFilter()
{
    if (m_pClock) m_pClock->Release();
}

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IBaseFilter) return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    if (riid == IID_IMediaFilter) return GetInterface(static_cast<IMediaFilter*>(this), ppv);
    if (riid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), ppv);
    if (riid == IID_IAMovieSetup) return GetInterface(static_cast<IAMovieSetup*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CBaseFilter::GetClassID(CLSID* pClsID)
{
    if (!pClsID) return E_POINTER;
    *pClsID = m_clsid;
    return S_OK;
}

HRESULT CBaseFilter::Stop()
{
    CAutoLock lock(m_pLock);
    HRESULT hrResult = S_OK;
    if (m_State != State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            // Unconnected pins never went active.
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Inactive();
                if (FAILED(hr) && SUCCEEDED(hrResult)) hrResult = hr;
            }
        }
    }
    m_State = State_Stopped;
    return hrResult;
}

HRESULT CBaseFilter::Pause()
{
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Active();
                if (FAILED(hr)) return hr;
            }
        }
    }
    m_State = State_Paused;
    return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME tStart)
{
    CAutoLock lock(m_pLock);
    m_tStart = tStart;
    if (m_State == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    if (m_State != State_Running) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Run(tStart);
                if (FAILED(hr)) return hr;
            }
        }
    }
    m_State = State_Running;
    return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* State)
{
    if (!State) return E_POINTER;
    CAutoLock lock(m_pLock);
    *State = m_State;
    return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* pClock)
{
    CAutoLock lock(m_pLock);
    if (pClock) pClock->AddRef();
    if (m_pClock) m_pClock->Release();
    m_pClock = pClock;
    return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** pClock)
{
    if (!pClock) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pClock = m_pClock;
    if (m_pClock) m_pClock->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** ppEnum)
{
    if (!ppEnum) return E_POINTER;
    *ppEnum = new (std::nothrow) CEnumPins(this);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBaseFilter::FindPin(LPCWSTR Id, IPin** ppPin)
{
    if (!Id || !ppPin) return E_POINTER;
    CAutoLock lock(m_pLock);
    *ppPin = nullptr;
    for (int i = 0; i < GetPinCount(); ++i) {
        CBasePin* pin = GetPin(i);
        if (pin && pin->Name() == Id) {
            *ppPin = pin;
            pin->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* pInfo)
{
    if (!pInfo) return E_POINTER;
    CopyWideName(pInfo->achName, MAX_FILTER_NAME, m_strName);
    pInfo->pGraph = m_pGraph;
    if (m_pGraph) m_pGraph->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName)
{
    CAutoLock lock(m_pLock);
    m_pGraph = pGraph;
    m_strName = pGraph && pName ? pName : L"";
    return S_OK;
}

HRESULT CBaseFilter::QueryVendorInfo(LPWSTR*)
{
    return E_NOTIMPL;
}

bool CBaseFilter::IsActive()
{
    CAutoLock lock(m_pLock);
    return m_State != State_Stopped;
}

bool CBaseFilter::IsStopped()
{
    return m_State == State_Stopped;
}
