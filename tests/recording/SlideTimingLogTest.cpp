// The timing log: slide changes placed on the video's time (pauses shift it), and the file that
// carries them to the DVD's chapters.
#include "recording/SlideTimingLog.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace recording;
using namespace std::chrono_literals;

namespace {

const auto t0 = std::chrono::steady_clock::time_point {} + 100s;

SlideChangeTime Change(long position, std::chrono::milliseconds at)
{
    return {position, position + 10, t0 + at};
}

TEST(SlideTimingLog, ChangesLandOnTheVideosTimeWithPausesCutOut)
{
    CVideoClock clock;
    clock.Run(t0 + 500ms);     // the show started half a second before the graph ran
    clock.Halt(t0 + 3000ms);   // paused at 2.5 s of video
    clock.Run(t0 + 10000ms);   // resumed 7 s later
    clock.Run(t0 + 11000ms);   // a second Run while running changes nothing
    clock.Halt(t0 + 12000ms);  // stopped at 4.5 s of video
    EXPECT_EQ(clock.VideoMs(t0), 0);
    EXPECT_EQ(clock.VideoMs(t0 + 5000ms), 2500) << "frozen while paused";
    EXPECT_EQ(clock.VideoMs(t0 + 11000ms), 3500);
    EXPECT_EQ(clock.VideoMs(t0 + 60000ms), 4500) << "the length after the stop";

    const std::vector<SlideChangeTime> changes {
        Change(1, 0ms),                          // before the start: at 0
        Change(2, 1500ms),                       // 1.0 s
        Change(3, 4000ms), Change(4, 5000ms),    // while paused: only the last shows, at 2.5 s
        Change(5, 10500ms),                      // 3.0 s
        Change(4, 11000ms), Change(5, 11000ms),  // there and back at one moment: no change
        Change(6, 12000ms),                      // at the stop: in no frame
    };
    const std::vector<SlideTiming> expected {{11, 1, 0}, {12, 2, 1000}, {14, 4, 2500}, {15, 5, 3000}};
    EXPECT_EQ(SlidesInVideo(changes, clock, t0 + 12000ms), expected);

    CVideoClock never;
    EXPECT_TRUE(SlidesInVideo(changes, never, t0 + 12000ms).empty()) << "nothing recorded, nothing shown";
}

TEST(SlideTimingLog, TheFileBesideTheVideoReadsBackAndRefusesWhatIsNotALog)
{
    EXPECT_EQ(TimingLogPath("/out/talk_001.avi"), "/out/talk_001.slides.csv");
    EXPECT_EQ(TimingLogPath("/out.d/talk_001"), "/out.d/talk_001.slides.csv");
    EXPECT_EQ(TimingLogPath("/out/.hidden"), "/out/.hidden.slides.csv");

    testsupport::TempDir dir;
    const std::vector<SlideTiming> timings {{1, 1, 0}, {3, 2, 1000}, {3, 3, 2500}};
    std::string error;
    const std::string path = dir.file("talk_001.slides.csv");
    ASSERT_TRUE(WriteTimingLog(path, timings, &error)) << error;
    EXPECT_EQ(testsupport::ReadFile(path), "slide,position,time_ms\n1,1,0\n3,2,1000\n3,3,2500\n");
    std::vector<SlideTiming> read;
    ASSERT_TRUE(ReadTimingLog(path, &read, &error)) << error;
    EXPECT_EQ(read, timings);

    // Written elsewhere with line ends of another system: still read.
    testsupport::WriteFile(path, "slide,position,time_ms\r\n1,1,0\r\n2,2,900\r\n");
    ASSERT_TRUE(ReadTimingLog(path, &read, &error)) << error;
    EXPECT_EQ(read.size(), 2u);

    for (const char* bad : {"1,1,0\n2,2\n", "1,1,0\n2,2,x\n", "1,1,0\n2,2,5,6\n", "1,1,500\n2,2,400\n", "0,1,0\n"}) {
        testsupport::WriteFile(path, bad);
        EXPECT_FALSE(ReadTimingLog(path, &read, &error)) << bad;
        EXPECT_NE(error.find("line "), std::string::npos) << error;
    }
    EXPECT_FALSE(ReadTimingLog(dir.file("missing.csv"), &read, &error));
    EXPECT_FALSE(WriteTimingLog(dir.file("no/such/folder.csv"), timings, &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
