// Finding the loop-back line through the mixer, showing it as "Default", and resolving it again.
#include "GraphDoubles.h"
#include "options/SoundInputSelection.h"
#include "platform/ui/ComboBox.h"
#include "support/SilentSocket.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace capturetest;
using options::CVideoOptions;

namespace {

std::vector<std::string> Entries(const platform::CComboBox& combo)
{
    std::vector<std::string> out;
    for (int i = 0; i < combo.GetCount(); ++i)
        out.push_back(combo.GetLBText(i).toStdString());
    return out;
}

void Fill(platform::CComboBox& combo, const std::vector<std::string>& names)
{
    for (const auto& n : names)
        combo.AddString(QString::fromStdString(n));
}

TEST(SoundInputSelection, WaveOutLineIsShownAsDefaultAndResolvedBack)
{
    CFakeMixer mixer;
    mixer.m_devices = {MixerDeviceData {"Card", {WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone"),
                                                          Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Stereo Mix")})}}};
    platform::CComboBox combo;
    Fill(combo, {"Microphone", "Line In", "Stereo Mix"});
    CVideoOptions o;
    EXPECT_TRUE(options::MarkDefaultInput(o, combo));
    EXPECT_EQ(Entries(combo), (std::vector<std::string> {"Microphone", "Line In", "Default"}));
    EXPECT_TRUE(o.m_bMixerLineFound);
    EXPECT_EQ(o.m_strMixerLine, "Stereo Mix");

    o.m_strInputSource = "Default";
    EXPECT_EQ(options::ResolveInputSource(o), "Stereo Mix");
    o.m_strInputSource = "default";  // only the exact word stands for the line
    EXPECT_EQ(options::ResolveInputSource(o), "default");
    o.m_strInputSource = "Line In";
    EXPECT_EQ(options::ResolveInputSource(o), "Line In");
}

TEST(SoundInputSelection, AnalogLineServesWhenThereIsNoWaveOutLine)
{
    CFakeMixer mixer;
    mixer.m_devices = {MixerDeviceData {"Card", {WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic"),
                                                          Line(MIXERLINE_COMPONENTTYPE_SRC_ANALOG, "Aux")})}}};
    platform::CComboBox combo;
    Fill(combo, {"Mic", "AUX input"});  // a prefix, compared without case
    CVideoOptions o;
    EXPECT_TRUE(options::MarkDefaultInput(o, combo));
    EXPECT_EQ(Entries(combo), (std::vector<std::string> {"Mic", "Default"}));
    o.m_strInputSource = "Default";
    EXPECT_EQ(options::ResolveInputSource(o), "Aux");
}

TEST(SoundInputSelection, OnlyTheFirstEntryBeginningWithTheLineIsRenamed)
{
    CFakeMixer mixer;
    mixer.m_devices = {MixerDeviceData {"Card", {WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Mix")})}}};
    platform::CComboBox combo;
    Fill(combo, {"Microphone", "Mixer", "Mix"});
    CVideoOptions o;
    EXPECT_TRUE(options::MarkDefaultInput(o, combo));
    EXPECT_EQ(Entries(combo), (std::vector<std::string> {"Microphone", "Default", "Mix"}));
}

TEST(SoundInputSelection, FirstWaveInDestinationWithAMatchWinsAndOtherDestinationsAreSkipped)
{
    CFakeMixer mixer;
    MixerLineData speakers {4, "Speakers", {Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Playback")}};
    mixer.m_devices = {MixerDeviceData {
        "Card",
        {speakers, WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line")}),
         WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "What U Hear"), Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Second")}),
         WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Third")})}}};
    std::string name;
    EXPECT_TRUE(options::FindMixerSourceLine(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, &name));
    EXPECT_EQ(name, "What U Hear");
    // Only the first device counts.
    mixer.m_devices.insert(mixer.m_devices.begin(), MixerDeviceData {"Empty", {}});
    EXPECT_FALSE(options::FindMixerSourceLine(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, &name));
}

TEST(SoundInputSelection, WithoutAUsableMixerNothingIsRenamedAndDefaultStaysDefault)
{
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        CFakeMixer mixer;
        if (variant == 1) {
            mixer.m_devices = {MixerDeviceData {"Card", {WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Mix")})}}};
            mixer.m_bOpenFails = true;
        } else if (variant == 2) {
            mixer.m_devices = {MixerDeviceData {"Card", {WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic")})}}};
        }
        platform::CComboBox combo;
        Fill(combo, {"Mic", "Mix"});
        CVideoOptions o;
        o.m_strMixerLine = "untouched";
        EXPECT_FALSE(options::MarkDefaultInput(o, combo));
        EXPECT_FALSE(o.m_bMixerLineFound);
        EXPECT_EQ(o.m_strMixerLine, "untouched");
        EXPECT_EQ(Entries(combo), (std::vector<std::string> {"Mic", "Mix"}));
        o.m_strInputSource = "Default";
        EXPECT_EQ(options::ResolveInputSource(o), "Default");
    }
}

TEST(SoundInputSelection, LongLineNamesAreCutToWhatTheMixerStructureHolds)
{
    CFakeMixer mixer;
    const std::string longName(100, 'x');
    mixer.m_devices = {MixerDeviceData {"Card", {WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, longName)})}}};
    std::string name;
    ASSERT_TRUE(options::FindMixerSourceLine(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, &name));
    EXPECT_EQ(name, std::string(63, 'x'));
}

TEST(SoundInputSelection, AServerThatNeverAnswersIsAskedOnceALookup)
{
    testsupport::TempDir dir;
    // Connections wait unanswered, as with a stopped server.
    testsupport::CSilentSocket server(dir.file("native"));
    ASSERT_TRUE(server.Ok());
    testsupport::ScopedEnv env("PULSE_SERVER", "unix:" + dir.file("native"));
    SetMixerSystem(nullptr);  // the sound server's mixer
    platform::CComboBox combo;
    Fill(combo, {"Mic", "Monitor of Speakers"});
    CVideoOptions o;
    EXPECT_FALSE(options::MarkDefaultInput(o, combo));
    EXPECT_EQ(server.TakeConnections(), 1) << "the options window's lookup waits out one deadline";
    o.m_strInputSource = "Default";
    EXPECT_EQ(options::ResolveInputSource(o), "Default");
    EXPECT_EQ(server.TakeConnections(), 1) << "so does the graph build's";
}

} // namespace
