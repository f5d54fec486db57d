#pragma once
// Registering an in-process server module the way an installer does: load it and call its own
// DllRegisterServer (or DllUnregisterServer), then unload it again.
#include "platform/com/Unknown.h"

#include <string>

struct ServerRegistrationResult {
    enum Step { kCalled, kNotLoaded, kNoEntryPoint };
    Step step = kNotLoaded;
    HRESULT hr = E_FAIL;  // the entry point's result when it was called
    std::string error;    // the loader's text when the module could not be loaded

    bool Succeeded() const { return step == kCalled && SUCCEEDED(hr); }
};

ServerRegistrationResult CallServerRegistration(const std::string& modulePath, bool bRegister);
