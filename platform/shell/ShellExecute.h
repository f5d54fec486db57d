#pragma once
// Shell "open": hands a file, folder or URL to the desktop's opener (xdg-open), detached.
#include <cstdint>
#include <string>

namespace platform {

// Result codes follow the platform's: above 32 is success.
constexpr intptr_t SE_ERR_FNF = 2;          // a local file or folder that does not exist
constexpr intptr_t SE_ERR_NOASSOC = 31;     // no opener on this system
constexpr intptr_t SE_ERR_STARTED = 42;     // the opener was started

// Only the "open" verb exists. A local path must exist; a URL ("scheme:...") is passed on as is.
// The opener runs detached: it is never waited for and never becomes a zombie of ours.
intptr_t ShellExecute(const std::string& verb, const std::string& file);

// Path of an executable found on $PATH, or empty.
std::string FindOnPath(const std::string& name);

} // namespace platform
