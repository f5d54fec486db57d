// The output video options window over its real controls and option file, with doubles for the
// devices, codecs and mixer: what it shows, its enabling rules, the device step, and what OK and
// Cancel leave in "ToVideoOption.dat".
#include "GraphDoubles.h"
#include "options/VideoOptionsDlg.h"
#include "platform/com/ObjectCreation.h"
#include "platform/shell/Places.h"
#include "platform/ui/ComboBox.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

using namespace capturetest;
using namespace options;
using platform::CComboBox;

namespace {

class VideoOptionsDlgTest : public GraphDoublesTest {
protected:
    void SetUp() override
    {
        GraphDoublesTest::SetUp();
        m_devices.SetVideoCompressors({{L"Motion JPEG"}, {L"Microsoft Video 1"}, {L"FFV1 Lossless"}});
        m_devices.SetAudioCompressors({{L"PCM"}, {L"MPEG Layer-3"}, {L"IMA ADPCM"}});
        m_devices.SetSoundDevices({{L"Card", {L"Microphone", L"Line In", L"Stereo Mix"}}});
        m_mixer.m_devices = {MixerDeviceData {"Card", {WaveIn({Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Stereo Mix")})}}};
    }
    // Opens a window with the burn flag and runs during in it; a window still open afterwards is
    // cancelled. Closing releases the device and the list's monikers.
    INT_PTR Run(BOOL bBurnMode, const std::function<void(CVideoOptionsDlg&)>& during)
    {
        CVideoOptionsDlg dlg;
        dlg.m_bBurnMode = bBurnMode;
        QTimer::singleShot(0, &dlg, [&dlg, during] {
            during(dlg);
            if (dlg.isVisible())
                dlg.SendCommand(platform::IDCANCEL);
        });
        INT_PTR result = dlg.DoModal();
        EXPECT_EQ(dlg.GetSoundDevice(), nullptr);
        EXPECT_EQ(dlg.GetDlgItemAs<CComboBox>(IDC_VO_SOUND_DEVICE)->count(), 0);
        return result;
    }
    void Store(CVideoOptions record)
    {
        std::filesystem::create_directories(m_dir.file("cfg"));
        ASSERT_TRUE(COptionFile(kVideoOptionsFile).SaveRecord(record));
    }
    CVideoOptions Stored() const
    {
        CVideoOptions record;
        EXPECT_EQ(COptionFile(kVideoOptionsFile).LoadRecord(record), LoadResult::Complete);
        return record;
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_config {"VANTOREL_CONFIG_DIR", m_dir.file("cfg")};
    CFakeMixer m_mixer;
};

QCheckBox* Check(const CVideoOptionsDlg& dlg, int nID) { return dlg.GetDlgItemAs<QCheckBox>(nID); }
CComboBox* List(const CVideoOptionsDlg& dlg, int nID) { return dlg.GetDlgItemAs<CComboBox>(nID); }
QString Selected(const CVideoOptionsDlg& dlg, int nID) { return List(dlg, nID)->currentText(); }
bool Enabled(const CVideoOptionsDlg& dlg, int nID) { return dlg.GetDlgItem(nID)->isEnabled(); }
QStringList Inputs(const CVideoOptionsDlg& dlg)
{
    QStringList entries;
    for (int i = 0; i < List(dlg, IDC_VO_INPUT_SOURCE)->count(); ++i)
        entries << List(dlg, IDC_VO_INPUT_SOURCE)->itemText(i);
    return entries;
}

} // namespace

TEST_F(VideoOptionsDlgTest, FreshStartShowsTheDefaultsOkWritesThemCancelWritesNothing)
{
    const std::string strTemp = platform::GetTempPath();
    for (int nButton : {platform::IDCANCEL, platform::IDOK}) {
        EXPECT_EQ(Run(FALSE, [&](CVideoOptionsDlg& dlg) {
            EXPECT_EQ(dlg.GetDlgItemAs<QLineEdit>(IDC_VO_OUTPUT_PATH)->text().toStdString(), strTemp);
            EXPECT_FALSE(Enabled(dlg, IDC_VO_OUTPUT_PATH));
            EXPECT_FALSE(Enabled(dlg, IDC_VO_BROWSE));
            EXPECT_TRUE(Check(dlg, IDC_VO_RECORD_SOUND)->isChecked());
            for (int nID : {IDC_VO_44KHZ, IDC_VO_16BIT, IDC_VO_STEREO})
                EXPECT_TRUE(dlg.GetDlgItemAs<QRadioButton>(nID)->isChecked()) << nID;
            EXPECT_EQ(Selected(dlg, IDC_VO_CAPTURE_MODE), "DirectDraw");
            EXPECT_EQ(Inputs(dlg), (QStringList {"Microphone", "Line In", "Default"}));
            EXPECT_TRUE(dlg.GetDlgItem(IDC_VO_FRAME_RATE)->isHidden());
            dlg.SendCommand(nButton);
        }), nButton);
        EXPECT_EQ(std::filesystem::exists(m_dir.file("cfg/ToVideoOption.dat")), nButton == platform::IDOK);
    }
    const std::string bytes = testsupport::ReadFile(m_dir.file("cfg/ToVideoOption.dat"));
    EXPECT_EQ(bytes.substr(0, 13 + strTemp.size()),
              std::string("\0\0\0\0\xff\xff\xff\xff\xff\xff\xff\xff", 12) + char(strTemp.size()) + strTemp);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(VideoOptionsDlgTest, BurnModeChoosesTheDiscCodecsAndNoSoundDeviceMeansNoSound)
{
    CVideoOptions record;
    record.m_bVideoCompress = record.m_bAudioCompress = 0;
    record.m_strVideoCompressor = "FFV1 Lossless";
    record.m_strAudioCompressor = "PCM";
    Store(record);
    m_devices.SetSoundDevices({});
    Run(TRUE, [&](CVideoOptionsDlg& dlg) {
        EXPECT_EQ(Selected(dlg, IDC_VO_VIDEO_COMPRESSOR), kBurnVideoCompressor);
        EXPECT_EQ(Selected(dlg, IDC_VO_AUDIO_COMPRESSOR), kBurnAudioCompressor);
        EXPECT_FALSE(Enabled(dlg, IDC_VO_FILE_FORMAT));
        EXPECT_FALSE(Check(dlg, IDC_VO_RECORD_SOUND)->isChecked());
        EXPECT_FALSE(Enabled(dlg, IDC_VO_RECORD_SOUND));
        dlg.SendCommand(platform::IDOK);
    });
    CVideoOptions stored = Stored();
    EXPECT_EQ(stored.m_strVideoCompressor + "/" + stored.m_strAudioCompressor, "Microsoft Video 1/MPEG Layer-3");
    EXPECT_EQ(stored.m_bVideoCompress + stored.m_bAudioCompress, 2);
    EXPECT_EQ(stored.m_bRecordSound, 0);
}

TEST_F(VideoOptionsDlgTest, EnablingRulesFollowBurnModeRecordSoundAndTheCompressionBoxes)
{
    for (int bBurn : {0, 1})
        Run(bBurn, [&](CVideoOptionsDlg& dlg) {
            for (int nCase = 0; nCase < 8; ++nCase) {
                const bool bSound = nCase & 1, bVideo = nCase & 2, bAudio = nCase & 4;
                SCOPED_TRACE(testing::Message() << "burn " << bBurn << " case " << nCase);
                Check(dlg, IDC_VO_RECORD_SOUND)->setChecked(bSound);
                Check(dlg, IDC_VO_VIDEO_COMPRESS)->setChecked(bVideo);
                Check(dlg, IDC_VO_AUDIO_COMPRESS)->setChecked(bAudio);
                dlg.RunEnablingPass();
                EXPECT_EQ(Enabled(dlg, IDC_VO_VIDEO_COMPRESS), !bBurn);
                EXPECT_EQ(Enabled(dlg, IDC_VO_VIDEO_COMPRESSOR), !bBurn && bVideo);
                EXPECT_EQ(Enabled(dlg, IDC_VO_AUDIO_COMPRESS), !bBurn && bSound);
                EXPECT_EQ(Enabled(dlg, IDC_VO_AUDIO_COMPRESSOR), !bBurn && bSound && bAudio);
                for (int nID : {IDC_VO_SOUND_DEVICE, IDC_VO_INPUT_SOURCE, IDC_VO_DEVICE_PROP, IDC_VO_MONO, IDC_VO_STEREO,
                                IDC_VO_8BIT, IDC_VO_16BIT, IDC_VO_11KHZ, IDC_VO_22KHZ, IDC_VO_44KHZ})
                    EXPECT_EQ(Enabled(dlg, nID), bSound) << nID;
            }
        });
}

TEST_F(VideoOptionsDlgTest, NameListsSelectByPrefixIgnoringCaseAndTheInputsFollowTheDevice)
{
    m_devices.SetSoundDevices({{L"Card", {L"Microphone", L"Line In", L"Stereo Mix"}}, {L"USB Headset", {L"Headset Mic"}}});
    CVideoOptions record;
    record.m_strAudioCompressor = "ima";  // a prefix in another case
    record.m_strVideoCompressor = "M";    // the search starts at the second entry
    record.m_strSoundDevice = "usb";
    record.m_strInputSource = "headset";
    Store(record);
    Run(FALSE, [&](CVideoOptionsDlg& dlg) {
        EXPECT_EQ(Selected(dlg, IDC_VO_AUDIO_COMPRESSOR), "IMA ADPCM");
        EXPECT_EQ(Selected(dlg, IDC_VO_VIDEO_COMPRESSOR), "Microsoft Video 1");
        // The inputs listed are the stored device's own.
        EXPECT_EQ(Selected(dlg, IDC_VO_SOUND_DEVICE), "USB Headset");
        EXPECT_EQ(Selected(dlg, IDC_VO_INPUT_SOURCE), "Headset Mic");
        List(dlg, IDC_VO_SOUND_DEVICE)->setCurrentIndex(0);
        emit List(dlg, IDC_VO_SOUND_DEVICE)->activated(0);
        EXPECT_EQ(Inputs(dlg), (QStringList {"Microphone", "Line In", "Stereo Mix"})) << "no Default after a change";
        List(dlg, IDC_VO_INPUT_SOURCE)->SetCurSel(1);
        dlg.SendCommand(platform::IDOK);
    });
    CVideoOptions stored = Stored();
    EXPECT_EQ(stored.m_strAudioCompressor + "/" + stored.m_strSoundDevice + "/" + stored.m_strInputSource,
              "IMA ADPCM/Card/Line In");
}

TEST_F(VideoOptionsDlgTest, PathFollowsTempFolderAndBrowseAndIsWrittenOnlyOnceValid)
{
    CVideoOptions record;
    record.m_bUseTempFolder = 0;
    record.m_strOutputPath = "/" + std::string(299, 'p');  // hand-edited, too long
    record.m_nFrameRate = 0;                              // damaged; its box is hidden
    Store(record);
    const std::string before = testsupport::ReadFile(m_dir.file("cfg/ToVideoOption.dat"));
    const QString temp = QString::fromStdString(platform::GetTempPath());
    Run(FALSE, [&](CVideoOptionsDlg& dlg) {
        auto* pPath = dlg.GetDlgItemAs<QLineEdit>(IDC_VO_OUTPUT_PATH);
        dlg.SendCommand(platform::IDOK);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(testsupport::ReadFile(m_dir.file("cfg/ToVideoOption.dat")), before) << "refused OK wrote nothing";

        Check(dlg, IDC_VO_USE_TEMP_FOLDER)->click();
        EXPECT_EQ(pPath->text(), temp);
        EXPECT_FALSE(Enabled(dlg, IDC_VO_BROWSE));
        Check(dlg, IDC_VO_USE_TEMP_FOLDER)->click();
        EXPECT_EQ(pPath->text(), temp) << "unchecking keeps the path";
        dlg.SetFolderBrowser([](QWidget*, const std::string&) { return std::optional<std::string>("/srv/video"); });
        dlg.SendCommand(IDC_VO_BROWSE);
        EXPECT_EQ(pPath->text(), "/srv/video/");
        pPath->setText(QString(127, QChar(0x00E9)) + "/");  // 255 bytes as stored
        dlg.SendCommand(platform::IDOK);
    });
    EXPECT_EQ(m_messages, std::vector<std::string> {"Please enter no more than 255 characters."});
    CVideoOptions stored = Stored();
    EXPECT_EQ(stored.m_strOutputPath.size(), 255u) << "stored as typed";
    EXPECT_EQ(stored.m_nFrameRate, 10);
}
