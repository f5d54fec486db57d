#pragma once
// Test support for whole recordings through the capture graph: what a program start and an
// installer do before the first recording, and the sound device a private sound server offers.
#include <string>

namespace capturetest {

// Registers the capture filter module (as the installer does) and the media graph's classes,
// compressors and sound devices (as the program's start does). Empty, or what went wrong.
std::string RegisterRecordingClasses(const char* szOravaneModule);

// The first device of the sound category: the server's own sources in a private server.
std::string FirstSoundDevice();

} // namespace capturetest
