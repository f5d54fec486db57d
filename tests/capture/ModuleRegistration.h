#pragma once
// Registers an in-process server module (its DllRegisterServer) into the registry that
// VANTOREL_REGISTRY names, as an installer would, for the recordings of these tests.
#include "platform/com/ServerRegistration.h"

#include <gtest/gtest.h>

inline ::testing::AssertionResult RegisterServerModule(const char* path)
{
    const ServerRegistrationResult result = CallServerRegistration(path, true);
    if (result.Succeeded())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << ": " << (result.error.empty() ? "DllRegisterServer failed" : result.error)
                                         << " (" << result.hr << ")";
}
