// The built module through its entry points, the registration tool and COM, with a registry of
// the test's own.
#include "common/Oravane.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/Registry.h"
#include "platform/dshow/FilterMapper.h"
#include "platform/dshow/Interfaces.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

const std::string kClassKey = "CLSID\\{5159D8CF-F477-42AD-9DE0-DB35CE84A7A3}";
const std::string kFilterKey =
    "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\{5159D8CF-F477-42AD-9DE0-DB35CE84A7A3}";

bool KeyExists(const std::string& path)
{
    CRegKey key;
    return key.Open(HKEY_CLASSES_ROOT, path) == ERROR_SUCCESS;
}

class OravaneModule : public ::testing::Test {
protected:
    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_registry {"VANTOREL_REGISTRY", m_dir.file("registry")};
};

TEST_F(OravaneModule, RegistersItselfForCreationByClassIdAndUnregistersWithoutTrace)
{
    void* module = dlopen(ORAVANE_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto reg = reinterpret_cast<PFN_DllRegisterServer>(dlsym(module, "DllRegisterServer"));
    auto unreg = reinterpret_cast<PFN_DllRegisterServer>(dlsym(module, "DllUnregisterServer"));
    auto canUnload = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(module, "DllCanUnloadNow"));
    auto getClass = reinterpret_cast<PFN_DllGetClassObject>(dlsym(module, "DllGetClassObject"));
    ASSERT_TRUE(reg && unreg && canUnload && getClass);
    EXPECT_EQ(dlsym(module, "CoCreateInstance"), nullptr) << "the module keeps its runtime to itself";

    ASSERT_EQ(reg(), S_OK);
    CRegKey key;
    std::string value;
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, kClassKey), ERROR_SUCCESS);
    EXPECT_EQ(key.QueryStringValue(nullptr, value), ERROR_SUCCESS);
    EXPECT_EQ(value, "Oravane");
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, kClassKey + "\\InprocServer32"), ERROR_SUCCESS);
    key.QueryStringValue(nullptr, value);
    EXPECT_EQ(value.front(), '/') << value;
    EXPECT_NE(value.find("Oravane.so"), std::string::npos);
    key.QueryStringValue("ThreadingModel", value);
    EXPECT_EQ(value, "Both");
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, kFilterKey), ERROR_SUCCESS);
    std::vector<BYTE> data;
    ASSERT_EQ(key.QueryBinaryValue("FilterData", data), ERROR_SUCCESS);
    auto filter = DecodeFilterData(data);
    ASSERT_TRUE(filter);
    EXPECT_EQ(filter->dwMerit, 0x200000u);
    ASSERT_EQ(filter->pins.size(), 1u);
    EXPECT_EQ(filter->pins[0].strName, "Output");
    EXPECT_TRUE(filter->pins[0].bOutput);
    EXPECT_FALSE(filter->pins[0].bRendered || filter->pins[0].bZero || filter->pins[0].bMany);
    ASSERT_EQ(filter->pins[0].mediaTypes.size(), 1u);
    EXPECT_EQ(filter->pins[0].mediaTypes[0].first, MEDIATYPE_Video);
    EXPECT_EQ(filter->pins[0].mediaTypes[0].second, GUID_NULL);
    EXPECT_EQ(reg(), S_OK) << "registering again replaces the entries";

    {
        ComPtr<IBaseFilter> source;
        ASSERT_EQ(CoCreateInstance(CLSID_Oravane, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                   IID_IBaseFilter, source.ReleaseAndGetVoidAddressOf()), S_OK);
        ComPtr<IOravane> control;
        ASSERT_EQ(source.As(control, IID_IOravane), S_OK);
        EXPECT_EQ(canUnload(), S_FALSE) << "an object is alive";
        IUnknown* inner = nullptr;
        IClassFactory* factory = nullptr;
        ASSERT_EQ(getClass(CLSID_Oravane, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        EXPECT_EQ(factory->CreateInstance(source.Get(), IID_IBaseFilter, reinterpret_cast<void**>(&inner)),
                  E_NOINTERFACE) << "an aggregating creator asks for IUnknown only";
        factory->Release();
        void* none = nullptr;
        EXPECT_EQ(getClass(IID_IOravane, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    }
    EXPECT_EQ(canUnload(), S_OK);

    ASSERT_EQ(unreg(), S_OK);
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_FALSE(KeyExists(kFilterKey));
    ComPtr<IBaseFilter> gone;
    EXPECT_EQ(CoCreateInstance(CLSID_Oravane, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               gone.ReleaseAndGetVoidAddressOf()), REGDB_E_CLASSNOTREG);
    dlclose(module);
}

TEST(OravaneModuleLinks, NothingOfAWindowToolkit)
{
    // What the loader would bring in with the module, directly or through its libraries.
    const std::string out = testing::TempDir() + "oravane-ldd.txt";
    ASSERT_EQ(std::system(("ldd " ORAVANE_MODULE " >" + out).c_str()), 0);
    const std::string libraries = testsupport::ReadFile(out);
    EXPECT_NE(libraries.find("libX11"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libQt"), std::string::npos) << libraries;
    std::remove(out.c_str());
}

TEST_F(OravaneModule, RegistrationToolCallsTheEntryPointsAndReportsFailure)
{
    std::string tool = REGSVR_TOOL;
    ASSERT_EQ(std::system((tool + " " ORAVANE_MODULE " >/dev/null").c_str()), 0);
    EXPECT_TRUE(KeyExists(kClassKey + "\\InprocServer32"));
    EXPECT_TRUE(KeyExists(kFilterKey));
    ASSERT_EQ(std::system((tool + " -u " ORAVANE_MODULE " >/dev/null").c_str()), 0);
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_FALSE(KeyExists(kFilterKey));
    EXPECT_NE(std::system((tool + " " + m_dir.file("missing.so") + " 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((tool + " 2>/dev/null").c_str()), 0) << "no module named";
}

TEST_F(OravaneModule, APathLongerThanARegistrationHoldsIsRefusedNotCut)
{
    // The module, copied where its full path runs past 259 characters.
    std::filesystem::path deep = m_dir.path();
    while (deep.string().size() < 300) deep /= "a-folder-with-a-long-name";
    std::filesystem::create_directories(deep);
    const std::string copy = (deep / "Oravane.so").string();
    std::filesystem::copy_file(ORAVANE_MODULE, copy);

    void* module = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto reg = reinterpret_cast<PFN_DllRegisterServer>(dlsym(module, "DllRegisterServer"));
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg(), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_FALSE(KeyExists(kClassKey)) << "nothing registered under a cut path";
    EXPECT_FALSE(KeyExists(kFilterKey));
    dlclose(module);

    const std::string out = m_dir.file("regsvr.txt");
    EXPECT_NE(std::system((std::string(REGSVR_TOOL) + " " + copy + " 2>" + out).c_str()), 0);
    EXPECT_NE(testsupport::ReadFile(out).find("longer than the 259 characters"), std::string::npos)
        << testsupport::ReadFile(out);
}

}  // namespace
