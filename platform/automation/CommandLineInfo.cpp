#include "platform/automation/CommandLineInfo.h"

#include <string>
#include <strings.h>

namespace platform {

void CCommandLineInfo::ParseCommandLine(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg || !*arg)
            continue;
        // "/home/a.ppt" is a path, not an option: an option word holds no further '/'.
        bool slashOption = arg[0] == '/' && std::string(arg + 1).find('/') == std::string::npos;
        if ((slashOption || arg[0] == '-') && arg[1]) {
            // A leading "--" is how Linux users write options; it means the same as "-".
            const char* flag = arg + ((arg[0] == '-' && arg[1] == '-') ? 2 : 1);
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
