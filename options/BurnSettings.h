#pragma once
// The seven settings of the burn window that travel in the recording window's option file. The
// burn window holds one of these for the whole run of the program; the recording window's record
// reads it when saving and writes it when loading.
#include <string>

namespace options {

struct CBurnSettings {
    std::string m_strRecorder;     // text of the "Record Driver:" list
    std::string m_strSpeed;        // text of the "Speed:" list
    std::string m_strVolumeLabel;  // "Disc Volum:"
    int m_bDeleteTemp = 0;
    int m_bEject = 0;
    int m_bOpc = 0;
    int m_nTvFormat = 0;           // 0 PAL, 1 NTSC
};

} // namespace options
