// Real burns through libburn to file-backed pseudo drives, read back with lsdvd.
#include "burner/BurnJob.h"
#include "burner/Device.h"
#include "burner/MessageCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnv;
using testsupport::TempDir;

class NullWindow : public IBurnWindow {
public:
    void HideBurnProgress() override { ++m_nHidden; }
    void PostMessage(UINT message, WPARAM wParam, LPARAM) override
    {
        m_nPosted = message == WM_BURN_STAGE && wParam == 3 ? m_nPosted + 1 : -100;
    }
    int m_nHidden = 0;
    int m_nPosted = 0;
};

std::string RunShell(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen(("(" + command + ") 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return "popen failed";
    }
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    const int status = ::pclose(pipe);
    return status == 0 ? output : "FAILED(" + std::to_string(status) + "): " + output;
}

std::vector<std::string> Percents(const CMessageCapture& messages)
{
    std::vector<std::string> percents;
    for (const auto& [level, text] : messages.Diagnostic()) {
        if (text.size() >= 3 && text.size() <= 5 && text.compare(text.size() - 2, 2, "% ") == 0) {
            percents.push_back(text);
        }
    }
    return percents;
}

class BurnToPseudoDrive : public ::testing::Test {
protected:
    BurnToPseudoDrive()
        : m_Drives("VANTOREL_BURN_DRIVES", "stdio:" + m_Dir.file("disc.img")),
          m_Tmp("TMPDIR", m_Dir.file("tmp"))
    {
        fs::create_directories(m_Dir.file("tmp"));
    }

    // A PAL title of some seconds authored into <dir>/dvd/VIDEO_TS.
    std::string MakeVideoTs(int nSeconds = 1)
    {
        const std::string mpg = m_Dir.file("clip.mpg");
        const std::string dvd = m_Dir.file("dvd");
        EXPECT_EQ(RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i "
                      "sine=frequency=440:sample_rate=48000 -t " + std::to_string(nSeconds) + " -target pal-dvd " + mpg),
                  "");
        const std::string authored = RunShell("VIDEO_FORMAT=PAL dvdauthor -o " + dvd + " -t " + mpg +
                                         " && VIDEO_FORMAT=PAL dvdauthor -o " + dvd + " -T");
        EXPECT_EQ(authored.rfind("FAILED", 0), std::string::npos) << authored;
        return dvd + "/VIDEO_TS";
    }

    CDevice& OnlyDevice()
    {
        CDevice::FindDevices();
        EXPECT_EQ(CDevice::Devices().size(), 1u);
        return CDevice::Devices().at(0);
    }

    void FillJob(CDevice& device, const std::string& source, LONG kind)
    {
        m_Job = BurnJob{};
        m_Job.m_bOpc = 1;
        m_Job.m_ulSpeed = 5540;
        m_Job.m_szSpeedLabel = "4.0x";
        std::strcpy(m_Job.m_szVolumeLabel, "VANTOREL");
        m_Job.m_pDevice = &device;
        m_Job.m_pWindow = &m_Window;
        m_Job.m_lBurnKind = kind;
        m_Job.m_strSourcePath = source;
    }

    bool TempFolderIsEmpty() const { return fs::is_empty(m_Dir.file("tmp")); }

    TempDir m_Dir;
    ScopedEnv m_Drives;
    ScopedEnv m_Tmp;
    CMessageCapture m_Messages;
    NullWindow m_Window;
    BurnJob m_Job;
};

