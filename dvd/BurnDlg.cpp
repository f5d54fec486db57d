#include "dvd/BurnDlg.h"

#include "burner/Device.h"
#include "burner/MessageDispatcher.h"
#include "dvd/BurnChecks.h"
#include "dvd/DriveScan.h"
#include "platform/burnlib/DiscImage.h"
#include "platform/ddx/DataExchange.h"
#include "platform/shell/Places.h"
#include "platform/shell/ShellExecute.h"
#include "platform/ui/ComboBox.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/ListBox.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/WindowMessages.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QAbstractItemView>
#include <QListWidgetItem>
#include <QProgressBar>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <system_error>

using namespace platform;

namespace {

constexpr int kStatic = -1;  // controls nothing refers to
// The pause between the authoring's end and the burn.
constexpr int kBurnStepDelayMs = 1000;
// Long log entries and paths scroll sideways.
constexpr int kListExtent = 2400;

const char* const kAddFilter = "AVI File(*.avi)|*.avi|All Files (*.*)|*.*|";
const char* const kLogFilter = "Text file(*.txt)|*.txt|All Files (*.*)|*.*|";

// The program's burn window, and the window the engine's key-1 texts go to.
struct Instances {
    std::mutex mutex;
    CBurnDlg* pProgram = nullptr;
    CBurnDlg* pLogTarget = nullptr;
};

Instances& TheInstances()
{
    static Instances instances;
    return instances;
}

std::string TimePrefix()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char szPrefix[16];
    std::snprintf(szPrefix, sizeof szPrefix, "%.2d:%.2d:%.2d ", local.tm_hour, local.tm_min, local.tm_sec);
    return szPrefix;
}

std::string ElapsedText(std::chrono::steady_clock::duration elapsed)
{
    const long long nSeconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    char szText[64];
    std::snprintf(szText, sizeof szText, "Elapsed time: %.2lld:%.2lld:%.2lld", nSeconds / 3600, (nSeconds / 60) % 60,
                  nSeconds % 60);
    return szText;
}

// A tool's output chunk can hold many lines, and carriage-return progress lines: the list shows
// it on one line, the lines parted by " | ".
QString OneLine(const QString& text)
{
    static const QRegularExpression breaks("\\s*[\\r\\n]+\\s*");
    return text.trimmed().replace(breaks, " | ");
}

void RemoveFile(const std::string& strPath)
{
    std::error_code ec;
    if (!strPath.empty())
        std::filesystem::remove(strPath, ec);
}

} // namespace

void RunBurnCommand(IBurnOwner& owner)
{
    CBurnDlg* pDlg = CBurnDlg::GetProgramInstance();
    if (pDlg == nullptr)
        return;
    owner.ShutDownOffice();
    pDlg->DoModal(owner);
    owner.RestartOfficeShow();
}

CBurnDlg::CBurnDlg(QWidget* pParent) : CDialog(IDD_BURN, pParent), m_steps(*this)
{
    setWindowTitle("Burn to DVD");
    SetDialogSize(330, 351);
    CreateControls();
    m_hWnd = GetSafeHwnd();

    MapCommand(IDC_BURN_ADD, [this] { OnAdd(); });
    MapCommand(IDC_BURN_DELETE, [this] { OnDelete(); });
    MapCommand(IDC_BURN_PREVIEW, [this] { OnPreView(); });
    MapCommand(IDC_BURN_REFRESH, [this] { OnRefresh(); });
    MapCommand(IDC_BURN_SAVE_LOG, [this] { OnSaveLog(); });
    MapCommand(IDC_BURN_START, [this] { OnStartBurn(); });
    MapCommand(IDC_BURN_CLOSE, [this] { OnClose(); });
    MapCommand(IDC_BURN_DRIVE, [this] { OnSelchangeDrive(); });
    // A choice the user makes; the window's own selections do not read the speeds again.
    connect(m_pDriveList, &QComboBox::activated, this, [this] { SendCommand(IDC_BURN_DRIVE); });
    connect(m_pDriveList, &QComboBox::currentTextChanged, m_pDriveList, &QWidget::setToolTip);
    MapMessage(WM_BURN_STAGE, [this](WPARAM wParam, LPARAM lParam) { return OnBurnStage(wParam, lParam); });

    std::lock_guard lock(TheInstances().mutex);
    if (TheInstances().pProgram == nullptr)
        TheInstances().pProgram = this;
}

