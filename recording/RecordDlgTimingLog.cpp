// The recording window's timing log: the slides a recording shows, written beside it at its stop.
#include "recording/RecordDlg.h"

#include "platform/ui/MessageBox.h"

namespace recording {

void CRecordDlg::WriteSlideTimingLog()
{
    if (m_strOutputFile.empty() || !m_videoClock.HasRun())
        return;
    const std::vector<SlideTiming> timings =
        SlidesInVideo(m_driver.SlideChanges(), m_videoClock, std::chrono::steady_clock::now());
    const std::string path = TimingLogPath(m_strOutputFile);
    std::string error;
    if (!WriteTimingLog(path, timings, &error))
        platform::AfxMessageBox("The slide timing log " + path + " could not be written: " + error);
}

}  // namespace recording
