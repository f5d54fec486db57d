#include "options/PresentationModeOptions.h"

namespace options {

void CPresentationModeOptions::SerializeOptions(COptionArchive& ar)
{
    // The last slide is stored before the first.
    ar.Field(m_bAutoRecord)
        .Field(m_bFullScreen)
        .Field(m_bPageRecord)
        .Field(m_strPageText)
        .Field(m_nSecondsPerSlide)
        .Field(m_bNoAnimation)
        .Field(m_bNoNarration)
        .Field(m_nLastSlide)
        .Field(m_nFirstSlide)
        .Field(m_nAdvanceMode);
}

} // namespace options
