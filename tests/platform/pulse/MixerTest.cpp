// The mixer functions over a test double (handles, structure sizes, errors) and over a private
// sound server (what the server's sources become).
#include "platform/pulse/Mixer.h"
#include "support/PrivatePulseServer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace {

// The platform's MIXER_OBJECTF_HMIXER, as a caller built against the platform passes it.
constexpr DWORD kByHandle = 0x80000000;

class CFakeMixerSystem final : public IMixerSystem {
public:
    UINT CountDevices() override { return m_nDevices; }
    std::optional<MixerDeviceData> OpenDevice(UINT id) override
    {
        ++m_nOpened;
        if (id >= m_nDevices || m_bRefuse) return std::nullopt;
        return m_data;
    }
    UINT m_nDevices = 1;
    bool m_bRefuse = false;
    int m_nOpened = 0;
    MixerDeviceData m_data {"Fake Mixer",
                            {{MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
                              "Recording Control",
                              {{MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Stereo Mix", {}},
                               {MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "A microphone with a long name", {}}}}}};
};

class MixerWithDouble : public ::testing::Test {
protected:
    void SetUp() override { SetMixerSystem(&m_fake); }
    void TearDown() override { SetMixerSystem(nullptr); }
    CFakeMixerSystem m_fake;
};

MIXERLINEA Line(DWORD dst, DWORD src = 0, DWORD cb = sizeof(MIXERLINEA))
{
    MIXERLINEA l {};
    l.cbStruct = cb;
    l.dwDestination = dst;
    l.dwSource = src;
    return l;
}

TEST_F(MixerWithDouble, ReadsDestinationsAndSourcesThroughAHandle)
{
    EXPECT_EQ(mixerGetNumDevs(), 1u);
    HMIXER h = nullptr;
    ASSERT_EQ(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NOERROR);
    ASSERT_NE(h, nullptr);
    MIXERCAPSA caps {};
    ASSERT_EQ(mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(h), &caps, sizeof(caps)), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Fake Mixer");
    EXPECT_EQ(caps.cDestinations, 1u);

    auto obj = reinterpret_cast<HMIXEROBJ>(h);
    MIXERLINEA dest = Line(0);
    ASSERT_EQ(mixerGetLineInfoA(obj, &dest, kByHandle | MIXER_GETLINEINFOF_DESTINATION), MMSYSERR_NOERROR);
    EXPECT_EQ(dest.dwComponentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    EXPECT_EQ(dest.cConnections, 2u);
    EXPECT_STREQ(dest.szName, "Recording Control");
    EXPECT_STREQ(dest.szShortName, "Recording");

    MIXERLINEA src = Line(0, 1);
    ASSERT_EQ(mixerGetLineInfoA(obj, &src, kByHandle | MIXER_GETLINEINFOF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(src.dwComponentType, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    EXPECT_STREQ(src.szName, "A microphone with a long name");
    EXPECT_STREQ(src.szShortName, "A microphone wi") << "short names hold 15 bytes";
    EXPECT_EQ(src.dwSource, 1u);
    EXPECT_STREQ(src.Target.szPname, "Fake Mixer");

    // The handle is a snapshot: the system changing meanwhile does not show.
    m_fake.m_data.destinations[0].sources.clear();
    MIXERLINEA again = Line(0, 0);
    ASSERT_EQ(mixerGetLineInfoA(obj, &again, kByHandle | MIXER_GETLINEINFOF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_STREQ(again.szName, "Stereo Mix");
    EXPECT_EQ(mixerClose(h), MMSYSERR_NOERROR);
}

TEST_F(MixerWithDouble, RefusesBadHandlesIndexesAndSizes)
{
    HMIXER h = nullptr;
    EXPECT_EQ(mixerOpen(&h, 1, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(mixerOpen(nullptr, 0, 0, 0, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(mixerOpen(&h, 0, 1234, 0, 0x00030000), MMSYSERR_INVALPARAM) << "no callbacks";
    m_fake.m_bRefuse = true;
    EXPECT_EQ(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NODRIVER);
    m_fake.m_bRefuse = false;

    ASSERT_EQ(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NOERROR);
    auto obj = reinterpret_cast<HMIXEROBJ>(h);
    MIXERLINEA l = Line(1);
    EXPECT_EQ(mixerGetLineInfoA(obj, &l, kByHandle | MIXER_GETLINEINFOF_DESTINATION), MIXERR_INVALLINE);
    l = Line(0, 2);
    EXPECT_EQ(mixerGetLineInfoA(obj, &l, kByHandle | MIXER_GETLINEINFOF_SOURCE), MIXERR_INVALLINE);
    l = Line(0, 0, 100);
    EXPECT_EQ(mixerGetLineInfoA(obj, &l, kByHandle | MIXER_GETLINEINFOF_SOURCE), MMSYSERR_INVALPARAM) << "too small";

    // The 32-bit platform's size: filled up to there, nothing beyond.
    struct {
        MIXERLINEA line;
        char guard[8];
    } sized {};
    std::memset(&sized, 0x5A, sizeof(sized));
    sized.line.cbStruct = 168;
    sized.line.dwDestination = 0;
    sized.line.dwSource = 0;
    ASSERT_EQ(mixerGetLineInfoA(obj, &sized.line, kByHandle | MIXER_GETLINEINFOF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_STREQ(sized.line.szName, "Stereo Mix");
    EXPECT_EQ(reinterpret_cast<unsigned char*>(&sized.line)[170], 0x5A) << "nothing written past cbStruct";
    EXPECT_STREQ(sized.line.Target.szPname, "Fake Mixer") << "the device name ends inside the 168 bytes";
    m_fake.m_data.name = std::string(40, 'n');
    HMIXER longName = nullptr;
    ASSERT_EQ(mixerOpen(&longName, 0, 0, 0, 0), MMSYSERR_NOERROR);
    sized.line.cbStruct = 168;
    ASSERT_EQ(mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(longName), &sized.line, kByHandle | MIXER_GETLINEINFOF_SOURCE),
              MMSYSERR_NOERROR);
    const std::size_t room = 168 - offsetof(MIXERLINEA, Target.szPname);
    EXPECT_EQ(std::string(sized.line.Target.szPname), std::string(room - 1, 'n'));
    mixerClose(longName);

    ASSERT_EQ(mixerClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerClose(h), MMSYSERR_INVALHANDLE) << "closed already";
    l = Line(0);
    EXPECT_EQ(mixerGetLineInfoA(obj, &l, kByHandle | MIXER_GETLINEINFOF_DESTINATION), MMSYSERR_INVALHANDLE);

    MIXERCAPSA caps {};
    EXPECT_EQ(mixerGetDevCapsA(0, &caps, sizeof(caps)), MMSYSERR_NOERROR) << "by device id";
    EXPECT_EQ(mixerGetDevCapsA(5, &caps, sizeof(caps)), MMSYSERR_BADDEVICEID);
    m_fake.m_nDevices = 0;
    EXPECT_EQ(mixerGetNumDevs(), 0u);
    EXPECT_EQ(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_BADDEVICEID);
}

}  // namespace
