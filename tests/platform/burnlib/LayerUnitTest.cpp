// The parts of the burning layer that need no drive: disc type mapping and the tool runner.
#include "platform/burnlib/DiscTypeMapping.h"
#include "platform/burnlib/StarBurn.h"
#include "platform/burnlib/ToolProcess.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using platform::burnlib::DiscTypeFromProfile;
using platform::burnlib::MediaStatus;

TEST(DiscTypeMapping, ProfilesMapOntoTheEnginesCodes)
{
    const std::pair<int, LONG> cases[] = {
        {0x08, 4},  {0x09, 2},  {0x0a, 3},  {0x10, 10}, {0x11, 5},  {0x12, 6},
        {0x13, 9},  {0x14, 9},  {0x15, 13}, {0x16, 13}, {0x1a, 8},  {0x1b, 7},
        {0x2b, 15}, {0xffff, 8}, {0x41, 0}, {0x00, 0},
    };
    for (const auto& [profile, code] : cases) {
        EXPECT_EQ(DiscTypeFromProfile(profile, MediaStatus::Blank), code) << std::hex << profile;
    }
    // A full or unsuitable disc keeps its type; no disc is 14 whatever the profile says.
    EXPECT_EQ(DiscTypeFromProfile(0x1b, MediaStatus::Full), 7);
    EXPECT_EQ(DiscTypeFromProfile(0x10, MediaStatus::Unsuitable), 10);
    EXPECT_EQ(DiscTypeFromProfile(0x11, MediaStatus::Empty), 14);
    EXPECT_EQ(DiscTypeFromProfile(0x11, MediaStatus::Unready), 14);
}

TEST(TocRecord, TracksLieAtTheirPackedOffsets)
{
    TOC_INFORMATION toc{};
    toc.SetTrackCount(2);
    toc.SetTrack(1, -150, 70000, 2048);
    EXPECT_EQ(toc.m_Raw[10], 2);
    LONG end = 0;
    std::memcpy(&end, toc.m_Raw + 22 + 34, sizeof end);
    EXPECT_EQ(end, 70000);
    EXPECT_EQ(toc.TrackStart(1), -150);
    EXPECT_EQ(toc.TrackBlockSize(1), 2048u);
    EXPECT_GE(sizeof toc.m_Raw, 38 + 34 * 98 + 4u); // room for 99 tracks
}

TEST(ToolProcess, CapturesBothStreamsAndTheExitCodeAndReportsAMissingProgram)
{
    const platform::burnlib::ToolResult result =
        platform::burnlib::RunTool({"sh", "-c", "echo out; echo err >&2; exit 3"});
    EXPECT_TRUE(result.m_bStarted);
    EXPECT_EQ(result.m_nExitCode, 3);
    EXPECT_NE(result.m_strOutput.find("out\n"), std::string::npos);
    EXPECT_NE(result.m_strOutput.find("err\n"), std::string::npos);

    // Arguments reach the tool as they are: no shell sees them.
    const platform::burnlib::ToolResult quoted =
        platform::burnlib::RunTool({"printf", "%s", "a b; rm -rf /nothing"});
    EXPECT_EQ(quoted.m_strOutput, "a b; rm -rf /nothing");

    const platform::burnlib::ToolResult missing =
        platform::burnlib::RunTool({"vantorel-no-such-tool"});
    EXPECT_FALSE(missing.m_bStarted);
    EXPECT_EQ(missing.m_nErrno, ENOENT);
}

} // namespace
