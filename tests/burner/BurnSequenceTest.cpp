// The burns' user texts in order, for success and each failure, the progress callbacks and the
// burn worker.
#include "burner/BurnJob.h"
#include "burner/Device.h"
#include "burner/FakeStarBurn.h"
#include "burner/MessageCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

const Texts kDvdUntilTao = {
    "Started",
    "Testing unit ready...",
    "Unit is ready!",
    "Probing supported write modes...",
};
const Texts kBupAndSpeed = {
    "Getting BUP successfully!",
    "Enabling BUP (Buffer Underrun Protection)...",
    "Enabling BUP successfully!",
    "Setting speed 4.0x (5540 KBps)... ",
    "Setting speed 4.0x (5540 KBps) successfully!",
};
const Texts kOpc = {"Sending OPC (Optimum Power Calibration)...", "Sending OPC successfully."};
const Texts kDvdEnd = {"Closing session...", "Closing session success!", "Burning Complete!"};

Texts Join(std::initializer_list<Texts> parts)
{
    Texts all;
    for (const Texts& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class RecordingWindow : public IBurnWindow {
public:
    void HideBurnProgress() override { m_Events.push_back("hide"); }
    void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        m_Events.push_back("post " + std::to_string(message) + " " + std::to_string(wParam) + " " +
                           std::to_string(lParam));
    }
    std::vector<std::string> m_Events;
};

class BurnSequence : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Library.AddDrive(0).m_lDiscType = 8;
        CDevice::FindDevices();
        m_Job.m_bOpc = 1;
        m_Job.m_ulSpeed = 5540;
        m_Job.m_szSpeedLabel = "4.0x";
        std::strcpy(m_Job.m_szVolumeLabel, "HOLIDAY");
        m_Job.m_pDevice = &Device();
        m_Job.m_pWindow = &m_Window;
        m_Job.m_strSourcePath = "/out/qvrtmpd001/VIDEO_TS";
    }
    CDevice& Device() { return CDevice::Devices().at(0); }
    FakeDrive& Drive() { return m_Library.m_Drives.at(0); }
    bool Called(const std::string& call) const
    {
        return std::count(m_Library.m_Calls.begin(), m_Library.m_Calls.end(), call) > 0;
    }

    CFakeStarBurn m_Library;
    CMessageCapture m_Messages;
    RecordingWindow m_Window;
    BurnJob m_Job;
};

TEST_F(BurnSequence, DvdVideoSuccessWithAndWithoutCalibration)
{
    EXPECT_TRUE(Device().BurnDVDVideo(m_Job, m_Job.m_strSourcePath.c_str()));
    EXPECT_EQ(m_Messages.UserTexts(),
              Join({kDvdUntilTao, {"Track-At-Once is supported!",
                                   "Getting BUP (Buffer Underrun Protection) support..."},
                    kBupAndSpeed, kOpc, kDvdEnd}));
    EXPECT_EQ(Device().GetProgressPercent(), 100);
    EXPECT_EQ(m_Library.m_strLastVolumeLabel, "HOLIDAY");
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "CDevice::BurnDVDVideo(): Burning 5368709120 UCHARs of DVD-Video image\n", 0));
    // Burner objects are replaced, never doubled; the image goes when the burn ends.
    EXPECT_EQ(m_Library.m_nMaxLiveBurners, 1);
    EXPECT_EQ(m_Library.m_nLiveFileSystems, 0);

    m_Messages.Clear();
    m_Library.m_Calls.clear();
    m_Job.m_bOpc = 0;
    EXPECT_TRUE(Device().BurnDVDVideo(m_Job, m_Job.m_strSourcePath.c_str()));
    const Texts texts = m_Messages.UserTexts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "Writing the stuff (simulating) to the CD/DVD disc"),
              1);
    EXPECT_FALSE(Called("SendOPC"));
    EXPECT_TRUE(Called("TrackAtOnceFromTree"));
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "CDevice::BurnDVDVideo(): Skipping send OPC (Optimum Power Calibration) in test mode... "
        "OK!\n",
        0));
    EXPECT_EQ(Texts(texts.end() - 3, texts.end()), kDvdEnd);
}

