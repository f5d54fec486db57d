#include "platform/office/ShowSettings.h"

namespace office {

namespace {
bool IsContiguous(const std::vector<long>& slides)
{
    for (size_t i = 1; i < slides.size(); ++i)
        if (slides[i] != slides[i - 1] + 1)
            return false;
    return !slides.empty();
}
}  // namespace

ShowSettings ReadDocumentShow(const DocumentShow& document)
{
    ShowSettings s;
    long count = document.slideCount;
    s.startingSlide = 1;
    s.endingSlide = count;
    if (IsContiguous(document.customShowSlides) && document.customShowSlides.front() >= 1
        && document.customShowSlides.back() <= count
        && !(document.customShowSlides.front() == 1 && document.customShowSlides.back() == count)) {
        s.rangeType = ppShowSlideRange;
        s.startingSlide = document.customShowSlides.front();
        s.endingSlide = document.customShowSlides.back();
    } else if (document.customShowSlides.empty() && document.firstPage > 1
               && document.firstPage <= count) {
        // A show that starts later runs to the end.
        s.rangeType = ppShowSlideRange;
        s.startingSlide = document.firstPage;
    }
    s.advanceMode = document.isAutomatic ? ppSlideShowManualAdvance : ppSlideShowUseSlideTimings;
    s.showWithAnimation = document.allowAnimations ? 1 : 0;
    // LibreOffice keeps no narration switch: a document's narration is on.
    s.showWithNarration = 1;
    return s;
}

HRESULT PlanShow(const ShowSettings& settings, long slideCount, ShowPlan* plan)
{
    if (!plan || CheckAdvanceMode(settings.advanceMode) != S_OK || slideCount < 1)
        return E_INVALIDARG;
    ShowPlan p;
    if (settings.rangeType == ppShowSlideRange) {
        long first = settings.startingSlide, last = settings.endingSlide;
        if (first < 1 || last > slideCount || first > last)
            return E_INVALIDARG;
        if (first != 1 || last != slideCount)
            for (long n = first; n <= last; ++n)
                p.slides.push_back(n);
    }
    p.isAutomatic = settings.advanceMode == ppSlideShowManualAdvance;
    p.rehearse = settings.advanceMode == ppSlideShowRehearseNewTimings;
    p.fullScreen = settings.showType != ppShowTypeWindow;
    p.removeAnimations = settings.showWithAnimation == 0;
    p.removeSounds = settings.showWithNarration == 0;
    *plan = p;
    return S_OK;
}

HRESULT CheckAdvanceMode(long value)
{
    return value >= ppSlideShowManualAdvance && value <= ppSlideShowRehearseNewTimings
        ? S_OK
        : E_INVALIDARG;
}

HRESULT CheckRangeType(long value)
{
    // A named show is a range PowerPoint reads but this program never writes.
    return value == ppShowAll || value == ppShowSlideRange ? S_OK : E_INVALIDARG;
}

HRESULT CheckShowType(long value)
{
    return value >= ppShowTypeSpeaker && value <= ppShowTypeKiosk ? S_OK : E_INVALIDARG;
}

HRESULT CheckSwitch(long value)
{
    return value == 0 || value == 1 || value == -1 ? S_OK : E_INVALIDARG;
}

}  // namespace office
