// The recording window's arithmetic without any window: slide area, capture frame, the fitting
// of the office's window, the presets, the show settings and the file names.
#include "recording/PresentationFiles.h"
#include "recording/PresentationSettings.h"
#include "recording/RecordGeometry.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace recording;

namespace {

void ExpectRect(const RECT& r, int x, int y, int w, int h)
{
    EXPECT_EQ(r.left, x);
    EXPECT_EQ(r.top, y);
    EXPECT_EQ(Width(r), w);
    EXPECT_EQ(Height(r), h);
}

TEST(RecordGeometry, SlideAreaIsCentredBelowTheSeparatorAndClippedToTheWindow)
{
    // DVD size in a window that holds it: centred, 2 pixels below the separator's top at least.
    RECT client = MakeRect(0, 0, 1000, 700);
    int separatorTop = 60;
    RECT area = SlideAreaRect(client, separatorTop, 704, 576);
    ExpectRect(area, 148, (700 - 62 - 576) / 2 + 62, 704, 576);
    // Exactly as high as the room below the separator: it starts right there.
    ExpectRect(SlideAreaRect(MakeRect(0, 0, 704, 576 + 62), separatorTop, 704, 576), 0, 62, 704, 576);
    // A smaller window clips the width and the height.
    ExpectRect(SlideAreaRect(MakeRect(0, 0, 600, 500), separatorTop, 704, 576), 0, 62, 600, 438);
    // Odd leftovers round toward zero.
    ExpectRect(SlideAreaRect(MakeRect(0, 0, 705, 700), separatorTop, 704, 575), 0, 62 + 31, 704, 575);
    // A window with no room below the separator has an empty slide area.
    RECT none = SlideAreaRect(MakeRect(0, 0, 300, 40), separatorTop, 704, 576);
    EXPECT_EQ(Width(none), 300);
    EXPECT_EQ(Height(none), 0);
}

TEST(RecordGeometry, CaptureFrameIsTheSlideAreaLessItsMarginsTakenAbsolute)
{
    RECT area = MakeRect(148, 93, 704, 576);
    ExpectRect(CaptureFrameRect(area, {}), 148, 93, 704, 576);
    Margins sides;
    sides.left = 10;
    sides.right = 10;
    ExpectRect(CaptureFrameRect(area, sides), 158, 93, 684, 576);
    Margins all {5, 7, 3, 4};  // top, bottom, left, right
    ExpectRect(CaptureFrameRect(area, all), 151, 98, 697, 564);
    // Margins wider than the area: the negative width counts by its size.
    Margins wide;
    wide.left = 400;
    wide.right = 400;
    ExpectRect(CaptureFrameRect(area, wide), 548, 93, 96, 576);
}

TEST(RecordGeometry, FittingPutsThePaneOnTheSlideAreaWithItsSize)
{
    RECT slideArea = MakeRect(0, 0, 704, 576);
    // The office's window is the pane itself: it takes the slide area's place and size.
    RECT window = MakeRect(300, 200, 640, 480);
    ExpectRect(FitPowerPointRect(window, window, slideArea), 0, 0, 704, 576);
    // A pane inside a larger window (bars around it): the window moves up and left by the
    // pane's offset and grows by the difference.
    RECT main = MakeRect(300, 200, 800, 600);
    RECT pane = MakeRect(310, 260, 780, 500);
    ExpectRect(FitPowerPointRect(main, pane, slideArea), -10, -60, 724, 676);
}

TEST(RecordGeometry, PresetsSetDvdAndTheOtherSizesAndCustomerChangesNothing)
{
    ASSERT_EQ(kSizePresetCount, 6);
    EXPECT_STREQ(kSizePresets[0].text, "Customer");
    EXPECT_STREQ(kSizePresets[1].text, "704 X 576(DVD)");
    EXPECT_STREQ(kSizePresets[2].text, "480 X 576(SVCD)");
    EXPECT_STREQ(kSizePresets[3].text, "352 X 288(VCD)");
    EXPECT_STREQ(kSizePresets[4].text, "176 X 144");
    EXPECT_STREQ(kSizePresets[5].text, "160 X 128");
    int w = -1, h = -1;
    EXPECT_FALSE(PresetSize(0, &w, &h));
    EXPECT_EQ(w, -1);
    const int expected[][3] = {{1, 704, 576}, {2, 480, 576}, {3, 352, 288}, {4, 176, 144},
                               {5, 160, 128}, {6, 704, 576}, {-1, 704, 576}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e[0]);
        ASSERT_TRUE(PresetSize(e[0], &w, &h));
        EXPECT_EQ(w, e[1]);
        EXPECT_EQ(h, e[2]);
    }
}

