#include "platform/automation/CommandLineInfo.h"

#include <string>
#include <strings.h>

namespace platform {

const char* OptionName(const char* arg)
{
    if (!arg || !arg[0] || !arg[1])
        return nullptr;
    // "/home/a.ppt" is a path, not an option: an option word holds no further '/'.
    bool slashOption = arg[0] == '/' && std::string(arg + 1).find('/') == std::string::npos;
    if (!slashOption && arg[0] != '-')
        return nullptr;
    // A leading "--" is how Linux users write options; it means the same as "-".
    return arg + ((arg[0] == '-' && arg[1] == '-') ? 2 : 1);
}

void CCommandLineInfo::ParseCommandLine(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg || !*arg)
            continue;
        if (const char* flag = OptionName(arg)) {
            if (strcasecmp(flag, "Embedding") == 0)
                m_bRunEmbedded = true;
            else if (strcasecmp(flag, "Automation") == 0)
                m_bRunAutomated = true;
            else
                m_unknownOptions.emplace_back(arg);
        } else if (m_strFileName.empty()) {
            m_strFileName = arg;
        }
    }
}

} // namespace platform
