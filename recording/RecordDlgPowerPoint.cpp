// The recording window's side of the presentation program: starting it with its slide show in
// the slide area, switching presentations, navigation, the slide counter and the shutdown.
#include "recording/RecordDlg.h"

#include "platform/ui/ComboBox.h"
#include "platform/x11/WindowFunctions.h"
#include "recording/PresentationFiles.h"

#include <QLabel>

namespace recording {

BOOL CRecordDlg::StartPowerPoint()
{
    if (!m_pMainDlg)
        return FALSE;
    std::string path = m_pPresentations->GetLBText(m_pPresentations->GetCurSel()).toStdString();
    m_strBaseName = PresentationBaseName(path);
    std::string error;
    if (!m_driver.CreateApplication(&error)) {
        platform::AfxMessageBox("Couldn't start PowerPoint.");
        return FALSE;
    }
    // Every presentation opens inside the slide area, never at top level.
    m_driver.SetHostWindow(static_cast<HWND>(m_pSlideArea->winId()));
    m_follower.Follow(GetSafeHwnd(), m_driver.GetApplication());
    try {
        CloseAllPresentations();
        m_driver.ShowApplication();
        m_driver.OpenPresentation(path);
        m_driver.RunWithOwnSettings();
        FindPowerPointWindow();
        HideShowBars();
        FindSlideShowPane();
    } catch (const CAutomationError& e) {
        // The office runs; the window goes on without a show, as after any automation error.
        platform::AfxMessageBox(e.what());
    }
    LayoutRecordWindow();
    RaiseCaptureFrame();
    RefreshSlideCounter();
    return TRUE;
}

void CRecordDlg::OpenAndRunShow()
{
    CloseAllPresentations();
    int index = m_pPresentations->GetCurSel();
    std::string path = m_pPresentations->GetLBText(index).toStdString();
    m_strBaseName = PresentationBaseName(path);
    m_driver.OpenPresentation(path);
    PrepareShow();
    // Until settings are chosen for a recording, a presentation runs with its own.
    if (m_bSettingsChosen)
        m_driver.RunWithSettings(m_settings);
    else
        m_driver.RunWithOwnSettings();
    FindPowerPointWindow();
    HideShowBars();
    FindSlideShowPane();
    LayoutRecordWindow();
    RaiseCaptureFrame();
    if (index != m_nSelectedPresentation)
        m_bNewPresentationPending = true;
    m_nSelectedPresentation = index;
    RefreshSlideCounter();
    BringPaneToForeground();
}

void CRecordDlg::CloseAllPresentations()
{
    m_driver.CloseAllPresentations();
}

void CRecordDlg::HideShowBars()
{
    m_driver.HideShowBars();
}

void CRecordDlg::RestoreShowBars()
{
    m_driver.RestoreShowBars();
}

void CRecordDlg::FindPowerPointWindow()
{
    // The office makes a window of its own in the slide area for each presentation; a closed
    // one may still be on its way out, below the new one.
    HWND area = static_cast<HWND>(m_pSlideArea->winId());
    HWND found = 0;
    for (HWND child = platform::GetWindow(area, platform::GW_CHILD); child;
         child = platform::GetWindow(child, platform::GW_HWNDNEXT)) {
        if (platform::IsWindowVisible(child)) {
            found = child;
            break;
        }
        if (!found)
            found = child;
    }
    m_hPptWnd = found;
}

void CRecordDlg::FindSlideShowPane()
{
    // The window the show draws in, when it is the main window or inside it.
    HWND pane = m_driver.SlideShowWindowHandle();
    if (!pane || !m_hPptWnd)
        return;
    for (HWND w = pane; w; w = platform::GetParent(w)) {
        if (w == m_hPptWnd) {
            s_hSlideShowPane = pane;
            return;
        }
    }
}

void CRecordDlg::ShutDownPowerPoint()
{
    m_follower.Stop();
    if (!m_driver.IsStarted())
        return;
    try {
        RestoreShowBars();
    } catch (const CAutomationError&) {
        // Results are not examined: the office ends either way.
    }
    // Ended at once, before the objects go (releasing them last would ask it to quit), and only
    // if the window's owner is the office this window started.
    DWORD pid = 0;
    platform::GetWindowThreadProcessId(m_hPptWnd, &pid);
    if (pid != 0 && pid == m_driver.ProcessId()) {
        platform::HANDLE process = platform::OpenProcess(platform::PROCESS_TERMINATE, FALSE, pid);
        platform::TerminateProcess(process, 0);
        platform::CloseHandle(process);
    }
    m_driver.ReleaseAll();
    m_hPptWnd = 0;
    s_hSlideShowPane = 0;
}

void CRecordDlg::BringPaneToForeground()
{
    if (s_hSlideShowPane)
        platform::SetForegroundWindow(s_hSlideShowPane);
}

void CRecordDlg::OnFirstSlide()
{
    m_driver.GotoFirstSlide();
    RefreshSlideCounter();
    BringPaneToForeground();
}

void CRecordDlg::OnPreviousSlide()
{
    m_driver.GotoPreviousSlide();
    RefreshSlideCounter();
    BringPaneToForeground();
}

void CRecordDlg::OnNextSlide()
{
    // On the last slide ">" ends the recording instead; with none running it does nothing.
    if (m_driver.CurrentShowPosition() == m_counter.Count()) {
        StopSequence();
        return;
    }
    m_driver.GotoNextSlide();
    RefreshSlideCounter();
    BringPaneToForeground();
}

void CRecordDlg::OnLastSlide()
{
    m_driver.GotoLastSlide();
    RefreshSlideCounter();
    BringPaneToForeground();
}

void CRecordDlg::OnSelchangePresentations()
{
    OpenAndRunShow();
}

void CRecordDlg::RefreshSlideCounter()
{
    m_counter.SetCount(m_driver.SlideCount());
    m_counter.SetPosition(m_driver.CurrentShowPosition());
    ShowSlideCounter();
}

void CRecordDlg::ShowSlideCounter()
{
    m_pCounter->setText(QString::fromStdString(m_counter.Text()));
}

void CRecordDlg::ReadShowSettings(PresentationSettings* settings)
{
    long count = 0;
    m_driver.ReadShowSettings(settings, &count);
    m_counter.SetCount(count);
}

}  // namespace recording
