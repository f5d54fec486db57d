// The recording window's recordings: the presentation mode window and the start sequence, pause
// and resume, the stop sequence with what follows it (the conversion-finished window, or in burn
// mode the list of recorded files and the burn question), and the burn command.
#include "recording/RecordDlg.h"

#include "app/FinishedDlg.h"
#include "platform/ui/WindowMessages.h"
#include "platform/x11/WindowFunctions.h"
#include "recording/CaptureFrame.h"
#include "recording/PresentationModeDlg.h"

#include <QLabel>
#include <QTimer>

namespace recording {

namespace {

// How often a running recording looks for a multiplexer that could not write.
constexpr int kWriteWatchMs = 500;

}  // namespace

void CRecordDlg::OnStart()
{
    // Pre-filled from the open presentation's own show settings.
    PresentationSettings show;
    ReadShowSettings(&show);
    CPresentationModeDlg dlg(this);
    dlg.SetFromShow(show);
    if (dlg.DoModal() != platform::IDOK)
        return;
    m_presentationMode = static_cast<const options::CPresentationModeOptions&>(dlg);
    SetPresentationSettings(dlg.GetPresentationSettings());
    platform::PostMessage(GetSafeHwnd(), WM_START_RECORDING, 0, 0);
}

LRESULT CRecordDlg::OnStartRecording(WPARAM, LPARAM)
{
    if (m_bRecording)
        return 0;
    FitPowerPointWindow();
    if (!BuildGraphForRecording())
        return 0;
    HWND hWnd = GetSafeHwnd();
    platform::SetWindowPos(hWnd, platform::HWND_TOPMOST, 0, 0, 0, 0,
                           platform::SWP_NOMOVE | platform::SWP_NOSIZE | platform::SWP_SHOWWINDOW);
    platform::SetForegroundWindow(hWnd);
    RaiseCaptureFrame();
    // The file is named before the show starts again, and the graph runs once it shows.
    m_graph.SetFileName(NameOutputFile(m_dlgVideoOptions.m_strOutputPath, m_strBaseName));
    m_pCaptureFrame->hide();
    try {
        OpenAndRunShow();
    } catch (...) {
        // The show could not start: nothing records, and the window is as it was.
        m_graph.ReleaseCaptureGraph();
        platform::SetWindowPos(hWnd, platform::HWND_NOTOPMOST, 0, 0, 0, 0,
                               platform::SWP_NOMOVE | platform::SWP_NOSIZE | platform::SWP_SHOWWINDOW);
        m_pCaptureFrame->show();
        throw;
    }
    WaitForShowOnScreen();
    m_graph.Run();
    RecordingStarted();
    ShowRecordState();
    StartWriteWatch();
    return 0;
}

void CRecordDlg::StartWriteWatch()
{
    if (!m_pWriteWatch) {
        m_pWriteWatch = new QTimer(this);
        connect(m_pWriteWatch, &QTimer::timeout, this, [this] {
            if (m_bRecording && m_graph.HasWriteFailed())
                Guarded([this] { StopSequence(); });
        });
    }
    m_pWriteWatch->start(kWriteWatchMs);
}

bool CRecordDlg::BuildGraphForRecording()
{
    // The source records the capture frame's rectangle as it is now.
    m_graph.SetCaptureFrame(GetSafeHwnd(), GetCaptureRect());
    if (m_graph.StartBuild())
        return true;
    m_graph.ReleaseCaptureGraph();
    platform::AfxMessageBox(
        "Initialization have not finished! \n Maybe you should select another Audio/Video Compression.");
    if (m_dlgVideoOptions.DoModal() != platform::IDOK)
        return false;
    m_graph.SetCaptureFrame(GetSafeHwnd(), GetCaptureRect());
    if (m_graph.BuildCaptureGraph())
        return true;
    m_graph.ReleaseCaptureGraph();
    platform::AfxMessageBox("Initialization Failed!");
    return false;
}

void CRecordDlg::OnPause()
{
    if (!m_bRecording)
        return;
    if (m_nRecordState == RECORD_STATE_RECORDING)
        m_graph.Pause();
    else
        m_graph.Resume();
    TogglePause();
    ShowRecordState();
}

void CRecordDlg::ShowRecordState()
{
    m_pStatus->setText(StatusText(m_nRecordState));
    SetDlgItemText(IDC_REC_PAUSE, PauseButtonText(m_nRecordState));
}

void CRecordDlg::StopSequence()
{
    if (!m_bRecording)
        return;
    if (m_pWriteWatch)
        m_pWriteWatch->stop();
    // The video ends here, not once the graph has handed on what it holds.
    m_videoClock.Halt(std::chrono::steady_clock::now());
    // The source's pause is cleared before the graph stops; a silent file gets its measured rate.
    const bool bWritten = m_graph.Stop() != FALSE;
    const AfterStop next = RecordingStopped(bWritten, IsBurnMode());
    if (bWritten)
        WriteSlideTimingLog();
    platform::SetWindowPos(GetSafeHwnd(), platform::HWND_NOTOPMOST, 0, 0, 0, 0,
                           platform::SWP_NOMOVE | platform::SWP_NOSIZE | platform::SWP_SHOWWINDOW);
    m_pCaptureFrame->show();
    ShowRecordState();
    m_graph.ReleaseCaptureGraph();

    switch (next) {
    case AfterStop::WriteFailed:
        // Not a recording to show or to burn; what reached the disk stays in the file.
        platform::AfxMessageBox("The recording could not be written to " + GetOutputFile()
                                + ".\n\nThe disk may be full, or the folder gone.");
        break;
    case AfterStop::AskBurn:
        platform::PostMessage(GetSafeHwnd(), WM_ASK_BURN, 0, 0);
        break;
    case AfterStop::Nothing:
        break;
    case AfterStop::ShowFinished: {
        CFinishedDlg dlg;
        dlg.m_strVideoFile = GetOutputFile();
        dlg.m_strOutputFolder = m_dlgVideoOptions.m_strOutputPath;
        CloseAllPresentations();
        dlg.DoModal();
        // The selected presentation is ready again.
        OpenAndRunShow();
        break;
    }
    }
}

LRESULT CRecordDlg::OnAskBurn(WPARAM, LPARAM)
{
    int answer = platform::MessageBox(GetSafeHwnd(), "Burn to DVD now? Or you can click on 'Burn DVD' button later.",
                                      platform::GetAppName().c_str(),
                                      platform::MB_YESNO | platform::MB_ICONQUESTION);
    if (answer == platform::IDYES)
        RunBurnCommand(*this);
    return 0;
}

void CRecordDlg::OnBurnDvd()
{
    RunBurnCommand(*this);
}

std::string CRecordDlg::GetOutputFolder()
{
    return m_pVideoOptionsDlg ? m_pVideoOptionsDlg->m_strOutputPath : m_dlgVideoOptions.m_strOutputPath;
}

std::string CRecordDlg::GetProgramFolder()
{
    return m_pMainDlg ? m_pMainDlg->GetProgramFolder() : std::string();
}

void CRecordDlg::ShutDownOffice()
{
    // The hook stays installed.
    if (m_driver.IsStarted())
        ShutDownPowerPoint();
}

void CRecordDlg::RestartOfficeShow()
{
    if (StartPowerPoint())
        OpenAndRunShow();
}

}  // namespace recording
