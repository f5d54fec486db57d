// vantorel-regsvr [-u] MODULE: loads an in-process server module and calls its
// DllRegisterServer (or, with -u, DllUnregisterServer), as an installer would.
#include "platform/com/ObjectCreation.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

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
    void* handle = dlopen(module, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "vantorel-regsvr: cannot load %s: %s\n", module, dlerror());
        return 3;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto pfn = reinterpret_cast<PFN_DllRegisterServer>(dlsym(handle, entry));
    if (!pfn) {
        std::fprintf(stderr, "vantorel-regsvr: %s has no %s\n", module, entry);
        dlclose(handle);
        return 4;
    }
    HRESULT hr = pfn();
    dlclose(handle);
    if (FAILED(hr)) {
        std::fprintf(stderr, "vantorel-regsvr: %s in %s failed: 0x%08X%s\n", entry, module, static_cast<unsigned>(hr),
                     hr == HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)
                         ? " (the module's path is longer than the 259 characters a registration holds)"
                         : "");
        return 1;
    }
    std::printf("%s in %s succeeded.\n", entry, module);
    return 0;
}
