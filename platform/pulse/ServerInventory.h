#pragma once
// What the sound server has, read in one go: its name and defaults, its cards, sinks and
// sources, in the server's order.
#include "platform/pulse/PulseContext.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;  // PA_INVALID_INDEX

struct PulseSourceInfo {
    std::uint32_t index = kNoIndex;
    std::string name;         // the server's name, as a stream connects to it
    std::string description;  // what people read
    std::uint32_t card = kNoIndex;
    std::uint32_t monitorOfSink = kNoIndex;  // kNoIndex: not a monitor
    std::string formFactor;                  // "device.form_factor": microphone, webcam, ...
    std::string activePort;                  // "analog-input-mic", "analog-input-linein", ...
    int activePortType = 0;                  // pa_device_port_type_t, 0: unknown
    bool IsMonitor() const { return monitorOfSink != kNoIndex; }
};

struct PulseSinkInfo {
    std::uint32_t index = kNoIndex;
    std::string name;
    std::uint32_t card = kNoIndex;
};

struct PulseCardInfo {
    std::uint32_t index = kNoIndex;
    std::string name;
    std::string description;
};

struct PulseServerInventory {
    std::string serverName;
    std::string defaultSinkName;
    std::string defaultSourceName;
    std::vector<PulseCardInfo> cards;
    std::vector<PulseSinkInfo> sinks;
    std::vector<PulseSourceInfo> sources;
};

// Reads everything through a connected context (taking its lock). E_FAIL when the server does
// not answer in time.
HRESULT QueryServerInventory(CPulseContext& ctx, PulseServerInventory* pInventory);
