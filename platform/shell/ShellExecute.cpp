#include "platform/shell/ShellExecute.h"

#include "platform/shell/SpawnDetached.h"

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

    return SpawnDetached({opener, file}) == SpawnResult::Started ? SE_ERR_STARTED : SE_ERR_NOASSOC;
}

} // namespace platform
