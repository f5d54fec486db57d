#pragma once
// The record of the presentation mode window, file "RecordCustom" (no extension).
#include "options/OptionArchive.h"

#include <string>

namespace options {

inline constexpr const char* kPresentationModeFile = "RecordCustom";

struct CPresentationModeOptions {
    int m_bAutoRecord = 0;
    int m_bFullScreen = 0;
    int m_bPageRecord = 0;
    std::string m_strPageText;
    int m_nSecondsPerSlide = 5;
    int m_bNoAnimation = 0;
    int m_bNoNarration = 0;
    int m_nLastSlide = 0;
    int m_nFirstSlide = 0;
    int m_nAdvanceMode = -1;   // 0 manual, 1 slide timings, 2 rehearse new timings

    void SerializeOptions(COptionArchive& ar);
};

} // namespace options
