#include "recording/RecordDlg.h"

#include "app/FinishedDlg.h"
#include "dvd/BurnDlg.h"
#include "options/OptionFile.h"
#include "platform/com/ComBase.h"
#include "platform/ddx/DataExchange.h"
#include "platform/ui/ComboBox.h"
#include "platform/ui/SpinButton.h"
#include "platform/ui/WindowMessages.h"
#include "platform/x11/WindowFunctions.h"
#include "recording/CaptureFrame.h"
#include "recording/KeyboardHook.h"
#include "recording/PresentationFiles.h"
#include "recording/RecordGeometry.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>

namespace recording {

using platform::CComboBox;
using platform::CSpinButtonCtrl;

namespace {

constexpr int kSpinLower = 0;
constexpr int kSpinUpper = 1024;

// The geometry edits, in the record's order, with their spins.
struct GeometryControl {
    int edit;
    int spin;
};
constexpr GeometryControl kGeometryControls[] = {
    {IDC_REC_PPT_HEIGHT, IDC_REC_SPIN_PPT_HEIGHT},
    {IDC_REC_PPT_WIDTH, IDC_REC_SPIN_PPT_WIDTH},
    {IDC_REC_VIDEO_HEIGHT, IDC_REC_SPIN_VIDEO_HEIGHT},
    {IDC_REC_VIDEO_WIDTH, IDC_REC_SPIN_VIDEO_WIDTH},
    {IDC_REC_TOP_MARGIN, IDC_REC_SPIN_TOP_MARGIN},
    {IDC_REC_BOTTOM_MARGIN, IDC_REC_SPIN_BOTTOM_MARGIN},
    {IDC_REC_LEFT_MARGIN, IDC_REC_SPIN_LEFT_MARGIN},
    {IDC_REC_RIGHT_MARGIN, IDC_REC_SPIN_RIGHT_MARGIN},
};

// The burn settings the record carries: the program's burn window's (one for the whole run),
// else an object of the window's own (a program without a burn window, tests).
options::CBurnSettings& ProgramBurnSettings()
{
    if (CBurnDlg* burn = CBurnDlg::GetProgramInstance())
        return *burn;
    static options::CBurnSettings s_settings;
    return s_settings;
}

}  // namespace

HWND CRecordDlg::s_hSlideShowPane = 0;

CRecordDlg::CRecordDlg(QWidget* pParent)
    : CPersistentDlg(IDD_RECORD_DIALOG, options::kRecordingOptionsFile, pParent),
      CRecordingOptions(ProgramBurnSettings()),
      m_dlgVideoOptions(this),
      m_graph(m_dlgVideoOptions)
{
    setWindowTitle("Tavrelin");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    CreateControls();

    MapCommand(IDC_REC_START, [this] { Guarded([this] { OnStart(); }); });
    MapCommand(IDC_REC_PAUSE, [this] { Guarded([this] { OnPause(); }); });
    MapCommand(IDC_REC_STOP, [this] { Guarded([this] { StopSequence(); }); });
    MapCommand(IDC_REC_FIRST, [this] { Guarded([this] { OnFirstSlide(); }); });
    MapCommand(IDC_REC_PREVIOUS, [this] { Guarded([this] { OnPreviousSlide(); }); });
    MapCommand(IDC_REC_NEXT, [this] { Guarded([this] { OnNextSlide(); }); });
    MapCommand(IDC_REC_LAST, [this] { Guarded([this] { OnLastSlide(); }); });
    MapCommand(IDC_REC_OPTION, [this] { OnOption(); });
    MapCommand(IDC_REC_OUTPUT_FOLDER, [this] { OnOutputFolder(); });
    MapCommand(IDC_REC_BURN, [this] { Guarded([this] { OnBurnDvd(); }); });
    MapMessage(WM_START_RECORDING, [this](WPARAM w, LPARAM l) {
        LRESULT r = 0;
        Guarded([&] { r = OnStartRecording(w, l); });
        return r;
    });
    MapMessage(WM_DRAW_CAPTURE_FRAME, [this](WPARAM w, LPARAM l) { return OnDrawCaptureFrame(w, l); });
    MapMessage(WM_ASK_BURN, [this](WPARAM w, LPARAM l) {
        LRESULT r = 0;
        Guarded([&] { r = OnAskBurn(w, l); });
        return r;
    });
    MapMessage(WM_HOOK_KEY, [this](WPARAM w, LPARAM l) { return OnHookKey(w, l); });
    MapMessage(WM_HOOK_CLICK, [this](WPARAM w, LPARAM l) { return OnHookClick(w, l); });
    MapMessage(WM_SHOW_SLIDE_CHANGED, [this](WPARAM w, LPARAM l) { return OnShowSlideChanged(w, l); });
}

CRecordDlg::~CRecordDlg()
{
    // A window destroyed without its closing sequence still ends the office it started.
    if (m_driver.IsStarted())
        ShutDownPowerPoint();
    m_driver.ReleaseAll();
}

void CRecordDlg::CreateControls()
{
    SetDialogSize(575, 393);
    // Resizable, from the resource's size down to a usable strip of controls.
    setMinimumSize(MapDialogRect(QRect(0, 0, 200, 120)).size());
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

    // First row: recording, navigation, options and geometry.
    const int y1 = 4, h = 13;
    AddButton(IDC_REC_START, "Start", {4, y1, 26, h});
    AddButton(IDC_REC_PAUSE, "Pause", {32, y1, 26, h});
    AddButton(IDC_REC_STOP, "Stop", {60, y1, 26, h});
    AddButton(IDC_REC_FIRST, "|<", {90, y1, 14, h});
    AddButton(IDC_REC_PREVIOUS, "<", {106, y1, 14, h});
    AddButton(IDC_REC_NEXT, ">", {122, y1, 14, h});
    AddButton(IDC_REC_LAST, ">|", {138, y1, 14, h});
    AddButton(IDC_REC_OPTION, "O&ption...", {156, y1, 38, h});
    AddGeometryEdit(IDC_REC_PPT_WIDTH, IDC_REC_SPIN_PPT_WIDTH, "PPT W:", 199, y1);
    AddGeometryEdit(IDC_REC_PPT_HEIGHT, IDC_REC_SPIN_PPT_HEIGHT, "PPT H:", 255, y1);
    AddGeometryEdit(IDC_REC_TOP_MARGIN, IDC_REC_SPIN_TOP_MARGIN, "T Margin:", 311, y1);
    AddGeometryEdit(IDC_REC_BOTTOM_MARGIN, IDC_REC_SPIN_BOTTOM_MARGIN, "B Margin:", 377, y1);
    AddGeometryEdit(IDC_REC_LEFT_MARGIN, IDC_REC_SPIN_LEFT_MARGIN, "L Margin:", 443, y1);
    AddGeometryEdit(IDC_REC_RIGHT_MARGIN, IDC_REC_SPIN_RIGHT_MARGIN, "R Margin:", 509, y1);
    // The video size is stored but never shown.
    AddGeometryEdit(IDC_REC_VIDEO_WIDTH, IDC_REC_SPIN_VIDEO_WIDTH, "Video W:", 199, y1 + 17, false);
    AddGeometryEdit(IDC_REC_VIDEO_HEIGHT, IDC_REC_SPIN_VIDEO_HEIGHT, "Video H:", 255, y1 + 17, false);

    // Second row: the presentations, the slide counter, the size presets; the output folder and
    // burn (the first row has no room left for them).
    const int y2 = 21;
    m_pPresentations = new CComboBox(nullptr, true);
    AddControl(IDC_REC_PRESENTATIONS, m_pPresentations, {4, y2, 300, 12});
    m_pCounter = AddStatic(IDC_REC_SLIDE_COUNTER, "", {310, y2 + 2, 36, 10});
    m_pSize = new CComboBox;
    for (const SizePreset& preset : kSizePresets)
        m_pSize->AddString(preset.text);
    AddControl(IDC_REC_SIZE, m_pSize, {350, y2, 80, 12});
    AddButton(IDC_REC_OUTPUT_FOLDER, "Outp&ut Folder", {463, y2, 54, h});
    AddButton(IDC_REC_BURN, "&Burn DVD", {521, y2, 50, h})->hide();

    // Status line and separator across the whole width.
    m_pStatus = AddStatic(IDC_REC_STATUS, kReadyText, {4, 37, 567, 9});
    m_pStatus->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    m_pSeparator = AddEtchedLine(IDC_REC_SEPARATOR, {0, 48, 575, 2});

    // The slide area holds the office's window: a window of its own, black where no slide is.
    m_pSlideArea = new QWidget;
    m_pSlideArea->setAttribute(Qt::WA_NativeWindow);
    m_pSlideArea->setAutoFillBackground(true);
    QPalette palette = m_pSlideArea->palette();
    palette.setColor(QPalette::Window, Qt::black);
    m_pSlideArea->setPalette(palette);
    AddControl(IDC_REC_SLIDE_AREA, m_pSlideArea, {0, 52, 320, 240});
    m_pCaptureFrame = new CCaptureFrame;
    AddControl(IDC_REC_CAPTURE_FRAME, m_pCaptureFrame, {0, 52, 320, 240});

    connect(m_pPresentations, qOverload<int>(&QComboBox::activated), this,
            [this](int) { Guarded([this] { OnSelchangePresentations(); }); });
    connect(m_pSize, qOverload<int>(&QComboBox::activated), this,
            [this](int) { Guarded([this] { ApplySizePreset(); }); });

    for (QWidget* control : findChildren<QWidget*>())
        if (control->property("ctrlId").isValid())
            control->installEventFilter(this);
}

void CRecordDlg::AddGeometryEdit(int nEditId, int nSpinId, const char* label, int x, int y,
                                 bool bVisible)
{
    bool wide = QString(label).contains("Margin");
    int labelWidth = wide ? 34 : 25;
    int editWidth = wide ? 20 : 21;
    QLabel* text = AddStatic(-1, label, {x, y + 2, labelWidth, 9});
    auto* edit = new QLineEdit;
    AddControl(nEditId, edit, {x + labelWidth, y, editWidth, 13});
    auto* spin = new CSpinButtonCtrl;
    AddControl(nSpinId, spin, {x + labelWidth + editWidth, y, 8, 13});
    for (QWidget* part : std::initializer_list<QWidget*> {text, edit, spin})
        part->setVisible(bVisible);
    m_spins.emplace_back(nEditId, spin);
    connect(edit, &QLineEdit::textChanged, this,
            [this, nEditId] { Guarded([this, nEditId] { OnGeometryEditChange(nEditId); }); });
}

void CRecordDlg::DoDataExchange(platform::CDataExchange* pDX)
{
    bool filling = !pDX->m_bSaveAndValidate;
    m_bFilling = m_bFilling || filling;
    for (const GeometryControl& control : kGeometryControls)
        platform::DDX_Text(pDX, control.edit, GeometryField(control.edit));
    platform::DDX_CBIndex(pDX, IDC_REC_SIZE, m_nSizePreset);
    if (filling) {
        m_bFilling = false;
        for (const GeometryControl& control : kGeometryControls)
            SetSpinPos(control.edit);
    }
}

int& CRecordDlg::GeometryField(int nEditId)
{
    switch (nEditId) {
    case IDC_REC_PPT_HEIGHT: return m_nPptHeight;
    case IDC_REC_PPT_WIDTH: return m_nPptWidth;
    case IDC_REC_VIDEO_HEIGHT: return m_nVideoHeight;
    case IDC_REC_VIDEO_WIDTH: return m_nVideoWidth;
    case IDC_REC_TOP_MARGIN: return m_nTopMargin;
    case IDC_REC_BOTTOM_MARGIN: return m_nBottomMargin;
    case IDC_REC_LEFT_MARGIN: return m_nLeftMargin;
    default: return m_nRightMargin;
    }
}

void CRecordDlg::SetSpinPos(int nEditId)
{
    for (auto& [edit, spin] : m_spins)
        if (edit == nEditId)
            spin->SetPos(static_cast<short>(GeometryField(nEditId) & 0xFFFF));
}

bool CRecordDlg::IsBurnMode() const
{
    return m_pVideoOptionsDlg && m_pVideoOptionsDlg->m_bBurnMode != 0;
}

BOOL CRecordDlg::OnInitDialog()
{
    // 1. The record from "videoRecording.dat", into the controls.
    CPersistentDlg::OnInitDialog();
    // 2. The spins: buddies, range, position.
    for (auto& [edit, spin] : m_spins) {
        spin->SetBuddy(GetDlgItemAs<QLineEdit>(edit));
        spin->SetRange(kSpinLower, kSpinUpper);
        SetSpinPos(edit);
    }
    // 3. The presentations; a .pps is shown through its copy.
    if (m_pMainDlg) {
        m_pPresentations->ResetContent();
        for (const std::string& path : m_pMainDlg->GetPresentationList())
            m_pPresentations->AddString(QString::fromStdString(PresentationComboPath(path)));
        m_pPresentations->SetCurSel(0);
    }
    // 4. Maximised, without showing yet: the window manager maximises it when it maps; without
    // one it covers the screen's free area.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);
    // The native windows exist from here on, so the office can be given the slide area.
    (void)GetSafeHwnd();
    (void)m_pSlideArea->winId();
    LayoutRecordWindow();
    // 5. "&Burn DVD" only in burn mode.
    GetDlgItem(IDC_REC_BURN)->setVisible(IsBurnMode());
    // 6. The presentation program.
    if (StartPowerPoint()) {
        m_bToolTips = true;
        m_nRecordState = RECORD_STATE_READY;
        InstallHook();
    }
    // 7. The member records (the executable-export window is no part of this program).
    options::COptionFile(options::kPresentationModeFile).LoadRecord(m_presentationMode);
    m_dlgVideoOptions.LoadOptions(FALSE);
    // 8. COM on this thread.
    m_bComInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    // 9. Burn mode records DVD-sized.
    if (IsBurnMode()) {
        m_pSize->SetCurSel(1);
        Guarded([this] { ApplySizePreset(); });
    }
    // 10. DoModal shows the window.
    return TRUE;
}

void CRecordDlg::OnCancel()
{
    RemoveHook();
    ShutDownPowerPoint();
    if (m_nRecordState != RECORD_STATE_READY)
        StopSequence();
    if (m_bComInitialized) {
        CoUninitialize();
        m_bComInitialized = false;
    }
    SaveOptions();
    EndDialog(platform::IDCANCEL);
}

void CRecordDlg::OnUpdateEnabling()
{
    const RecordEnabling enabling = GetRecordEnabling(m_bRecording, m_driver.IsPresentationOpen());
    EnableDlgItem(IDC_REC_START, enabling.bStart);
    EnableDlgItem(IDC_REC_PAUSE, enabling.bPauseStop);
    EnableDlgItem(IDC_REC_STOP, enabling.bPauseStop);
    for (int id : {IDC_REC_FIRST, IDC_REC_PREVIOUS, IDC_REC_NEXT, IDC_REC_LAST})
        EnableDlgItem(id, enabling.bNavigation);
    EnableDlgItem(IDC_REC_OPTION, enabling.bSettings);
    for (const GeometryControl& control : kGeometryControls) {
        EnableDlgItem(control.edit, enabling.bSettings);
        EnableDlgItem(control.spin, enabling.bSettings);
    }
    EnableDlgItem(IDC_REC_SIZE, enabling.bSettings);
    EnableDlgItem(IDC_REC_BURN, enabling.bSettings);
}

void CRecordDlg::resizeEvent(QResizeEvent* e)
{
    CPersistentDlg::resizeEvent(e);
    LayoutRecordWindow();
    FitPowerPointWindow();
}

void CRecordDlg::paintEvent(QPaintEvent* e)
{
    CPersistentDlg::paintEvent(e);
    HWND pane = s_hSlideShowPane;
    if (!m_hPptWnd || !pane)
        return;
    // Only a paint that reaches the slide area can have touched what the office shows.
    if (e->rect().intersects(m_pSlideArea->geometry().adjusted(-1, -1, 1, 1)))
        platform::InvalidateRect(pane, nullptr, TRUE);
    if (!m_bDrawPending) {
        m_bDrawPending = true;
        platform::PostMessage(GetSafeHwnd(), WM_DRAW_CAPTURE_FRAME, 0, 0);
    }
}

LRESULT CRecordDlg::OnDrawCaptureFrame(WPARAM, LPARAM)
{
    // After the office has painted the pane.
    QTimer::singleShot(10, this, [this] {
        m_bDrawPending = false;
        m_pCaptureFrame->Draw();
    });
    return 0;
}

void CRecordDlg::showEvent(QShowEvent* e)
{
    CPersistentDlg::showEvent(e);
    raise();
    activateWindow();
}

QString CRecordDlg::ToolTipText(int nId) const
{
    switch (nId) {
    case IDC_REC_START: return "Start Record...";
    case IDC_REC_STOP: return "Stop Current Record.";
    case IDC_REC_PAUSE:
        if (m_nRecordState == RECORD_STATE_RECORDING)
            return "Pause Current Record.";
        return m_nRecordState == RECORD_STATE_PAUSED ? "Resume Recording." : "Pause Record.";
    case IDC_REC_OPTION: return "Set Output Video Option.";
    case IDC_REC_OUTPUT_FOLDER: return "Open the Folder of Ouput Video.";
    case IDC_REC_PREVIOUS: return "Previous Slide.";
    case IDC_REC_NEXT: return "Next Slide.";
    case IDC_REC_LAST: return "Last Slide.";
    case IDC_REC_VIDEO_HEIGHT: return "Output Video Height.";
    case IDC_REC_VIDEO_WIDTH: return "Output Video Width.";
    case IDC_REC_PPT_HEIGHT: return "Slideshow Window Height.";
    case IDC_REC_BOTTOM_MARGIN: return "Bottom Margin of Output Video.";
    case IDC_REC_TOP_MARGIN: return "Top Margin of Output Video.";
    case IDC_REC_RIGHT_MARGIN: return "Right Margin of Output Video.";
    case IDC_REC_LEFT_MARGIN: return "Left Margin of Output Video.";
    case IDC_REC_FIRST: return "First Slide.";
    case IDC_REC_PPT_WIDTH: return "Slideshow Window Width.";
    case IDC_REC_PRESENTATIONS: return "PowerPoint Files List.";
    default: return {};
    }
}

bool CRecordDlg::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        auto* widget = qobject_cast<QWidget*>(watched);
        QString text = m_bToolTips && widget ? ToolTipText(widget->property("ctrlId").toInt()) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), text, widget);
        return true;
    }
    return CPersistentDlg::eventFilter(watched, e);
}

