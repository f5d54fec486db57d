// The output video options window on the display with a private sound server, the real device
// enumerator, compressors, capture filters and mixer: the server's sources listed as devices
// and inputs, the loop-back shown as "Default", a device change refilling the inputs, the
// property frame, and the choices kept for the next opening.
#include "options/VideoOptionsDlg.h"
#include "platform/codecs/CompressorCategories.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/WideText.h"
#include "platform/dshow/DeviceEnum.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/pulse/AudioCaptureFilter.h"
#include "platform/pulse/PulseContext.h"
#include "platform/pulse/ServerInventory.h"
#include "platform/pulse/SoundDevices.h"
#include "platform/pulse/SoundLines.h"
#include "platform/ui/ComboBox.h"
#include "platform/ui/MessageBox.h"
#include "support/PrivatePulseServer.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace options;
using platform::CComboBox;
using testsupport::PrivatePulseServer;

namespace {

constexpr const char* kCardName = "Vantorel Test Card";

// The server's devices as the category lists them, except that the sine source belongs to a
// card, as a microphone of its own would: a private server has no cards, and one device alone
// could not be changed.
std::vector<DeviceEntry> ListDevicesWithATestCard()
{
    CPulseContext ctx;
    PulseServerInventory inv;
    if (FAILED(ctx.Connect("Vantorel options test")) || FAILED(QueryServerInventory(ctx, &inv)))
        return {};
    inv.cards.push_back({4242, "vantorel_test_card", kCardName});
    for (PulseSourceInfo& source : inv.sources)
        if (source.name == PrivatePulseServer::kSineSourceName)
            source.card = 4242;
    std::vector<DeviceEntry> entries;
    for (SoundDevice& device : GroupSoundDevices(inv))
        entries.push_back({WideFromUtf8(device.name),
                           [device](IBaseFilter** ppFilter) { return CAudioCaptureFilter::Create(device, ppFilter); }});
    return entries;
}

QStringList Entries(const CVideoOptionsDlg& dlg, int nID)
{
    QStringList entries;
    auto* combo = dlg.GetDlgItemAs<CComboBox>(nID);
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    return entries;
}
QString Selected(const CVideoOptionsDlg& dlg, int nID) { return dlg.GetDlgItemAs<CComboBox>(nID)->currentText(); }

class VideoOptionsSoundServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_pulse.IsRunning()) << m_pulse.Log();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        RegisterMediaGraphClasses();
        for (const CLSID& category : {CLSID_VideoCompressorCategory, CLSID_AudioCompressorCategory})
            RevokeDeviceCategory(category);
        RegisterCompressorCategories();
        RegisterSoundDevices();  // the capture filter's property page
        RevokeDeviceCategory(CLSID_AudioInputDeviceCategory);
        RegisterDeviceCategory(CLSID_AudioInputDeviceCategory, ListDevicesWithATestCard);
        m_previous = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_messages.push_back(r.text);
            return platform::IDOK;
        });
    }
    void TearDown() override
    {
        platform::SetMessageBoxHandler(m_previous);
        CoUninitialize();
    }

    INT_PTR Run(CVideoOptionsDlg& dlg, const std::function<void()>& during)
    {
        QTimer::singleShot(0, &dlg, [&dlg, during] {
            during();
            if (dlg.isVisible())
                dlg.SendCommand(platform::IDCANCEL);
        });
        return dlg.DoModal();
    }

    PrivatePulseServer m_pulse;
    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_config {"VANTOREL_CONFIG_DIR", m_dir.file("cfg")};
    std::vector<std::string> m_messages;
    platform::MessageBoxHandler m_previous;
};

} // namespace

TEST_F(VideoOptionsSoundServerTest, DevicesInputsAndTheLoopBackComeFromTheServerAndTheChoiceIsKept)
{
    const QString sine = QString::fromStdString(m_pulse.SineDescription());
    const QString nullMonitor = PrivatePulseServer::kMonitorDescription;
    const QString toneMonitor = PrivatePulseServer::kToneMonitorDescription;

    CVideoOptionsDlg dlg;
    dlg.m_bBurnMode = TRUE;
    QString frameTitle;
    INT_PTR result = Run(dlg, [&] {
        EXPECT_EQ(Entries(dlg, IDC_VO_SOUND_DEVICE), (QStringList {kCardName, kServerDeviceName}));
        // A fresh record's empty name selects the second device, whose inputs are the outputs'
        // monitors: the default output's is the loop-back.
        EXPECT_EQ(Selected(dlg, IDC_VO_SOUND_DEVICE), kServerDeviceName);
        EXPECT_EQ(Entries(dlg, IDC_VO_INPUT_SOURCE), (QStringList {"Default", toneMonitor}));
        EXPECT_EQ(Selected(dlg, IDC_VO_VIDEO_COMPRESSOR), kBurnVideoCompressor);
        EXPECT_EQ(Selected(dlg, IDC_VO_AUDIO_COMPRESSOR), kBurnAudioCompressor);
        EXPECT_TRUE(dlg.GetDlgItem(IDC_VO_DEVICE_PROP)->isEnabled());

        // "P..." shows the capture device's page, captioned with its name.
        QTimer::singleShot(0, &dlg, [&frameTitle] {
            QWidget* frame = QApplication::activeModalWidget();
            ASSERT_NE(frame, nullptr);
            frameTitle = frame->windowTitle();
            frame->close();
        });
        QTest::mouseClick(dlg.GetDlgItem(IDC_VO_DEVICE_PROP), Qt::LeftButton);

        // Each change of device lists its own inputs, without "Default".
        auto* devices = dlg.GetDlgItemAs<CComboBox>(IDC_VO_SOUND_DEVICE);
        QTest::keyClick(devices, Qt::Key_Up);
        EXPECT_EQ(Entries(dlg, IDC_VO_INPUT_SOURCE), QStringList {sine});
        QTest::keyClick(devices, Qt::Key_Down);
        EXPECT_EQ(Entries(dlg, IDC_VO_INPUT_SOURCE), (QStringList {nullMonitor, toneMonitor}));
        QTest::keyClick(devices, Qt::Key_Up);
        EXPECT_EQ(Selected(dlg, IDC_VO_INPUT_SOURCE), sine);
        QTest::mouseClick(dlg.GetDlgItem(platform::IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(frameTitle, QString(kServerDeviceName) + " Properties");
    EXPECT_EQ(dlg.m_strSoundDevice, kCardName);
    EXPECT_EQ(dlg.m_strInputSource, sine.toStdString());
    EXPECT_EQ(dlg.m_strAudioCompressor, kBurnAudioCompressor);

    // The next opening shows the stored device with its own inputs.
    CVideoOptionsDlg again;
    Run(again, [&] {
        EXPECT_EQ(Selected(again, IDC_VO_SOUND_DEVICE), kCardName);
        EXPECT_EQ(Entries(again, IDC_VO_INPUT_SOURCE), QStringList {sine});
        EXPECT_EQ(Selected(again, IDC_VO_INPUT_SOURCE), sine);
        EXPECT_EQ(Selected(again, IDC_VO_AUDIO_COMPRESSOR), kBurnAudioCompressor);
    });
    EXPECT_TRUE(m_messages.empty()) << m_messages.front();
}
