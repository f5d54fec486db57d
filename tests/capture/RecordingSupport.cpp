#include "RecordingSupport.h"

#include "platform/avi/AviClasses.h"
#include "platform/codecs/CompressorCategories.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/DeviceEnum.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/pulse/SoundDevices.h"

#include <dlfcn.h>

namespace capturetest {

std::string RegisterRecordingClasses(const char* szOravaneModule)
{
    void* module = dlopen(szOravaneModule, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr)
        return dlerror();
    auto reg = reinterpret_cast<PFN_DllRegisterServer>(dlsym(module, "DllRegisterServer"));
    const HRESULT hr = reg != nullptr ? reg() : E_FAIL;
    dlclose(module);
    if (hr != S_OK)
        return "DllRegisterServer failed";
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
