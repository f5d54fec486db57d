#include "recording/PresentationSettings.h"

namespace recording {

ShowSetup PlanShowSetup(const PresentationSettings& settings, long slideCount)
{
    ShowSetup setup;
    setup.advanceMode = settings.m_nAdvanceMode + 1;
    if (settings.m_nFirstSlide == 1 && settings.m_nLastSlide == slideCount) {
        setup.rangeType = 1;
    } else {
        setup.rangeType = 2;
        setup.startingSlide = settings.m_nFirstSlide;
        setup.endingSlide = settings.m_nLastSlide;
    }
    setup.showWithAnimation = settings.m_bNoAnimation != 1 ? 1 : 0;
    setup.showWithNarration = settings.m_bNoNarration != 1 ? 1 : 0;
    return setup;
}

void ReadShowSetup(const ShowSetup& setup, long slideCount, PresentationSettings* settings)
{
    if (setup.rangeType == 2) {
        settings->m_nFirstSlide = static_cast<int>(setup.startingSlide);
        settings->m_nLastSlide = static_cast<int>(setup.endingSlide);
    } else {
        settings->m_nFirstSlide = 1;
        settings->m_nLastSlide = static_cast<int>(slideCount);
    }
    settings->m_bNoAnimation = setup.showWithAnimation == 0 ? 1 : 0;
    settings->m_bNoNarration = setup.showWithNarration == 0 ? 1 : 0;
    settings->m_nAdvanceMode = static_cast<int>(setup.advanceMode - 1);
}

}  // namespace recording
