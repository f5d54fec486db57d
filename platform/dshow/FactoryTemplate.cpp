#include "platform/dshow/FactoryTemplate.h"

#include "platform/com/WideText.h"

#include "platform/com/ComPtr.h"
#include "platform/com/Registry.h"
#include "platform/dshow/MediaGraphClasses.h"

#include <atomic>
#include <new>

namespace {

std::atomic<LONG> g_cServerLocks {0};  // the module's LockServer count, with the object count

class CClassFactory final : public IClassFactory {
public:
    explicit CClassFactory(const CFactoryTemplate* pTemplate) : m_pTemplate(pTemplate) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++m_cRef); }
    ULONG Release() override
    {
        LONG n = --m_cRef;
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        // An aggregating outer object may only ask for the inner IUnknown.
        if (pUnkOuter && riid != IID_IUnknown) return E_NOINTERFACE;
        HRESULT hr = S_OK;
        CUnknown* pObj = m_pTemplate->CreateInstance(pUnkOuter, &hr);
        if (!pObj) return FAILED(hr) ? hr : E_OUTOFMEMORY;
        pObj->NonDelegatingAddRef();
        if (SUCCEEDED(hr)) hr = pObj->NonDelegatingQueryInterface(riid, ppv);
        pObj->NonDelegatingRelease();  // a failed construction goes away here
        return hr;
    }
    HRESULT LockServer(BOOL fLock) override
    {
        if (fLock) ++g_cServerLocks; else --g_cServerLocks;
        return S_OK;
    }

private:
    ~CClassFactory() = default;
    std::atomic<LONG> m_cRef {1};
    const CFactoryTemplate* m_pTemplate;
};

constexpr HRESULT kFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

std::string ClassKey(REFCLSID clsid)
{
    return "CLSID\\" + StringFromGUID(clsid);
}

HRESULT RegisterFilters(const FactoryTemplateTable& table, BOOL bRegister)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RegisterMediaGraphClasses();
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  mapper.ReleaseAndGetVoidAddressOf());
    // The older mapper interface is not part of this runtime, so there is no second try.
    if (SUCCEEDED(hr)) {
        for (int i = 0; i < table.count; ++i) {
            const CFactoryTemplate& t = table.templates[i];
            const AMOVIESETUP_FILTER* setup = t.m_pAMovieSetup_Filter;
            if (!setup) continue;
            hr = mapper->UnregisterFilter(nullptr, nullptr, *t.m_ClsID);
            if (hr == kFileNotFound) hr = S_OK;  // nothing to remove
            if (SUCCEEDED(hr) && bRegister) {
                REGFILTER2 rf2 {1, setup->dwMerit, setup->nPins, setup->lpPin};
                hr = mapper->RegisterFilter(*setup->clsID, setup->strName, nullptr, nullptr, nullptr, &rf2);
            }
            if (FAILED(hr)) break;
        }
    }
    // "File not found" is no failure of either direction, as the base classes have it.
    if (hr == kFileNotFound) hr = S_OK;
    mapper.Reset();
    CoFreeUnusedLibraries();
    CoUninitialize();
    return hr;
}

} // namespace

void AMovieInitTemplates(const FactoryTemplateTable& table, BOOL bLoading)
{
    for (int i = 0; i < table.count; ++i)
        if (table.templates[i].m_lpfnInit) table.templates[i].m_lpfnInit(bLoading, table.templates[i].m_ClsID);
}

HRESULT AMovieDllGetClassObject(const FactoryTemplateTable& table, REFCLSID rclsid, REFIID riid, void** pv)
{
    if (!pv) return E_POINTER;
    *pv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    for (int i = 0; i < table.count; ++i) {
        if (!table.templates[i].IsClassID(rclsid)) continue;
        auto* factory = new (std::nothrow) CClassFactory(&table.templates[i]);
        if (!factory) return E_OUTOFMEMORY;
        *pv = static_cast<IClassFactory*>(factory);
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT AMovieDllCanUnloadNow()
{
    return CBaseObject::ObjectsActive() == 0 && g_cServerLocks == 0 ? S_OK : S_FALSE;
}

HRESULT AMovieSetupRegisterServer(REFCLSID clsServer, LPCWSTR szDescription, const char* szFileName,
                                  const char* szThreadingModel, const char* szServerType)
{
    CRegKey key;
    LONG rc = key.Create(HKEY_CLASSES_ROOT, ClassKey(clsServer));
    if (rc == ERROR_SUCCESS) rc = key.SetStringValue(nullptr, Utf8FromWide(szDescription));
    CRegKey server;
    if (rc == ERROR_SUCCESS) rc = server.Create(HKEY_CLASSES_ROOT, ClassKey(clsServer) + "\\" + szServerType);
    if (rc == ERROR_SUCCESS) rc = server.SetStringValue(nullptr, szFileName);
    if (rc == ERROR_SUCCESS) rc = server.SetStringValue("ThreadingModel", szThreadingModel);
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(rc));
}

HRESULT AMovieSetupUnregisterServer(REFCLSID clsServer)
{
    LONG rc = RegDeleteTree(HKEY_CLASSES_ROOT, ClassKey(clsServer));
    if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;  // nothing left to remove
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(rc));
}

HRESULT AMovieDllRegisterServer2(const FactoryTemplateTable& table, HMODULE hModule, BOOL bRegister)
{
    // The server entry holds at most MAX_PATH - 1 characters: a longer path would be registered
    // cut, naming nothing.
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(hModule, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return HRESULT_FROM_WIN32(GetLastError());

    HRESULT hr = S_OK;
    if (bRegister) {
        for (int i = 0; i < table.count && SUCCEEDED(hr); ++i)
            hr = AMovieSetupRegisterServer(*table.templates[i].m_ClsID, table.templates[i].m_Name, path);
        if (FAILED(hr)) return hr;
    }
    hr = RegisterFilters(table, bRegister);
    if (!bRegister && SUCCEEDED(hr)) {
        for (int i = 0; i < table.count && SUCCEEDED(hr); ++i)
            hr = AMovieSetupUnregisterServer(*table.templates[i].m_ClsID);
    }
    return hr;
}
