// The entry points of the filter module, over the one-entry template table.
#include "filter/CaptureSource.h"

#define ORAVANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const FactoryTemplateTable kTable {g_Templates, g_cTemplates};

// Module load and unload stand in for the platform's DllMain.
__attribute__((constructor)) void OnModuleLoad()
{
    AMovieInitTemplates(kTable, TRUE);
}

__attribute__((destructor)) void OnModuleUnload()
{
    AMovieInitTemplates(kTable, FALSE);
}

} // namespace

ORAVANE_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    return AMovieDllGetClassObject(kTable, rclsid, riid, ppv);
}

ORAVANE_EXPORT HRESULT DllCanUnloadNow()
{
    return AMovieDllCanUnloadNow();
}

ORAVANE_EXPORT HRESULT DllRegisterServer()
{
    return AMovieDllRegisterServer2(kTable, reinterpret_cast<HMODULE>(&DllRegisterServer), TRUE);
}

ORAVANE_EXPORT HRESULT DllUnregisterServer()
{
    return AMovieDllRegisterServer2(kTable, reinterpret_cast<HMODULE>(&DllRegisterServer), FALSE);
}
