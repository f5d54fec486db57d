#pragma once
// CUnknown: reference counting with aggregation. An object answers its own interfaces through
// NonDelegatingQueryInterface; the IUnknown it exposes forwards to the outer object when
// aggregated (DECLARE_IUNKNOWN). Live objects are counted so a module knows when it may unload.
#include "platform/com/Unknown.h"

#include <atomic>
#include <new>

struct INonDelegatingUnknown {
    virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG NonDelegatingAddRef() = 0;
    virtual ULONG NonDelegatingRelease() = 0;

protected:
    ~INonDelegatingUnknown() = default;
};

class CBaseObject {
public:
    explicit CBaseObject(const wchar_t* pName) : m_pName(pName) { ++s_cObjects; }
    virtual ~CBaseObject() { --s_cObjects; }
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
    static LONG ObjectsActive() { return s_cObjects; }

private:
    const wchar_t* m_pName;
    static inline std::atomic<LONG> s_cObjects {0};
};

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    CUnknown(const wchar_t* pName, IUnknown* pUnk);
    CUnknown(const wchar_t* pName, IUnknown* pUnk, HRESULT* phr) : CUnknown(pName, pUnk) { (void)phr; }

    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;

    IUnknown* GetOwner() const { return m_pUnknown; }

protected:
    std::atomic<LONG> m_cRef {0};

private:
    IUnknown* m_pUnknown;  // the outer object, or this object's own non-delegating unknown
};

// Hands out pUnk as the answer of a QueryInterface, with a reference.
HRESULT GetInterface(IUnknown* pUnk, void** ppv);

// A built-in class's creation: a new T made from its outer object, asked for riid. An aggregated
// object is asked only for its own (inner) IUnknown.
template <class T>
HRESULT CreateComObject(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter && riid != IID_IUnknown) return E_NOINTERFACE;
    auto* p = new (std::nothrow) T(pUnkOuter);
    if (!p) return E_OUTOFMEMORY;
    p->NonDelegatingAddRef();
    HRESULT hr = p->NonDelegatingQueryInterface(riid, ppv);
    p->NonDelegatingRelease();
    return hr;
}

// The IUnknown methods of an object derived from CUnknown and from interfaces.
#define DECLARE_IUNKNOWN                                                                         \
    HRESULT QueryInterface(REFIID riid, void** ppv) override                                     \
    {                                                                                            \
        return GetOwner()->QueryInterface(riid, ppv);                                            \
    }                                                                                            \
    ULONG AddRef() override { return GetOwner()->AddRef(); }                                     \
    ULONG Release() override { return GetOwner()->Release(); }
