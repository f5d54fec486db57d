// The conversion and authoring steps through their whole sequence, with stand-in tools in the
// program folder: fg copies its input's name into the MPEG file (or fails part-way), ar records
// how it was called and makes a VIDEO_TS folder. The real tools are in DvdToolsTest.
#include "DvdTestWindow.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sys/stat.h>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

// fg -i file:<input> -y -target <target> ... file:<output>
constexpr const char* kFakeEncoder = R"(#!/bin/sh
in=${2#file:}; for last; do out=${last#file:}; done
echo "fg $5 $in"
prev=; for a; do [ "$prev" = -force_key_frames ] && echo "key frames $a"; prev=$a; done
case "$in" in *bad*) printf cut > "$out"; echo "No space left on device" >&2; exit 1;; esac
printf '%s' "$in" > "$out"
)";
// ar -o <folder> -x <control file>; records its environment's format and its arguments.
constexpr const char* kFakeAuthoring = R"(#!/bin/sh
printf '%s\n' "$VIDEO_FORMAT" "$@" > "$(dirname "$0")/ar.called"
echo "authoring $2"
mkdir -p "$2/VIDEO_TS" && printf vob > "$2/VIDEO_TS/VTS_01_1.VOB"
[ -z "$AR_FAILS" ] || exit 2
)";

