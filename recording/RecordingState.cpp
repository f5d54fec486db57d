#include "recording/RecordingState.h"

#include "recording/PresentationFiles.h"

namespace recording {

RecordEnabling GetRecordEnabling(bool bRecording, bool bPresentationOpen)
{
    return {!bRecording, bRecording, bPresentationOpen, !bRecording};
}

const char* CRecordingState::StatusText(int nRecordState)
{
    switch (nRecordState) {
    case RECORD_STATE_RECORDING: return kRecordingText;
    case RECORD_STATE_PAUSED: return kPausedText;
    default: return kReadyText;
    }
}

const char* CRecordingState::PauseButtonText(int nRecordState)
{
    return nRecordState == RECORD_STATE_PAUSED ? "Start" : "Pause";
}

const std::string& CRecordingState::NameOutputFile(const std::string& strFolder, const std::string& strBaseName)
{
    m_strOutputFile = OutputFileName(strFolder, strBaseName, m_nFileCounter);
    return m_strOutputFile;
}

void CRecordingState::RecordingStarted()
{
    m_videoClock.Reset();
    m_videoClock.Run(std::chrono::steady_clock::now());
    m_bRecording = true;
    m_nRecordState = RECORD_STATE_RECORDING;
}

bool CRecordingState::TogglePause()
{
    if (!m_bRecording)
        return false;
    m_nRecordState = m_nRecordState == RECORD_STATE_RECORDING ? RECORD_STATE_PAUSED : RECORD_STATE_RECORDING;
    if (m_nRecordState == RECORD_STATE_PAUSED)
        m_videoClock.Halt(std::chrono::steady_clock::now());
    else
        m_videoClock.Run(std::chrono::steady_clock::now());
    return true;
}

AfterStop CRecordingState::RecordingStopped(bool bWritten, bool bBurnMode)
{
    m_videoClock.Halt(std::chrono::steady_clock::now());
    m_bRecording = false;
    m_nRecordState = RECORD_STATE_READY;
    ++m_nFileCounter;
    if (!bWritten)
        return AfterStop::WriteFailed;
    if (!bBurnMode)
        return AfterStop::ShowFinished;
    if (m_bNewPresentationPending || m_RecordedFiles.empty()) {
        m_RecordedFiles.push_back(m_strOutputFile);
        m_bNewPresentationPending = false;
    } else {
        m_RecordedFiles.back() = m_strOutputFile;
    }
    if (m_bBurnAsked)
        return AfterStop::Nothing;
    m_bBurnAsked = true;
    return AfterStop::AskBurn;
}

}  // namespace recording
