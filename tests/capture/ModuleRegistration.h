#pragma once
// Registers an in-process server module (its DllRegisterServer) into the registry that
// VANTOREL_REGISTRY names, as an installer would, for the recordings of these tests.
#include "platform/com/ObjectCreation.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

inline ::testing::AssertionResult RegisterServerModule(const char* path)
{
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!module) return ::testing::AssertionFailure() << dlerror();
    auto reg = reinterpret_cast<PFN_DllRegisterServer>(dlsym(module, "DllRegisterServer"));
    const HRESULT hr = reg ? reg() : E_FAIL;
    dlclose(module);
    if (hr != S_OK) return ::testing::AssertionFailure() << path << ": DllRegisterServer gave " << hr;
    return ::testing::AssertionSuccess();
}
