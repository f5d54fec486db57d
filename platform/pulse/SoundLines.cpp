#include "platform/pulse/SoundLines.h"

#include <pulse/def.h>

#include <algorithm>
#include <cctype>

namespace {

bool Contains(const std::string& text, const char* part)
{
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find(part) != std::string::npos;
}

}  // namespace

std::string CutUtf8(const std::string& text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes) return text;
    std::size_t n = maxBytes;
    // Step back over continuation bytes to the start of the cut sequence.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return text.substr(0, n);
}

DWORD ClassifySource(const PulseSourceInfo& s)
{
    if (s.IsMonitor()) return MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
    switch (s.activePortType) {
    case PA_DEVICE_PORT_TYPE_MIC:
    case PA_DEVICE_PORT_TYPE_HEADSET:
    case PA_DEVICE_PORT_TYPE_HANDSET:
        return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    case PA_DEVICE_PORT_TYPE_LINE:
        return MIXERLINE_COMPONENTTYPE_SRC_LINE;
    default:
        break;
    }
    if (s.formFactor == "microphone" || s.formFactor == "webcam" || s.formFactor == "headset")
        return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    // Older servers give no port type; the ALSA port names say it ("analog-input-mic",
    // "analog-input-internal-mic", "analog-input-linein").
    if (Contains(s.activePort, "mic")) return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    if (Contains(s.activePort, "line")) return MIXERLINE_COMPONENTTYPE_SRC_LINE;
    return MIXERLINE_COMPONENTTYPE_SRC_ANALOG;
}

std::vector<PulseSourceInfo> OrderSources(const PulseServerInventory& inv, const std::vector<PulseSourceInfo>& sources)
{
    std::uint32_t defaultSink = kNoIndex;
    for (const PulseSinkInfo& k : inv.sinks)
        if (k.name == inv.defaultSinkName) defaultSink = k.index;
    auto rank = [&](const PulseSourceInfo& s) {
        if (s.IsMonitor()) return s.monitorOfSink == defaultSink ? 0 : 1;
        return 2;
    };
    std::vector<PulseSourceInfo> ordered = sources;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const PulseSourceInfo& a, const PulseSourceInfo& b) { return rank(a) < rank(b); });
    return ordered;
}

MixerDeviceData MixerDataFromInventory(const PulseServerInventory& inv)
{
    MixerDeviceData dev;
    dev.name = CutUtf8(inv.serverName.empty() ? kServerDeviceName : inv.serverName, kDeviceNameBytes);
    MixerLineData dest;
    dest.componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    dest.name = kRecordingLineName;
    for (const PulseSourceInfo& s : OrderSources(inv, inv.sources))
        dest.sources.push_back({ClassifySource(s), CutUtf8(s.description, kLineNameBytes), {}});
    dev.destinations.push_back(std::move(dest));
    return dev;
}

std::vector<SoundDevice> GroupSoundDevices(const PulseServerInventory& inv)
{
    std::vector<SoundDevice> devices;
    auto add = [&](const std::string& name, std::uint32_t card) {
        std::vector<PulseSourceInfo> own;
        for (const PulseSourceInfo& s : inv.sources) {
            bool known = std::any_of(inv.cards.begin(), inv.cards.end(),
                                     [&](const PulseCardInfo& c) { return c.index == s.card; });
            if (card == kNoIndex ? !known : s.card == card) own.push_back(s);
        }
        if (own.empty()) return;
        SoundDevice dev;
        dev.name = name;
        for (const PulseSourceInfo& s : OrderSources(inv, own))
            dev.inputs.push_back({s.name, CutUtf8(s.description, kLineNameBytes), s.name == inv.defaultSourceName});
        devices.push_back(std::move(dev));
    };
    for (const PulseCardInfo& c : inv.cards) add(c.description, c.index);
    add(kServerDeviceName, kNoIndex);
    return devices;
}
