#pragma once
// The sound capture devices of the server as the audio input device category lists them: one
// per card with sources, then "PulseAudio Sound Server" for the sources of no card. Each entry
// makes a new capture filter over a snapshot of the device taken when listed.
#include "platform/dshow/DeviceEnum.h"

#include <vector>

// Empty when no server answers within two seconds.
std::vector<DeviceEntry> ListSoundCaptureDevices();
