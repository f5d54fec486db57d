#pragma once
// The file names the recording window works with: the presentation it hands to the presentation
// program, the base name of its recordings and the recordings' names.
#include <string>

namespace recording {

// The copy made of a presentation whose path ends in "pps": the path with this appended.
inline constexpr const char* kTempCopySuffix = ".temp.ppt";

// What the presentation combo holds for a presentation. A path whose last three characters are
// exactly "pps" (case counts) is copied to the path with ".temp.ppt" appended, over an older copy
// (the copy is never deleted), and the copy's path is used. When no copy can be written (a
// read-only folder), the presentation itself is used: the office opens a .pps as it is.
std::string PresentationComboPath(const std::string& path);

// The file name without folder and extension (from its last dot), at most 260 characters.
std::string PresentationBaseName(const std::string& path);

// "%s%s_%03d.avi": output folder (used as it is, ending with a separator), base name, counter.
std::string OutputFileName(const std::string& folder, const std::string& baseName, int counter);

}  // namespace recording
