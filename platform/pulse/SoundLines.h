#pragma once
// How the sound server's sources become mixer lines and capture devices: their types, their
// order, their names (cut to what the mixer structures hold) and which device each belongs to.
// No server here: these work on an inventory already read.
#include "platform/pulse/Mixer.h"
#include "platform/pulse/ServerInventory.h"

#include <string>
#include <vector>

// The capture device of the sources that belong to no card (a null sink's monitor, a network
// or test source).
inline constexpr const char* kServerDeviceName = "PulseAudio Sound Server";
inline constexpr const char* kRecordingLineName = "Recording Control";
inline constexpr const char* kRecordingShortName = "Recording";
// Line names hold 63 bytes (MIXERLINEA::szName less its terminator); device names 31.
inline constexpr std::size_t kLineNameBytes = MIXER_LONG_NAME_CHARS - 1;
inline constexpr std::size_t kDeviceNameBytes = MAXPNAMELEN - 1;

// At most maxBytes bytes of text, never splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& text, std::size_t maxBytes);

// SRC_WAVEOUT for monitors, SRC_MICROPHONE, SRC_LINE, else SRC_ANALOG.
DWORD ClassifySource(const PulseSourceInfo& source);

// The mixer's order: the default sink's monitor, the other monitors, then the inputs; the
// server's order within each group.
std::vector<PulseSourceInfo> OrderSources(const PulseServerInventory& inv, const std::vector<PulseSourceInfo>& sources);

// Device 0 of the mixer: the server with its one recording destination.
MixerDeviceData MixerDataFromInventory(const PulseServerInventory& inv);

struct SoundInput {
    std::string sourceName;  // what the stream records from
    std::string lineName;    // the pin's name, the same as the mixer line's
    bool isDefault = false;  // the server's default source: the filter records it at first
};
struct SoundDevice {
    std::string name;
    std::vector<SoundInput> inputs;
};

// One device per card that has sources (named by the card's description), then the device of
// the sources without a card, when there are some. Inputs in the mixer's order.
std::vector<SoundDevice> GroupSoundDevices(const PulseServerInventory& inv);
