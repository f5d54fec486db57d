#include "platform/dshow/BaseUnknown.h"

// The non-delegating side seen as an IUnknown: same vtable shape, so it can be the owner.
static_assert(sizeof(INonDelegatingUnknown) == sizeof(void*));

CUnknown::CUnknown(const wchar_t* pName, IUnknown* pUnk)
    : CBaseObject(pName)
    , m_pUnknown(pUnk ? pUnk : reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this)))
{
}

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown) {
        *ppv = static_cast<INonDelegatingUnknown*>(this);
        NonDelegatingAddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef()
{
    return static_cast<ULONG>(++m_cRef);
}

ULONG CUnknown::NonDelegatingRelease()
{
    LONG n = --m_cRef;
    if (n == 0) {
        // Guard against a re-entrant release from the destructor.
        m_cRef = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(n);
}

HRESULT GetInterface(IUnknown* pUnk, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = pUnk;
    pUnk->AddRef();
    return S_OK;
}