CBurnDlg::~CBurnDlg()
{
    {
        std::lock_guard lock(TheInstances().mutex);
        if (TheInstances().pProgram == this)
            TheInstances().pProgram = nullptr;
        if (TheInstances().pLogTarget == this)
            TheInstances().pLogTarget = nullptr;
    }
    m_steps.Stop();
    if (m_burnWorker.joinable() && m_pBurnDevice != nullptr)
        m_pBurnDevice->RequestCancel();
    if (m_burnWorker.joinable())
        m_burnWorker.join();
    if (m_refreshWorker.joinable())
        m_refreshWorker.join();
}

CBurnDlg* CBurnDlg::GetProgramInstance()
{
    std::lock_guard lock(TheInstances().mutex);
    return TheInstances().pProgram;
}

void CBurnDlg::CreateControls()
{
    auto group = [this](const QString& title, const QRect& dlu) { AddControl(kStatic, new QGroupBox(title), dlu); };
    auto combo = [this](int nID, const QRect& dlu) {
        auto* pCombo = new CComboBox;
        AddControl(nID, pCombo, dlu);
        return pCombo;
    };
    auto check = [this](int nID, const QString& text, const QRect& dlu) {
        AddControl(nID, new QCheckBox(text), dlu);
    };
    auto list = [this](int nID, bool bSorted, const QRect& dlu) {
        auto* pList = new CListBox(bSorted);
        pList->SetHorizontalExtent(kListExtent);
        AddControl(nID, pList, dlu);
        return pList;
    };

    group("Video files list:", {7, 3, 316, 84});
    m_pVideoList = list(IDC_BURN_VIDEO_LIST, true, {14, 15, 240, 66});
    AddButton(IDC_BURN_ADD, "Add", {262, 15, 54, 14});
    AddButton(IDC_BURN_DELETE, "Delete", {262, 33, 54, 14});
    AddButton(IDC_BURN_PREVIEW, "Pre-View", {262, 51, 54, 14});

    group("DVD Setting", {7, 91, 316, 107});
    AddStatic(kStatic, "Disc Volum:", {14, 105, 50, 8});
    m_pVolume = static_cast<QLineEdit*>(AddControl(IDC_BURN_VOLUME, new QLineEdit, {66, 103, 120, 12}));
    AddStatic(kStatic, "Format:", {196, 105, 30, 8});
    m_pFormat = combo(IDC_BURN_FORMAT, {228, 103, 88, 12});
    m_pFormat->AddString("PAL");
    m_pFormat->AddString("NTSC");
    AddStatic(kStatic, "Record Driver:", {14, 121, 50, 8});
    m_pDriveList = combo(IDC_BURN_DRIVE, {66, 119, 190, 12});
    AddButton(IDC_BURN_REFRESH, "Refresh", {262, 118, 54, 14});
    AddStatic(kStatic, "Speed:", {14, 137, 50, 8});
    m_pSpeed = combo(IDC_BURN_SPEED, {66, 135, 60, 12});
    check(IDC_BURN_OPC, "Send optimum power calibration (OPC)", {14, 151, 250, 10});
    check(IDC_BURN_EJECT, "Eject disc after burning has completed", {14, 162, 250, 10});
    check(IDC_BURN_DELETE_TEMP, "Delete temp file after burn complete", {14, 173, 250, 10});
    check(IDC_BURN_CHAPTERS, "A chapter at every slide change", {14, 184, 250, 10});

    group("Log info:", {7, 202, 316, 124});
    m_pStatus = AddStatic(IDC_BURN_STATUS, "", {14, 214, 302, 9});
    m_pLog = list(IDC_BURN_LOG, false, {14, 225, 302, 80});
    m_pProgress = static_cast<QProgressBar*>(AddControl(IDC_BURN_PROGRESS, new QProgressBar, {14, 310, 170, 10}));
    m_pProgress->setRange(0, 100);
    m_pProgress->setTextVisible(false);
    m_pPercent = AddStatic(IDC_BURN_PERCENT, "", {190, 311, 26, 8});
    m_pElapsed = AddStatic(IDC_BURN_ELAPSED, "", {220, 311, 96, 8});

    AddButton(IDC_BURN_SAVE_LOG, "Save log", {7, 331, 54, 14});
    AddButton(IDC_BURN_START, "Start Burn", {209, 331, 54, 14});
    AddButton(IDC_BURN_CLOSE, "Close", {269, 331, 54, 14});
}

void CBurnDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_BURN_VOLUME, m_strVolumeLabel);
    DDX_CBIndex(pDX, IDC_BURN_FORMAT, m_nTvFormat);
    DDX_Check(pDX, IDC_BURN_OPC, m_bOpc);
    DDX_Check(pDX, IDC_BURN_EJECT, m_bEject);
    DDX_Check(pDX, IDC_BURN_DELETE_TEMP, m_bDeleteTemp);
    DDX_Check(pDX, IDC_BURN_CHAPTERS, m_bChapters);
    DDX_CBString(pDX, IDC_BURN_SPEED, m_strSpeed);
    DDX_CBString(pDX, IDC_BURN_DRIVE, m_strRecorder);
}

BOOL CBurnDlg::UpdateData(BOOL bSaveAndValidate)
{
    return RunDataExchange(this, bSaveAndValidate, [this](CDataExchange* pDX) { DoDataExchange(pDX); });
}

INT_PTR CBurnDlg::DoModal(IBurnOwner& owner)
{
    m_pOwner = &owner;
    QWidget* pOwnerWindow = owner.GetOwnerWindow();
    if (pOwnerWindow != nullptr && windowHandle() != nullptr)
        windowHandle()->setTransientParent(pOwnerWindow->window()->windowHandle());
    const INT_PTR nResult = CDialog::DoModal();
    if (windowHandle() != nullptr)
        windowHandle()->setTransientParent(nullptr);
    m_pOwner = nullptr;
    return nResult;
}

BOOL CBurnDlg::OnInitDialog()
{
    // Each opening starts with fresh controls, as a window made anew would.
    m_runState = RunState::Idle;
    ++m_nRun;
    m_pVideoList->ResetContent();
    m_pLog->ResetContent();
    m_pDriveList->ResetContent();
    m_pSpeed->ResetContent();
    m_SpeedList.clear();
    m_pStatus->clear();
    SetBurnProgressVisible(false);
    // The drive and speed lists are still empty: their stored texts select nothing.
    UpdateData(FALSE);
    if (m_pOwner != nullptr) {
        for (const std::string& strFile : m_pOwner->GetRecordedFiles())
            m_pVideoList->AddString(QString::fromStdString(strFile));
    }
    {
        std::lock_guard lock(TheInstances().mutex);
        TheInstances().pLogTarget = this;
    }
    SubscribeMessages(&CBurnDlg::LogSink, MESSAGE_KEY_USER);
    // A refresh still running from the last opening fills the new list.
    RefreshDrives();
    return TRUE;
}

