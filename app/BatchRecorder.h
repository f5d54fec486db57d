#pragma once
// The unattended run behind "vantorel --record": the files recorded one after another through
// the program's own recording window (the same window, graph and office as a recording by hand),
// then, when asked, the DVD made through the burn window's own sequence.
//
// For each file the window opens it, runs its show with "use slide timings" from the first slide
// to the last (slides without a time of their own get --slide-seconds, the last slide is held),
// starts the recording with the show and stops it when the last slide has been on screen for its
// time. A file that cannot be recorded is skipped with its reason; the run goes on.
//
// What the run changes is its own: the output options come from "ToVideoOption.dat" as the
// options window reads them, with the command line's overrides, and are not written back; the
// recording window's record ("videoRecording.dat") is put back as it was.
#include "app/BatchReport.h"
#include "app/RecordRequest.h"
#include "recording/RecordDlg.h"

#include <memory>
#include <string>
#include <vector>

namespace options {
class CVideoOptionsDlg;
}

class CUnattendedRecordDlg;

class CBatchRecorder : public recording::IRecordingOwner {
public:
    // files: the request's files that can be recorded (ChooseRecordableFiles); skipped: how
    // many of its files were not.
    CBatchRecorder(const RecordRequest& request, CBatchReport& report, std::vector<std::string> files, int skipped);
    ~CBatchRecorder() override;

    // Records, makes the DVD when asked, and returns the exit status (RecordStatus).
    int Run();

    // IRecordingOwner: the files that can be recorded, in command-line order.
    std::vector<std::string> GetPresentationList() const override { return m_files; }
    const std::string& GetProgramFolder() const override { return m_strProgramFolder; }

private:
    // The output options the options window would record now, with the overrides; false when
    // an override names what is not there (the fault is reported).
    bool ReadOutputOptions(options::CVideoOptionsDlg& options);

    const RecordRequest& m_request;
    CBatchReport& m_report;
    std::vector<std::string> m_files;
    std::string m_strProgramFolder;
    int m_nSkipped = 0;
};

// Why a file cannot be recorded ("no such file", "not a presentation ..."), or empty.
std::string WhyNotRecordable(const std::string& path);
// The files that exist, can be read and are presentations, in their order; each other one is
// reported as skipped, with its reason.
std::vector<std::string> ChooseRecordableFiles(const std::vector<std::string>& files, CBatchReport& report);
