#pragma once
// The sound card's loop-back line: found through the mixer, shown as "Default" in the input
// source list, and resolved back to the device's own line name when a recording starts.
#include "options/VideoOptions.h"
#include "platform/base/WinTypes.h"

#include <string>

namespace platform {
class CComboBox;
}

namespace options {

inline constexpr const char* kDefaultInput = "Default";

// The first source of the wanted component type on the first mixer's first recording destination
// that has one; its full name in *pName when found.
bool FindMixerSourceLine(DWORD dwComponentType, std::string* pName);
// The wave-output source line, else an analog one.
bool FindLoopBackLine(std::string* pName);
// Renames the first entry that begins with the loop-back line's name (ignoring case) to
// "Default"; records the lookup in the options. True when an entry was renamed.
bool MarkDefaultInput(CVideoOptions& options, platform::CComboBox& inputSources);
// The input name to switch on: the loop-back line for "Default" (or "Default" when there is none).
std::string ResolveInputSource(const CVideoOptions& options);

} // namespace options
