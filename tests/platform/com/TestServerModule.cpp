// A minimal in-process server for the object-creation tests: one class whose objects answer
// IUnknown and report how many of them are alive.
#include "platform/com/Unknown.h"

#include <atomic>

namespace {

constexpr CLSID CLSID_TestServerObject {0x6A0F3E11, 0x2B4C, 0x4D5E, {0x9F, 0x01, 0x12, 0x23, 0x34, 0x45, 0x56, 0x67}};
std::atomic<int> g_nLive {0};

class CObject final : public IUnknown {
public:
    CObject() { ++g_nLive; }
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid != IID_IUnknown) { *ppv = nullptr; return E_NOINTERFACE; }
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_cRef; }
    ULONG Release() override
    {
        ULONG n = --m_cRef;
        if (n == 0) delete this;
        return n;
    }

private:
    ~CObject() { --g_nLive; }
    std::atomic<ULONG> m_cRef {1};
};

class CFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) { *ppv = nullptr; return E_NOINTERFACE; }
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        if (pOuter) return CLASS_E_NOAGGREGATION;
        auto* p = new CObject;
        HRESULT hr = p->QueryInterface(riid, ppv);
        p->Release();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

CFactory g_factory;

} // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv)
{
    if (clsid != CLSID_TestServerObject) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return g_nLive == 0 ? S_OK : S_FALSE;
}
