#include "options/GotoUrl.h"

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
    std::string text;
    switch (code) {
    case 0: text = "The operating system is out\nof memory or resources."; break;
    case 2: text = "The specified file was not found."; break;
    case 3: text = "The specified path was not found."; break;
    case 5: text = "The operating system denied\naccess to the specified file."; break;
    case 8: text = "There was not enough memory to complete the operation."; break;
    case 11: text = "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."; break;
    case 26: text = "A sharing violation occurred. "; break;
    case 27: text = "The filename association is\nincomplete or invalid."; break;
    case 28: text = "The DDE transaction could not\nbe completed because the request timed out."; break;
    case 29: text = "The DDE transaction failed."; break;
    case 30:
        text = "The DDE transaction could not\nbe completed because other DDE transactions\n"
               "were being processed.";
        break;
    case 31: text = "There is no application associated\nwith the given filename extension."; break;
    case 32: text = "The specified dynamic-link library was not found."; break;
    default: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "Unknown Error (%lld) occurred.", static_cast<long long>(code));
        text = buf;
    }
    }
    return "Unable to open hyperlink:\n\n" + text;
}

} // namespace options
