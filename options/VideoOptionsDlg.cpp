#include "options/VideoOptionsDlg.h"

#include "options/DeviceLists.h"
#include "options/LinkLabel.h"
#include "options/SoundInputSelection.h"
#include "platform/ddx/DataExchange.h"
#include "platform/shell/Places.h"
#include "platform/ui/ComboBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace platform;

namespace options {

int GetWindowsVersionCode()
{
    // The version classes name releases of another platform; none of them is ever running.
    return -1;
}

bool GetTempFolder(std::string& strPath)
{
    std::string strTemp = platform::GetTempPath();
    if (strTemp.empty())
        return false;
    strPath = strTemp;
    return true;
}

namespace {

constexpr int kStatic = -1;  // controls nothing refers to

// Selects the entry the name lists' search finds for strName; the selection stays otherwise.
void SelectName(CComboBox* pCombo, const std::string& strName)
{
    const int nIndex = FindStringPrefix(pCombo, strName);
    if (nIndex >= 0)
        pCombo->SetCurSel(nIndex);
}

void SelectFirstIfNone(CComboBox* pCombo)
{
    if (pCombo->GetCount() > 0 && pCombo->GetCurSel() < 0)
        pCombo->SetCurSel(0);
}

} // namespace

CVideoOptionsDlg::CVideoOptionsDlg(QWidget* pParent) : CPersistentDlg(IDD_VIDEO_OPTIONS, kVideoOptionsFile, pParent)
{
    setWindowTitle("Convert PowerPoint to Video");
    SetDialogSize(265, 256);
    CreateControls();

    MapCommand(IDC_VO_BROWSE, [this] { OnBrowse(); });
    MapCommand(IDC_VO_USE_TEMP_FOLDER, [this] { OnUseTempFolder(); });
    MapCommand(IDC_VO_DEVICE_PROP, [this] { OnDeviceProperties(); });
    MapCommand(IDC_VO_SOUND_DEVICE, [this] {
        if (m_pSoundDeviceList->GetCurSel() != m_nBoundDevice)
            OnSelchangeSoundDevice();
    });
    connect(m_pUseTempFolder, &QCheckBox::clicked, this, [this] { SendCommand(IDC_VO_USE_TEMP_FOLDER); });
    // A choice the user makes; the window's own selections do not run the device step.
    connect(m_pSoundDeviceList, &QComboBox::activated, this, [this] { SendCommand(IDC_VO_SOUND_DEVICE); });
}

CVideoOptionsDlg::~CVideoOptionsDlg()
{
    ReleaseDevices();
}

void CVideoOptionsDlg::CreateControls()
{
    auto frame = [this](const QRect& dlu) {
        auto* pFrame = new QFrame;
        pFrame->setFrameShape(QFrame::Box);
        pFrame->setFrameShadow(QFrame::Sunken);
        AddControl(-1, pFrame, dlu);
    };
    auto combo = [this](int nID, const QRect& dlu, const QStringList& entries = {}) {
        auto* pCombo = new CComboBox;
        for (const QString& entry : entries)
            pCombo->AddString(entry);
        pCombo->SetCurSel(-1);
        AddControl(nID, pCombo, dlu);
        return pCombo;
    };
    auto check = [this](int nID, const QString& text, const QRect& dlu) {
        return static_cast<QCheckBox*>(AddControl(nID, new QCheckBox(text), dlu));
    };
    auto radios = [this](std::initializer_list<std::pair<int, const char*>> buttons, int x, int y, int dx, int dy,
                         int cx) {
        auto* pGroup = new QButtonGroup(this);
        for (auto [nID, text] : buttons) {
            auto* pRadio = new QRadioButton(text);
            pGroup->addButton(pRadio);
            AddControl(nID, pRadio, {x, y, cx, 10});
            x += dx;
            y += dy;
        }
    };
    auto hidden = [](QWidget* pWidget) { pWidget->hide(); };

    // 1. The output folder.
    AddStatic(kStatic, "1. Select Ouput Path", {7, 3, 150, 8});
    frame({7, 12, 251, 30});
    m_pOutputPath = static_cast<QLineEdit*>(AddControl(IDC_VO_OUTPUT_PATH, new QLineEdit, {14, 17, 182, 12}));
    m_pBrowse = AddButton(IDC_VO_BROWSE, "Browse", {201, 16, 50, 14});
    m_pUseTempFolder = check(IDC_VO_USE_TEMP_FOLDER, "Use \"Temp\" Folder", {14, 30, 120, 10});

    // 2. The picture.
    AddStatic(kStatic, "2. Set Output Video Format", {7, 45, 150, 8});
    frame({7, 54, 251, 32});
    AddStatic(kStatic, "File Format:", {14, 60, 50, 8});
    m_pFileFormat = combo(IDC_VO_FILE_FORMAT, {66, 58, 70, 12}, {"AVI"});
    hidden(AddStatic(kStatic, "Color Format:", {140, 60, 46, 8}));
    hidden(combo(IDC_VO_COLOR_FORMAT, {188, 58, 64, 12}, {"RGB32", "RGB24", "RGB565", "RGB555"}));
    hidden(AddStatic(kStatic, "Frame:", {140, 60, 24, 8}));
    hidden(AddControl(IDC_VO_FRAME_RATE, new QLineEdit, {166, 58, 24, 12}));
    hidden(AddStatic(kStatic, "f/sec", {192, 60, 20, 8}));
    hidden(AddStatic(kStatic, "Size:", {140, 60, 20, 8}));
    hidden(combo(IDC_VO_VIDEO_SIZE, {162, 58, 64, 12}, {"240 X 400", "640 X 480", "800 X 600"}));
    hidden(AddStatic(kStatic, "Quality: ", {140, 60, 30, 8}));
    hidden(combo(IDC_VO_QUALITY, {172, 58, 50, 12}, {"Normal", "Good", ""}));
    m_pVideoCompress = check(IDC_VO_VIDEO_COMPRESS, "Use Compression", {14, 72, 72, 10});
    m_pVideoCompressor = combo(IDC_VO_VIDEO_COMPRESSOR, {88, 71, 120, 12});
    hidden(AddButton(IDC_VO_VIDEO_PROP, "Prop", {212, 70, 36, 14}));

    // 3. The sound.
    AddStatic(kStatic, "3. Set Sound Option", {7, 89, 90, 8});
    m_pSoundHelp = new CLinkLabel;
    m_pSoundHelp->setText("-->  Need help? click me");
    AddControl(IDC_VO_SOUND_HELP, m_pSoundHelp, {100, 89, 100, 8});
    frame({7, 98, 251, 108});
    m_pRecordSound = check(IDC_VO_RECORD_SOUND, "Record Sound", {14, 102, 80, 10});
    radios({{IDC_VO_SOUND_FROM_MIC, "Record Sound From Mic"},
            {IDC_VO_SOUND_FROM_CARD, "Record Sound From Sound Card"},
            {IDC_VO_SOUND_NONE, "None Sound"}},
           100, 102, 0, 0, 150);
    for (int nID : {IDC_VO_SOUND_FROM_MIC, IDC_VO_SOUND_FROM_CARD, IDC_VO_SOUND_NONE})
        hidden(GetDlgItem(nID));
    AddStatic(kStatic, "Sound Device:", {14, 116, 50, 8});
    m_pSoundDeviceList = combo(IDC_VO_SOUND_DEVICE, {66, 114, 166, 12});
    m_pDeviceProp = AddButton(IDC_VO_DEVICE_PROP, "P...", {236, 113, 18, 14});
    AddStatic(kStatic, "Input Source:", {14, 131, 50, 8});
    m_pInputSource = combo(IDC_VO_INPUT_SOURCE, {66, 129, 188, 12});
    AddControl(kStatic, new QGroupBox("Audio Properties"), {14, 144, 240, 41});
    radios({{IDC_VO_MONO, "Mono"}, {IDC_VO_STEREO, "Stereo"}}, 26, 155, 0, 10, 50);
    radios({{IDC_VO_8BIT, "8-bit"}, {IDC_VO_16BIT, "16-bit"}}, 98, 155, 0, 10, 50);
    radios({{IDC_VO_11KHZ, "11 kHz"}, {IDC_VO_22KHZ, "22 kHz"}, {IDC_VO_44KHZ, "44 kHz"}}, 170, 155, 0, 10, 50);
    m_pAudioCompress = check(IDC_VO_AUDIO_COMPRESS, "Use Compression", {14, 190, 72, 10});
    m_pAudioCompressor = combo(IDC_VO_AUDIO_COMPRESSOR, {88, 189, 120, 12});
    hidden(AddButton(IDC_VO_AUDIO_PROP, "Prop", {212, 188, 36, 14}));

    // 4. The rest.
    AddStatic(kStatic, "4. Other Option", {7, 210, 90, 8});
    frame({7, 219, 251, 16});
    check(IDC_VO_MOUSE_TRACK, "Record with Mouse Track", {14, 222, 110, 10});
    AddStatic(kStatic, "Capture Mode:", {140, 223, 50, 8});
    combo(IDC_VO_CAPTURE_MODE, {192, 221, 60, 12}, {"GDI", "DirectDraw"});

    AddButton(IDOK, "OK", {148, 238, 50, 14}, BS_DEFPUSHBUTTON);
    AddButton(IDCANCEL, "Cancel", {208, 238, 50, 14});
}

void CVideoOptionsDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_CBIndex(pDX, IDC_VO_FILE_FORMAT, m_nFileFormat);
    DDX_CBIndex(pDX, IDC_VO_QUALITY, m_nQuality);
    DDX_CBIndex(pDX, IDC_VO_VIDEO_SIZE, m_nVideoSize);
    DDX_Text(pDX, IDC_VO_OUTPUT_PATH, m_strOutputPath);
    DDV_MaxChars(pDX, m_strOutputPath, 255);
    DDX_Radio(pDX, IDC_VO_SOUND_FROM_MIC, m_nSoundSource);
    DDX_Check(pDX, IDC_VO_MOUSE_TRACK, m_bMouseTrack);
    DDX_Check(pDX, IDC_VO_RECORD_SOUND, m_bRecordSound);
    DDX_Check(pDX, IDC_VO_AUDIO_COMPRESS, m_bAudioCompress);
    DDX_Check(pDX, IDC_VO_VIDEO_COMPRESS, m_bVideoCompress);
    DDX_CBIndex(pDX, IDC_VO_COLOR_FORMAT, m_nColorFormat);
    DDX_Text(pDX, IDC_VO_FRAME_RATE, m_nFrameRate);
    DDV_MinMaxInt(pDX, m_nFrameRate, kMinFrameRate, kMaxFrameRate);
    DDX_Radio(pDX, IDC_VO_11KHZ, m_nSampleRate);
    DDX_Radio(pDX, IDC_VO_8BIT, m_nSampleBits);
    DDX_Radio(pDX, IDC_VO_MONO, m_nChannels);
    DDX_CBIndex(pDX, IDC_VO_CAPTURE_MODE, m_nCaptureMode);
    DDX_Check(pDX, IDC_VO_USE_TEMP_FOLDER, m_bUseTempFolder);
    DDX_CBString(pDX, IDC_VO_VIDEO_COMPRESSOR, m_strVideoCompressor);
    DDX_CBString(pDX, IDC_VO_AUDIO_COMPRESSOR, m_strAudioCompressor);
    DDX_CBString(pDX, IDC_VO_SOUND_DEVICE, m_strSoundDevice);
    DDX_CBString(pDX, IDC_VO_INPUT_SOURCE, m_strInputSource);
}

