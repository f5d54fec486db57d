#include "options/VideoOptions.h"

#include "platform/shell/Places.h"

#include <algorithm>

namespace options {

CVideoOptions::CVideoOptions() : m_strOutputPath(platform::GetHomeFolder()) {}

void CVideoOptions::SerializeOptions(COptionArchive& ar)
{
    ar.Field(m_nFileFormat)
        .Field(m_nQuality)
        .Field(m_nVideoSize)
        .Field(m_strOutputPath)
        .Field(m_nSoundSource)
        .Field(m_bMouseTrack)
        .Field(m_bRecordSound)
        .Field(m_bAudioCompress)
        .Field(m_bVideoCompress)
        .Field(m_nColorFormat)
        .Field(m_nFrameRate)
        .Field(m_nSampleRate)
        .Field(m_nSampleBits)
        .Field(m_nChannels)
        .Field(m_strSoundDevice)
        .Field(m_strInputSource)
        .Field(m_strVideoCompressor)
        .Field(m_strAudioCompressor)
        .Field(m_nCaptureMode)
        .Field(m_bUseTempFolder);
}

int CVideoOptions::SampleRateHz() const
{
    switch (m_nSampleRate) {
    case 0: return 11025;
    case 1: return 22050;
    default: return 44100;
    }
}

int CVideoOptions::CaptureFrameRate() const
{
    return std::clamp(m_nFrameRate, kMinFrameRate, kMaxFrameRate);
}

} // namespace options
