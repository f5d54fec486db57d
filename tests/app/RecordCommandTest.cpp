// "vantorel --record --headless" as a script runs it, with no display and no sound server: two
// generated decks (one with its own slide times, one without) recorded through the recording
// window into AVI files whose frames show the slides in order for their times, a timing log
// beside each that matches the frames, a missing and a corrupt file skipped with their reasons,
// and a DVD image with a chapter at every slide.
#include "platform/office/ImpressSession.h"
#include "platform/office/TestPresentations.h"
#include "platform/screen/PrivateXServer.h"
#include "recording/RecordedVideo.h"
#include "recording/SlideTimingLog.h"
#include "support/OfficeProfiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 704, kHeight = 576;  // the DVD size a run that makes a DVD records

using recordingtest::RunCommand;

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The frame shown at `ms` into a video of `fps` frames a second.
long FrameAt(long long ms, double fps)
{
    return static_cast<long>(std::floor(ms / 1000.0 * fps));
}

class RecordCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::UsePrivateOfficeProfiles();
        // The decks are made by an office of the test's own, on an X server of its own.
        screentest::CPrivateXServer x("1024x768x24");
        ASSERT_TRUE(x.IsRunning());
        std::string error;
        auto session = office::CImpressSession::Start(&error);
        ASSERT_TRUE(session) << error;
        officetest::ShowOptions timed;
        timed.slides = 3;
        timed.pageSound = false;
        timed.slideSeconds = {2, 1, 3};
        ASSERT_TRUE(officetest::MakePresentations(*session, m_dir.path().string(), "timed", timed));
        officetest::ShowOptions untimed = timed;
        untimed.slideSeconds = {0, 0, 0};
        ASSERT_TRUE(officetest::MakePresentations(*session, m_dir.path().string(), "untimed", untimed));
        // The times the .ppt carries, as the office reads them back (its format stores them in
        // its own units).
        const long deck = session->Open(m_dir.file("timed.ppt"));
        ASSERT_NE(deck, 0);
        for (long slide = 1; slide <= 3; ++slide) {
            office::SlideAdvance advance;
            ASSERT_TRUE(session->GetSlideAdvance(deck, slide, &advance));
            ASSERT_TRUE(advance.onTime) << "slide " << slide;
            m_timedMs.push_back(std::llround(advance.seconds * 1000));
        }
        session->Terminate(5000);
        testsupport::WriteFile(m_dir.file("corrupt.ppt"), std::string(4096, '\x5a'));
        fs::create_directories(m_dir.file("out"));
        fs::create_directories(m_dir.file("tmp"));
    }

    testsupport::TempDir m_dir;
    std::vector<long long> m_timedMs;  // the timed deck's slides' times
};