BOOL CVideoOptionsDlg::OnInitDialog()
{
    // The link's own set-up belongs to the window's creation; a window shown again keeps it.
    if (!m_pSoundHelp->IsAttached())
        m_pSoundHelp->Attach();
    CPersistentDlg::OnInitDialog();
    m_pSoundHelp->SetUrl(platform::GetProgramFolder() + kSoundHelpPage);
    FillDeviceLists();
    MarkDefaultInput(*this, *m_pInputSource);
    if (m_bUseTempFolder)
        GetTempFolder(m_strOutputPath);
    // The frame rate's box is hidden: a rate from a damaged file could never be corrected there,
    // and every OK would be refused.
    m_nFrameRate = CaptureFrameRate();
    UpdateData(FALSE);
    SelectFirstIfNone(m_pSoundDeviceList);
    SelectFirstIfNone(m_pInputSource);
    m_pFileFormat->setEnabled(!m_bBurnMode);
    if (m_bBurnMode)
        ApplyBurnDefaults();
    if (GetWindowsVersionCode() == 6 && m_strAudioCompressor == kBurnAudioCompressor)
        SelectName(m_pAudioCompressor, kVersion6AudioCompressor);
    OnUseTempFolder();
    return TRUE;
}

void CVideoOptionsDlg::FillDeviceLists()
{
    FillDeviceList(CLSID_VideoCompressorCategory, m_pVideoCompressor, FALSE);
    FillDeviceList(CLSID_AudioCompressorCategory, m_pAudioCompressor, FALSE);

    // A window shown again lists the devices afresh.
    ReleaseDevices();
    m_pRecordSound->setEnabled(true);
    const HRESULT hr = FillAudioDeviceList(*m_pSoundDeviceList);
    if (FAILED(hr) || hr == S_FALSE) {
        m_bRecordSound = 0;
        m_pRecordSound->setEnabled(false);
        return;
    }
    // The inputs listed (and the loop-back renamed in them) must be those of the device the
    // stored name selects, or they would be stored with another device than their own.
    const int nStored = FindStringPrefix(m_pSoundDeviceList, m_strSoundDevice);
    m_pSoundDeviceList->SetCurSel(nStored >= 0 ? nStored : 0);
    OnSelchangeSoundDevice();
}

