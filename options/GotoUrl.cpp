#include "options/GotoUrl.h"

#include "platform/shell/ShellExecute.h"

#include <algorithm>
#include <cstdio>

namespace options {
namespace {

constexpr const char* kPlaceholders[] = {"%1", "%u", "%U", "%f", "%F"};

std::size_t FindFirst(const std::string& text, bool quoted)
{
    std::size_t best = std::string::npos;
    for (const char* code : kPlaceholders) {
        std::string token = quoted ? std::string("\"") + code + "\"" : std::string(code);
        best = std::min(best, text.find(token));
    }
    return best;
}

} // namespace

std::string CutAtPlaceholder(const std::string& command)
{
    std::size_t at = FindFirst(command, true);
    if (at == std::string::npos)
        at = FindFirst(command, false);
    return at == std::string::npos ? command : command.substr(0, at);
}

INT_PTR GotoUrl(const std::string& url, int nShowCmd, IHyperlinkShell& shell)
{
    INT_PTR result = shell.ShellOpen(url);
    if (result > 32)
        return result;
    std::string command;
    if (!shell.QueryHtmlOpenCommand(command))
        return result;
    // The URL is handed over as one argument of its own, so blanks in it cannot split it.
    return static_cast<INT_PTR>(shell.WinExec(CutAtPlaceholder(command), url, nShowCmd));
}

INT_PTR GotoUrl(const std::string& url, int nShowCmd)
{
    CDesktopHyperlinkShell shell;
    return GotoUrl(url, nShowCmd, shell);
}

std::string HyperlinkErrorText(INT_PTR code)
{
    return "Unable to open hyperlink:\n\n" + platform::ShellErrorText(code);
}

} // namespace options
