#include "RecordingSupport.h"

#include "ModuleRegistration.h"

#include "capture/CaptureGraph.h"
#include "platform/avi/AviClasses.h"
#include "platform/codecs/CompressorCategories.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/DeviceEnum.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/pulse/SoundDevices.h"
#include "platform/screen/PrivateXServer.h"
#include "platform/screen/ScreenPainter.h"
#include "platform/ui/MessageBox.h"
#include "support/PrivatePulseServer.h"

#include <chrono>
#include <thread>

namespace capturetest {

std::string RegisterRecordingClasses(const char* szOravaneModule)
{
    if (::testing::AssertionResult registered = RegisterServerModule(szOravaneModule); !registered)
        return registered.message();
    RegisterMediaGraphClasses();
    RegisterAviClasses();
    RegisterCompressorCategories();
    RegisterSoundDevices();
    return {};
}

std::string FirstSoundDevice()
{
    ComPtr<ICreateDevEnum> pDevEnum;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                     pDevEnum.ReleaseAndGetVoidAddressOf());
    ComPtr<IEnumMoniker> pEnum;
    if (!pDevEnum || pDevEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, pEnum.ReleaseAndGetAddressOf(), 0) != S_OK)
        return {};
    ComPtr<IMoniker> pMoniker;
    if (pEnum->Next(1, pMoniker.ReleaseAndGetAddressOf(), nullptr) != S_OK)
        return {};
    std::string name;
    ReadFriendlyName(pMoniker.Get(), &name);
    return name;
}

std::string RecordToneClips(const char* szOravaneModule, options::CVideoOptions o,
                            const std::vector<std::pair<std::string, double>>& clips)
{
    screentest::CPrivateXServer server("320x240x24");
    testsupport::PrivatePulseServer pulse;
    if (!server.IsRunning())
        return "no X server";
    if (!pulse.IsRunning())
        return "no sound server: " + pulse.Log();
    screentest::CScreenPainter painter;
    if (!painter.IsOpen())
        return "cannot paint the screen";
    painter.Paint(screentest::PatternColour);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::string strError = RegisterRecordingClasses(szOravaneModule);
    auto previous = platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& r) {
        strError = r.text;
        return platform::IDOK;
    });
    o.m_bRecordSound = TRUE;
    o.m_strSoundDevice = FirstSoundDevice();
    o.m_strInputSource = testsupport::PrivatePulseServer::kToneMonitorDescription;
    o.m_nChannels = 0;  // mono
    for (const auto& [strPath, dSeconds] : clips) {
        if (!strError.empty())
            break;
        CCaptureGraph graph(o);
        graph.SetCaptureFrame(0, RECT {0, 0, 320, 240});
        if (!graph.StartBuild()) {
            strError = strError.empty() ? "the capture graph was not built" : strError;
            break;
        }
        graph.SetFileName(strPath);
        graph.Run();
        std::this_thread::sleep_for(std::chrono::duration<double>(dSeconds));
        if (!graph.Stop())
            strError = "the recording of " + strPath + " did not stop well";
    }
    platform::SetMessageBoxHandler(previous);
    CoUninitialize();
    return strError;
}

} // namespace capturetest
