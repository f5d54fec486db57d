// How sources become mixer lines and capture devices, on made-up inventories.
#include "platform/pulse/SoundLines.h"

#include <pulse/def.h>

#include <gtest/gtest.h>

namespace {

PulseSourceInfo Source(std::uint32_t index, const std::string& name, std::uint32_t card = kNoIndex,
                       std::uint32_t monitorOf = kNoIndex)
{
    PulseSourceInfo s;
    s.index = index;
    s.name = name;
    s.description = "Desc " + name;
    s.card = card;
    s.monitorOfSink = monitorOf;
    return s;
}

// Two cards: card 1 with a microphone, a line input and the monitor of sink 10; card 2 (a
// webcam) with its microphone; card 3 with nothing. No card: the monitors of sinks 20 (the
// default sink) and 21, and a sine source.
PulseServerInventory Inventory()
{
    PulseServerInventory inv;
    inv.serverName = "pulseaudio";
    inv.defaultSinkName = "null";
    inv.defaultSourceName = "alsa_input.mic";
    inv.cards = {{1, "alsa_card.pci", "Built-in Audio"}, {2, "alsa_card.usb", "USB Camera"}, {3, "empty", "Nothing"}};
    inv.sinks = {{10, "alsa_output.pci", 1}, {20, "null", kNoIndex}, {21, "other_null", kNoIndex}};
    PulseSourceInfo mic = Source(0, "alsa_input.mic", 1);
    mic.activePort = "analog-input-mic";
    PulseSourceInfo line = Source(1, "alsa_input.line", 1);
    line.activePortType = PA_DEVICE_PORT_TYPE_LINE;
    PulseSourceInfo cam = Source(2, "alsa_input.usb", 2);
    cam.formFactor = "webcam";
    inv.sources = {mic, line, Source(3, "alsa_output.pci.monitor", 1, 10), cam, Source(4, "other_null.monitor", kNoIndex, 21),
                   Source(5, "sine"), Source(6, "null.monitor", kNoIndex, 20)};
    return inv;
}

TEST(SoundLines, CutsNamesAtWholeCharacters)
{
    EXPECT_EQ(CutUtf8("short", 63), "short");
    EXPECT_EQ(CutUtf8(std::string(70, 'a'), 63), std::string(63, 'a'));
    // "é" is two bytes: a cut through it leaves it out entirely.
    std::string text = std::string(62, 'a') + "\xC3\xA9" + "b";
    EXPECT_EQ(CutUtf8(text, 63), std::string(62, 'a'));
    EXPECT_EQ(CutUtf8(text, 64), std::string(62, 'a') + "\xC3\xA9");
    EXPECT_EQ(CutUtf8("\xE2\x82\xAC\xE2\x82\xAC", 4), "\xE2\x82\xAC") << "a three-byte sign stays whole";
}

TEST(SoundLines, TypesSourcesByWhatTheyAre)
{
    PulseServerInventory inv = Inventory();
    auto type = [&](std::size_t i) { return ClassifySource(inv.sources[i]); };
    EXPECT_EQ(type(0), MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE) << "port name";
    EXPECT_EQ(type(1), MIXERLINE_COMPONENTTYPE_SRC_LINE) << "port type";
    EXPECT_EQ(type(2), MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT) << "a monitor";
    EXPECT_EQ(type(3), MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE) << "form factor";
    EXPECT_EQ(type(5), MIXERLINE_COMPONENTTYPE_SRC_ANALOG) << "anything else";

    PulseSourceInfo s = Source(9, "x");
    s.activePort = "analog-input-linein";
    EXPECT_EQ(ClassifySource(s), MIXERLINE_COMPONENTTYPE_SRC_LINE);
    s.activePortType = PA_DEVICE_PORT_TYPE_MIC;
    EXPECT_EQ(ClassifySource(s), MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE) << "the port type wins over its name";
    s.monitorOfSink = 1;
    EXPECT_EQ(ClassifySource(s), MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT) << "a monitor is wave-out whatever its port";
}

TEST(SoundLines, MixerListsTheDefaultMonitorFirstThenMonitorsThenInputs)
{
    PulseServerInventory inv = Inventory();
    MixerDeviceData dev = MixerDataFromInventory(inv);
    EXPECT_EQ(dev.name, "pulseaudio");
    ASSERT_EQ(dev.destinations.size(), 1u);
    const MixerLineData& dest = dev.destinations[0];
    EXPECT_EQ(dest.componentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    EXPECT_EQ(dest.name, "Recording Control");
    std::vector<std::string> names;
    for (const MixerLineData& l : dest.sources) names.push_back(l.name);
    EXPECT_EQ(names, (std::vector<std::string> {"Desc null.monitor", "Desc alsa_output.pci.monitor", "Desc other_null.monitor",
                                                "Desc alsa_input.mic", "Desc alsa_input.line", "Desc alsa_input.usb",
                                                "Desc sine"}));
    EXPECT_EQ(dest.sources[0].componentType, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT);
    EXPECT_EQ(dest.sources[6].componentType, MIXERLINE_COMPONENTTYPE_SRC_ANALOG);

    inv.serverName = std::string(40, 's');
    inv.sources[5].description = std::string(100, 'd');
    dev = MixerDataFromInventory(inv);
    EXPECT_EQ(dev.name.size(), 31u);
    EXPECT_EQ(dev.destinations[0].sources[6].name, std::string(63, 'd'));
}

TEST(SoundLines, GroupsSourcesByCardAndTheRestUnderTheServer)
{
    PulseServerInventory inv = Inventory();
    std::vector<SoundDevice> devices = GroupSoundDevices(inv);
    ASSERT_EQ(devices.size(), 3u) << "a card without sources is no device";
    EXPECT_EQ(devices[0].name, "Built-in Audio");
    ASSERT_EQ(devices[0].inputs.size(), 3u);
    EXPECT_EQ(devices[0].inputs[0].sourceName, "alsa_output.pci.monitor") << "monitors first, as in the mixer";
    EXPECT_EQ(devices[0].inputs[1].sourceName, "alsa_input.mic");
    EXPECT_TRUE(devices[0].inputs[1].isDefault);
    EXPECT_FALSE(devices[0].inputs[0].isDefault);
    EXPECT_EQ(devices[1].name, "USB Camera");
    EXPECT_EQ(devices[2].name, "PulseAudio Sound Server");
    ASSERT_EQ(devices[2].inputs.size(), 3u);
    EXPECT_EQ(devices[2].inputs[0].sourceName, "null.monitor");
    EXPECT_EQ(devices[2].inputs[0].lineName, "Desc null.monitor") << "pins are named as the mixer lines";
    EXPECT_EQ(devices[2].inputs[2].sourceName, "sine");

    inv.cards.clear();
    devices = GroupSoundDevices(inv);
    ASSERT_EQ(devices.size(), 1u) << "sources of unknown cards go to the server's device";
    EXPECT_EQ(devices[0].inputs.size(), inv.sources.size());

    inv.sources.clear();
    EXPECT_TRUE(GroupSoundDevices(inv).empty());
}

}  // namespace