void CBurnDlg::OnUpdateEnabling()
{
    const bool bRunning = m_runState == RunState::Running || m_runState == RunState::Stopping;
    const bool bCanStart = m_runState == RunState::Idle && !m_bRefreshing;
    EnableDlgItem(IDC_BURN_START, bCanStart);
    EnableDlgItem(IDC_BURN_DRIVE, bCanStart);
    EnableDlgItem(IDC_BURN_REFRESH, !bRunning && !m_bRefreshing);
    EnableDlgItem(IDC_BURN_CLOSE, !bRunning);
    EnableDlgItem(IDC_BURN_ADD, !bRunning);
    EnableDlgItem(IDC_BURN_DELETE, !bRunning);
}

// ---- The log -------------------------------------------------------------------------------

void CBurnDlg::OnWindowThread(std::function<void()> fn)
{
    if (QThread::currentThread() == thread())
        fn();
    else
        QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void CBurnDlg::AppendLogEntry(const std::string& strText)
{
    // The entry itself (what Save log writes) rides along; the tooltip shows it whole.
    const QString entry = QString::fromStdString(TimePrefix() + strText);
    QListWidgetItem* pItem = m_pLog->item(m_pLog->AddString(OneLine(entry)));
    pItem->setData(Qt::UserRole, entry);
    pItem->setToolTip(entry);
    // The newest entry stays in view.
    m_pLog->SetCurSel(m_pLog->GetCount() - 1);
}

void CBurnDlg::AddLogLine(const std::string& strText)
{
    OnWindowThread([this, strText] { AppendLogEntry(strText); });
}

void CBurnDlg::SetStatus(const std::string& strText)
{
    OnWindowThread([this, strText] {
        m_pStatus->setText(QString::fromStdString(strText));
        AppendLogEntry(strText);
    });
}

void CBurnDlg::ReportFailure(const std::string& strText)
{
    OnWindowThread([strText] { platform::MessageBox(0, strText.c_str(), nullptr, MB_OK); });
}

void CBurnDlg::LogSink(LONG, const char* szText)
{
    std::lock_guard lock(TheInstances().mutex);
    if (TheInstances().pLogTarget != nullptr)
        TheInstances().pLogTarget->AddLogLine(szText);
}

std::vector<std::string> CBurnDlg::GetLogEntries() const
{
    std::vector<std::string> entries;
    for (int i = 0; i < m_pLog->GetCount(); ++i)
        entries.push_back(m_pLog->item(i)->data(Qt::UserRole).toString().toStdString());
    return entries;
}

void CBurnDlg::OnSaveLog()
{
    CFileDialog dlg(FALSE, "txt", "QVRlog.txt", OFN_OVERWRITEPROMPT, kLogFilter, this);
    if (dlg.DoModal() != IDOK)
        return;
    FILE* file = std::fopen(dlg.GetPathName().c_str(), "w");
    if (file == nullptr)
        return;
    for (const std::string& strEntry : GetLogEntries())
        std::fprintf(file, "%s\n", strEntry.c_str());
    std::fclose(file);
}

// ---- What the steps read -------------------------------------------------------------------

int CBurnDlg::GetVideoCount()
{
    return m_pVideoList->GetCount();
}

std::string CBurnDlg::GetVideoPath(int nIndex)
{
    return m_pVideoList->GetText(nIndex).toStdString();
}

std::string CBurnDlg::GetProgramFolder()
{
    return m_pOwner != nullptr ? m_pOwner->GetProgramFolder() : platform::GetProgramFolder();
}

std::string CBurnDlg::GetOutputFolder()
{
    return m_pOwner != nullptr ? m_pOwner->GetOutputFolder() : std::string();
}

void CBurnDlg::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    platform::PostMessage(m_hWnd, message, wParam, lParam);
}

// ---- The video list ------------------------------------------------------------------------

void CBurnDlg::OnAdd()
{
    CFileDialog dlg(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_EXPLORER, kAddFilter, this);
    if (dlg.DoModal() != IDOK)
        return;
    for (const std::string& strPath : dlg.GetPathNames())
        m_pVideoList->AddString(QString::fromStdString(strPath));
}

