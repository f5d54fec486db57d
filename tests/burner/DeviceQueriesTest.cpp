// Discovery, identification, blank test, recorded size and eject of CDevice.
#include "burner/Device.h"
#include "burner/FakeStarBurn.h"
#include "burner/MessageCapture.h"

#include <gtest/gtest.h>

namespace {

class DeviceQueries : public ::testing::Test {
protected:
    CDevice& FindOne(LONG discType)
    {
        FakeDrive& drive = m_Library.AddDrive(3);
        drive.m_lDiscType = discType;
        CDevice::FindDevices();
        return CDevice::Devices().at(0);
    }

    CFakeStarBurn m_Library;
    CMessageCapture m_Messages;
};

TEST_F(DeviceQueries, DiscoveryWithoutDevicesLeavesAnEmptyList)
{
    EXPECT_TRUE(CDevice::FindDevices());
    EXPECT_TRUE(CDevice::Devices().empty());
    EXPECT_TRUE(m_Messages.HasDiagnostic("CDevice::FindDevices(): found 0 devices \r\n", 0));

    m_Library.m_Failing = {"FindDevice"};
    EXPECT_TRUE(CDevice::FindDevices());
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "\nCDevice::FindDevices(): device search failed, exception 42 \n", 3));
}

TEST_F(DeviceQueries, DiscoveryKeepsTheLibrarysOrderAndRebuildsTheList)
{
    m_Library.AddDrive(4).m_Address[3] = 2;
    m_Library.AddDrive(1);
    CDevice::FindDevices();
    ASSERT_EQ(CDevice::Devices().size(), 2u);
    EXPECT_EQ(CDevice::Devices()[0].GetDeviceAddress()[1], 4);
    EXPECT_EQ(CDevice::Devices()[0].GetDeviceAddress()[3], 2);
    EXPECT_EQ(CDevice::Devices()[1].GetDeviceAddress()[1], 1);
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "\nCDevice::FindDeviceCallback): Probing SCSI address 4:0:2:0 for CD/DVD device... ", 0));
    EXPECT_EQ(CDevice::Devices()[0].GetProgressPercent(), 0);
    EXPECT_EQ(CDevice::Devices()[0].GetOperationState(), OPERATION_STATE_IDLE);

    // Burner objects of the old records go with them.
    EXPECT_TRUE(CDevice::Devices()[0].TestUnitReady());
    EXPECT_EQ(m_Library.m_nLiveBurners, 1);
    CDevice::FindDevices();
    EXPECT_EQ(m_Library.m_nLiveBurners, 0);
    EXPECT_EQ(CDevice::Devices().size(), 2u);
    EXPECT_TRUE(m_Messages.HasDiagnostic("CDevice::FindDevices(): found 2 devices \r\n", 0));
}

TEST_F(DeviceQueries, FailedStartUpReachesTheUser)
{
    m_Library.m_Failing = {"UpStartEx"};
    EXPECT_FALSE(CDevice::InitStarBurnDll());
    EXPECT_TRUE(m_Messages.HasUser("Can't UpStartEx StarBurn", 3));
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "\nCDevice::InitStarBurnDll():StarBurn_UpStartEx() failed, exception 42 \n", 3));
}

TEST_F(DeviceQueries, IdentificationFillsTheTextsAndTheName)
{
    CDevice& device = FindOne(5);
    EXPECT_TRUE(device.RefreshDeviceInfo());
    EXPECT_STREQ(device.GetVendor(), "VENDOR");
    EXPECT_STREQ(device.GetProduct(), "PRODUCT");
    EXPECT_STREQ(device.GetRevision(), "1.00");
    EXPECT_STREQ(device.GetDeviceName(), "/dev/sr3");
    EXPECT_EQ(device.GetCacheSize(), 2u * 1024 * 1024);
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "OK!\nCDevice::RefreshDeviceInfo()): Found CD/DVD device 'VENDOR' 'PRODUCT' '1.00'\n", 0));

    m_Library.m_Failing = {"GetDeviceNameByDeviceAddress"};
    EXPECT_FALSE(device.RefreshDeviceInfo());
    EXPECT_STREQ(device.GetDeviceName(), "/dev/sr3");
    EXPECT_TRUE(m_Messages.HasDiagnostic("\n\nCDevice::RefreshDeviceInfo(): "
                                         "StarBurn_GetDeviceNameByDeviceAddress() failed, "
                                         "exception 42 \n",
                                         3));
}

