#pragma once
// Opening a link the way the link label does: the shell first, then the program registered for
// web pages; and the texts shown when neither works.
#include "options/HyperlinkShell.h"
#include "platform/base/WinShowCmd.h"

#include <string>

namespace options {

// Returns the platform's result code; above 32 is success.
INT_PTR GotoUrl(const std::string& url, int nShowCmd, IHyperlinkShell& shell);
INT_PTR GotoUrl(const std::string& url, int nShowCmd);

// The browser command up to its placeholder: cut before the first quoted placeholder (before the
// opening quote), else before the first bare one, else kept whole. The placeholders are "%1" and
// the desktop entry codes %u, %U, %f and %F.
std::string CutAtPlaceholder(const std::string& command);

// "Unable to open hyperlink:\n\n" and the text for code.
std::string HyperlinkErrorText(INT_PTR code);

} // namespace options
