#pragma once
// The record of the recording window, file "videoRecording.dat": its own eight geometry values,
// then the seven settings of the program-wide burn window object, read from and written to that
// object directly.
#include "options/BurnSettings.h"
#include "options/OptionArchive.h"

namespace options {

inline constexpr const char* kRecordingOptionsFile = "videoRecording.dat";

struct CRecordingOptions {
    explicit CRecordingOptions(CBurnSettings& burn) : m_burn(burn) {}

    int m_nPptHeight = 640;
    int m_nPptWidth = 640;
    int m_nVideoHeight = 640;
    int m_nVideoWidth = 640;
    int m_nTopMargin = 0;
    int m_nBottomMargin = 0;
    int m_nLeftMargin = 0;
    int m_nRightMargin = 0;

    CBurnSettings& m_burn;

    void SerializeOptions(COptionArchive& ar);
};

} // namespace options
