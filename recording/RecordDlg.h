#pragma once
// The recording window: a presentation's slide show runs inside it (the slide area), a red
// capture frame marks the screen rectangle that is recorded, and the controls step through the
// show, switch presentations, size the slide area and set the margins.
//
//     CRecordDlg dlg(this);
//     dlg.m_pVideoOptionsDlg = &dlgOptions;   // the options window the main window showed
//     dlg.m_pMainDlg = this;                  // the presentations and the program folder
//     dlg.DoModal();
//
// The window's own record ("videoRecording.dat") is its eight geometry values and the burn
// window's settings. The presentation program is driven through CPowerPointDriver
// (RecordDlgPowerPoint.cpp); the geometry is in RecordDlgGeometry.cpp; starting, pausing and
// stopping a recording and the burn command are in RecordDlgRecording.cpp.
#include "capture/CaptureGraph.h"
#include "dvd/BurnOwner.h"
#include "options/PersistentDlg.h"
#include "options/PresentationModeOptions.h"
#include "options/RecordingOptions.h"
#include "options/VideoOptionsDlg.h"
#include "platform/base/WinGdiTypes.h"
#include "recording/PowerPointDriver.h"
#include "recording/PresentationSettings.h"
#include "recording/RecordResource.h"
#include "recording/RecordingState.h"
#include "recording/ShowFollower.h"
#include "recording/SlideCounter.h"

#include <functional>
#include <string>
#include <vector>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace platform {
class CComboBox;
class CSpinButtonCtrl;
}  // namespace platform

