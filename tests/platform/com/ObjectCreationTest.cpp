#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/Registry.h"
#include "platform/com/TaskMemory.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

constexpr CLSID CLSID_TestServerObject {0x6A0F3E11, 0x2B4C, 0x4D5E, {0x9F, 0x01, 0x12, 0x23, 0x34, 0x45, 0x56, 0x67}};
constexpr CLSID CLSID_BuiltInObject {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

class CCounted final : public IUnknown {
public:
    static inline std::atomic<int> s_nLive {0};
    CCounted() { ++s_nLive; }
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
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
    ~CCounted() { --s_nLive; }
    std::atomic<ULONG> m_cRef {1};
};

HRESULT CreateCounted(IUnknown* pOuter, REFIID riid, void** ppv)
{
    if (pOuter) return CLASS_E_NOAGGREGATION;
    auto* p = new CCounted;
    HRESULT hr = p->QueryInterface(riid, ppv);
    p->Release();
    return hr;
}

class ObjectCreation : public ::testing::Test {
protected:
    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_registry {"VANTOREL_REGISTRY", m_dir.file("registry")};
};

TEST_F(ObjectCreation, BuiltInClassesAreCreatedAndReferenceCounted)
{
    CoRegisterBuiltInClass(CLSID_BuiltInObject, &CreateCounted);
    {
        ComPtr<IUnknown> p;
        ASSERT_EQ(CoCreateInstance(CLSID_BuiltInObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   p.ReleaseAndGetVoidAddressOf()), S_OK);
        EXPECT_EQ(CCounted::s_nLive, 1);
        ComPtr<IUnknown> copy = p;
        p.Reset();
        EXPECT_EQ(CCounted::s_nLive, 1) << "the copy still holds it";
        IUnknown* raw = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_BuiltInObject, copy.Get(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&raw)), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(raw, nullptr);
        EXPECT_EQ(CoCreateInstance(CLSID_BuiltInObject, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory,
                                   reinterpret_cast<void**>(&raw)), E_NOINTERFACE);
    }
    EXPECT_EQ(CCounted::s_nLive, 0);
    CoRevokeBuiltInClass(CLSID_BuiltInObject);
    ComPtr<IUnknown> p;
    EXPECT_EQ(CoCreateInstance(CLSID_BuiltInObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               p.ReleaseAndGetVoidAddressOf()), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_BuiltInObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);
}

TEST_F(ObjectCreation, InprocServerFromTheRegistryIsLoadedAndUnloadedWhenUnused)
{
    ComPtr<IUnknown> p;
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               p.ReleaseAndGetVoidAddressOf()), REGDB_E_CLASSNOTREG);

    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, "CLSID\\" + StringFromGUID(CLSID_TestServerObject) + "\\InprocServer32"),
              ERROR_SUCCESS);
    ASSERT_EQ(key.SetStringValue(nullptr, m_dir.file("missing.so")), ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               p.ReleaseAndGetVoidAddressOf()), CO_E_DLLNOTFOUND);

    ASSERT_EQ(key.SetStringValue(nullptr, TEST_SERVER_MODULE), ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                               p.ReleaseAndGetVoidAddressOf()), REGDB_E_CLASSNOTREG) << "no out-of-process servers";
    ASSERT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC, IID_IUnknown,
                               p.ReleaseAndGetVoidAddressOf()), S_OK);
    ASSERT_TRUE(p);
    CoFreeUnusedLibraries();  // an object is alive: the module stays
    ULONG n = p->AddRef();
    EXPECT_EQ(n, 2u) << "the module's code is still there";
    p->Release();
    p.Reset();
    CoFreeUnusedLibraries();
    ASSERT_EQ(CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC, IID_IUnknown,
                               p.ReleaseAndGetVoidAddressOf()), S_OK) << "reloaded after unloading";
}

TEST(ModuleFileName, NamesTheModuleHoldingAnAddressAndTruncates)
{
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(reinterpret_cast<HMODULE>(&CoCreateInstance), path, MAX_PATH);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(path[0], '/');
    char small[5] = {};
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(&CoCreateInstance), small, 5), 5u) << "cut: the whole buffer";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(path, 4));
    EXPECT_EQ(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(TaskMemory, ZeroBytesStillGiveAFreeablePointer)
{
    void* p = CoTaskMemAlloc(0);
    EXPECT_NE(p, nullptr);
    p = CoTaskMemRealloc(p, 64);
    ASSERT_NE(p, nullptr);
    CoTaskMemFree(p);
    CoTaskMemFree(nullptr);
}

} // namespace
