// The output video options window over its real controls and option file, with doubles for the
// devices, codecs and mixer: what it shows at opening, its enabling rules, the device step, and
// what OK and Cancel leave in "ToVideoOption.dat".
#include "GraphDoubles.h"
#include "options/VideoOptionsDlg.h"
#include "platform/com/ObjectCreation.h"
#include "platform/shell/Places.h"
#include "platform/ui/ComboBox.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace capturetest;
using namespace options;
using platform::CComboBox;

namespace {

class VideoOptionsDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        InstallGraphClasses();
        m_previous = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_messages.push_back(r.text);
            return platform::IDOK;
        });
        m_devices.SetVideoCompressors({{L"Motion JPEG"}, {L"Microsoft Video 1"}, {L"FFV1 Lossless"}});
        m_devices.SetAudioCompressors({{L"PCM"}, {L"MPEG Layer-3"}, {L"IMA ADPCM"}});
        m_devices.SetSoundDevices({{L"Card", {L"Microphone", L"Line In", L"Stereo Mix"}}});
        m_mixer.m_devices = {MixerDeviceData {"Card", {WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Stereo Mix")})}}};
    }
    void TearDown() override
    {
        platform::SetMessageBoxHandler(m_previous);
        CoUninitialize();
    }

    // Opens the window modally and runs during in it; a window still open afterwards is
    // cancelled as a user would.
    INT_PTR Run(CVideoOptionsDlg& dlg, const std::function<void()>& during)
    {
        QTimer::singleShot(0, &dlg, [&dlg, during] {
            during();
            if (dlg.isVisible())
                dlg.SendCommand(platform::IDCANCEL);
        });
        return dlg.DoModal();
    }

    std::string OptionFile() const { return m_dir.file("cfg/ToVideoOption.dat"); }
    void Store(const CVideoOptions& record)
    {
        std::filesystem::create_directories(m_dir.file("cfg"));
        ASSERT_TRUE(COptionFile(kVideoOptionsFile).SaveRecord(const_cast<CVideoOptions&>(record)));
    }
    CVideoOptions Stored() const
    {
        CVideoOptions record;
        EXPECT_EQ(COptionFile(kVideoOptionsFile).LoadRecord(record), LoadResult::Complete);
        return record;
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_config {"VANTOREL_CONFIG_DIR", m_dir.file("cfg")};
    CFakeDevices m_devices;
    CFakeMixer m_mixer;
    std::vector<std::string> m_messages;
    platform::MessageBoxHandler m_previous;
};

QCheckBox* Check(const CVideoOptionsDlg& dlg, int nID) { return dlg.GetDlgItemAs<QCheckBox>(nID); }
CComboBox* List(const CVideoOptionsDlg& dlg, int nID) { return dlg.GetDlgItemAs<CComboBox>(nID); }
QString Selected(const CVideoOptionsDlg& dlg, int nID) { return List(dlg, nID)->currentText(); }
QStringList Entries(const CVideoOptionsDlg& dlg, int nID)
{
    QStringList entries;
    for (int i = 0; i < List(dlg, nID)->count(); ++i)
        entries << List(dlg, nID)->itemText(i);
    return entries;
}
bool Enabled(const CVideoOptionsDlg& dlg, int nID) { return dlg.GetDlgItem(nID)->isEnabled(); }

// What the user picks a device with: the list's selection and its "activated" report.
void ChooseDevice(CVideoOptionsDlg& dlg, int nIndex)
{
    List(dlg, IDC_VO_SOUND_DEVICE)->setCurrentIndex(nIndex);
    emit List(dlg, IDC_VO_SOUND_DEVICE)->activated(nIndex);
}

} // namespace

TEST_F(VideoOptionsDlgTest, FreshStartShowsTheDefaultsAndOkWritesThemCancelWritesNothing)
{
    const std::string strTemp = platform::GetTempPath();
    for (int nButton : {platform::IDCANCEL, platform::IDOK}) {
        SCOPED_TRACE(nButton);
        CVideoOptionsDlg dlg;
        INT_PTR result = Run(dlg, [&] {
            EXPECT_EQ(dlg.windowTitle(), "Convert PowerPoint to Video");
            EXPECT_EQ(dlg.GetDlgItemAs<QLineEdit>(IDC_VO_OUTPUT_PATH)->text().toStdString(), strTemp);
            EXPECT_FALSE(Enabled(dlg, IDC_VO_OUTPUT_PATH));
            EXPECT_FALSE(Enabled(dlg, IDC_VO_BROWSE));
            EXPECT_TRUE(Check(dlg, IDC_VO_RECORD_SOUND)->isChecked());
            EXPECT_TRUE(Check(dlg, IDC_VO_VIDEO_COMPRESS)->isChecked());
            EXPECT_TRUE(Check(dlg, IDC_VO_AUDIO_COMPRESS)->isChecked());
            EXPECT_FALSE(Check(dlg, IDC_VO_MOUSE_TRACK)->isChecked());
            for (int nID : {IDC_VO_44KHZ, IDC_VO_16BIT, IDC_VO_STEREO})
                EXPECT_TRUE(dlg.GetDlgItemAs<QRadioButton>(nID)->isChecked()) << nID;
            EXPECT_EQ(Selected(dlg, IDC_VO_CAPTURE_MODE), "DirectDraw");
            EXPECT_EQ(Selected(dlg, IDC_VO_FILE_FORMAT), "AVI");
            EXPECT_TRUE(Enabled(dlg, IDC_VO_FILE_FORMAT));
            // The loop-back line of the first device is shown as "Default".
            EXPECT_EQ(Entries(dlg, IDC_VO_INPUT_SOURCE), (QStringList {"Microphone", "Line In", "Default"}));
            // Hidden controls stay hidden but are there for the exchange.
            for (int nID : {IDC_VO_COLOR_FORMAT, IDC_VO_FRAME_RATE, IDC_VO_VIDEO_SIZE, IDC_VO_QUALITY,
                            IDC_VO_SOUND_FROM_MIC, IDC_VO_VIDEO_PROP, IDC_VO_AUDIO_PROP})
                EXPECT_TRUE(dlg.GetDlgItem(nID)->isHidden()) << nID;
            EXPECT_EQ(dlg.GetDlgItemAs<QLabel>(IDC_VO_SOUND_HELP)->toolTip().toStdString(),
                      platform::GetProgramFolder() + "sound-help.html");
            dlg.SendCommand(nButton);
        });
        EXPECT_EQ(result, nButton);
        EXPECT_EQ(std::filesystem::exists(OptionFile()), nButton == platform::IDOK);
        // Closing releases the device and the list's monikers.
        EXPECT_EQ(dlg.GetSoundDevice(), nullptr);
        EXPECT_EQ(List(dlg, IDC_VO_SOUND_DEVICE)->count(), 0);
    }
    const std::string bytes = testsupport::ReadFile(OptionFile());
    EXPECT_EQ(bytes.substr(0, 12), std::string("\0\0\0\0\xff\xff\xff\xff\xff\xff\xff\xff", 12));
    EXPECT_EQ(bytes.substr(12, 1 + strTemp.size()), char(strTemp.size()) + strTemp);
    CVideoOptions stored = Stored();
    EXPECT_EQ(stored.m_nFrameRate, 15);
    EXPECT_EQ(stored.m_strSoundDevice, "Card");
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(VideoOptionsDlgTest, EnablingRulesFollowBurnModeRecordSoundAndTheCompressionBoxes)
{
    const int soundControls[] = {IDC_VO_SOUND_DEVICE, IDC_VO_INPUT_SOURCE, IDC_VO_DEVICE_PROP, IDC_VO_MONO,
                                 IDC_VO_STEREO, IDC_VO_8BIT, IDC_VO_16BIT, IDC_VO_11KHZ, IDC_VO_22KHZ, IDC_VO_44KHZ};
    for (int bBurn : {0, 1}) {
        CVideoOptionsDlg dlg;
        dlg.m_bBurnMode = bBurn;
        Run(dlg, [&] {
            for (int bSound : {0, 1})
                for (int bVideo : {0, 1})
                    for (int bAudio : {0, 1}) {
                        SCOPED_TRACE(testing::Message() << "burn " << bBurn << " sound " << bSound << " video "
                                                        << bVideo << " audio " << bAudio);
                        Check(dlg, IDC_VO_RECORD_SOUND)->setChecked(bSound);
                        Check(dlg, IDC_VO_VIDEO_COMPRESS)->setChecked(bVideo);
                        Check(dlg, IDC_VO_AUDIO_COMPRESS)->setChecked(bAudio);
                        dlg.RunEnablingPass();
                        EXPECT_EQ(Enabled(dlg, IDC_VO_VIDEO_COMPRESS), !bBurn);
                        EXPECT_EQ(Enabled(dlg, IDC_VO_VIDEO_COMPRESSOR), !bBurn && bVideo);
                        EXPECT_EQ(Enabled(dlg, IDC_VO_AUDIO_COMPRESS), !bBurn && bSound);
                        EXPECT_EQ(Enabled(dlg, IDC_VO_AUDIO_COMPRESSOR), !bBurn && bSound && bAudio);
                        for (int nID : soundControls)
                            EXPECT_EQ(Enabled(dlg, nID), bool(bSound)) << nID;
                        EXPECT_EQ(Enabled(dlg, IDC_VO_FILE_FORMAT), !bBurn);
                        EXPECT_TRUE(Enabled(dlg, IDC_VO_RECORD_SOUND));
                    }
        });
    }
}

TEST_F(VideoOptionsDlgTest, BurnModeChoosesTheDiscCodecsAndOkStoresThem)
{
    CVideoOptions record;
    record.m_bVideoCompress = 0;
    record.m_bAudioCompress = 0;
    record.m_strVideoCompressor = "FFV1 Lossless";
    record.m_strAudioCompressor = "PCM";
    Store(record);

    CVideoOptionsDlg plain;
    Run(plain, [&] {
        EXPECT_EQ(Selected(plain, IDC_VO_VIDEO_COMPRESSOR), "FFV1 Lossless");
        EXPECT_EQ(Selected(plain, IDC_VO_AUDIO_COMPRESSOR), "PCM") << "no version 6 here: PCM stays PCM";
        EXPECT_FALSE(Check(plain, IDC_VO_VIDEO_COMPRESS)->isChecked());
    });

    CVideoOptionsDlg dlg;
    dlg.m_bBurnMode = TRUE;
    INT_PTR result = Run(dlg, [&] {
        EXPECT_EQ(Selected(dlg, IDC_VO_VIDEO_COMPRESSOR), "Microsoft Video 1");
        EXPECT_EQ(Selected(dlg, IDC_VO_AUDIO_COMPRESSOR), "MPEG Layer-3");
        EXPECT_TRUE(Check(dlg, IDC_VO_VIDEO_COMPRESS)->isChecked());
        EXPECT_TRUE(Check(dlg, IDC_VO_AUDIO_COMPRESS)->isChecked());
        dlg.SendCommand(platform::IDOK);
    });
    EXPECT_EQ(result, platform::IDOK);
    CVideoOptions stored = Stored();
    EXPECT_EQ(stored.m_strVideoCompressor, "Microsoft Video 1");
    EXPECT_EQ(stored.m_strAudioCompressor, "MPEG Layer-3");
    EXPECT_EQ(stored.m_bVideoCompress, 1);
    EXPECT_EQ(stored.m_bAudioCompress, 1);
    // What the opener reads after OK.
    EXPECT_EQ(dlg.m_strVideoCompressor, "Microsoft Video 1");

    // Without those codecs installed nothing matches, so nothing is selected, and OK keeps the
    // stored names.
    m_devices.SetVideoCompressors({{L"Motion JPEG"}, {L"FFV1 Lossless"}});
    m_devices.SetAudioCompressors({{L"PCM"}, {L"IMA ADPCM"}});
    CVideoOptionsDlg bare;
    bare.m_bBurnMode = TRUE;
    Run(bare, [&] {
        EXPECT_EQ(List(bare, IDC_VO_VIDEO_COMPRESSOR)->GetCurSel(), -1);
        EXPECT_EQ(List(bare, IDC_VO_AUDIO_COMPRESSOR)->GetCurSel(), -1);
        bare.SendCommand(platform::IDOK);
    });
    EXPECT_EQ(Stored().m_strVideoCompressor, "Microsoft Video 1");
}

TEST_F(VideoOptionsDlgTest, NameListsSelectByPrefixIgnoringCaseAndTheDeviceStepFollowsTheChoice)
{
    CVideoOptions record;
    record.m_strAudioCompressor = "ima";          // a prefix, another case
    record.m_strVideoCompressor = "M";            // "Motion JPEG" is first, but the search starts at the second
    record.m_strSoundDevice = "usb";
    record.m_strInputSource = "headset";
    Store(record);

    m_devices.SetSoundDevices({{L"Card", {L"Microphone", L"Line In", L"Stereo Mix"}}, {L"USB Headset", {L"Headset Mic"}}});
    CVideoOptionsDlg dlg;
    INT_PTR result = Run(dlg, [&] {
        EXPECT_EQ(Selected(dlg, IDC_VO_AUDIO_COMPRESSOR), "IMA ADPCM");
        EXPECT_EQ(Selected(dlg, IDC_VO_VIDEO_COMPRESSOR), "Microsoft Video 1");
        // The stored device is the one bound, so its own inputs are listed.
        EXPECT_EQ(Selected(dlg, IDC_VO_SOUND_DEVICE), "USB Headset");
        EXPECT_EQ(Entries(dlg, IDC_VO_INPUT_SOURCE), QStringList {"Headset Mic"});
        EXPECT_EQ(Selected(dlg, IDC_VO_INPUT_SOURCE), "Headset Mic");

        // A change of device refills the inputs with its pin names, without "Default".
        ChooseDevice(dlg, 0);
        EXPECT_EQ(Entries(dlg, IDC_VO_INPUT_SOURCE), (QStringList {"Microphone", "Line In", "Stereo Mix"}));
        EXPECT_EQ(Selected(dlg, IDC_VO_INPUT_SOURCE), "Microphone");
        List(dlg, IDC_VO_INPUT_SOURCE)->SetCurSel(1);
        dlg.SendCommand(platform::IDOK);
    });
    EXPECT_EQ(result, platform::IDOK);
    CVideoOptions stored = Stored();
    EXPECT_EQ(stored.m_strAudioCompressor, "IMA ADPCM");
    EXPECT_EQ(stored.m_strSoundDevice, "Card");
    EXPECT_EQ(stored.m_strInputSource, "Line In");
    ASSERT_EQ(m_devices.BoundSoundDevices().size(), 2u) << "one binding per device step";
}

TEST_F(VideoOptionsDlgTest, WithoutSoundDevicesRecordSoundIsOffAndDisabled)
{
    m_devices.SetSoundDevices({});
    CVideoOptionsDlg dlg;
    INT_PTR result = Run(dlg, [&] {
        EXPECT_FALSE(Check(dlg, IDC_VO_RECORD_SOUND)->isChecked());
        EXPECT_FALSE(Enabled(dlg, IDC_VO_RECORD_SOUND));
        EXPECT_FALSE(Enabled(dlg, IDC_VO_SOUND_DEVICE));
        EXPECT_FALSE(Enabled(dlg, IDC_VO_AUDIO_COMPRESSOR));
        dlg.SendCommand(platform::IDOK);
    });
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(Stored().m_bRecordSound, 0);
}

TEST_F(VideoOptionsDlgTest, TempFolderAndBrowseDecideThePathATypedPathIsKeptAsTyped)
{
    CVideoOptionsDlg dlg;
    std::vector<std::string> browsed;
    dlg.SetFolderBrowser([&](QWidget*, const std::string& strTitle) -> std::optional<std::string> {
        browsed.push_back(strTitle);
        return browsed.size() == 1 ? std::optional<std::string>("/srv/video") : std::nullopt;
    });
    INT_PTR result = Run(dlg, [&] {
        auto* pPath = dlg.GetDlgItemAs<QLineEdit>(IDC_VO_OUTPUT_PATH);
        const QString temp = QString::fromStdString(platform::GetTempPath());
        Check(dlg, IDC_VO_USE_TEMP_FOLDER)->click();
        EXPECT_TRUE(Enabled(dlg, IDC_VO_OUTPUT_PATH));
        EXPECT_TRUE(Enabled(dlg, IDC_VO_BROWSE));
        EXPECT_EQ(pPath->text(), temp) << "unchecking keeps the path";

        dlg.SendCommand(IDC_VO_BROWSE);
        EXPECT_EQ(pPath->text(), "/srv/video/");
        dlg.SendCommand(IDC_VO_BROWSE);  // cancelled: nothing changes
        EXPECT_EQ(pPath->text(), "/srv/video/");

        Check(dlg, IDC_VO_USE_TEMP_FOLDER)->click();
        EXPECT_EQ(pPath->text(), temp);
        EXPECT_FALSE(Enabled(dlg, IDC_VO_OUTPUT_PATH));
        Check(dlg, IDC_VO_USE_TEMP_FOLDER)->click();
        pPath->setText("/srv/typed");
        dlg.SendCommand(platform::IDOK);
    });
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(browsed, (std::vector<std::string> {"Select Destination Path:", "Select Destination Path:"}));
    CVideoOptions stored = Stored();
    EXPECT_EQ(stored.m_strOutputPath, "/srv/typed");
    EXPECT_EQ(stored.m_bUseTempFolder, 0);
}

TEST_F(VideoOptionsDlgTest, PathLimitCountsBytesAndNothingIsWrittenUntilTheEntriesAreValid)
{
    CVideoOptions record;
    record.m_bUseTempFolder = 0;
    record.m_strOutputPath = "/" + std::string(299, 'p');  // hand-edited: too long for the box
    record.m_nFrameRate = 0;                              // damaged: the hidden box cannot be corrected
    Store(record);
    const std::string before = testsupport::ReadFile(OptionFile());

    CVideoOptionsDlg dlg;
    bool bStillOpen = false;
    std::string afterRefusal;
    INT_PTR result = Run(dlg, [&] {
        auto* pPath = dlg.GetDlgItemAs<QLineEdit>(IDC_VO_OUTPUT_PATH);
        EXPECT_EQ(pPath->text().size(), 300) << "a longer stored path is shown whole";
        dlg.SendCommand(platform::IDOK);
        bStillOpen = dlg.isVisible();
        afterRefusal = testsupport::ReadFile(OptionFile());
        EXPECT_EQ(dlg.focusWidget(), pPath);

        // 128 letters, 255 bytes as stored: within the limit.
        pPath->setText(QString(127, QChar(0x00E9)) + "/");
        dlg.SendCommand(platform::IDOK);
    });
    EXPECT_TRUE(bStillOpen);
    EXPECT_EQ(afterRefusal, before) << "the refused OK wrote nothing";
    EXPECT_EQ(m_messages, std::vector<std::string> {"Please enter no more than 255 characters."});
    EXPECT_EQ(result, platform::IDOK);
    CVideoOptions stored = Stored();
    EXPECT_EQ(stored.m_strOutputPath.size(), 255u);
    EXPECT_EQ(stored.m_nFrameRate, 10);
}
