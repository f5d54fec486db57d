#pragma once
// The capture filter module lives in the program folder. An installed program registers it
// itself at start, so a user never runs a registration step: when the registry does not name the
// filter's class, or names a module that no longer exists (a moved or removed installation), the
// folder's own Oravane.so is registered through its DllRegisterServer, and one event-log line
// says so.
#include <string>

enum class FilterRegistration {
    kAlreadyRegistered,  // the registry names a module that exists; nothing was done
    kRegistered,
    kFailed,             // the module is missing, cannot be loaded, or refused (logged)
};

FilterRegistration EnsureFilterRegistered(const std::string& programFolder);
