#include "platform/com/ObjectCreation.h"

#include "platform/com/Registry.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace {

// A built-in class reached through a factory, so CoGetClassObject treats both kinds alike.
class CBuiltInFactory final : public IClassFactory {
public:
    explicit CBuiltInFactory(PFN_CreateBuiltInObject pfn) : m_pfnCreate(pfn) {}
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
    ULONG AddRef() override { return ++m_cRef; }
    ULONG Release() override
    {
        ULONG n = --m_cRef;
        if (n == 0) delete this;
        return n;
    }
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        return m_pfnCreate(pUnkOuter, riid, ppv);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    ~CBuiltInFactory() = default;
    std::atomic<ULONG> m_cRef {1};
    PFN_CreateBuiltInObject m_pfnCreate;
};

struct LoadedModule {
    void* handle = nullptr;
    PFN_DllGetClassObject pfnGetClassObject = nullptr;
    PFN_DllCanUnloadNow pfnCanUnloadNow = nullptr;
};

// The process's class table and loaded modules: what the runtime is, so it lives once.
struct ClassTable {
    std::mutex lock;
    std::map<CLSID, PFN_CreateBuiltInObject> builtIn;
    std::map<std::string, LoadedModule> modules;  // by path
};

ClassTable& Table()
{
    static ClassTable table;
    return table;
}

HRESULT LoadModule(const std::string& path, LoadedModule& out)
{
    ClassTable& t = Table();
    std::lock_guard guard(t.lock);
    auto it = t.modules.find(path);
    if (it != t.modules.end()) {
        out = it->second;
        return S_OK;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return CO_E_DLLNOTFOUND;
    LoadedModule m;
    m.handle = handle;
    m.pfnGetClassObject = reinterpret_cast<PFN_DllGetClassObject>(dlsym(handle, "DllGetClassObject"));
    m.pfnCanUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(handle, "DllCanUnloadNow"));
    if (!m.pfnGetClassObject) {
        dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    t.modules.emplace(path, m);
    out = m;
    return S_OK;
}

} // namespace

void CoRegisterBuiltInClass(REFCLSID clsid, PFN_CreateBuiltInObject pfnCreate)
{
    ClassTable& t = Table();
    std::lock_guard guard(t.lock);
    t.builtIn[clsid] = pfnCreate;
}

void CoRevokeBuiltInClass(REFCLSID clsid)
{
    ClassTable& t = Table();
    std::lock_guard guard(t.lock);
    t.builtIn.erase(clsid);
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void*, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(dwClsContext & CLSCTX_INPROC)) return REGDB_E_CLASSNOTREG;  // no out-of-process servers

    PFN_CreateBuiltInObject pfnBuiltIn = nullptr;
    {
        ClassTable& t = Table();
        std::lock_guard guard(t.lock);
        auto it = t.builtIn.find(rclsid);
        if (it != t.builtIn.end()) pfnBuiltIn = it->second;
    }
    if (pfnBuiltIn) {
        auto* factory = new (std::nothrow) CBuiltInFactory(pfnBuiltIn);
        if (!factory) return E_OUTOFMEMORY;
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    }

    CRegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, "CLSID\\" + StringFromGUID(rclsid) + "\\InprocServer32") != ERROR_SUCCESS)
        return REGDB_E_CLASSNOTREG;
    std::string path;
    if (key.QueryStringValue(nullptr, path) != ERROR_SUCCESS || path.empty()) return REGDB_E_CLASSNOTREG;
    LoadedModule module;
    HRESULT hr = LoadModule(path, module);
    if (FAILED(hr)) return hr;
    return module.pfnGetClassObject(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    if (!factory) return E_UNEXPECTED;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return hr;
}

void CoFreeUnusedLibraries()
{
    ClassTable& t = Table();
    std::lock_guard guard(t.lock);
    for (auto it = t.modules.begin(); it != t.modules.end();) {
        if (it->second.pfnCanUnloadNow && it->second.pfnCanUnloadNow() == S_OK) {
            dlclose(it->second.handle);
            it = t.modules.erase(it);
        } else {
            ++it;
        }
    }
}

namespace {
thread_local DWORD t_dwLastError = 0;
} // namespace

DWORD GetLastError()
{
    return t_dwLastError;
}

void SetLastError(DWORD dwErrCode)
{
    t_dwLastError = dwErrCode;
}

DWORD GetModuleFileNameA(HMODULE hModule, char* lpFilename, DWORD nSize)
{
    if (!lpFilename || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    Dl_info info {};
    if (!hModule || dladdr(hModule, &info) == 0 || !info.dli_fname) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::unique_ptr<char, decltype(&std::free)> full(realpath(info.dli_fname, nullptr), &std::free);
    const char* name = full ? full.get() : info.dli_fname;
    const std::size_t length = std::strlen(name);
    std::size_t n = std::min<std::size_t>(length, nSize - 1);
    std::memcpy(lpFilename, name, n);
    lpFilename[n] = '\0';
    if (n < length) {
        // As the platform does: the whole buffer counts, and the caller learns it was cut.
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    return static_cast<DWORD>(n);
}
