#pragma once
// The recording window running itself through a list of presentations, for "vantorel --record":
// what a user would do by hand - pick a presentation, start with "use slide timings" over all
// slides, stop after the last slide's time, and at the end burn - done by the window's own
// handlers, from a timer on its own thread, with each event told to the batch report.
#include "app/BatchReport.h"
#include "app/RecordRequest.h"
#include "recording/RecordDlg.h"

#include <QTimer>

#include <chrono>
#include <string>
#include <vector>

class CBurnDlg;

class CUnattendedRecordDlg : public recording::CRecordDlg {
    Q_OBJECT
public:
    // The recordings take `output` (the output options the options window read, with the
    // command line's overrides) instead of the member options' own file.
    CUnattendedRecordDlg(const RecordRequest& request, CBatchReport& report, const options::CVideoOptions& output,
                         QWidget* pParent = nullptr);
    ~CUnattendedRecordDlg() override;

    int GetRecordedCount() const { return m_nRecorded; }
    int GetFailedCount() const { return m_nFailed; }
    // The DVD was asked for and not made.
    bool HasDvdFailed() const { return m_bDvdFailed; }
    // The file being recorded (for the messages that concern it), or empty.
    const std::string& CurrentFile() const { return m_strCurrentFile; }

protected:
    BOOL OnInitDialog() override;
    // Between the open and the run of every show: the timings of an unattended show.
    void PrepareShow() override;

private:
    using Clock = std::chrono::steady_clock;

    // The overrides the recording window takes (size), then the first file.
    void Begin();
    // The next file, or the DVD, or the end.
    void RecordNext();
    // Opens the file's show as a choice in the presentation list does; false with the reason.
    bool OpenFile(const std::string& path, std::string* why);
    // The start sequence with the unattended settings; false when no recording runs.
    bool StartFile();
    // Every tick while recording: new slides reported, ">" pressed when the next slide is due,
    // the stop when the last slide has had its time.
    void Follow();
    // Presses ">" for the slide at `position`.
    void Press(long position);
    void StopFile(const std::string& failure);
    void FileFailed(const std::string& why);

    // The burn window's sequence on the recordings, unattended.
    void MakeDvd();
    void FollowBurn();
    void FailDvd(CBurnDlg* burn, const std::string& drive);
    void Finish();

    // Every message box of the run: told as an error of the file it concerns and answered as
    // its default (No to a question), but for the burn window's stop question, which only a
    // failed DVD step makes the run ask.
    int OnMessageBox(const platform::MessageBoxRequest& box);

    const RecordRequest& m_request;
    CBatchReport& m_report;
    platform::MessageBoxHandler m_oldMessageBox;
    bool m_bBoxDuringBurn = false;
    options::CVideoOptions m_output;
    QTimer m_timer;
    // Closes what would wait for a person: a window opened over this one (the conversion-finished
    // window after a stop, the output options after a failed start) other than the burn window.
    QTimer m_modalWatch;

    std::size_t m_nNext = 0;
    int m_nRecorded = 0;
    int m_nFailed = 0;
    bool m_bDvdFailed = false;
    std::string m_strCurrentFile;

    // The file being recorded.
    long m_nSlideCount = 0;
    std::vector<double> m_durations;  // each slide's time on screen, seconds
    std::vector<long long> m_starts;  // where each slide is due in the video, ms; then the end
    std::size_t m_nReported = 0;      // slide changes reported so far
    Clock::time_point m_deadline;
    long m_nPressed = 0;              // the position ">" was last pressed at
    Clock::time_point m_lastPress;
    bool m_bPlanTimings = false;      // PrepareShow sets the unattended timings

    // The burn window.
    enum class BurnStep { Opening, Started, Done };
    BurnStep m_burnStep = BurnStep::Opening;
    std::size_t m_nBurnLogRead = 0;  // the burn window's log entries looked at
};
