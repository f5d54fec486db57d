// vantorel-regsvr [-u] MODULE: loads an in-process server module and calls its
// DllRegisterServer (or, with -u, DllUnregisterServer), as an installer would.
#include "platform/com/ObjectCreation.h"
#include "platform/com/ServerRegistration.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    bool unregister = false;
    const char* module = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0) unregister = true;
        else if (!module) module = argv[i];
        else module = nullptr, i = argc;
    }
    if (!module) {
        std::fprintf(stderr, "usage: vantorel-regsvr [-u] MODULE\n");
        return 2;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    ServerRegistrationResult result = CallServerRegistration(module, !unregister);
    switch (result.step) {
    case ServerRegistrationResult::kNotLoaded:
        std::fprintf(stderr, "vantorel-regsvr: cannot load %s: %s\n", module, result.error.c_str());
        return 3;
    case ServerRegistrationResult::kNoEntryPoint:
        std::fprintf(stderr, "vantorel-regsvr: %s has no %s\n", module, entry);
        return 4;
    case ServerRegistrationResult::kCalled:
        break;
    }
    if (FAILED(result.hr)) {
        std::fprintf(stderr, "vantorel-regsvr: %s in %s failed: 0x%08X%s\n", entry, module,
                     static_cast<unsigned>(result.hr),
                     result.hr == HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)
                         ? " (the module's path is longer than the 259 characters a registration holds)"
                         : "");
        return 1;
    }
    std::printf("%s in %s succeeded.\n", entry, module);
    return 0;
}
