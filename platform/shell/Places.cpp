#include "platform/shell/Places.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

namespace platform {
namespace {

std::string EnvOr(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

std::string HomeWithoutSlash()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string XdgFolder(const char* var, const char* fallbackBelowHome)
{
    const char* value = std::getenv(var);
    // The XDG rules ignore relative paths.
    if (value && value[0] == '/')
        return WithTrailingSlash(value);
    return WithTrailingSlash(HomeWithoutSlash()) + fallbackBelowHome;
}

} // namespace

std::string WithTrailingSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

std::string GetModuleFileName()
{
    std::string path;
    std::vector<char> buf(256);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buf.size()) {
            path.assign(buf.data(), static_cast<size_t>(n));
            break;
        }
        buf.resize(buf.size() * 2);
    }
    // A program file replaced while it runs (a package upgrade) or removed is named
    // "<path> (deleted)" by the kernel; the program's path is still <path>. Only a file that
    // really bears the longer name and is the running program keeps it.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) {
        struct stat running {}, named {};
        bool same = stat("/proc/self/exe", &running) == 0 && stat(path.c_str(), &named) == 0 &&
                    running.st_dev == named.st_dev && running.st_ino == named.st_ino;
        if (!same)
            path.resize(path.size() - kDeleted.size());
    }
    return path;
}

std::string GetProgramFolder()
{
    std::string path = GetModuleFileName();
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string GetConfigFolder()
{
    if (const char* dir = std::getenv("VANTOREL_CONFIG_DIR"); dir && *dir)
        return WithTrailingSlash(dir);
    return XdgFolder("XDG_CONFIG_HOME", ".config/") + "vantorel/";
}

std::string GetEventLogPath()
{
    return EnvOr("VANTOREL_LOG", XdgFolder("XDG_STATE_HOME", ".local/state/") + "vantorel/kvellog.txt");
}

std::string GetRegistryPath()
{
    return EnvOr("VANTOREL_REGISTRY", GetConfigFolder() + "registry");
}

std::string GetDataHome()
{
    return XdgFolder("XDG_DATA_HOME", ".local/share/");
}

std::string GetHomeFolder()
{
    return WithTrailingSlash(HomeWithoutSlash());
}

std::string GetTempPath()
{
    return WithTrailingSlash(EnvOr("TMPDIR", "/tmp"));
}

std::string GetTempFileName(const std::string& folder, const std::string& prefix)
{
    std::string path = WithTrailingSlash(folder) + prefix.substr(0, 3) + "XXXXXX.tmp";
    int fd = mkstemps(path.data(), 4);
    if (fd < 0)
        return {};
    close(fd);
    return path;
}

bool CreateFolders(const std::string& folder)
{
    std::string path;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        path = folder.substr(0, pos);
        if (path.empty())
            continue;
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace platform