TEST_F(RecordCommand, TwoDecksBecomeVideosWithTimingLogsAndADvdImageWithAChapterPerSlide)
{
    const std::string out = m_dir.file("out") + "/", iso = m_dir.file("talks.iso");
    // No display and no sound server: the program brings its own.
    const std::string command =
        "cd '" + m_dir.path().string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY PULSE_SERVER=unix:/nonexistent/native"
        " TMPDIR='" + m_dir.file("tmp") + "' VANTOREL_CONFIG_DIR='" + m_dir.file("config") + "' VANTOREL_LOG='" +
        m_dir.file("kvellog.txt") + "' VANTOREL_REGISTRY='" + m_dir.file("registry") + "' timeout 600 '" +
        VANTOREL_TEST_PROGRAM_DIR + "vantorel' --record --headless --output out --slide-seconds 1.5 --dvd-image talks.iso"
        " --chapters timed.ppt missing.ppt corrupt.ppt untimed.odp > stdout.txt 2> stderr.txt; echo $?";
    const std::string status = RunCommand(command);
    const std::string stdoutText = testsupport::ReadFile(m_dir.file("stdout.txt"));
    const std::string stderrText = testsupport::ReadFile(m_dir.file("stderr.txt"));
    const std::string said = "\nstdout:\n" + stdoutText + "stderr:\n" + stderrText;
    EXPECT_EQ(status, "1\n") << "some files were skipped" << said;
    EXPECT_TRUE(Has(stderrText, "vantorel: " + m_dir.file("missing.ppt") + ": skipped: no such file\n")) << said;
    EXPECT_TRUE(Has(stderrText, "vantorel: " + m_dir.file("corrupt.ppt") + ": skipped: ")) << said;

    // Both decks, in command-line order, each its three slides for their times.
    struct Expected {
        std::string video;
        std::vector<long long> changesMs;
        long long lengthMs;
    };
    const std::vector<long long>& t = m_timedMs;
    const std::vector<Expected> decks {{out + "timed_001.avi", {0, t[0], t[0] + t[1]}, t[0] + t[1] + t[2]},
                                       {out + "untimed_002.avi", {0, 1500, 3000}, 4500}};
    std::size_t lastLine = 0;
    std::vector<long long> slideLengthsMs;  // from the timing logs: every slide but each video's last
    for (const Expected& deck : decks) {
        SCOPED_TRACE(deck.video);
        const std::size_t written = stdoutText.find(" bytes " + deck.video + "\n");
        ASSERT_NE(written, std::string::npos) << said;
        EXPECT_GT(written, lastLine) << "in command-line order";
        lastLine = written;
        EXPECT_TRUE(Has(stdoutText, "timings " + recording::TimingLogPath(deck.video) + "\n")) << said;

        const recordingtest::VideoFacts facts = recordingtest::ReadVideoFacts(deck.video);
        ASSERT_GT(facts.frames, 0) << facts.decodeErrors;
        EXPECT_EQ(facts.width, kWidth);
        EXPECT_EQ(facts.height, kHeight);
        EXPECT_EQ(facts.decodeErrors, "");
        const double fps = facts.frames / facts.videoSeconds;
        const double frame = 1000.0 / fps;
        EXPECT_NEAR(facts.videoSeconds * 1000, deck.lengthMs, 2 * frame) << "frames " << facts.frames;

        std::vector<recording::SlideTiming> log;
        std::string error;
        ASSERT_TRUE(recording::ReadTimingLog(recording::TimingLogPath(deck.video), &log, &error)) << error;
        ASSERT_EQ(log.size(), 3u);
        const std::vector<recordingtest::FrameLook> looks = recordingtest::LookAtFrames(deck.video, kWidth, kHeight, 3);
        EXPECT_EQ(recordingtest::SlideOrder(looks), (std::vector<long> {1, 2, 3}));
        EXPECT_EQ(recordingtest::TimingLogMismatches(deck.video, looks), "");
        for (std::size_t i = 0; i < log.size(); ++i) {
            EXPECT_EQ(log[i].slideNumber, static_cast<long>(i + 1));
            EXPECT_EQ(log[i].showPosition, static_cast<long>(i + 1));
            EXPECT_NEAR(log[i].videoMs, deck.changesMs[i], 2 * frame) << "slide " << i + 1;
        }
        for (std::size_t i = 0; i + 1 < log.size(); ++i)
            slideLengthsMs.push_back(log[i + 1].videoMs - log[i].videoMs);
        slideLengthsMs.push_back(-1);
        recordingtest::KeepFrames(deck.video, fs::path(deck.video).stem().string(),
                                  {1, FrameAt(log[1].videoMs, fps) + 2, facts.frames - 1});
    }

    // The DVD: both recordings, a chapter at every slide change.
    EXPECT_TRUE(Has(stdoutText, "dvd convert 1/2 " + decks[0].video + "\n")) << said;
    EXPECT_TRUE(Has(stdoutText, "dvd author\n")) << said;
    EXPECT_TRUE(Has(stdoutText, "dvd written " + iso + "\n")) << said;
    EXPECT_TRUE(Has(stdoutText, "done 2/4 recorded\n")) << said;
    const std::string chapters = RunCommand("lsdvd -c '" + iso + "'");
    const std::regex chapter("Chapter: ");
    EXPECT_EQ(std::distance(std::sregex_iterator(chapters.begin(), chapters.end(), chapter), std::sregex_iterator()), 6)
        << chapters;
    // Each chapter begins on its slide's change, not on the group of pictures before it: its
    // length is the slide's, within two of the DVD's frames.
    const std::regex length("Length: (\\d+):(\\d+):([0-9.]+)");
    std::size_t i = 0;
    for (auto it = std::sregex_iterator(chapters.begin(), chapters.end(), length); it != std::sregex_iterator();
         ++it, ++i) {
        const double ms = (std::stoi((*it)[1]) * 3600 + std::stoi((*it)[2]) * 60 + std::stod((*it)[3])) * 1000;
        if (i == 0)
            continue;  // the title's own length
        if (i - 1 < slideLengthsMs.size() && slideLengthsMs[i - 1] >= 0)
            EXPECT_NEAR(ms, slideLengthsMs[i - 1], 80) << "chapter " << i << "\n" << chapters;
    }
    // What the run started has ended with it: no server runs from its folders, none is left.
    // ("[/]" keeps the shell that runs pgrep, whose command line holds the pattern, out.)
    EXPECT_EQ(RunCommand("pgrep -f '[/]" + m_dir.file("tmp").substr(1) + "' | wc -l"), "0\n");
    for (const auto& entry : fs::directory_iterator(m_dir.file("tmp")))
        EXPECT_EQ(entry.path().filename().string().rfind("vantorel-", 0), std::string::npos) << entry.path();
}

}  // namespace