TEST_F(BurnSequence, DvdVideoStopsAtEachFatalFailure)
{
    struct Case {
        const char* m_szCall;
        std::string m_strLastText;
        bool m_bWrote;
    };
    const Case cases[] = {
        {"DVDVideo_Create", "Creating DVD-Video file system failed!", false},
        {"Create", "Started Error!", false},
        {"TestUnitReady", "Unit is not ready!", false},
        {"ProbeSupportedWriteModes", "Probing supported write modes Error!", false},
        {"GetBUP", "Getting BUP failed!", false},
        {"TrackAtOnceFromTree", "Burning Error!", true},
        {"CloseSession", "Close Session Error!", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_szCall);
        m_Messages.Clear();
        m_Library.m_Calls.clear();
        m_Library.m_Failing = {c.m_szCall};
        EXPECT_FALSE(Device().BurnDVDVideo(m_Job, m_Job.m_strSourcePath.c_str()));
        ASSERT_FALSE(m_Messages.User().empty());
        EXPECT_EQ(m_Messages.User().back(), std::make_pair(3, c.m_strLastText));
        EXPECT_EQ(Called("TrackAtOnceFromTree"), c.m_bWrote);
        EXPECT_EQ(m_Library.m_nLiveFileSystems, 0);
        EXPECT_EQ(Device().GetOperationState(), OPERATION_STATE_IDLE);
    }
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "\n\nCDevice::BurnDVDVideo(): StarBurn_CdvdBurnerGrabber_CloseSession() failed, exception "
        "42, status 7, text 'scripted failure'\n",
        3));
}

TEST_F(BurnSequence, DvdVideoWithoutTrackAtOnceStopsBeforeProtection)
{
    Drive().m_bTrackAtOnce = FALSE;
    RunBurn(&m_Job);
    EXPECT_EQ(m_Messages.UserTexts(), Join({kDvdUntilTao, {"Track-At-Once is unsupported!"}}));
    EXPECT_FALSE(Called("GetBUP"));
    // The window still gets its completion step.
    EXPECT_EQ(m_Window.m_Events, (std::vector<std::string>{"hide", "post 1624 3 0"}));
}

TEST_F(BurnSequence, ProtectionSpeedAndCalibrationFailuresArePassedOver)
{
    m_Library.m_Failing = {"SetBUP", "SetSpeeds", "SendOPC"};
    EXPECT_TRUE(Device().BurnDVDVideo(m_Job, m_Job.m_strSourcePath.c_str()));
    const Texts texts = m_Messages.UserTexts();
    const Texts middle = {"Getting BUP successfully!",
                          "Enabling BUP (Buffer Underrun Protection)...",
                          "Enabling BUP failed!",
                          "Setting speed 4.0x (5540 KBps)... ",
                          "Setting speed failed!",
                          "Sending OPC (Optimum Power Calibration)...",
                          "Sending OPC Error!"};
    EXPECT_NE(std::search(texts.begin(), texts.end(), middle.begin(), middle.end()), texts.end());
    EXPECT_EQ(Texts(texts.end() - 3, texts.end()), kDvdEnd);
    EXPECT_TRUE(m_Messages.HasUser("Setting speed failed!", 3));
    EXPECT_TRUE(m_Messages.HasUser("Sending OPC Error!", 3));
    EXPECT_TRUE(m_Messages.HasDiagnostic("CDevice::BurnDVDVideo():Setting speed failed!", 3));
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "Failed!\nCDevice::BurnDVDVideo(): WARNING! StarBurn_CdvdBurnerGrabber_SetBUP() failed, "
        "exception 42, status 7, text 'scripted failure'\n",
        2));
    EXPECT_TRUE(
        m_Messages.HasDiagnostic("CDevice::BurnDVDVideo(): Writing the stuff to the CD/DVD disc >>>\n", 0));
}

TEST_F(BurnSequence, JobSpeedBecomesTheSpeedTheDriveTook)
{
    Drive().m_Rounding = [](ULONG) { return 4155u; };
    EXPECT_TRUE(Device().BurnDVDVideo(m_Job, m_Job.m_strSourcePath.c_str()));
    EXPECT_EQ(m_Job.m_ulSpeed, 4155u);
    EXPECT_TRUE(m_Messages.HasUser("Setting speed 4.0x (4155 KBps) successfully!", 0));
}

TEST_F(BurnSequence, WithoutASpeedTheDriveKeepsItsOwnAndACancelStopsTheBurn)
{
    m_Job.m_ulSpeed = 0;
    m_Job.m_szSpeedLabel = "";
    EXPECT_TRUE(Device().BurnDVDVideo(m_Job, m_Job.m_strSourcePath.c_str()));
    EXPECT_TRUE(m_Library.m_SpeedRequests.empty());
    EXPECT_TRUE(m_Messages.HasUser("No write speed chosen: the drive keeps its own speed.", 0));

    // A cancel asked for before the burn stands until it is cleared.
    Device().RequestCancel();
    m_Messages.Clear();
    EXPECT_FALSE(Device().BurnDVDVideo(m_Job, m_Job.m_strSourcePath.c_str()));
    EXPECT_EQ(m_Messages.UserTexts(), (Texts {"Started", "Burning stopped."}));
    EXPECT_EQ(m_Library.m_nLiveFileSystems, 0);
    Device().ClearCancelRequest();
    EXPECT_TRUE(Device().BurnDVDVideo(m_Job, m_Job.m_strSourcePath.c_str()));
}