TEST_F(DeviceQueries, DeviceWithoutBurnerObjectFailsEveryQueryAndKeepsItsValues)
{
    CDevice& device = FindOne(7);
    device.RefreshAll();
    ASSERT_EQ(device.GetDiscType(), 7);
    m_Library.m_Failing = {"Create"};
    CDevice::FindDevices();
    CDevice& fresh = CDevice::Devices().at(0);
    std::vector<SpeedEntry> speeds;
    EXPECT_FALSE(fresh.RefreshDeviceInfo());
    EXPECT_FALSE(fresh.RefreshDiscType());
    EXPECT_FALSE(fresh.GetWriteSpeeds(speeds));
    EXPECT_FALSE(fresh.Eject());
    EXPECT_TRUE(speeds.empty());
    EXPECT_EQ(fresh.GetDiscType(), DISC_TYPE_NO_MEDIA);
    EXPECT_EQ(fresh.GetLastException(), 42);
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "\n\nCDevice::CdvdBurnerGrabberCreate: StarBurn_CdvdBurnerGrabber_Create() failed, "
        "exception 42, status 7, text 'scripted failure'\n",
        3));
}

TEST_F(DeviceQueries, BlankTestFollowsTheCachedDiscType)
{
    struct Case {
        LONG m_lType;
        bool m_bFlagSet;
        ULONG m_ulRecordedBlocks;
        bool m_bBlank;
    };
    const Case cases[] = {
        {2, true, 9, true},   {3, false, 0, false}, {5, true, 9, true},   {13, true, 0, true},
        {15, false, 0, false}, {4, true, 0, true},  {7, false, 0, true},  {8, true, 1, false},
        {9, false, 0, true},  {6, true, 0, false},  {10, true, 0, false}, {11, true, 0, false},
        {12, true, 0, false}, {0, true, 0, false},  {99, true, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("disc type " + std::to_string(c.m_lType));
        m_Library.m_Drives.clear();
        FakeDrive& drive = m_Library.AddDrive(0);
        drive.m_lDiscType = c.m_lType;
        drive.m_Track1.m_bIsBlank = c.m_bFlagSet ? 1 : 0;
        drive.m_Track255.m_ulTrackSize = c.m_ulRecordedBlocks;
        drive.m_Toc.SetTrackCount(c.m_ulRecordedBlocks > 0 ? 1 : 0);
        drive.m_Toc.SetTrack(0, 0, static_cast<LONG>(c.m_ulRecordedBlocks), 2048);
        CDevice::FindDevices();
        CDevice& device = CDevice::Devices().at(0);
        device.RefreshAll();
        EXPECT_EQ(device.IsBlankDisc(), c.m_bBlank);
    }
}

TEST_F(DeviceQueries, NoDiscIsNeverBlankEvenWithAFlagSetAndNothingRecorded)
{
    FakeDrive& drive = m_Library.AddDrive(0);
    drive.m_bReady = false;
    drive.m_Track1.m_bIsBlank = 1;
    CDevice::FindDevices();
    CDevice& device = CDevice::Devices()[0];
    EXPECT_FALSE(device.RefreshDiscType());
    EXPECT_FALSE(device.RefreshMediaSize());
    EXPECT_EQ(device.GetDiscType(), 14);
    EXPECT_EQ(device.GetRecordedSize(), 0.0);
    EXPECT_FALSE(device.IsBlankDisc());
}

TEST_F(DeviceQueries, BlankFlagReadFailureMeansNotBlank)
{
    FakeDrive& drive = m_Library.AddDrive(0);
    drive.m_lDiscType = 5;
    drive.m_Track1.m_bIsBlank = 1;
    CDevice::FindDevices();
    CDevice& device = CDevice::Devices()[0];
    device.RefreshAll();
    m_Library.m_Failing = {"GetTrackInformation"};
    EXPECT_FALSE(device.IsBlankDisc());
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "\n\nCDevice::GetTrackInfo: StarBurn_CdvdBurnerGrabber_GetTrackInformation() failed, "
        "exception 42, status 7, text 'scripted failure'\n",
        3));
}

