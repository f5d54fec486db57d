#include "options/RecordingOptions.h"

namespace options {

void CRecordingOptions::SerializeOptions(COptionArchive& ar)
{
    ar.Field(m_nPptHeight)
        .Field(m_nPptWidth)
        .Field(m_nVideoHeight)
        .Field(m_nVideoWidth)
        .Field(m_nTopMargin)
        .Field(m_nBottomMargin)
        .Field(m_nLeftMargin)
        .Field(m_nRightMargin)
        .Field(m_burn.m_strRecorder)
        .Field(m_burn.m_strSpeed)
        .Field(m_burn.m_strVolumeLabel)
        .Field(m_burn.m_bDeleteTemp)
        .Field(m_burn.m_bEject)
        .Field(m_burn.m_bOpc)
        .Field(m_burn.m_nTvFormat);
}

} // namespace options
