#include "platform/com/ServerRegistration.h"

#include "platform/com/ObjectCreation.h"

#include <dlfcn.h>

ServerRegistrationResult CallServerRegistration(const std::string& modulePath, bool bRegister)
{
    ServerRegistrationResult result;
    void* handle = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = dlerror();
        result.error = error ? error : "cannot be loaded";
        return result;
    }
    auto pfn = reinterpret_cast<PFN_DllRegisterServer>(
        dlsym(handle, bRegister ? "DllRegisterServer" : "DllUnregisterServer"));
    if (pfn) {
        result.step = ServerRegistrationResult::kCalled;
        result.hr = pfn();
    } else {
        result.step = ServerRegistrationResult::kNoEntryPoint;
    }
    dlclose(handle);
    return result;
}