void CVideoOptionsDlg::ApplyBurnDefaults()
{
    SelectName(m_pAudioCompressor, GetWindowsVersionCode() == 6 ? kVersion6AudioCompressor : kBurnAudioCompressor);
    SelectName(m_pVideoCompressor, kBurnVideoCompressor);
    m_pVideoCompress->setChecked(true);
    m_pAudioCompress->setChecked(true);
}

void CVideoOptionsDlg::OnUpdateEnabling()
{
    const bool bBurn = m_bBurnMode != 0;
    m_pVideoCompress->setEnabled(!bBurn);
    m_pVideoCompressor->setEnabled(!bBurn && m_pVideoCompress->isChecked());

    const bool bSound = m_pRecordSound->isChecked();
    m_pAudioCompress->setEnabled(!bBurn && bSound);
    m_pAudioCompressor->setEnabled(!bBurn && bSound && m_pAudioCompress->isChecked());
    for (int nID : {IDC_VO_SOUND_DEVICE, IDC_VO_INPUT_SOURCE, IDC_VO_DEVICE_PROP, IDC_VO_MONO, IDC_VO_STEREO,
                    IDC_VO_8BIT, IDC_VO_16BIT, IDC_VO_11KHZ, IDC_VO_22KHZ, IDC_VO_44KHZ})
        EnableDlgItem(nID, bSound);
}

