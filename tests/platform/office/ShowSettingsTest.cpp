// How PowerPoint's show settings map onto LibreOffice's show, both ways.
#include "platform/office/ShowSettings.h"

#include <gtest/gtest.h>

using namespace office;

TEST(ReadDocumentShow, RangesComeFromTheCustomShowOrTheFirstPage)
{
    DocumentShow all;
    all.slideCount = 10;
    ShowSettings s = ReadDocumentShow(all);
    EXPECT_EQ(s.rangeType, ppShowAll);
    EXPECT_EQ(s.startingSlide, 1);
    EXPECT_EQ(s.endingSlide, 10);

    DocumentShow range = all;
    range.customShowSlides = {3, 4, 5, 6};
    s = ReadDocumentShow(range);
    EXPECT_EQ(s.rangeType, ppShowSlideRange);
    EXPECT_EQ(s.startingSlide, 3);
    EXPECT_EQ(s.endingSlide, 6);

    // A custom show over every slide is all slides; one with gaps or out of order is no range.
    range.customShowSlides = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(ReadDocumentShow(range).rangeType, ppShowAll);
    range.customShowSlides = {2, 5};
    EXPECT_EQ(ReadDocumentShow(range).rangeType, ppShowAll);
    range.customShowSlides = {4, 3};
    EXPECT_EQ(ReadDocumentShow(range).rangeType, ppShowAll);
    // A custom show naming slides that are not there (0: a page of another document).
    range.customShowSlides = {0, 1};
    EXPECT_EQ(ReadDocumentShow(range).rangeType, ppShowAll);

    DocumentShow later = all;
    later.firstPage = 4;
    s = ReadDocumentShow(later);
    EXPECT_EQ(s.rangeType, ppShowSlideRange);
    EXPECT_EQ(s.startingSlide, 4);
    EXPECT_EQ(s.endingSlide, 10);
    later.firstPage = 1;
    EXPECT_EQ(ReadDocumentShow(later).rangeType, ppShowAll);
    later.firstPage = 11;
    EXPECT_EQ(ReadDocumentShow(later).rangeType, ppShowAll);
}

TEST(ReadDocumentShow, AdvanceAndPlaybackSwitches)
{
    DocumentShow d;
    d.slideCount = 3;
    ShowSettings s = ReadDocumentShow(d);
    EXPECT_EQ(s.advanceMode, ppSlideShowUseSlideTimings);
    EXPECT_EQ(s.showWithAnimation, 1);
    EXPECT_EQ(s.showWithNarration, 1);
    // LibreOffice's IsAutomatic means the presenter advances by hand.
    d.isAutomatic = true;
    d.allowAnimations = false;
    s = ReadDocumentShow(d);
    EXPECT_EQ(s.advanceMode, ppSlideShowManualAdvance);
    EXPECT_EQ(s.showWithAnimation, 0);
}

TEST(PlanShow, RangesBecomeCustomShowsOnlyWhenTheyLeaveSlidesOut)
{
    ShowSettings s;
    ShowPlan plan;
    s.rangeType = ppShowSlideRange;
    s.startingSlide = 1;
    s.endingSlide = 10;
    ASSERT_EQ(PlanShow(s, 10, &plan), S_OK);
    EXPECT_TRUE(plan.slides.empty());

    s.startingSlide = 3;
    ASSERT_EQ(PlanShow(s, 10, &plan), S_OK);
    EXPECT_EQ(plan.slides, (std::vector<long> {3, 4, 5, 6, 7, 8, 9, 10}));

    // The range is ignored when all slides are asked for.
    s.rangeType = ppShowAll;
    s.startingSlide = 0;
    ASSERT_EQ(PlanShow(s, 10, &plan), S_OK);
    EXPECT_TRUE(plan.slides.empty());
}

TEST(PlanShow, RefusedRangesAndModesLeaveThePlanAlone)
{
    ShowPlan plan;
    plan.slides = {7};
    ShowSettings s;
    s.rangeType = ppShowSlideRange;
    for (auto [first, last] : {std::pair {0L, 5L}, std::pair {1L, 11L}, std::pair {6L, 5L}}) {
        s.startingSlide = first;
        s.endingSlide = last;
        EXPECT_EQ(PlanShow(s, 10, &plan), E_INVALIDARG) << first << "-" << last;
    }
    s = ShowSettings {};
    s.advanceMode = 0;
    EXPECT_EQ(PlanShow(s, 10, &plan), E_INVALIDARG);
    s.advanceMode = 4;
    EXPECT_EQ(PlanShow(s, 10, &plan), E_INVALIDARG);
    EXPECT_EQ(PlanShow(ShowSettings {}, 0, &plan), E_INVALIDARG);
    EXPECT_EQ(PlanShow(ShowSettings {}, 10, nullptr), E_INVALIDARG);
    EXPECT_EQ(plan.slides, std::vector<long> {7});
}

TEST(PlanShow, ModesAndSwitches)
{
    ShowSettings s;
    ShowPlan plan;
    struct Case {
        long advance;
        bool automatic, rehearse;
    } cases[] = {{ppSlideShowManualAdvance, true, false},
                 {ppSlideShowUseSlideTimings, false, false},
                 {ppSlideShowRehearseNewTimings, false, true}};
    for (const Case& c : cases) {
        s.advanceMode = c.advance;
        ASSERT_EQ(PlanShow(s, 4, &plan), S_OK);
        EXPECT_EQ(plan.isAutomatic, c.automatic) << c.advance;
        EXPECT_EQ(plan.rehearse, c.rehearse) << c.advance;
    }
    EXPECT_TRUE(plan.fullScreen);
    EXPECT_FALSE(plan.removeAnimations);
    EXPECT_FALSE(plan.removeSounds);
    s.showType = ppShowTypeWindow;
    s.showWithAnimation = 0;
    s.showWithNarration = 0;
    ASSERT_EQ(PlanShow(s, 4, &plan), S_OK);
    EXPECT_FALSE(plan.fullScreen);
    EXPECT_TRUE(plan.removeAnimations);
    EXPECT_TRUE(plan.removeSounds);
}

TEST(CheckValues, OnlyTheObjectModelsValuesAreTaken)
{
    EXPECT_EQ(CheckAdvanceMode(1), S_OK);
    EXPECT_EQ(CheckAdvanceMode(3), S_OK);
    EXPECT_EQ(CheckAdvanceMode(0), E_INVALIDARG);
    EXPECT_EQ(CheckRangeType(1), S_OK);
    EXPECT_EQ(CheckRangeType(2), S_OK);
    EXPECT_EQ(CheckRangeType(3), E_INVALIDARG);
    EXPECT_EQ(CheckShowType(2), S_OK);
    EXPECT_EQ(CheckShowType(4), E_INVALIDARG);
    EXPECT_EQ(CheckSwitch(-1), S_OK);
    EXPECT_EQ(CheckSwitch(2), E_INVALIDARG);
}
