// The recording window's timing: a video begins with the show on screen, and the slides a
// recording shows are written beside it at its stop.
#include "recording/RecordDlg.h"
#include "platform/base/PollUntil.h"

#include "platform/ui/MessageBox.h"
#include "platform/x11/ScreenPixels.h"

#include <thread>

namespace recording {

namespace {

using namespace std::chrono_literals;

// The office draws a started show within a second or so (longer on a loaded machine); a first
// slide that is black all over waits this long and is recorded as it is.
constexpr auto kShowDrawnWait = 3s;
constexpr auto kShowDrawnPoll = 10ms;

}  // namespace

void CRecordDlg::WaitForShowOnScreen()
{
    if (!m_driver.IsPresentationOpen())
        return;
    // Inside the capture frame's outline, which its hiding may not have taken off the screen yet.
    RECT rect = GetCaptureRect();
    rect.left += 1;
    rect.top += 1;
    rect.right -= 1;
    rect.bottom -= 1;
    platform::PollUntil([&] { return platform::LookAtScreenRect(rect) != platform::ScreenRectLook::Black; },
                        kShowDrawnWait, kShowDrawnPoll);
}

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