TEST(PresentationSettingsMapping, RangeAdvanceAndSwitchesGoBothWays)
{
    PresentationSettings s;
    s.m_nFirstSlide = 1;
    s.m_nLastSlide = 10;
    s.m_bNoAnimation = 0;
    s.m_bNoNarration = 1;
    ShowSetup all = PlanShowSetup(s, 10);
    EXPECT_EQ(all.rangeType, 1);
    EXPECT_EQ(all.showWithAnimation, 1);
    EXPECT_EQ(all.showWithNarration, 0);
    s.m_nFirstSlide = 3;
    ShowSetup range = PlanShowSetup(s, 10);
    EXPECT_EQ(range.rangeType, 2);
    EXPECT_EQ(range.startingSlide, 3);
    EXPECT_EQ(range.endingSlide, 10);
    for (int index : {0, 1, 2}) {
        s.m_nAdvanceMode = index;
        EXPECT_EQ(PlanShowSetup(s, 10).advanceMode, index + 1);
    }
    // The construction defaults: slide 1 to 1 (all of a one-slide presentation), timings,
    // animation off, narration on.
    PresentationSettings defaults;
    ShowSetup first = PlanShowSetup(defaults, 5);
    EXPECT_EQ(first.rangeType, 2);
    EXPECT_EQ(first.startingSlide, 1);
    EXPECT_EQ(first.endingSlide, 1);
    EXPECT_EQ(first.advanceMode, 2);
    EXPECT_EQ(first.showWithAnimation, 0);
    EXPECT_EQ(first.showWithNarration, 1);
    EXPECT_EQ(PlanShowSetup(defaults, 1).rangeType, 1);

    // Pre-filling: a range gives that range, all slides 1 to the count; switches off tick.
    PresentationSettings read;
    read.m_bAutoRecord = 1;
    ReadShowSetup(range, 10, &read);
    EXPECT_EQ(read.m_nFirstSlide, 3);
    EXPECT_EQ(read.m_nLastSlide, 10);
    EXPECT_EQ(read.m_bNoAnimation, 0);
    EXPECT_EQ(read.m_bNoNarration, 1);
    EXPECT_EQ(read.m_nAdvanceMode, 1);
    EXPECT_EQ(read.m_bAutoRecord, 1);
    ShowSetup own;
    own.rangeType = 1;
    own.startingSlide = 4;
    own.advanceMode = 1;
    own.showWithAnimation = 1;
    own.showWithNarration = 1;
    ReadShowSetup(own, 12, &read);
    EXPECT_EQ(read.m_nFirstSlide, 1);
    EXPECT_EQ(read.m_nLastSlide, 12);
    EXPECT_EQ(read.m_nAdvanceMode, 0);
    EXPECT_EQ(read.m_bNoAnimation, 0);
    EXPECT_EQ(read.m_bNoNarration, 0);
}

TEST(PresentationFileNames, PpsIsShownThroughItsCopyAndNamesTheRecordings)
{
    testsupport::TempDir dir;
    std::string pps = dir.file("talk.pps");
    testsupport::WriteFile(pps, "first");
    std::string copy = PresentationComboPath(pps);
    EXPECT_EQ(copy, pps + ".temp.ppt");
    EXPECT_EQ(testsupport::ReadFile(copy), "first");
    // An older copy is overwritten; the copy stays.
    testsupport::WriteFile(pps, "second");
    EXPECT_EQ(PresentationComboPath(pps), copy);
    EXPECT_EQ(testsupport::ReadFile(copy), "second");
    EXPECT_EQ(PresentationBaseName(copy), "talk.pps.temp");
    EXPECT_EQ(OutputFileName("/videos/", PresentationBaseName(copy), 1), "/videos/talk.pps.temp_001.avi");
    EXPECT_EQ(OutputFileName("/videos/", "talk", 12), "/videos/talk_012.avi");

    // Only a lower-case "pps" end is copied.
    std::string upper = dir.file("LOUD.PPS");
    testsupport::WriteFile(upper, "x");
    EXPECT_EQ(PresentationComboPath(upper), upper);
    EXPECT_FALSE(std::filesystem::exists(upper + ".temp.ppt"));
    EXPECT_EQ(PresentationComboPath(dir.file("talk.ppt")), dir.file("talk.ppt"));
    EXPECT_EQ(PresentationBaseName("/a/b.c/talk.ppt"), "talk");
    EXPECT_EQ(PresentationBaseName("noextension"), "noextension");
    EXPECT_EQ(PresentationBaseName("/x/" + std::string(300, 'n') + ".ppt").size(), 260u);

    // No copy can be written (a folder has its name): the presentation itself is used.
    std::string blocked = dir.file("deck.pps");
    testsupport::WriteFile(blocked, "y");
    std::filesystem::create_directory(blocked + ".temp.ppt");
    EXPECT_EQ(PresentationComboPath(blocked), blocked);
}

}  // namespace