int CBurnDlg::SelectedVideo()
{
    const int nSel = m_pVideoList->GetCurSel();
    if (nSel == LB_ERR)
        AfxMessageBox("No file selected!");
    return nSel;
}

void CBurnDlg::OnDelete()
{
    const int nSel = SelectedVideo();
    if (nSel == LB_ERR)
        return;
    m_pVideoList->DeleteString(nSel);
    // A second click must not delete a neighbour the user never chose.
    m_pVideoList->SetCurSel(LB_ERR);
}

void CBurnDlg::OnPreView()
{
    // A file gone or without a player is the shell's to report.
    if (const int nSel = SelectedVideo(); nSel != LB_ERR)
        ShellExecute("open", GetVideoPath(nSel));
}

// ---- Drives and speeds ---------------------------------------------------------------------

void CBurnDlg::RefreshDrives()
{
    // During a run the burn may be using the device list.
    if (m_bRefreshing || m_runState == RunState::Running || m_runState == RunState::Stopping)
        return;
    m_bRefreshing = true;
    // The last worker's hand-over was its last act.
    if (m_refreshWorker.joinable())
        m_refreshWorker.join();
    const int nRemembered = m_pDriveList->GetCurSel();
    m_refreshWorker = std::jthread([this, nRemembered] {
        DriveScan scan = ScanDrives(nRemembered);
        QMetaObject::invokeMethod(this, [this, scan = std::move(scan)] { OnDrivesScanned(scan); },
                                  Qt::QueuedConnection);
    });
    RunEnablingPass();
}

void CBurnDlg::OnDrivesScanned(const DriveScan& scan)
{
    m_bRefreshing = false;
    m_pDriveList->ResetContent();
    for (const std::string& strEntry : scan.m_Entries)
        m_pDriveList->AddString(QString::fromStdString(strEntry));
    // Drive names are long: the open list shows them whole.
    m_pDriveList->view()->setMinimumWidth(m_pDriveList->view()->sizeHintForColumn(0) + 8);
    if (!scan.m_Entries.empty()) {
        m_pDriveList->SetCurSel(scan.m_nSelected);
        ShowSpeeds(scan.m_Speeds);
    }
    RunEnablingPass();
}

void CBurnDlg::ShowSpeeds(std::vector<SpeedEntry> speeds)
{
    m_SpeedList = std::move(speeds);
    m_pSpeed->ResetContent();
    for (const SpeedEntry& entry : m_SpeedList)
        m_pSpeed->AddString(entry.m_szLabel);
    // The fastest.
    if (!m_SpeedList.empty())
        m_pSpeed->SetCurSel(static_cast<int>(m_SpeedList.size()) - 1);
}

CDevice* CBurnDlg::SelectedDevice()
{
    const int nSel = m_pDriveList->GetCurSel();
    std::vector<CDevice>& devices = CDevice::Devices();
    return nSel >= 0 && nSel < static_cast<int>(devices.size()) ? &devices[nSel] : nullptr;
}

void CBurnDlg::OnSelchangeDrive()
{
    if (m_bRefreshing || m_runState != RunState::Idle)
        return;
    if (CDevice* pDevice = SelectedDevice()) {
        std::vector<SpeedEntry> speeds;
        pDevice->GetWriteSpeeds(speeds);
        ShowSpeeds(std::move(speeds));
    }
}

// ---- The run -------------------------------------------------------------------------------