void CRecordDlg::Guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const CAutomationError& e) {
        platform::AfxMessageBox(e.what());
    }
}

RECT CRecordDlg::GetCaptureRect()
{
    RECT rect {};
    if (!platform::GetWindowRect(static_cast<HWND>(m_pCaptureFrame->winId()), &rect))
        return RECT {};
    return rect;
}

void CRecordDlg::SetPresentationSettings(const PresentationSettings& settings)
{
    m_settings = settings;
    m_bSettingsChosen = true;
}

void CRecordDlg::OnOption()
{
    // What it saves goes to its file; the recordings keep the member options read at the start.
    if (m_pVideoOptionsDlg)
        m_pVideoOptionsDlg->DoModal();
}

void CRecordDlg::OnOutputFolder()
{
    OpenWithShell(m_dlgVideoOptions.m_strOutputPath);
}

void CRecordDlg::InstallHook()
{
    InstallKeyboardHook(GetSafeHwnd());
}

void CRecordDlg::RemoveHook()
{
    RemoveKeyboardHook();
}

LRESULT CRecordDlg::OnHookKey(WPARAM wParam, LPARAM)
{
    if (ApplyHookKey(m_counter, static_cast<UINT>(wParam), s_hSlideShowPane, m_hPptWnd)) {
        ShowSlideCounter();
        // A key may only have run an animation step, or gone past an end of the show.
        m_follower.KeyHandled();
    }
    return 0;
}

LRESULT CRecordDlg::OnHookClick(WPARAM, LPARAM lParam)
{
    ApplyHookClick(*reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam), static_cast<HWND>(m_pSlideArea->winId()),
                   m_hPptWnd, GetSafeHwnd());
    return 0;
}

LRESULT CRecordDlg::OnShowSlideChanged(WPARAM, LPARAM)
{
    long position = 0;
    try {
        position = m_driver.CurrentShowPosition();
    } catch (const CAutomationError&) {
        return 0;  // a look of our own, not the user's command: nothing to report
    }
    // 0: no show runs (it ended, or another presentation is being opened); the counter stays.
    if (position > 0) {
        m_counter.SetPosition(position);
        ShowSlideCounter();
    }
    return 0;
}

}  // namespace recording