namespace recording {

class CCaptureFrame;

// What the recording window reads from the main window.
class IRecordingOwner {
public:
    virtual ~IRecordingOwner() = default;
    // The presentations, in list order.
    virtual std::vector<std::string> GetPresentationList() const = 0;
    // The program folder, with its trailing separator.
    virtual const std::string& GetProgramFolder() const = 0;
};

class CRecordDlg : public options::CPersistentDlg,
                   public options::CRecordingOptions,
                   public CRecordingState,
                   public IBurnOwner {
    Q_OBJECT
public:
    explicit CRecordDlg(QWidget* pParent = nullptr);
    ~CRecordDlg() override;

    // Links, set by the opener before DoModal: the output options window it showed (its burn
    // flag selects burn mode; "O&ption..." shows it again) and the main window.
    options::CVideoOptionsDlg* m_pVideoOptionsDlg = nullptr;
    IRecordingOwner* m_pMainDlg = nullptr;

    // The capture frame's rectangle in screen coordinates: what a recording records, and the
    // video's size. Empty before the window has its native windows.
    RECT GetCaptureRect();

    // What the presentation program shows, for the parts built on this window.
    CPowerPointDriver& Driver() { return m_driver; }
    HWND GetPowerPointWindow() const { return m_hPptWnd; }
    // The window the slide show draws in (one for the whole process, as the program has one).
    static HWND GetSlideShowPane() { return s_hSlideShowPane; }
    const CSlideCounter& GetSlideCounter() const { return m_counter; }
    const std::string& GetPresentationBaseName() const { return m_strBaseName; }
    // The output options the recordings use: the member window's record, read from
    // "ToVideoOption.dat" at the window's start.
    options::CVideoOptionsDlg& GetRecordingOptions() { return m_dlgVideoOptions; }
    bool IsBurnMode() const;
    // The graph of the current or last recording (its measured rate stays after the stop).
    const CCaptureGraph& GetCaptureGraph() const { return m_graph; }

    // What the burn window reads and the burn command's office steps.
    std::vector<std::string> GetRecordedFiles() override { return m_RecordedFiles; }
    std::string GetOutputFolder() override;
    std::string GetProgramFolder() override;
    QWidget* GetOwnerWindow() override { return this; }
    void ShutDownOffice() override;
    void RestartOfficeShow() override;

    // The settings the next show runs with, as the presentation mode window hands them over.
    // Until the first call a presentation runs with its own slide-show settings.
    void SetPresentationSettings(const PresentationSettings& settings);
    const PresentationSettings& GetPresentationSettings() const { return m_settings; }

protected:
    void SerializeOptions(options::COptionArchive& ar) override
    {
        CRecordingOptions::SerializeOptions(ar);
    }
    void DoDataExchange(platform::CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // Enter does not close the window; Escape and the close box run the closing sequence.
    void OnOK() override {}
    void OnCancel() override;
    void OnUpdateEnabling() override;

    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

    // Between the open and the run of every show: nothing here; a window that runs itself sets
    // its show's timings.
    virtual void PrepareShow() {}
    // Start: returns once the show has drawn in the capture frame's rectangle (at most a few
    // seconds), so that the video begins with the first slide rather than the black of a show
    // that is still being set up.
    void WaitForShowOnScreen();
    // Writes "NAME_NNN.slides.csv" beside the recording that has just stopped: the slides the
    // video shows, on the video clock. A log that cannot be written is shown.
    void WriteSlideTimingLog();

    // The presentation program (RecordDlgPowerPoint.cpp).
    BOOL StartPowerPoint();
    void OpenAndRunShow();
    void CloseAllPresentations();
    void HideShowBars();
    void RestoreShowBars();
    // The office's window in the slide area (it has no title to be found by).
    void FindPowerPointWindow();
    void FindSlideShowPane();
    void ShutDownPowerPoint();
    void OnFirstSlide();
    void OnPreviousSlide();
    void OnNextSlide();
    void OnLastSlide();
    void OnSelchangePresentations();
    // Reads the show position into the counter and shows it.
    void RefreshSlideCounter();
    void ShowSlideCounter();
    // The open presentation's settings, as the presentation mode window is pre-filled.
    void ReadShowSettings(PresentationSettings* settings);
    void BringPaneToForeground();

    // The geometry (RecordDlgGeometry.cpp).
    void LayoutRecordWindow();
    void PlaceCaptureFrame();
    void FitPowerPointWindow();
    void ApplySizePreset();
    void OnGeometryEditChange(int nEditId);
    // The capture frame to the top of the window's children, unmoved, its visibility kept.
    void RaiseCaptureFrame();

    // Recording (RecordDlgRecording.cpp): the presentation mode window, then the start
    // sequence; pause and resume; the stop sequence; the burn question and command.
    void OnStart();
    LRESULT OnStartRecording(WPARAM wParam, LPARAM lParam);
    // Builds the graph on the capture frame; after a failure, once more after the options
    // window. False (the window stays Ready) when there is nothing to record with.
    bool BuildGraphForRecording();
    // Looks for a multiplexer that could not write while the recording runs.
    void StartWriteWatch();
    void OnPause();
    // Ends a running recording; nothing while none runs.
    void StopSequence();
    // The status line and the "Pause" button for the state.
    void ShowRecordState();
    LRESULT OnAskBurn(WPARAM wParam, LPARAM lParam);
    void OnBurnDvd();
    // The keyboard hook.
    void InstallHook();
    void RemoveHook();
    LRESULT OnHookKey(WPARAM wParam, LPARAM lParam);
    LRESULT OnHookClick(WPARAM wParam, LPARAM lParam);
    // The show changed slide, or a key was counted a moment ago: the counter takes the show's
    // position.
    LRESULT OnShowSlideChanged(WPARAM wParam, LPARAM lParam);

    void OnOption();
    void OnOutputFolder();
    LRESULT OnDrawCaptureFrame(WPARAM wParam, LPARAM lParam);

    // Runs a handler as the window framework does: an automation error stops it and is shown.
    void Guarded(const std::function<void()>& handler);

    // Window state (the recordings' is CRecordingState's).
    std::string m_strBaseName;
    int m_nSelectedPresentation = 0;
    int m_nSizePreset = 0;
    PresentationSettings m_settings;
    bool m_bSettingsChosen = false;
    CSlideCounter m_counter;
    // Keeps the counter on the slide the show is on (its slide changes, a look after each key).
    CShowFollower m_follower;
    bool m_bToolTips = false;
    bool m_bComInitialized = false;

    // The presentation program.
    CPowerPointDriver m_driver;
    HWND m_hPptWnd = 0;
    static HWND s_hSlideShowPane;

    // The member records read at the window's start: the presentation mode's and the output
    // options window's (shown when a recording cannot be set up with its options).
    options::CPresentationModeOptions m_presentationMode;
    options::CVideoOptionsDlg m_dlgVideoOptions;

    // The graph of one recording, built on the member output options at each start.
    CCaptureGraph m_graph;
    // While recording: a multiplexer that could not write ends the recording at once.
    QTimer* m_pWriteWatch = nullptr;

private:
    void CreateControls();
    void AddGeometryEdit(int nEditId, int nSpinId, const char* label, int x, int y,
                         bool bVisible = true);
    // Reads the geometry edits that hold an integer and the size combo into their fields.
    void ReadGeometryControls();
    int& GeometryField(int nEditId);
    void SetSpinPos(int nEditId);
    QString ToolTipText(int nId) const;

    QFrame* m_pSeparator = nullptr;
    QWidget* m_pSlideArea = nullptr;
    CCaptureFrame* m_pCaptureFrame = nullptr;
    platform::CComboBox* m_pPresentations = nullptr;
    platform::CComboBox* m_pSize = nullptr;
    QLabel* m_pCounter = nullptr;
    QLabel* m_pStatus = nullptr;
    std::vector<std::pair<int, platform::CSpinButtonCtrl*>> m_spins;  // by edit id
    bool m_bFilling = false;  // the window itself writes the controls
    bool m_bDrawPending = false;
};

}  // namespace recording
