#pragma once
// The output video options window: where the recordings go and how picture and sound are
// captured and compressed. It edits the video options record and keeps it in
// "ToVideoOption.dat"; after OK the opener reads the record from the window object.
//
//     CVideoOptionsDlg dlg(this);
//     dlg.m_bBurnMode = TRUE;            // before DoModal
//     if (dlg.DoModal() == IDOK) ... dlg.m_strOutputPath ...
//
// While open the window holds the bound sound capture device and one moniker per "Sound Device:"
// entry; both are released when the window closes and when it is destroyed.
#include "options/BrowseForFolder.h"
#include "options/PersistentDlg.h"
#include "options/VideoOptions.h"
#include "platform/com/ComPtr.h"
#include "platform/dshow/Interfaces.h"

#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace platform {
class CComboBox;
}

namespace options {

class CLinkLabel;

inline constexpr UINT IDD_VIDEO_OPTIONS = 129;

// Control ids of the window.
enum : int {
    IDC_VO_OUTPUT_PATH = 1001,
    IDC_VO_BROWSE = 1002,
    IDC_VO_USE_TEMP_FOLDER = 1003,
    IDC_VO_FILE_FORMAT = 1004,
    IDC_VO_COLOR_FORMAT = 1005,    // hidden
    IDC_VO_FRAME_RATE = 1006,      // hidden
    IDC_VO_VIDEO_SIZE = 1007,      // hidden
    IDC_VO_QUALITY = 1008,         // hidden
    IDC_VO_VIDEO_COMPRESS = 1009,
    IDC_VO_VIDEO_COMPRESSOR = 1010,
    IDC_VO_VIDEO_PROP = 1011,      // hidden
    IDC_VO_SOUND_HELP = 1012,
    IDC_VO_RECORD_SOUND = 1013,
    IDC_VO_SOUND_FROM_MIC = 1014,  // hidden radio group of three
    IDC_VO_SOUND_FROM_CARD = 1015,
    IDC_VO_SOUND_NONE = 1016,
    IDC_VO_SOUND_DEVICE = 1017,
    IDC_VO_DEVICE_PROP = 1018,
    IDC_VO_INPUT_SOURCE = 1019,
    IDC_VO_MONO = 1020,
    IDC_VO_STEREO = 1021,
    IDC_VO_8BIT = 1022,
    IDC_VO_16BIT = 1023,
    IDC_VO_11KHZ = 1024,
    IDC_VO_22KHZ = 1025,
    IDC_VO_44KHZ = 1026,
    IDC_VO_AUDIO_COMPRESS = 1027,
    IDC_VO_AUDIO_COMPRESSOR = 1028,
    IDC_VO_AUDIO_PROP = 1029,      // hidden
    IDC_VO_MOUSE_TRACK = 1030,
    IDC_VO_CAPTURE_MODE = 1031,
};

inline constexpr const char* kSoundHelpPage = "sound-help.html";
inline constexpr const char* kBurnVideoCompressor = "Microsoft Video 1";
inline constexpr const char* kBurnAudioCompressor = "MPEG Layer-3";
// What version 6 shows for "MPEG Layer-3", and chooses in burn mode.
inline constexpr const char* kVersion6AudioCompressor = "PCM";

// The platform's version class: 4, 5 or 6 for the versions the system knew, -1 for any other.
// Always -1 here, so the branches for version 6 never apply.
int GetWindowsVersionCode();
// The temporary folder, with its trailing '/'; false when the platform gives none.
bool GetTempFolder(std::string& strPath);

class CVideoOptionsDlg : public CPersistentDlg, public CVideoOptions {
    Q_OBJECT
public:
    explicit CVideoOptionsDlg(QWidget* pParent = nullptr);
    ~CVideoOptionsDlg() override;

    // Replaces the folder browser behind "Browse" (tests).
    void SetFolderBrowser(FolderBrowser browse) { m_browse = std::move(browse); }
    // The device bound from the selected "Sound Device:" entry, or null.
    IBaseFilter* GetSoundDevice() const { return m_pSoundDevice.Get(); }

protected:
    void SerializeOptions(COptionArchive& ar) override { CVideoOptions::SerializeOptions(ar); }
    void DoDataExchange(platform::CDataExchange* pDX) override;

    BOOL OnInitDialog() override;
    // Validates, then writes the file and closes; an invalid entry keeps the window open and
    // the file as it was.
    void OnOK() override;
    void OnCancel() override;
    void OnUpdateEnabling() override;

    void OnBrowse();
    void OnUseTempFolder();
    void OnDeviceProperties();
    // The device step: bind the selected device and list its inputs.
    void OnSelchangeSoundDevice();

private:
    void CreateControls();
    void FillDeviceLists();
    void ApplyBurnDefaults();
    void ReleaseDevices();

    FolderBrowser m_browse = SHBrowseForFolder;
    ComPtr<IBaseFilter> m_pSoundDevice;
    int m_nBoundDevice = -1;  // the "Sound Device:" entry m_pSoundDevice was bound from

    QLineEdit* m_pOutputPath = nullptr;
    QPushButton* m_pBrowse = nullptr;
    QCheckBox* m_pUseTempFolder = nullptr;
    platform::CComboBox* m_pFileFormat = nullptr;
    QCheckBox* m_pVideoCompress = nullptr;
    platform::CComboBox* m_pVideoCompressor = nullptr;
    CLinkLabel* m_pSoundHelp = nullptr;
    QCheckBox* m_pRecordSound = nullptr;
    platform::CComboBox* m_pSoundDeviceList = nullptr;
    QPushButton* m_pDeviceProp = nullptr;
    platform::CComboBox* m_pInputSource = nullptr;
    QCheckBox* m_pAudioCompress = nullptr;
    platform::CComboBox* m_pAudioCompressor = nullptr;
};

} // namespace options
