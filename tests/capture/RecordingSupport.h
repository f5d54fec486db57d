#pragma once
// Test support for whole recordings through the capture graph: what a program start and an
// installer do before the first recording, and the sound device a private sound server offers.
#include "options/VideoOptions.h"

#include <string>
#include <utility>
#include <vector>

namespace capturetest {

// Registers the capture filter module (as the installer does) and the media graph's classes,
// compressors and sound devices (as the program's start does). Empty, or what went wrong.
std::string RegisterRecordingClasses(const char* szOravaneModule);

// The first device of the sound category: the server's own sources in a private server.
std::string FirstSoundDevice();

// Records each clip (path, seconds) of a private 320x240 X server's still pattern, with the
// tone of a private sound server (mono, uncompressed unless the options say otherwise), through
// the capture graph with the options given. COM is started and stopped around it; message
// boxes are taken as failures. Empty, or what went wrong.
std::string RecordToneClips(const char* szOravaneModule, options::CVideoOptions o,
                            const std::vector<std::pair<std::string, double>>& clips);

} // namespace capturetest
