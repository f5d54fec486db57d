// The libburn layer on file-backed pseudo drives: discovery, addresses, speeds, records, and
// failures that name their cause.
#include "platform/burnlib/StarBurn.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::ScopedEnv;
using testsupport::TempDir;

struct Found {
    std::vector<std::vector<BYTE>> m_Addresses;
};

LONG Collect(LONG event, void* context, void* address, void*)
{
    if (event == CN_FIND_DEVICE) {
        const BYTE* a = static_cast<const BYTE*>(address);
        static_cast<Found*>(context)->m_Addresses.emplace_back(a, a + 5);
    }
    return 0;
}

class PseudoDriveLayer : public ::testing::Test {
protected:
    Found Search()
    {
        BYTE startup[1024] = {};
        EXPECT_EQ(StarBurn_UpStartEx(startup, sizeof startup), EN_SUCCESS);
        Found found;
        EXPECT_EQ(StarBurn_FindDevice(5, FALSE, &Collect, &found), EN_SUCCESS);
        return found;
    }

    void* Grab(BYTE port)
    {
        void* burner = nullptr;
        EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Create(&burner, m_szText, 1024, &m_ulStatus,
                                                    &m_Failure, nullptr, nullptr, port, 0, 0, 0, 1),
                  EN_SUCCESS)
            << m_szText;
        return burner;
    }

    TempDir m_Dir;
    char m_szText[1024] = "";
    ULONG m_ulStatus = 31;
    CDB_FAILURE_INFORMATION m_Failure{};
};

TEST_F(PseudoDriveLayer, SearchReportsTheListedFileDrivesInOrderWithTheirNames)
{
    const std::string a = m_Dir.file("a.img");
    const std::string b = m_Dir.file("b.img");
    ScopedEnv drives("VANTOREL_BURN_DRIVES", " stdio:" + a + " ;;/dev/not-a-file-drive;stdio:;stdio:" + b);
    const Found found = Search();
    ASSERT_EQ(found.m_Addresses.size(), 2u);
    EXPECT_EQ(found.m_Addresses[0], (std::vector<BYTE>{1, 0, 0, 0, 0}));
    EXPECT_EQ(found.m_Addresses[1], (std::vector<BYTE>{1, 1, 0, 0, 0}));

    char name[256];
    ASSERT_EQ(StarBurn_GetDeviceNameByDeviceAddress(1, 0, 0, 0, name), EN_SUCCESS);
    EXPECT_EQ(std::string(name), b);
    EXPECT_EQ(StarBurn_GetDeviceNameByDeviceAddress(2, 0, 0, 0, name), EN_DEVICE_NOT_FOUND);

    void* burner = nullptr;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Create(&burner, m_szText, 1024, &m_ulStatus, &m_Failure,
                                                nullptr, nullptr, 9, 0, 0, 0, 1),
              EN_DEVICE_NOT_FOUND);
    EXPECT_EQ(burner, nullptr);
    EXPECT_STREQ(m_szText, "no device at address 9:0:0:0");
}

TEST_F(PseudoDriveLayer, NameLongerThanTheBufferIsRefusedNotCut)
{
    const std::string deep = m_Dir.file(std::string(300, 'd') + ".img");
    ScopedEnv drives("VANTOREL_BURN_DRIVES", "stdio:" + deep);
    ASSERT_EQ(Search().m_Addresses.size(), 1u);
    char name[256] = "untouched";
    EXPECT_EQ(StarBurn_GetDeviceNameByDeviceAddress(0, 0, 0, 0, name), EN_BUFFER_TOO_SMALL);
    EXPECT_STREQ(name, "untouched");
}