void WriteProgram(const std::string& path, const char* text)
{
    WriteFile(path, text);
    ::chmod(path.c_str(), 0755);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0, end;
    while ((end = text.find('\n', pos)) != std::string::npos) {
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

std::string ControlFile(const std::vector<std::string>& mpegs)
{
    std::string text = "<dvdauthor>\n\t<vmgm />\n\t\t<titleset>\n\t\t\t<titles>\n            <pgc>\n";
    for (const std::string& m : mpegs)
        text += "            <vob file=\"" + m + "\" />\n";
    return text + "            </pgc>\n\t\t\t</titles>\n\t\t</titleset>\n</dvdauthor>\n";
}

class DvdSteps : public ::testing::Test {
protected:
    // Every folder the steps meet is named by folder(): "plain" or a name no shell or XML writer
    // may take for anything but a name.
    void MakeFolders(const std::string& name)
    {
        m_strTemp = m_dir.file(name + " tmp") + "/";
        m_window.m_strProgramFolder = m_dir.file(name + " program") + "/";
        m_window.m_strOutputFolder = m_dir.file(name + " output") + "/";
        for (const std::string& f : {m_strTemp, m_window.m_strProgramFolder, m_window.m_strOutputFolder})
            fs::create_directories(f);
        m_pTmp = std::make_unique<testsupport::ScopedEnv>("TMPDIR", m_strTemp);
        WriteProgram(m_window.m_strProgramFolder + "fg", kFakeEncoder);
        WriteProgram(m_window.m_strProgramFolder + "ar", kFakeAuthoring);
    }
    std::string Video(const std::string& name)
    {
        const std::string path = m_window.m_strOutputFolder + name;
        WriteFile(path, "avi");
        return path;
    }
    std::string Called() { return ReadFile(m_window.m_strProgramFolder + "ar.called"); }

    testsupport::TempDir m_dir;
    std::string m_strTemp;
    std::unique_ptr<testsupport::ScopedEnv> m_pTmp;
    CDvdTestWindow m_window;
    CDvdSteps m_steps {m_window};
};

TEST_F(DvdSteps, ConvertedFilesAreAuthoredInListOrderAndAFailedConversionIsLeftOut)
{
    MakeFolders("plain");
    m_window.m_Videos = {Video("a.avi"), Video("bad.avi"), Video("b.avi"), Video("c.avi")};
    m_window.m_nTvFormat = TV_FORMAT_NTSC;
    const std::string out = m_window.m_strOutputFolder, dvd = out + "qvrtmpd001";
    fs::create_directories(dvd + "/VIDEO_TS");
    WriteFile(dvd + "/VIDEO_TS/VTS_09_1.VOB", "what the last run left");

    ASSERT_TRUE(m_window.RunSteps(m_steps)) << m_window.Log();
    EXPECT_TRUE(m_window.m_Failures.empty());
    EXPECT_EQ(m_window.m_Posts, (std::vector<std::pair<WPARAM, LPARAM>> {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 0}, {2, 0}}));
    EXPECT_EQ(m_window.m_Statuses.back(), "Now burn to DVD...");

    // The encoder that failed part-way: its words and ours in the log, its cut file gone.
    EXPECT_NE(m_window.Log().find("No space left on device"), std::string::npos);
    EXPECT_NE(m_window.Log().find("Converting " + m_window.m_Videos[1] + " failed (exit code 1): the file is left out of the DVD."),
              std::string::npos) << m_window.Log();
    for (const auto& entry : fs::directory_iterator(m_strTemp))
        EXPECT_NE(ReadFile(entry.path()), "cut") << "the cut file is gone";

    // One MPEG per converted file, in list order, each under a new name beside its placeholder.
    const std::vector<std::string>& mpegs = m_steps.GetMpegList();
    ASSERT_EQ(mpegs.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string& video = m_window.m_Videos[i == 0 ? 0 : i + 1];
        EXPECT_TRUE(std::regex_match(mpegs[i], std::regex(m_strTemp + "tes[A-Za-z0-9]{6}\\.tmp\\.mpg"))) << mpegs[i];
        EXPECT_EQ(ReadFile(mpegs[i]), video);
        EXPECT_TRUE(fs::exists(mpegs[i].substr(0, mpegs[i].size() - 4))) << "placeholder";
        EXPECT_NE(m_window.Log().find("fg ntsc-dvd " + video + "\n"), std::string::npos);
    }

    EXPECT_EQ(m_steps.GetXmlPath(), out + "qvrtmpf001.xml");
    EXPECT_EQ(m_steps.GetDvdPath(), dvd);
    EXPECT_EQ(ReadFile(out + "qvrtmpf001.xml"), ControlFile(mpegs));
    EXPECT_EQ(Lines(ReadFile(out + "qvrtmpf001.xml")).size(), 12u);
    EXPECT_EQ(ReadFile(m_steps.GetBatchPath()), "export VIDEO_FORMAT=NTSC\n"
                                                "mkdir -p '" + dvd + "'\n"
                                                "find '" + dvd + "' -type f -delete\n"
                                                "'" + m_window.m_strProgramFolder + "ar' -o '" + dvd + "' -x '" +
                                                    out + "qvrtmpf001.xml'\n");
    EXPECT_EQ(Called(), "NTSC\n-o\n" + dvd + "\n-x\n" + out + "qvrtmpf001.xml\n");
    EXPECT_FALSE(fs::exists(dvd + "/VIDEO_TS/VTS_09_1.VOB")) << "the script empties the DVD folder first";
    EXPECT_TRUE(fs::exists(dvd + "/VIDEO_TS/VTS_01_1.VOB"));
}

TEST_F(DvdSteps, WithChaptersEachFileGetsItsSlideChangesAndAFileWithoutALogNone)
{
    MakeFolders("plain");
    m_window.m_Videos = {Video("a_001.avi"), Video("b_001.avi"), Video("c_001.avi")};
    m_window.m_bChapters = true;
    const std::string out = m_window.m_strOutputFolder;
    WriteFile(out + "a_001.slides.csv", "slide,position,time_ms\n1,1,0\n2,2,1500\n3,3,3723004\n");
    WriteFile(out + "c_001.slides.csv", "slide,position,time_ms\n1,1,0\n2,2,x\n");

    ASSERT_TRUE(m_window.RunSteps(m_steps)) << m_window.Log();
    const std::vector<std::string>& mpegs = m_steps.GetMpegList();
    ASSERT_EQ(mpegs.size(), 3u);
    EXPECT_EQ(m_steps.GetMpegSources(), m_window.m_Videos);
    std::string expected = ControlFile(mpegs);
    const std::string first = "<vob file=\"" + mpegs[0] + "\"";
    expected.replace(expected.find(first), first.size(), first + " chapters=\"0:00:00.000,0:00:01.540,1:02:03.044\"");
    EXPECT_EQ(ReadFile(out + "qvrtmpf001.xml"), expected);
    // The groups of pictures begin at the slide changes; the chapters a frame later take them.
    EXPECT_NE(m_window.Log().find("key frames 0.000,0.500,1.000,1.500,2.059,"), std::string::npos) << m_window.Log();
    EXPECT_NE(m_window.Log().find(",3722.444,3723.004\n"), std::string::npos);
    EXPECT_EQ(m_window.Log().find("key frames", m_window.Log().find("key frames") + 1), std::string::npos);
    for (const char* video : {"b_001", "c_001"})
        EXPECT_NE(m_window.Log().find("No chapters for " + out + video + ".avi: its slide timing log " + out + video +
                                      ".slides.csv cannot be read"),
                  std::string::npos)
            << m_window.Log();
}

TEST_F(DvdSteps, AnEmptyListIsStillAuthoredAndHandedOnToTheBurn)
{
    MakeFolders("plain");
    ASSERT_TRUE(m_window.RunSteps(m_steps)) << m_window.Log();
    EXPECT_EQ(ReadFile(m_steps.GetXmlPath()), ControlFile({}));
    EXPECT_EQ(Lines(ReadFile(m_steps.GetXmlPath())).size(), 9u);
    EXPECT_EQ(Called().substr(0, 4), "PAL\n");
    EXPECT_EQ(m_window.m_Posts, (std::vector<std::pair<WPARAM, LPARAM>> {{0, 0}, {1, 0}, {2, 0}}));
}

TEST_F(DvdSteps, NoPathCanRunACommandOrBreakTheControlFile)
{
    // In the temporary folder (the MPEG files), the program folder, the output folder and the
    // video's own name.
    MakeFolders("it's a $(touch pwned) `touch pwned` & <b> \"q\"; x\ny");
    m_window.m_Videos = {Video("-v $HOME.avi")};
    ASSERT_TRUE(m_window.RunSteps(m_steps)) << m_window.Log();

    ASSERT_EQ(m_steps.GetMpegList().size(), 1u);
    const std::string mpeg = m_steps.GetMpegList()[0];
    EXPECT_EQ(ReadFile(mpeg), m_window.m_Videos[0]) << "fg got the input path whole";
    const std::string out = m_window.m_strOutputFolder;
    EXPECT_EQ(Called(), "PAL\n-o\n" + out + "qvrtmpd001\n-x\n" + out + "qvrtmpf001.xml\n") << "ar got every path whole";
    EXPECT_TRUE(fs::exists(out + "qvrtmpd001/VIDEO_TS/VTS_01_1.VOB"));
    EXPECT_EQ(Lines(ReadFile(m_steps.GetXmlPath()))[5],
              "            <vob file=\"" + m_dir.path().string() +
                  "/it&apos;s a $(touch pwned) `touch pwned` &amp; &lt;b&gt; &quot;q&quot;; x&#10;y tmp/" +
                  fs::path(mpeg).filename().string() + "\" />");
    for (const auto& entry : fs::recursive_directory_iterator(m_dir.path()))
        EXPECT_NE(entry.path().filename(), "pwned") << entry.path();
    EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(DvdSteps, AMissingEncoderIsShownOnceAndEndsTheSequence)
{
    MakeFolders("plain");
    // A link to an ffmpeg that is not installed.
    fs::remove(m_window.m_strProgramFolder + "fg");
    fs::create_symlink(m_dir.file("no-ffmpeg"), m_window.m_strProgramFolder + "fg");
    m_window.m_Videos = {Video("a.avi"), Video("b.avi")};
    EXPECT_FALSE(m_window.RunSteps(m_steps));
    m_steps.Stop();

    EXPECT_EQ(m_window.m_Failures, std::vector<std::string> {"Error on CreateProcess()"});
    EXPECT_EQ(m_window.m_Posts, (std::vector<std::pair<WPARAM, LPARAM>> {{0, 0}})) << "nothing posted after it";
    EXPECT_EQ(m_steps.GetConversionIndex(), 0);
    EXPECT_NE(m_window.Log().find("Install the Debian package \"ffmpeg\""), std::string::npos) << m_window.Log();
}

TEST_F(DvdSteps, AFailedAuthoringLeavesNoTreeToBurnAndAMissingToolIsNamed)
{
    MakeFolders("plain");
    m_window.m_Videos = {Video("a.avi")};
    {
        testsupport::ScopedEnv fails("AR_FAILS", "1");
        ASSERT_TRUE(m_window.RunSteps(m_steps)) << m_window.Log();
    }
    EXPECT_FALSE(fs::exists(m_steps.GetDvdPath() + "/VIDEO_TS"));
    EXPECT_NE(m_window.Log().find("Authoring the DVD failed (exit code 2)."), std::string::npos) << m_window.Log();
    EXPECT_EQ(m_window.m_Statuses.back(), "Now burn to DVD...") << "the burn step still comes and finds nothing";

    fs::remove(m_window.m_strProgramFolder + "ar");
    m_window.m_Log.clear();
    ASSERT_TRUE(m_window.RunSteps(m_steps)) << m_window.Log();
    EXPECT_NE(m_window.Log().find("Install the Debian package \"dvdauthor\""), std::string::npos) << m_window.Log();
    EXPECT_TRUE(m_window.m_Failures.empty());
}

} // namespace
