#pragma once
// The recording window's bookkeeping of its recordings, without windows, graph or office: the
// Ready, Recording and Paused states, the numbered output files, the files recorded in burn mode
// and what the window does after a stop. The window derives from it and keeps the steps that
// touch the screen, the graph and the office.
#include "recording/RecordResource.h"
#include "recording/SlideTimingLog.h"

#include <string>
#include <vector>

namespace recording {

inline constexpr const char* kReadyText = "Ready, Click on 'Start' button to start.";
inline constexpr const char* kRecordingText = "Recording..., Click on 'Stop' button to finish.";
inline constexpr const char* kPausedText = "Paused, Click on 'Start' button to start.";

// Which of the window's controls are enabled.
struct RecordEnabling {
    bool bStart;       // "Start"
    bool bPauseStop;   // "Pause", "Stop"
    bool bNavigation;  // the four navigation buttons
    bool bSettings;    // "O&ption...", the geometry edits and spins, the size combo, "&Burn DVD"
};
RecordEnabling GetRecordEnabling(bool bRecording, bool bPresentationOpen);

// What the window does once a recording has stopped.
enum class AfterStop {
    ShowFinished,  // the conversion-finished window for the file
    AskBurn,       // burn mode, the first file on the list: the burn question
    Nothing,       // burn mode: the file is on the list, the show stays where it is
    WriteFailed,   // the file could not be written: say so, nothing else
};

class CRecordingState {
public:
    // The AVI files recorded in burn mode, one per presentation in recording order.
    std::vector<std::string> m_RecordedFiles;

    int GetRecordState() const { return m_nRecordState; }
    bool IsRecording() const { return m_bRecording; }
    int GetFileCounter() const { return m_nFileCounter; }
    // The file of the current or last recording.
    const std::string& GetOutputFile() const { return m_strOutputFile; }
    // The current or last recording's clock: which stretches of time went into the video (its
    // runs, not its pauses). The timing log places the slide changes on it.
    const CVideoClock& GetVideoClock() const { return m_videoClock; }

    // The status line and the "Pause" button's text in a state.
    static const char* StatusText(int nRecordState);
    static const char* PauseButtonText(int nRecordState);

protected:
    // Start: the next file's name, "%s%s_%03d.avi" of the folder (as it is), the presentation's
    // base name and the counter.
    const std::string& NameOutputFile(const std::string& strFolder, const std::string& strBaseName);
    // Start: the graph runs (the video's clock starts anew).
    void RecordingStarted();
    // "Pause": Recording to Paused and back; false (nothing changes) when no recording runs.
    bool TogglePause();
    // Stop: back to Ready, the counter grows; in burn mode a written file joins the list (a new
    // presentation's file is appended, the same presentation's replaces its last file), and the
    // burn question follows the first file that joined. A file that could not be written joins
    // nothing and asks nothing.
    AfterStop RecordingStopped(bool bWritten, bool bBurnMode);

    bool m_bNewPresentationPending = true;
    int m_nFileCounter = 1;
    int m_nRecordState = RECORD_STATE_READY;
    bool m_bRecording = false;
    std::string m_strOutputFile;
    CVideoClock m_videoClock;
    bool m_bBurnAsked = false;
};

}  // namespace recording