TEST_F(PseudoDriveLayer, BlankFileDriveOffersDvdSpeedsAndTakesTheNearestBelow)
{
    ScopedEnv drives("VANTOREL_BURN_DRIVES", "stdio:" + m_Dir.file("disc.img"));
    ASSERT_EQ(Search().m_Addresses.size(), 1u);
    void* burner = Grab(0);
    ASSERT_NE(burner, nullptr);

    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TestUnitReady(burner, m_szText, 1024, &m_ulStatus, &m_Failure),
              EN_SUCCESS);
    EXPECT_EQ(m_ulStatus, 0u);
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(burner), DISC_TYPE_DVDPLUSRW);

    ULONG currentRead = 0, maxRead = 0, currentWrite = 0, maxWrite = 0;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSpeeds(burner, m_szText, 1024, &m_ulStatus, &m_Failure,
                                                   &currentRead, &maxRead, &currentWrite, &maxWrite),
              EN_SUCCESS);
    EXPECT_EQ(maxWrite, 22160u);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_SetSpeeds(burner, m_szText, 1024, &m_ulStatus, &m_Failure,
                                                   0xFFFF, 6000),
              EN_SUCCESS);
    StarBurn_CdvdBurnerGrabber_GetSpeeds(burner, m_szText, 1024, &m_ulStatus, &m_Failure,
                                         &currentRead, &maxRead, &currentWrite, &maxWrite);
    EXPECT_EQ(currentWrite, 5540u);

    TRACK_INFORMATION track{};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(burner, m_szText, 1024, &m_ulStatus,
                                                             &m_Failure, 1, &track),
              EN_SUCCESS);
    EXPECT_NE(track.m_bIsBlank, 0);
    TOC_INFORMATION toc{};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTOCInformation(burner, m_szText, 1024, &m_ulStatus,
                                                           &m_Failure, &toc),
              EN_SUCCESS);
    EXPECT_EQ(toc.TrackCount(), 0);

    BOOL tao = FALSE, sao = FALSE, pq = FALSE, raw = FALSE;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(burner, m_szText, 1024, &m_ulStatus,
                                                                  &m_Failure, &tao, &sao, &pq, &raw),
              EN_SUCCESS);
    EXPECT_TRUE(tao);
    // Nothing was written, so there is no session to close.
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CloseSession(burner, m_szText, 1024, &m_ulStatus, &m_Failure),
              EN_WRITE_FAILED);
    EXPECT_NE(std::string(m_szText).find("no successful write"), std::string::npos);
    StarBurn_CdvdBurnerGrabber_Release(&burner);
    EXPECT_EQ(burner, nullptr);
}

TEST_F(PseudoDriveLayer, FileWithContentIsRecordedNotBlank)
{
    const std::string disc = m_Dir.file("used.img");
    testsupport::WriteFile(disc, std::string(5 * 2048 + 1, 'x'));
    ScopedEnv drives("VANTOREL_BURN_DRIVES", "stdio:" + disc);
    ASSERT_EQ(Search().m_Addresses.size(), 1u);
    void* burner = Grab(0);
    TRACK_INFORMATION track{};
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(burner, m_szText, 1024, &m_ulStatus,
                                                             &m_Failure, 255, &track),
              EN_SUCCESS);
    EXPECT_EQ(track.m_bIsBlank, 0);
    EXPECT_EQ(track.m_ulTrackSize, 6u);
    StarBurn_CdvdBurnerGrabber_Release(&burner);
}

TEST_F(PseudoDriveLayer, DvdVideoImageOfAFolderThatIsNotVideoTsFails)
{
    void* fileSystem = reinterpret_cast<void*>(1);
    ScopedEnv tmp("TMPDIR", m_Dir.path().string());
    EXPECT_EQ(StarBurn_DVDVideo_Create(&fileSystem, m_Dir.path().c_str(), TRUE, m_szText, 1024,
                                       &m_ulStatus, "LABEL", "p", "a", 2006, 10, 20, 12, 10, 0, 50),
              EN_TOOL_FAILED);
    EXPECT_EQ(fileSystem, nullptr);
    EXPECT_NE(std::string(m_szText).find("no VIDEO_TS folder"), std::string::npos) << m_szText;
    EXPECT_NE(m_ulStatus, 0u);
}

} // namespace