TEST_F(BurnSequence, ProgressPostsOnlyWhenThePercentChangesAndKeepsItAfterAFailedWrite)
{
    const LONGLONG total = 3000;
    Drive().m_WriteEvents = {{12, total, 0},   {12, total, 10},  {12, total, 30},
                             {12, total, 900}, {12, total, 905}, {12, total, 1530},
                             {12, 0, 0}};
    m_Library.m_Failing = {"TrackAtOnceFromTree"};
    EXPECT_FALSE(Device().BurnDVDVideo(m_Job, m_Job.m_strSourcePath.c_str()));
    std::vector<std::string> percents;
    for (const auto& [level, text] : m_Messages.Diagnostic()) {
        if (!text.empty() && text.back() == ' ' && text.find("% ") != std::string::npos &&
            text.size() <= 5) {
            percents.push_back(text);
        }
    }
    // 0 is the value the write starts from, so its report posts nothing.
    EXPECT_EQ(percents, (std::vector<std::string>{"1% ", "30% ", "51% "}));
    EXPECT_EQ(Device().GetProgressPercent(), 51);
}

TEST_F(BurnSequence, CallbackTextsOfTheDvdBurn)
{
    Drive().m_WriteEvents = {{5, 6144, 3}, {6, 5000, 0}, {7, 0, 0}, {26, 1LL << 33, 16}};
    EXPECT_TRUE(Device().BurnDVDVideo(m_Job, m_Job.m_strSourcePath.c_str()));
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "CDevice::DVDVideoBurnCallback(): Target file size in UCHARs 6144, LBs 3\n", 0));
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "CDevice::DVDVideoBurnCallback(): Waiting for cache full not more then 5000 ms... ", 0));
    EXPECT_TRUE(m_Messages.HasDiagnostic("CDevice::DVDVideoBurnCallback(): Target file size in "
                                         "LBs 8589934592, track padding size in LBs 16\n",
                                         0));
    const Texts texts = m_Messages.UserTexts();
    const Texts cache = {"Cache is Full.", "Burning..."};
    EXPECT_NE(std::search(texts.begin(), texts.end(), cache.begin(), cache.end()), texts.end());
}

TEST_F(BurnSequence, VideoCdBurnsCountCacheFillsAndEndWithoutExclamationMark)
{
    Drive().m_WriteEvents = {{6, 5000, 0}, {7, 0, 0}, {6, 5000, 0}, {7, 0, 0}, {6, 5000, 0}};
    m_Job.m_lBurnKind = BURN_KIND_VIDEO_CD;
    m_Job.m_strSourcePath = "/out/movie.mpg";
    m_Job.m_bEject = 1;
    EXPECT_EQ(RunBurn(&m_Job), 1u);
    const Texts texts = m_Messages.UserTexts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Writing ISO track..."), 1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Writing MPEG track..."), 1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "Waiting for cache full not more then 5000 ms... "),
              3);
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "Burning Complete");
    EXPECT_EQ(texts.back(), "Eject");
    EXPECT_EQ(Device().GetTrackCounter(), 3);
    EXPECT_TRUE(Called("VideoCDEx"));
    EXPECT_EQ(m_Window.m_Events, (std::vector<std::string>{"hide", "post 1624 3 0"}));
}

TEST_F(BurnSequence, SuperVideoCdFailureStillEjectsAndHandsBack)
{
    m_Job.m_lBurnKind = BURN_KIND_SUPER_VIDEO_CD;
    m_Job.m_bOpc = 0;
    m_Job.m_bEject = 1;
    m_Library.m_Failing = {"SuperVideoCDEx"};
    RunBurn(&m_Job);
    EXPECT_TRUE(m_Messages.HasUser("Burning Error!", 3));
    EXPECT_TRUE(m_Messages.HasUser("Eject", 0));
    EXPECT_TRUE(m_Messages.HasDiagnostic("CDevice::BurnSuperSuperVideoCD(): Writing the stuff "
                                         "(simulating) to the CD/DVD disc >>>\n",
                                         0));
    EXPECT_TRUE(m_Messages.HasDiagnostic(
        "\n\nCDevice::BurnSuperVideoCD(): StarBurn_CdvdBurnerGrabber_SuperVideoCDEx failed, "
        "exception 42, status 7, text 'scripted failure'\n",
        3));
    EXPECT_EQ(m_Window.m_Events.size(), 2u);
}

TEST_F(BurnSequence, UnknownBurnKindRunsNothingButHandsBack)
{
    m_Job.m_lBurnKind = 7;
    EXPECT_EQ(RunBurn(&m_Job), 1u);
    EXPECT_TRUE(m_Messages.User().empty());
    EXPECT_EQ(m_Window.m_Events, (std::vector<std::string>{"hide", "post 1624 3 0"}));
}

} // namespace
