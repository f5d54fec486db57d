#include "recording/PresentationFiles.h"

#include "common/EventLog.h"

#include <cstdio>
#include <filesystem>

namespace recording {

std::string PresentationComboPath(const std::string& path)
{
    if (path.size() < 3 || path.compare(path.size() - 3, 3, "pps") != 0)
        return path;
    std::string copy = path + kTempCopySuffix;
    std::error_code ec;
    std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        CEventLog log;
        log.Write(("Copying " + path + " to " + copy + " failed: " + ec.message()).c_str(), true);
        return path;
    }
    return copy;
}

std::string PresentationBaseName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos)
        name.erase(dot);
    constexpr size_t kMaxPath = 260;
    if (name.size() > kMaxPath)
        name.resize(kMaxPath);
    return name;
}

std::string OutputFileName(const std::string& folder, const std::string& baseName, int counter)
{
    char number[16];
    std::snprintf(number, sizeof number, "_%03d.avi", counter);
    return folder + baseName + number;
}

}  // namespace recording