void CVideoOptionsDlg::OnSelchangeSoundDevice()
{
    m_pSoundDevice.Reset();
    m_nBoundDevice = m_pSoundDeviceList->GetCurSel();
    auto* pMoniker = reinterpret_cast<IMoniker*>(m_pSoundDeviceList->GetItemData(m_nBoundDevice));
    if (!pMoniker)
        return;
    if (FAILED(pMoniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, m_pSoundDevice.ReleaseAndGetVoidAddressOf())) ||
        !m_pSoundDevice) {
        m_pSoundDevice.Reset();
        return;
    }
    if (FAILED(FillInputSourceList(m_pSoundDevice.Get(), *m_pInputSource)))
        return;
    // Until the next enabling pass, which follows "Record Sound".
    m_pDeviceProp->setEnabled(HasPropertyPages(m_pSoundDevice.Get()) != FALSE);
    SelectFirstIfNone(m_pInputSource);
}

void CVideoOptionsDlg::OnBrowse()
{
    if (std::optional<std::string> path = BrowseForFolder(this, m_browse)) {
        m_strOutputPath = *path;
        m_pOutputPath->setText(QString::fromStdString(m_strOutputPath));
    }
}

void CVideoOptionsDlg::OnUseTempFolder()
{
    const bool bTemp = m_pUseTempFolder->isChecked();
    m_pBrowse->setEnabled(!bTemp);
    m_pOutputPath->setEnabled(!bTemp);
    if (bTemp && GetTempFolder(m_strOutputPath))
        m_pOutputPath->setText(QString::fromStdString(m_strOutputPath));
}

void CVideoOptionsDlg::OnDeviceProperties()
{
    // The device is in no graph, so it has no name of its own: the frame is captioned with the
    // device's entry.
    ShowFilterProperties(m_pSoundDevice.Get(), GetSafeHwnd(),
                         m_pSoundDeviceList->GetLBText(m_nBoundDevice).toStdString());
}

void CVideoOptionsDlg::OnOK()
{
    // Nothing is written while an entry is invalid: the message has been shown and the focus
    // is on the control concerned.
    if (!UpdateData(TRUE))
        return;
    SaveOptions();
    EndDialog(IDOK);
    ReleaseDevices();
}

void CVideoOptionsDlg::OnCancel()
{
    EndDialog(IDCANCEL);
    ReleaseDevices();
}

void CVideoOptionsDlg::ReleaseDevices()
{
    m_pSoundDevice.Reset();
    m_nBoundDevice = -1;
    ReleaseAudioDeviceList(*m_pSoundDeviceList);
}

} // namespace options
