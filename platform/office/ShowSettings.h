#pragma once
// The slide-show settings in PowerPoint's values, and how they map onto LibreOffice's show:
// what an opened document's own show properties read as, and what a run has to set up.
// No UNO here, so the mapping is testable without an office suite.
#include "platform/com/ComBase.h"

#include <string>
#include <vector>

namespace office {

// Values of the object model.
constexpr long ppSlideShowManualAdvance = 1;
constexpr long ppSlideShowUseSlideTimings = 2;
constexpr long ppSlideShowRehearseNewTimings = 3;
constexpr long ppShowTypeSpeaker = 1;
constexpr long ppShowTypeWindow = 2;
constexpr long ppShowTypeKiosk = 3;
constexpr long ppShowAll = 1;
constexpr long ppShowSlideRange = 2;
constexpr long ppShowNamedSlideShow = 3;

struct ShowSettings {
    long startingSlide = 1;
    long endingSlide = 1;
    long advanceMode = ppSlideShowUseSlideTimings;
    long showType = ppShowTypeSpeaker;
    long showWithNarration = 1;
    long showWithAnimation = 1;
    long rangeType = ppShowAll;
};

// A document's own show properties as LibreOffice holds them (slide numbers from 1).
struct DocumentShow {
    long slideCount = 0;
    long firstPage = 0;                 // 0: none named
    std::vector<long> customShowSlides; // the slides of the selected custom show, if any
    bool isAutomatic = false;           // LibreOffice's name: true means manual advance
    bool allowAnimations = true;
};

// What PowerPoint reports for such a document.
ShowSettings ReadDocumentShow(const DocumentShow& document);

// What a run sets up in LibreOffice.
struct ShowPlan {
    std::vector<long> slides;  // a custom show of these slides; empty: all slides
    bool isAutomatic = false;
    bool rehearse = false;
    bool fullScreen = true;
    bool removeAnimations = false;
    bool removeSounds = false;
};

// E_INVALIDARG for a range PowerPoint refuses (first or last outside 1..count, first after
// last) or an unknown advance mode; the plan is then untouched.
HRESULT PlanShow(const ShowSettings& settings, long slideCount, ShowPlan* plan);

// Checks a written value before it is stored, as PowerPoint does on put.
HRESULT CheckAdvanceMode(long value);
HRESULT CheckRangeType(long value);
HRESULT CheckShowType(long value);
HRESULT CheckSwitch(long value);  // 0 or 1 (PowerPoint's msoTrue -1 counts as 1)

}  // namespace office
