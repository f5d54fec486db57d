// A recording made with the program's own capture graph (screen and sound) goes through the real
// fg and ar links of the program folder in both standards; lsdvd and ffprobe read the tree back.
// The folders' names hold the characters a shell or an XML reader would take for something else.
#include "DvdTestWindow.h"
#include "dvd/AuthoringFiles.h"
#include "RecordingSupport.h"
#include "ToolOutput.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using dvdtest::Match;
using dvdtest::Output;

namespace {

constexpr double kSeconds = 5.0;

struct Standard {
    int nTvFormat;
    const char* name;
    const char* size;
    const char* rate;
};

TEST(DvdTools, ARecordingBecomesAOneTitleDvdInEitherStandard)
{
    testsupport::TempDir dir;
    testsupport::ScopedEnv registry("VANTOREL_REGISTRY", dir.file("registry"));
    testsupport::ScopedEnv log("VANTOREL_LOG", dir.file("kvellog.txt"));
    // About five seconds of the screen with the tone, as a recording with sound makes it.
    const std::string avi = dir.file("talk_001.avi");
    options::CVideoOptions o;
    o.m_strOutputPath = dir.path().string() + "/";
    o.m_nSampleRate = 1;
    o.m_bAudioCompress = FALSE;
    o.m_bVideoCompress = TRUE;
    o.m_strVideoCompressor = "Motion JPEG";
    o.m_nFrameRate = 15;
    ASSERT_EQ(capturetest::RecordToneClips(ORAVANE_MODULE, o, {{avi, kSeconds}}), "");

    const std::string nasty = dir.file("it's & <dvd> \"q\" $HOME;\nx");
    testsupport::ScopedEnv tmp("TMPDIR", nasty + " tmp/");
    fs::create_directories(nasty + " tmp");
    for (const Standard& s : {Standard {TV_FORMAT_PAL, "PAL", "720x576", "25/1"},
                              Standard {TV_FORMAT_NTSC, "NTSC", "720x480", "30000/1001"}}) {
        SCOPED_TRACE(s.name);
        CDvdTestWindow window;
        window.m_Videos = {avi};
        window.m_nTvFormat = s.nTvFormat;
        window.m_strProgramFolder = VANTOREL_TEST_PROGRAM_DIR;
        window.m_strOutputFolder = nasty + " " + s.name + "/";
        fs::create_directories(window.m_strOutputFolder);
        CDvdSteps steps(window);
        ASSERT_TRUE(window.RunSteps(steps)) << window.Log();
        EXPECT_TRUE(window.m_Failures.empty());
        ASSERT_EQ(steps.GetMpegList().size(), 1u) << window.Log();
        EXPECT_NE(window.Log().find("frame="), std::string::npos) << "the encoder's progress is in the log";
        EXPECT_NE(window.Log().find("STAT: Processing"), std::string::npos) << "so is the authoring tool's output";

        const std::string videoTs = steps.GetDvdPath() + "/VIDEO_TS";
        const std::string dvd = Output({"lsdvd", "-a", "-v", "-Oy", steps.GetDvdPath()});
        EXPECT_EQ(Match(dvd, "'format' : '(\\w+)'"), s.name) << dvd;
        EXPECT_EQ(std::regex_search(dvd, std::regex("'ix' : 2,\\s*'length'")), false) << "one title";
        EXPECT_NEAR(std::atof(Match(dvd, "'length' : ([0-9.]+)").c_str()), kSeconds, 0.6) << dvd;
        EXPECT_EQ(Match(dvd, "'format' : '(ac3)'"), "ac3") << dvd;
        EXPECT_EQ(Match(dvd, "'frequency' : (\\d+)"), "48000");
        EXPECT_EQ(Match(dvd, "'channels' : (\\d+)"), "1");

        const std::string probe = Output({"ffprobe", "-v", "error", "-show_entries",
                                          "stream=codec_name,width,height,r_frame_rate:format=duration", "-of",
                                          "default=nw=1", videoTs + "/VTS_01_1.VOB"});
        EXPECT_EQ(Match(probe, "codec_name=(mpeg2video)"), "mpeg2video") << probe;
        EXPECT_EQ(Match(probe, "width=(\\d+)") + "x" + Match(probe, "height=(\\d+)"), s.size);
        EXPECT_NE(probe.find(std::string("r_frame_rate=") + s.rate), std::string::npos) << probe;
        EXPECT_NE(probe.find("codec_name=ac3"), std::string::npos) << probe;
        for (const std::string& mpeg : steps.GetMpegList())
            fs::remove(mpeg);
    }
}

// A DVD says only 4:3 or 16:9: a recording of the DVD slide area (704 x 576 square pixels) must
// come out 4:3, not stretched to 16:9, and a wide one 16:9.
TEST(DvdTools, TheMpegTakesTheDvdShapeNearestTheRecording)
{
    testsupport::TempDir dir;
    for (const auto& [size, shape] : {std::pair {"704x576", "4:3"}, std::pair {"1280x720", "16:9"}}) {
        SCOPED_TRACE(size);
        const std::string avi = dir.file(std::string(size) + ".avi");
        Output({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", std::string("testsrc=d=1:r=15:s=") + size, "-c:v",
                "mjpeg", avi});
        const std::string base = dir.file(size);
        Output(EncoderCommand(VANTOREL_TEST_PROGRAM_DIR, avi, base, TV_FORMAT_PAL));
        const std::string probe = Output({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                                          "stream=display_aspect_ratio", "-of", "default=nw=1", base + ".mpg"});
        EXPECT_EQ(Match(probe, "display_aspect_ratio=([0-9:]+)"), shape) << probe;
    }
}

} // namespace
