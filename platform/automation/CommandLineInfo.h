#pragma once
// The program's command line as the application framework reads it: a word after '/' or '-' is
// an option (compared without regard to case), anything else a file name.
#include <string>
#include <vector>

namespace platform {

// The option word of arg without its "/", "-" or "--", or null when arg is a plain parameter.
const char* OptionName(const char* arg);

class CCommandLineInfo {
public:
    void ParseCommandLine(int argc, const char* const* argv);

    bool m_bRunEmbedded = false;   // "Embedding": started by COM to serve a client
    bool m_bRunAutomated = false;  // "Automation": started by COM for automation
    std::string m_strFileName;     // the first plain parameter
    std::vector<std::string> m_unknownOptions;
};

} // namespace platform
