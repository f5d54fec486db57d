#pragma once
// Where the program keeps its files on Linux. Every folder returned ends with '/', so file names
// are appended without a separator, as the callers expect.
#include <string>

namespace platform {

// Full path of the running executable (/proc/self/exe), symbolic links resolved. A program file
// replaced or removed while it runs still gives the path it was started from.
std::string GetModuleFileName();
// Directory of the executable with a trailing '/': help page, tool links and the filter module.
std::string GetProgramFolder();
// The user's config folder for option files and the registry: $VANTOREL_CONFIG_DIR, else
// ${XDG_CONFIG_HOME:-~/.config}/vantorel/. Not created here; savers create it on first save.
std::string GetConfigFolder();
// The event log file: $VANTOREL_LOG, else ${XDG_STATE_HOME:-~/.local/state}/vantorel/kvellog.txt.
std::string GetEventLogPath();
// The registry file: $VANTOREL_REGISTRY, else <config folder>registry.
std::string GetRegistryPath();
// ${XDG_DATA_HOME:-~/.local/share}/ (desktop files, D-Bus service files).
std::string GetDataHome();
// The user's home folder with a trailing '/' (the default output folder).
std::string GetHomeFolder();
// $TMPDIR, else /tmp/, with a trailing '/'.
std::string GetTempPath();
// Creates a new empty file "<first three letters of prefix>XXXXXX.tmp" in folder, exclusively.
// Returns its path, or an empty string when no file could be created.
std::string GetTempFileName(const std::string& folder, const std::string& prefix);

// Creates folder and its parents (mode 0700 for new folders). True when it exists afterwards.
bool CreateFolders(const std::string& folder);
// Adds a trailing '/' unless the text already ends with one (or is empty).
std::string WithTrailingSlash(std::string folder);

} // namespace platform