TEST_F(BurnToPseudoDrive, DiscoveryFindsExactlyThePseudoDriveAsABlankDvd)
{
    CDevice& device = OnlyDevice();
    EXPECT_EQ(device.GetDeviceAddress()[0], 1);
    EXPECT_TRUE(device.RefreshDeviceInfo());
    EXPECT_EQ(std::string(device.GetDeviceName()), m_Dir.file("disc.img"));
    EXPECT_TRUE(device.RefreshAll());
    EXPECT_EQ(device.GetDiscType(), 8);
    EXPECT_EQ(device.GetRecordedSize(), 0.0);
    EXPECT_TRUE(device.IsBlankDisc());

    std::vector<SpeedEntry> speeds;
    ASSERT_TRUE(device.GetWriteSpeeds(speeds));
    ASSERT_EQ(speeds.size(), 9u);
    EXPECT_STREQ(speeds.front().m_szLabel, "1.0x");
    EXPECT_STREQ(speeds.back().m_szLabel, "12.0x");
    EXPECT_EQ(speeds.back().m_ulSpeed, 16620u);
    EXPECT_TRUE(device.Eject()); // a no-op that succeeds
}

TEST_F(BurnToPseudoDrive, DvdVideoBurnWritesAnImageThatLsdvdReads)
{
    const std::string videoTs = MakeVideoTs();
    CDevice& device = OnlyDevice();
    ASSERT_TRUE(device.RefreshAll());
    FillJob(device, videoTs, BURN_KIND_DVD_VIDEO);
    // Longer than a volume name holds: it is cut, not refused.
    std::strcpy(m_Job.m_szVolumeLabel, "VANTOREL_HOLIDAY_2026_DECEMBER_THE_EIGHTH");

    EXPECT_EQ(RunBurn(&m_Job), 1u);

    const std::vector<std::string> texts = m_Messages.UserTexts();
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(texts.end() - 3, texts.end()),
              (std::vector<std::string>{"Closing session...", "Closing session success!",
                                        "Burning Complete!"}));
    for (const auto& [level, text] : m_Messages.User()) {
        EXPECT_EQ(level, 0) << text;
    }
    const std::vector<std::string> percents = Percents(m_Messages);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), "100% ");
    EXPECT_EQ(device.GetProgressPercent(), 100);
    EXPECT_EQ(m_Job.m_ulSpeed, 5540u);
    EXPECT_EQ(m_Window.m_nHidden, 1);
    EXPECT_EQ(m_Window.m_nPosted, 1);
    EXPECT_TRUE(TempFolderIsEmpty()) << "the image file outlived the burn";

    const std::string listing = RunShell("lsdvd " + m_Dir.file("disc.img"));
    EXPECT_NE(listing.find("Disc Title: VANTOREL_HOLIDAY_2026_DECEMBER_T\n"), std::string::npos)
        << listing;
    EXPECT_NE(listing.find("Title: 01"), std::string::npos) << listing;
    // The written disc is no longer blank to the engine.
    device.RefreshAll();
    EXPECT_GT(device.GetRecordedSize(), 0.0);
    EXPECT_FALSE(device.IsBlankDisc());
}