TEST_F(DeviceQueries, RecordedSizeFromTheInvisibleTrackAndFromTheTableOfContents)
{
    FakeDrive& plus = m_Library.AddDrive(0);
    plus.m_lDiscType = 8;
    plus.m_Track255.m_ulTrackSize = 3000000; // 6 GB: beyond 32 bits in bytes
    FakeDrive& cd = m_Library.AddDrive(1);
    cd.m_lDiscType = 2;
    cd.m_Toc.SetTrackCount(3);
    cd.m_Toc.SetTrack(0, 0, 1000, 2048);
    cd.m_Toc.SetTrack(1, 1150, 1300, 2352);
    cd.m_Toc.SetTrack(2, -150, -100, 2048); // a pre-gap start: signed arithmetic
    CDevice::FindDevices();

    CDevice& first = CDevice::Devices()[0];
    EXPECT_TRUE(first.RefreshMediaSize());
    EXPECT_DOUBLE_EQ(first.GetRecordedSize(), 3000000.0 * 2048);
    CDevice& second = CDevice::Devices()[1];
    EXPECT_TRUE(second.RefreshMediaSize());
    EXPECT_DOUBLE_EQ(second.GetRecordedSize(), 1000.0 * 2048 + 150.0 * 2352 + 50.0 * 2048);

    m_Library.m_Failing = {"GetTOCInformation"};
    EXPECT_FALSE(second.RefreshMediaSize());
    EXPECT_EQ(second.GetRecordedSize(), 0.0);
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "\nRefreshMediaSize(): StarBurn_CdvdBurnerGrabber_GetTOCInformation() failed, "
        "exception 42, status 7, text 'scripted failure'\n",
        3));
    m_Library.m_Failing = {"GetTrackInformation"};
    EXPECT_FALSE(first.RefreshMediaSize());
    EXPECT_EQ(first.GetRecordedSize(), 0.0);
}

TEST_F(DeviceQueries, ADiscWhoseRecordedSizeCannotBeReadIsNotTakenForBlank)
{
    // Types 7 to 9 (DVD+R, DVD+RW, DVD-RW) and 4 count as blank when nothing is recorded: a size
    // that could not be read must not pass for nothing.
    for (LONG type : {7, 8, 9, 4}) {
        SCOPED_TRACE("disc type " + std::to_string(type));
        m_Library.m_Drives.clear();
        m_Library.m_Failing.clear();
        FakeDrive& drive = m_Library.AddDrive(0);
        drive.m_lDiscType = type;
        drive.m_Track255.m_ulTrackSize = 0;
        CDevice::FindDevices();
        CDevice& device = CDevice::Devices().at(0);
        device.RefreshAll();
        EXPECT_TRUE(device.IsBlankDisc()) << "read as empty";
        m_Library.m_Failing = {"GetTrackInformation", "GetTOCInformation"};
        device.RefreshAll();
        EXPECT_EQ(device.GetRecordedSize(), 0.0);
        EXPECT_FALSE(device.IsBlankDisc()) << "unread";
        EXPECT_FALSE(CDevice(device).IsBlankDisc()) << "a copy knows as little";
    }
}

TEST_F(DeviceQueries, EjectReportsToTheUser)
{
    CDevice& device = FindOne(5);
    EXPECT_TRUE(device.Eject());
    EXPECT_TRUE(m_Messages.HasUser("Eject", 0));
    m_Library.m_Failing = {"Eject"};
    EXPECT_FALSE(device.Eject());
    EXPECT_EQ(device.GetOperationState(), OPERATION_STATE_IDLE);
    EXPECT_TRUE(m_Messages.HasUser("Ejecting Error!", 3));
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "\n\nCDevice::Eject()): StarBurn_CdvdBurnerGrabber_Eject() failed, exception 42, "
        "status 7, text 'scripted failure'\n",
        3));
}

} // namespace
