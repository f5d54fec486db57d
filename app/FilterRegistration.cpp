#include "app/FilterRegistration.h"

#include "common/EventLog.h"
#include "common/Oravane.h"
#include "platform/com/Registry.h"
#include "platform/com/ServerRegistration.h"

#include <cstdio>
#include <sys/stat.h>

namespace {

// The module the registry names for the filter, or an empty string.
std::string RegisteredModule()
{
    CRegKey key;
    std::string path;
    if (key.Open(HKEY_CLASSES_ROOT, "CLSID\\" + StringFromGUID(CLSID_Oravane) + "\\InprocServer32") == ERROR_SUCCESS)
        key.QueryStringValue(nullptr, path);
    return path;
}

bool IsFile(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void Log(const std::string& text)
{
    CEventLog log;
    log.Write(text.c_str(), true);
}

} // namespace

FilterRegistration EnsureFilterRegistered(const std::string& programFolder)
{
    if (IsFile(RegisteredModule()))
        return FilterRegistration::kAlreadyRegistered;

    const std::string module = programFolder + "Oravane.so";
    ServerRegistrationResult result = CallServerRegistration(module, true);
    if (result.Succeeded()) {
        Log("Registered the capture filter " + module);
        return FilterRegistration::kRegistered;
    }
    std::string why;
    if (result.step == ServerRegistrationResult::kNotLoaded) {
        why = result.error;
    } else if (result.step == ServerRegistrationResult::kNoEntryPoint) {
        why = "no DllRegisterServer";
    } else {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result.hr));
        why = std::string("DllRegisterServer returned ") + code;
    }
    Log("Could not register the capture filter " + module + ": " + why);
    return FilterRegistration::kFailed;
}
