#pragma once
// What opening a link asks of the desktop: the shell's "open", the program registered for web
// pages, and starting a program. The real one talks to the desktop; tests supply their own.
#include "platform/base/WinTypes.h"

#include <string>
#include <vector>

namespace options {

class IHyperlinkShell {
public:
    virtual ~IHyperlinkShell() = default;
    // The shell's "open" verb on url; above 32 is success.
    virtual INT_PTR ShellOpen(const std::string& url) = 0;
    // The command line of the program that opens web pages; false when there is none.
    virtual bool QueryHtmlOpenCommand(std::string& command) = 0;
    // Starts command with url as its last argument; above 31 is success, otherwise the
    // platform's error code (2 not found, 5 access denied, 11 bad format, 0 out of resources).
    virtual UINT WinExec(const std::string& command, const std::string& url, int nCmdShow) = 0;
};

// The desktop's own: xdg-open, the desktop entry that `xdg-mime query default text/html` names
// (its Exec line), and a detached child process.
class CDesktopHyperlinkShell : public IHyperlinkShell {
public:
    INT_PTR ShellOpen(const std::string& url) override;
    bool QueryHtmlOpenCommand(std::string& command) override;
    UINT WinExec(const std::string& command, const std::string& url, int nCmdShow) override;
};

// Splits a desktop entry's command line into its words: double quotes group, and inside them a
// backslash escapes '"', '`', '$' and '\'. "%%" is a percent sign; other field codes are dropped.
bool SplitCommandLine(const std::string& command, std::vector<std::string>& words);

} // namespace options