bool CBurnDlg::PassesChecks()
{
    std::vector<std::string> videos;
    for (int i = 0; i < GetVideoCount(); ++i)
        videos.push_back(GetVideoPath(i));
    if (videos.empty()) {
        AfxMessageBox("No video file input! ");
        return false;
    }
    if (const std::vector<std::string> missing = MissingFiles(videos); !missing.empty()) {
        AfxMessageBox(MissingFilesText(missing));
        return false;
    }
    if (m_pDriveList->GetCount() == 0) {
        if (platform::MessageBox(m_hWnd, "No CD/DVD drive find! Refresh list again?", GetAppName().c_str(),
                                 MB_YESNO | MB_ICONQUESTION) == IDYES)
            RefreshDrives();
        return false;
    }
    CDevice* pDevice = SelectedDevice();
    if (pDevice == nullptr) {
        AfxMessageBox("Please select CD/DVD drive for burning");
        return false;
    }
    if (!pDevice->IsBlankDisc()) {
        AfxMessageBox("Please insert a blank disc!");
        RefreshDrives();
        return false;
    }
    const LONG nDiscType = pDevice->GetDiscType();
    if (nDiscType < 2 || nDiscType > 15 || nDiscType == 4 || nDiscType == 10) {
        AfxMessageBox("Disc unsupported! Please insert another");
        RefreshDrives();
        return false;
    }
    // Free blocks of 0 say nothing: the drive did not tell.
    TRACK_INFORMATION info {};
    const MpegEstimate estimate = EstimateMpegSize(videos);
    if (pDevice->GetTrackInfo(255, info) && info.m_ulFreeBlocks > 0) {
        const std::uint64_t ullFree = static_cast<std::uint64_t>(info.m_ulFreeBlocks) * 2048;
        if (estimate.m_ullBytes > ullFree &&
            platform::MessageBox(m_hWnd, DiscSpaceQuestion(estimate.m_ullBytes, ullFree).c_str(),
                                 GetAppName().c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
    }
    return true;
}

void CBurnDlg::OnStartBurn()
{
    if (m_runState != RunState::Idle || m_bRefreshing)
        return;
    m_steps.Reset();
    UpdateData(TRUE);
    if (!PassesChecks())
        return;
    m_runState = RunState::Running;
    ++m_nRun;
    m_bAuthored = false;
    m_pBurnDevice = nullptr;
    RunEnablingPass();
    PostMessage(WM_BURN_STAGE, 0, 0);
}

LRESULT CBurnDlg::OnBurnStage(WPARAM wParam, LPARAM lParam)
{
    // Posts of a run that was stopped lapse.
    if (m_runState != RunState::Running && m_runState != RunState::Stopping)
        return 1;
    switch (wParam) {
    case 0:
        m_steps.HandleStage(wParam, lParam);
        break;
    case 1:
        m_bAuthored = true;
        m_steps.HandleStage(wParam, lParam);
        break;
    case 2:
        // The wait does not hold the window: its controls and log stay live.
        QTimer::singleShot(kBurnStepDelayMs, this, [this, nRun = m_nRun] {
            if (nRun == m_nRun && m_runState == RunState::Running)
                StartBurnStep();
        });
        break;
    case 3: {
        const bool bClosing = m_runState == RunState::Stopping;
        CleanUp();
        if (bClosing) {
            AddLogLine("Stopped.");
            EndDialog(1);
        } else {
            SetStatus("Complete!");
        }
        break;
    }
    default:
        break;
    }
    return 1;
}

void CBurnDlg::StartBurnStep()
{
    UpdateData(TRUE);
    CDevice* pDevice = SelectedDevice();
    BurnJob& job = ProgramBurnJob();
    job = BurnJob {};
    job.m_bOpc = m_bOpc ? 1 : 0;
    const int nSpeed = m_pSpeed->GetCurSel();
    if (nSpeed >= 0 && nSpeed < static_cast<int>(m_SpeedList.size())) {
        job.m_ulSpeed = m_SpeedList[nSpeed].m_ulSpeed;
        job.m_szSpeedLabel = m_SpeedList[nSpeed].m_szLabel;
    }
    // Speed 0: the engine leaves the drive's speed as it is, and says so.
    job.m_lReserved = 0;
    const std::string strLabel = platform::burnlib::CutVolumeLabel(m_strVolumeLabel);
    if (strLabel != m_strVolumeLabel)
        AddLogLine("The disc volume label is cut to " + std::to_string(platform::burnlib::kMaxVolumeLabel) +
                   " characters: " + strLabel);
    std::snprintf(job.m_szVolumeLabel, sizeof job.m_szVolumeLabel, "%s", strLabel.c_str());
    job.m_bEject = m_bEject ? 1 : 0;
    job.m_pDevice = pDevice;
    job.m_pWindow = this;
    job.m_lBurnKind = BURN_KIND_DVD_VIDEO;
    job.m_strSourcePath = m_steps.GetDvdPath() + "/VIDEO_TS";
    m_bDeleteTempAtBurn = m_bDeleteTemp != 0;

    m_pElapsed->clear();
    m_pProgress->setValue(0);
    m_pPercent->setText("0%");
    SetBurnProgressVisible(true);
    m_startTime = std::chrono::steady_clock::now();
    SetTimer(kBurnTimerId, 1000);

    m_pBurnDevice = pDevice;
    if (pDevice != nullptr)
        pDevice->ClearCancelRequest();
    m_burnWorker = std::jthread([&job] { RunBurn(&job); });
}

void CBurnDlg::OnTimer(UINT_PTR)
{
    // A steady clock: the time shown does not jump with the wall clock, at midnight or at the
    // month's end.
    m_pElapsed->setText(QString::fromStdString(ElapsedText(std::chrono::steady_clock::now() - m_startTime)));
    const int nPercent = m_pBurnDevice != nullptr ? m_pBurnDevice->GetProgressPercent() : 0;
    m_pProgress->setValue(std::clamp(nPercent, 0, 100));
    m_pPercent->setText(QString("%1%").arg(nPercent));
}

void CBurnDlg::HideBurnProgress()
{
    OnWindowThread([this] {
        SetBurnProgressVisible(false);
        KillTimer(kBurnTimerId);
    });
}

void CBurnDlg::SetBurnProgressVisible(bool bVisible)
{
    m_pElapsed->setVisible(bVisible);
    m_pProgress->setVisible(bVisible);
    m_pPercent->setVisible(bVisible);
}

void CBurnDlg::CleanUp()
{
    // The burn worker's stage post was its last act.
    if (m_burnWorker.joinable())
        m_burnWorker.join();
    KillTimer(kBurnTimerId);
    SetBurnProgressVisible(false);
    m_runState = RunState::Done;
    for (const std::string& strMpeg : m_steps.GetMpegList())
        RemoveFile(strMpeg);
    // The DVD folder stays: the next run's script empties it.
    if (m_bAuthored && m_bDeleteTempAtBurn) {
        RemoveFile(m_steps.GetBatchPath());
        RemoveFile(m_steps.GetXmlPath());
    }
    RunEnablingPass();
}

void CBurnDlg::OnClose()
{
    if (m_runState == RunState::Stopping)
        return;  // closes when the engine has given up
    if (m_runState == RunState::Running) {
        if (platform::MessageBox(m_hWnd, "A DVD is being made. Stop it and close the window?", GetAppName().c_str(),
                                 MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
        UpdateData(TRUE);
        if (m_burnWorker.joinable()) {
            // The engine stops at its next step or within the write; stage 3 then closes.
            m_runState = RunState::Stopping;
            SetStatus("Stopping...");
            if (m_pBurnDevice != nullptr)
                m_pBurnDevice->RequestCancel();
            RunEnablingPass();
            return;
        }
        // Converting, authoring, or waiting for the burn step: the tool ends, the worker is
        // joined and the burn step lapses.
        m_steps.Stop();
        ++m_nRun;
        m_bDeleteTempAtBurn = m_bDeleteTemp != 0;
        CleanUp();
        AddLogLine("Stopped.");
        EndDialog(1);
        return;
    }
    UpdateData(TRUE);
    EndDialog(1);
}
