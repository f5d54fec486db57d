#pragma once
// Shell "open": hands a file, folder or URL to the desktop's opener (xdg-open), detached.
#include <cstdint>
#include <string>

namespace platform {

// Result codes follow the platform's: above 32 is success.
constexpr intptr_t SE_ERR_OOM = 0;          // no process could be made
constexpr intptr_t SE_ERR_FNF = 2;          // a local file or folder that does not exist
constexpr intptr_t SE_ERR_ACCESSDENIED = 5; // the file may not be read
constexpr intptr_t SE_ERR_NOASSOC = 31;     // nothing on this system opens it
constexpr intptr_t SE_ERR_STARTED = 42;     // the opener was started

// How long the opener is given to say that it failed (xdg-open ends at once when nothing opens
// the file; some desktops' openers run the program they start in the foreground).
constexpr unsigned kShellOpenWatchMs = 2000;

// Only the "open" verb exists. A local path must exist; a URL ("scheme:...") is passed on as is.
// The opener runs detached and never becomes a zombie of ours; an opener that fails within
// kShellOpenWatchMs gives the platform's code for why (2 not found, 5 access denied, 31 nothing
// opens it), one still running then counts as started.
intptr_t ShellExecute(const std::string& verb, const std::string& file);

// The platform's text for a failed open's result code: "The specified file was not found.", ...
std::string ShellErrorText(intptr_t code);

// Path of an executable found on $PATH, or empty.
std::string FindOnPath(const std::string& name);

} // namespace platform
