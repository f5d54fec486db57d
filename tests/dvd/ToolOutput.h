#pragma once
// Reading back what the DVD tools made: a program's whole output, and one field of it.
#include "platform/shell/RunCaptured.h"

#include <regex>
#include <string>
#include <vector>

namespace dvdtest {

inline std::string Output(const std::vector<std::string>& argv)
{
    std::string out;
    platform::RunCaptured(argv, 0, [&](std::string_view chunk) { out += chunk; });
    return out;
}

// The first group of the pattern's first match, or empty.
inline std::string Match(const std::string& text, const std::string& pattern)
{
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : "";
}

} // namespace dvdtest
