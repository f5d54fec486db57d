#pragma once
// The burn window: turns the recorded video files into a DVD-Video disc in one run. It converts
// every file of its video list to MPEG and authors a VIDEO_TS tree (CDvdSteps), burns the tree to
// the disc in the chosen drive (RunBurn) and cleans up, stepping through the stages by posting
// WM_BURN_STAGE to itself. It shows the drives and write speeds the engine finds, keeps a
// time-stamped log of everything the steps and the engine report, and saves that log on request.
//
// One object lives for the whole program run (GetProgramInstance); it is opened again for each
// use, over the recording window, which loads and saves its seven burn settings with its own
// record (CBurnSettings).
//
// Threads: the window's thread runs the controls, the stages and the timer. Workers (drive-list
// refresh, conversion, authoring, burn) reach it only through queued calls and posts, never by
// a call that waits for it, since the window's thread may wait for them when a run is stopped.
// The device list belongs to the refresh worker while it runs: the window touches no device
// then (Start Burn, Refresh and the drive list are disabled), and no refresh runs during a run.
#include "burner/BurnJob.h"
#include "burner/SpeedTables.h"
#include "dvd/BurnOwner.h"
#include "dvd/DvdSteps.h"
#include "dvd/DvdWindow.h"
#include "options/BurnSettings.h"
#include "platform/ui/Dialog.h"

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class CDevice;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
struct DriveScan;

namespace platform {
class CComboBox;
class CDataExchange;
class CListBox;
}

inline constexpr UINT IDD_BURN = 138;

// Control ids of the window.
enum : int {
    IDC_BURN_VIDEO_LIST = 1061,
    IDC_BURN_ADD = 1062,
    IDC_BURN_DELETE = 1030,
    IDC_BURN_PREVIEW = 1031,
    IDC_BURN_VOLUME = 1063,
    IDC_BURN_DRIVE = 1049,
    IDC_BURN_REFRESH = 1068,
    IDC_BURN_OPC = 1034,
    IDC_BURN_EJECT = 1035,
    IDC_BURN_DELETE_TEMP = 1036,
    IDC_BURN_CHAPTERS = 1037,
    IDC_BURN_FORMAT = 1052,
    IDC_BURN_SPEED = 1051,
    IDC_BURN_STATUS = 1064,
    IDC_BURN_LOG = 1067,
    IDC_BURN_PROGRESS = 1050,
    IDC_BURN_PERCENT = 1065,
    IDC_BURN_ELAPSED = 1066,
    IDC_BURN_SAVE_LOG = 1022,
    IDC_BURN_START = 1020,
    IDC_BURN_CLOSE = 1021,
};

// The timer that shows the burn's progress and elapsed time.
inline constexpr UINT_PTR kBurnTimerId = 1;

class CBurnDlg : public platform::CDialog, public options::CBurnSettings, public IDvdWindow, public IBurnWindow {
public:
    explicit CBurnDlg(QWidget* pParent = nullptr);
    // Stops a run still going (its tool ended, its burn cancelled) and waits for every worker.
    ~CBurnDlg() override;

    // The program's burn window: the first one made, while it lives.
    static CBurnDlg* GetProgramInstance();

    // Shows the window modally over the owner, from which it takes the recorded files and the
    // folders. Returns 1 when it closes.
    INT_PTR DoModal(IBurnOwner& owner);

    // "A chapter at every slide change": kept while the program runs, not in the record, whose
    // file keeps its layout.
    int m_bChapters = 0;

    // What a run is doing. Idle: open, nothing started. Running: from Start Burn to the end of
    // the clean-up. Stopping: closed during the burn, waiting for the engine to give up. Done:
    // the run is over; Start Burn and the drive list stay disabled until the next opening.
    enum class RunState { Idle, Running, Stopping, Done };
    RunState GetRunState() const { return m_runState; }
    bool IsRefreshing() const { return m_bRefreshing; }
    // The log list's entries, time prefix included, in order.
    std::vector<std::string> GetLogEntries() const;
    const std::vector<SpeedEntry>& GetSpeedList() const { return m_SpeedList; }

    // IDvdWindow (the conversion and authoring steps) and IBurnWindow (the burn worker). The
    // log line, status line, failure and progress calls may come from any thread.
    int GetVideoCount() override;
    std::string GetVideoPath(int nIndex) override;
    int GetTvFormat() override { return m_nTvFormat; }
    std::string GetProgramFolder() override;
    std::string GetOutputFolder() override;
    bool GetChapters() override { return m_bChapters != 0; }
    void AddLogLine(const std::string& strText) override;
    void SetStatus(const std::string& strText) override;
    void ReportFailure(const std::string& strText) override;
    void HideBurnProgress() override;
    void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    BOOL OnInitDialog() override;
    // Enter, Escape and the close box: as Close.
    void OnOK() override { OnClose(); }
    void OnCancel() override { OnClose(); }
    void OnUpdateEnabling() override;
    void OnTimer(UINT_PTR nIDEvent) override;

    void DoDataExchange(platform::CDataExchange* pDX);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    void OnAdd();
    void OnDelete();
    void OnPreView();
    void OnSaveLog();
    void OnStartBurn();
    // Takes the values from the controls and ends the window; during a run, first asks whether
    // to stop it.
    void OnClose();
    void OnRefresh() { RefreshDrives(); }
    void OnSelchangeDrive();
    LRESULT OnBurnStage(WPARAM wParam, LPARAM lParam);

private:
    void CreateControls();
    // Runs fn on the window's thread: at once there, queued from any other.
    void OnWindowThread(std::function<void()> fn);
    void AppendLogEntry(const std::string& strText);
    // The video list's selection; without one, "No file selected!" is shown and LB_ERR returned.
    int SelectedVideo();
    static void LogSink(LONG nLevel, const char* szText);

    // Starts the refresh worker unless one runs already.
    void RefreshDrives();
    void OnDrivesScanned(const DriveScan& scan);
    void ShowSpeeds(std::vector<SpeedEntry> speeds);
    // The device of the drive list's selection, or null.
    CDevice* SelectedDevice();
    // Start Burn's checks, in order; false when one stopped the run (its message shown).
    bool PassesChecks();

    // Stage 2, a second after the authoring: fills the burn record and starts the burn worker.
    void StartBurnStep();
    // Stage 3 (or a stop): joins the burn worker, deletes the MPEG files and, when asked, the
    // script and the control file.
    void CleanUp();
    void SetBurnProgressVisible(bool bVisible);

    IBurnOwner* m_pOwner = nullptr;
    HWND m_hWnd = 0;
    CDvdSteps m_steps;
    std::vector<SpeedEntry> m_SpeedList;
    RunState m_runState = RunState::Idle;
    unsigned m_nRun = 0;            // counts runs and stops: a pending burn step of an old run lapses
    bool m_bRefreshing = false;
    bool m_bAuthored = false;       // this run wrote the script and the control file
    bool m_bDeleteTempAtBurn = false;
    CDevice* m_pBurnDevice = nullptr;
    std::chrono::steady_clock::time_point m_startTime;
    std::jthread m_refreshWorker;
    std::jthread m_burnWorker;

    platform::CListBox* m_pVideoList = nullptr;
    QLineEdit* m_pVolume = nullptr;
    platform::CComboBox* m_pDriveList = nullptr;
    platform::CComboBox* m_pFormat = nullptr;
    platform::CComboBox* m_pSpeed = nullptr;
    QLabel* m_pStatus = nullptr;
    platform::CListBox* m_pLog = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QLabel* m_pPercent = nullptr;
    QLabel* m_pElapsed = nullptr;
};
