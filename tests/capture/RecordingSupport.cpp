#include "RecordingSupport.h"

#include "ModuleRegistration.h"

#include "platform/avi/AviClasses.h"
#include "platform/codecs/CompressorCategories.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/DeviceEnum.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/pulse/SoundDevices.h"

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

} // namespace capturetest
