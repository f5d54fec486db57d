// GetWriteSpeeds against drives that take, round or refuse the speeds asked of them.
#include "burner/Device.h"
#include "burner/FakeStarBurn.h"
#include "burner/MessageCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Listed {
    ULONG m_ulSpeed;
    std::string m_strLabel;
    bool operator==(const Listed&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Listed& l)
{
    return os << l.m_ulSpeed << " " << l.m_strLabel;
}

class SpeedProbing : public ::testing::Test {
protected:
    FakeDrive& Drive(LONG discType, ULONG maxWrite)
    {
        FakeDrive& drive = m_Library.AddDrive(0);
        drive.m_lDiscType = discType;
        drive.m_ulMaxWrite = maxWrite;
        return drive;
    }

    std::vector<Listed> Probe(bool expectedResult = true)
    {
        CDevice::FindDevices();
        CDevice& device = CDevice::Devices().at(0);
        device.RefreshDiscType();
        std::vector<SpeedEntry> speeds = {{1, "stale"}};
        EXPECT_EQ(device.GetWriteSpeeds(speeds), expectedResult);
        std::vector<Listed> listed;
        for (const SpeedEntry& e : speeds) {
            listed.push_back({e.m_ulSpeed, e.m_szLabel});
        }
        return listed;
    }

    CFakeStarBurn m_Library;
    CMessageCapture m_Messages;
};

TEST_F(SpeedProbing, MaximumBelowTheFirstTableSpeedGivesAnEmptyList)
{
    Drive(2, 175);
    EXPECT_TRUE(Probe().empty());
    EXPECT_TRUE(m_Library.m_SpeedRequests.empty());

    m_Library.m_Drives.clear();
    Drive(5, 1384);
    EXPECT_TRUE(Probe().empty());
    EXPECT_TRUE(m_Library.m_SpeedRequests.empty());
}

TEST_F(SpeedProbing, ExactCdSpeedsAreListedOnceWithTheirLabelsButNot52x)
{
    Drive(2, 9152);
    const std::vector<Listed> listed = Probe();
    ASSERT_EQ(listed.size(), 14u);
    EXPECT_EQ(listed.front(), (Listed{176, "1.0x"}));
    EXPECT_EQ(listed[2], (Listed{387, "2.2x"}));
    EXPECT_EQ(listed.back(), (Listed{8448, "48.0x"}));
    // Every table speed up to the maximum was asked for, 9152 included.
    EXPECT_EQ(m_Library.m_SpeedRequests.size(), 15u);
    EXPECT_EQ(m_Library.m_SpeedRequests.back(), 9152u);
}

TEST_F(SpeedProbing, DvdDriveNeverLists16x)
{
    Drive(7, 22160);
    const std::vector<Listed> listed = Probe();
    ASSERT_EQ(listed.size(), 9u);
    EXPECT_EQ(listed.back(), (Listed{16620, "12.0x"}));
}

TEST_F(SpeedProbing, DriveRoundingOneTimesUpToFourTimesSkipsTheRequestsBelow)
{
    FakeDrive& drive = Drive(3, 1400);
    drive.m_Rounding = [](ULONG requested) { return requested <= 706 ? 706u : requested; };
    EXPECT_EQ(Probe(), (std::vector<Listed>{{706, "4.0x"}, {1400, "8.0x"}}));
    EXPECT_EQ(m_Library.m_SpeedRequests, (std::vector<ULONG>{176, 1400}));
}

TEST_F(SpeedProbing, ReportedSpeedsBetweenTableSpeedsTakeTheNearerLabelAndTheLowerOnATie)
{
    FakeDrive& drive = Drive(2, 2112);
    drive.m_Rounding = [](ULONG requested) {
        switch (requested) {
        case 1400: return 1580u; // halfway between 1400 and 1760
        case 1760: return 1700u; // nearer to 1760
        case 2112: return 1700u; // nothing new: the speed of the step before
        default: return requested;
        }
    };
    const std::vector<Listed> listed = Probe();
    ASSERT_EQ(listed.size(), 7u);
    EXPECT_EQ(listed[5], (Listed{1580, "8.0x"}));
    EXPECT_EQ(listed[6], (Listed{1700, "10.0x"}));
}

TEST_F(SpeedProbing, RefusedSpeedIsSkippedAndTheNextOneTried)
{
    FakeDrive& drive = Drive(5, 3324);
    drive.m_RejectedSpeeds = {2770};
    drive.m_Rounding = [](ULONG requested) { return requested == 3324 ? 2770u : requested; };
    // A refused speed counts as the last one: a later report of it adds nothing.
    EXPECT_EQ(Probe(), (std::vector<Listed>{{1385, "1.0x"}}));
    EXPECT_EQ(m_Library.m_SpeedRequests, (std::vector<ULONG>{1385, 2770, 3324}));
}

TEST_F(SpeedProbing, NoDiscListsCdLabelsUpToTheMaximumWithoutSettingAnySpeed)
{
    FakeDrive& drive = Drive(5, 2800);
    drive.m_bReady = false; // the refresh stores 14
    const std::vector<Listed> listed = Probe();
    ASSERT_EQ(listed.size(), 9u);
    EXPECT_EQ(listed.back(), (Listed{2800, "16.0x"}));
    EXPECT_TRUE(m_Library.m_SpeedRequests.empty());
}

TEST_F(SpeedProbing, DiscWithoutSpeedTableAndFailedSpeedQuery)
{
    Drive(10, 22160);
    EXPECT_TRUE(Probe().empty());
    EXPECT_TRUE(m_Library.m_SpeedRequests.empty());

    m_Library.m_Failing = {"GetSpeeds"};
    EXPECT_TRUE(Probe(false).empty());
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "\n\nGetWriteSpeeds(): StarBurn_CdvdBurnerGrabber_GetSpeeds() failed, exception 42, "
        "status 7, text 'scripted failure'\n",
        0));
}

TEST_F(SpeedProbing, SetWriteSpeedReturnsTheSpeedTheDriveTook)
{
    FakeDrive& drive = Drive(5, 22160);
    drive.m_Rounding = [](ULONG) { return 5540u; };
    CDevice::FindDevices();
    ULONG speed = 6925;
    EXPECT_TRUE(CDevice::Devices()[0].SetWriteSpeed(speed));
    EXPECT_EQ(speed, 5540u);

    m_Library.m_Failing = {"SetSpeeds"};
    speed = 6925;
    EXPECT_FALSE(CDevice::Devices()[0].SetWriteSpeed(speed));
    EXPECT_EQ(speed, 6925u);
}

} // namespace
