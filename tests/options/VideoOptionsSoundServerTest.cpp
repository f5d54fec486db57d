// The output video options window on the display with a private sound server, the real device
// enumerator, compressors, capture filters and mixer: the server's sources listed as devices
// and inputs, the loop-back shown as "Default", and a device change refilling the inputs.
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
    for (int i = 0; i < dlg.GetDlgItemAs<CComboBox>(nID)->count(); ++i)
        entries << dlg.GetDlgItemAs<CComboBox>(nID)->itemText(i);
    return entries;
}
QString Selected(const CVideoOptionsDlg& dlg, int nID) { return dlg.GetDlgItemAs<CComboBox>(nID)->currentText(); }

} // namespace

TEST(VideoOptionsSoundServerTest, DevicesInputsAndTheLoopBackComeFromTheServer)
{
    PrivatePulseServer pulse;
    ASSERT_TRUE(pulse.IsRunning()) << pulse.Log();
    testsupport::TempDir dir;
    testsupport::ScopedEnv config("VANTOREL_CONFIG_DIR", dir.file("cfg"));
    std::vector<std::string> messages;
    auto previous = platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& r) {
        messages.push_back(r.text);
        return platform::IDOK;
    });
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RegisterMediaGraphClasses();
    for (const CLSID& category : {CLSID_VideoCompressorCategory, CLSID_AudioCompressorCategory})
        RevokeDeviceCategory(category);
    RegisterCompressorCategories();
    RegisterSoundDevices();  // the capture filter's property page
    RevokeDeviceCategory(CLSID_AudioInputDeviceCategory);
    RegisterDeviceCategory(CLSID_AudioInputDeviceCategory, ListDevicesWithATestCard);

    const QString sine = QString::fromStdString(pulse.SineDescription());
    CVideoOptionsDlg dlg;
    dlg.m_bBurnMode = TRUE;
    dlg.m_strSoundDevice = kServerDeviceName;  // no option file: the record stays
    QTimer::singleShot(0, &dlg, [&] {
        EXPECT_EQ(Entries(dlg, IDC_VO_SOUND_DEVICE), (QStringList {kCardName, kServerDeviceName}));
        // The stored device is bound; its inputs are the outputs' monitors, and the default
        // output's, the loop-back, is "Default" and chosen for the record's empty input name.
        EXPECT_EQ(Selected(dlg, IDC_VO_SOUND_DEVICE), kServerDeviceName);
        EXPECT_EQ(Entries(dlg, IDC_VO_INPUT_SOURCE), (QStringList {"Default", PrivatePulseServer::kToneMonitorDescription}));
        EXPECT_EQ(Selected(dlg, IDC_VO_INPUT_SOURCE), "Default");
        EXPECT_EQ(Selected(dlg, IDC_VO_VIDEO_COMPRESSOR), kBurnVideoCompressor);
        EXPECT_EQ(Selected(dlg, IDC_VO_AUDIO_COMPRESSOR), kBurnAudioCompressor);

        // Each change of device lists its own inputs, without "Default".
        auto* devices = dlg.GetDlgItemAs<CComboBox>(IDC_VO_SOUND_DEVICE);
        QTest::keyClick(devices, Qt::Key_Up);
        EXPECT_EQ(Entries(dlg, IDC_VO_INPUT_SOURCE), QStringList {sine});
        QTest::keyClick(devices, Qt::Key_Down);
        EXPECT_EQ(Entries(dlg, IDC_VO_INPUT_SOURCE),
                  (QStringList {PrivatePulseServer::kMonitorDescription, PrivatePulseServer::kToneMonitorDescription}));
        QTest::mouseClick(dlg.GetDlgItem(platform::IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(dlg.DoModal(), platform::IDOK);
    EXPECT_EQ(dlg.m_strInputSource, PrivatePulseServer::kMonitorDescription);
    EXPECT_TRUE(messages.empty()) << messages.front();
    platform::SetMessageBoxHandler(previous);
    CoUninitialize();
}
