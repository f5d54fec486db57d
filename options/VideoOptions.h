#pragma once
// The record of the output video options window, file "ToVideoOption.dat".
#include "options/OptionArchive.h"

#include <string>

namespace options {

inline constexpr const char* kVideoOptionsFile = "ToVideoOption.dat";
// The frame rates the options window accepts.
inline constexpr int kMinFrameRate = 10;
inline constexpr int kMaxFrameRate = 35;

struct CVideoOptions {
    CVideoOptions();

    int m_nFileFormat = 0;
    int m_nQuality = -1;
    int m_nVideoSize = -1;
    std::string m_strOutputPath;   // the home folder with a trailing '/'
    int m_nSoundSource = -1;
    int m_bMouseTrack = 0;
    int m_bRecordSound = 1;
    int m_bAudioCompress = 1;
    int m_bVideoCompress = 1;
    int m_nColorFormat = -1;
    int m_nFrameRate = 15;
    int m_nSampleRate = 2;         // 0 11025 Hz, 1 22050 Hz, anything else 44100 Hz
    int m_nSampleBits = 1;         // 0 8 bits, anything else 16 bits
    int m_nChannels = 1;           // 0 mono, anything else stereo
    std::string m_strSoundDevice;
    std::string m_strInputSource;
    std::string m_strVideoCompressor;
    std::string m_strAudioCompressor;
    int m_nCaptureMode = 1;        // 0 GDI, 1 DirectDraw
    int m_bUseTempFolder = 1;

    // Not stored: set by the opener, and by the mixer line search.
    int m_bBurnMode = 0;
    int m_bMixerLineFound = 0;
    std::string m_strMixerLine;

    void SerializeOptions(COptionArchive& ar);

    int SampleRateHz() const;
    int SampleBits() const { return m_nSampleBits == 0 ? 8 : 16; }
    int ChannelCount() const { return m_nChannels == 0 ? 1 : 2; }
    // The frame rate brought into the window's range: a damaged or hand-edited file must not
    // lift the capture's ceiling (0 means none) nor set it below what the window allows.
    int CaptureFrameRate() const;
};

} // namespace options
