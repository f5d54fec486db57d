// The mixer over a private sound server: the server's sources as lines, and no device without
// a server.
#include "platform/pulse/Mixer.h"
#include "support/PrivatePulseServer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

struct Lines {
    std::string device;
    std::vector<std::pair<DWORD, std::string>> sources;
};

Lines ReadLines()
{
    Lines out;
    HMIXER h = nullptr;
    if (mixerOpen(&h, 0, 0, 0, 0) != MMSYSERR_NOERROR) return out;
    MIXERCAPSA caps {};
    mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(h), &caps, sizeof(caps));
    out.device = caps.szPname;
    for (DWORD d = 0; d < caps.cDestinations; ++d) {
        MIXERLINEA dest {};
        dest.cbStruct = sizeof(dest);
        dest.dwDestination = d;
        mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(h), &dest, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_DESTINATION);
        if (dest.dwComponentType != MIXERLINE_COMPONENTTYPE_DST_WAVEIN) continue;
        for (DWORD s = 0; s < dest.cConnections; ++s) {
            MIXERLINEA src {};
            src.cbStruct = sizeof(src);
            src.dwDestination = d;
            src.dwSource = s;
            mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(h), &src, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE);
            out.sources.emplace_back(src.dwComponentType, src.szName);
        }
    }
    mixerClose(h);
    return out;
}

TEST(MixerOnServer, ListsTheMonitorsAsWaveOutDefaultFirstThenTheSineAsAnalog)
{
    testsupport::PrivatePulseServer pulse(440);
    ASSERT_TRUE(pulse.IsRunning()) << pulse.Log();
    ASSERT_EQ(mixerGetNumDevs(), 1u);
    Lines lines = ReadLines();
    EXPECT_EQ(lines.device, "pulseaudio");
    ASSERT_EQ(lines.sources.size(), 3u);
    EXPECT_EQ(lines.sources[0], std::make_pair(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                                               std::string(testsupport::PrivatePulseServer::kMonitorDescription)))
        << "the default output's monitor first";
    EXPECT_EQ(lines.sources[1], std::make_pair(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                                               std::string(testsupport::PrivatePulseServer::kToneMonitorDescription)));
    EXPECT_EQ(lines.sources[2], std::make_pair(MIXERLINE_COMPONENTTYPE_SRC_ANALOG, pulse.SineDescription()));
}

TEST(MixerOnServer, HasNoDeviceWithoutAServerAndAnswersAtOnce)
{
    testsupport::TempDir dir;
    testsupport::ScopedEnv env("PULSE_SERVER", "unix:" + dir.file("no-server"));
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(mixerGetNumDevs(), 0u);
    HMIXER h = nullptr;
    EXPECT_EQ(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << "no hang";
}

TEST(MixerOnServer, AServerThatStopsTakesItsDeviceAlong)
{
    testsupport::PrivatePulseServer pulse;
    ASSERT_TRUE(pulse.IsRunning()) << pulse.Log();
    std::string address = pulse.Address();
    EXPECT_EQ(mixerGetNumDevs(), 1u);
    pulse.Stop();
    testsupport::ScopedEnv env("PULSE_SERVER", address);
    EXPECT_EQ(mixerGetNumDevs(), 0u);
}

}  // namespace
