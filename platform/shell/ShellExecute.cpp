#include "platform/shell/ShellExecute.h"

#include "platform/shell/SpawnDetached.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool LooksLikeUrl(const std::string& text)
{
    auto colon = text.find(':');
    if (colon == std::string::npos || colon < 2)
        return false;
    for (size_t i = 0; i < colon; ++i) {
        char c = text[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

std::string FindOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string candidate = dirs.substr(start, end - start);
        if (!candidate.empty()) {
            candidate += "/" + name;
            if (access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

intptr_t ShellExecute(const std::string& verb, const std::string& file)
{
    if (verb != "open")
        return SE_ERR_NOASSOC;
    if (!LooksLikeUrl(file)) {
        struct stat st {};
        if (stat(file.c_str(), &st) != 0)
            return SE_ERR_FNF;
    }
    std::string opener = FindOnPath("xdg-open");
    if (opener.empty())
        return SE_ERR_NOASSOC;

    int exitCode = 0;
    switch (SpawnDetached({opener, file}, nullptr, kShellOpenWatchMs, &exitCode)) {
    case SpawnResult::Started:
        return SE_ERR_STARTED;
    case SpawnResult::Exited:
        // xdg-open's exit codes: 2 a file is missing, 5 it may not be read, 1 bad arguments,
        // 3 nothing to open it with, 4 the program chosen failed.
        switch (exitCode) {
        case 0: return SE_ERR_STARTED;
        case 2: return SE_ERR_FNF;
        case 5: return SE_ERR_ACCESSDENIED;
        default: return SE_ERR_NOASSOC;
        }
    case SpawnResult::ExecFailed:
        return SE_ERR_NOASSOC;
    case SpawnResult::NoResources:
        break;
    }
    return SE_ERR_OOM;
}

std::string ShellErrorText(intptr_t code)
{
    switch (code) {
    case 0: return "The operating system is out\nof memory or resources.";
    case 2: return "The specified file was not found.";
    case 3: return "The specified path was not found.";
    case 5: return "The operating system denied\naccess to the specified file.";
    case 8: return "There was not enough memory to complete the operation.";
    case 11: return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26: return "A sharing violation occurred. ";
    case 27: return "The filename association is\nincomplete or invalid.";
    case 28: return "The DDE transaction could not\nbe completed because the request timed out.";
    case 29: return "The DDE transaction failed.";
    case 30:
        return "The DDE transaction could not\nbe completed because other DDE transactions\n"
               "were being processed.";
    case 31: return "There is no application associated\nwith the given filename extension.";
    case 32: return "The specified dynamic-link library was not found.";
    default: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "Unknown Error (%lld) occurred.", static_cast<long long>(code));
        return buf;
    }
    }
}

} // namespace platform