TEST_F(BurnToPseudoDrive, ACancelFromAnotherThreadStopsTheWriteAtTheDrivesPace)
{
    // Five seconds of video take seconds to write at 1x, as on a disc.
    const std::string videoTs = MakeVideoTs(5);
    CDevice& device = OnlyDevice();
    ASSERT_TRUE(device.RefreshAll());
    FillJob(device, videoTs, BURN_KIND_DVD_VIDEO);
    m_Job.m_ulSpeed = 1385;
    m_Job.m_szSpeedLabel = "1.0x";
    device.ClearCancelRequest();
    std::thread burn([this] { RunBurn(&m_Job); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (device.GetProgressPercent() < 10 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_LT(device.GetProgressPercent(), 90) << "the write did not keep to the speed";
    device.RequestCancel();
    burn.join();

    EXPECT_TRUE(m_Messages.HasUser("Burning stopped.", 3));
    EXPECT_FALSE(m_Messages.HasUser("Burning Complete!", 0));
    EXPECT_EQ(m_Window.m_nPosted, 1);
    EXPECT_TRUE(TempFolderIsEmpty()) << "the image file outlived the stopped burn";
}

TEST_F(BurnToPseudoDrive, MissingVideoTsFolderNamesTheCause)
{
    CDevice& device = OnlyDevice();
    FillJob(device, m_Dir.file("nothing/VIDEO_TS"), BURN_KIND_DVD_VIDEO);
    RunBurn(&m_Job);
    EXPECT_TRUE(m_Messages.HasUser("Creating DVD-Video file system failed!", 3));
    EXPECT_NE(std::string(device.GetExceptionText()).find("no VIDEO_TS folder"), std::string::npos)
        << device.GetExceptionText();
    EXPECT_FALSE(fs::exists(m_Dir.file("disc.img")));
    EXPECT_EQ(m_Window.m_nPosted, 1);
}

TEST_F(BurnToPseudoDrive, AnImageLargerThanTheTemporaryFolderIsRefusedBeforeAnythingIsWritten)
{
    const std::string videoTs = MakeVideoTs();
    // Sparse files beside VIDEO_TS go on the disc too: they make the image larger than the
    // temporary folder's free space without taking any of it.
    struct statvfs info {};
    ASSERT_EQ(statvfs(m_Dir.file("tmp").c_str(), &info), 0);
    const std::uintmax_t available = static_cast<std::uintmax_t>(info.f_bavail) * info.f_frsize;
    const std::uintmax_t piece = (std::uintmax_t {4} << 30) - (1 << 20);  // under the tool's 4 GiB a file
    int n = 0;
    for (std::uintmax_t total = 0; total < available + (std::uintmax_t {8} << 30); total += piece) {
        const std::string file = m_Dir.file("dvd/padding" + std::to_string(n++) + ".bin");
        std::ofstream(file).close();
        fs::resize_file(file, piece);
    }
    // Should the image be made all the same, the tool is stopped after 64 MiB, not at a full disk.
    rlimit unlimited {};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    rlimit capped {64 << 20, unlimited.rlim_max};
    setrlimit(RLIMIT_FSIZE, &capped);
    CDevice& device = OnlyDevice();
    FillJob(device, videoTs, BURN_KIND_DVD_VIDEO);
    RunBurn(&m_Job);
    setrlimit(RLIMIT_FSIZE, &unlimited);

    EXPECT_EQ(device.GetLastException(), EN_NO_ROOM) << device.GetExceptionText();
    const std::vector<std::string> texts = m_Messages.UserTexts();
    const std::string said = "Not enough free space for the disc image: it needs ";
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const std::string& t) {
        return t.rfind(said, 0) == 0 && t.find(" in " + m_Dir.file("tmp") + "/, which has ") != std::string::npos;
    })) << ::testing::PrintToString(texts);
    EXPECT_TRUE(m_Messages.HasUser("Creating DVD-Video file system failed!", 3));
    EXPECT_TRUE(TempFolderIsEmpty()) << "nothing was written";
    EXPECT_EQ(m_Window.m_nPosted, 1);
}

TEST_F(BurnToPseudoDrive, VideoCdBurnWritesTheFormattedImage)
{
    const std::string mpg = m_Dir.file("vcd.mpg");
    ASSERT_EQ(RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=352x288:rate=25 -f lavfi -i "
                  "sine=frequency=440:sample_rate=44100 -t 1 -target pal-vcd " + mpg),
              "");
    CDevice& device = OnlyDevice();
    FillJob(device, mpg, BURN_KIND_VIDEO_CD);
    RunBurn(&m_Job);
    const std::vector<std::string> texts = m_Messages.UserTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "Burning Complete");
    EXPECT_TRUE(TempFolderIsEmpty());
    // Raw CD sectors start with the sync pattern 00 FF x10 00.
    const std::string disc = testsupport::ReadFile(m_Dir.file("disc.img"));
    ASSERT_GT(disc.size(), 2352u * 150);
    EXPECT_EQ(disc.substr(0, 12), std::string("\0", 1) + std::string(10, '\xFF') + std::string("\0", 1));
}

} // namespace
