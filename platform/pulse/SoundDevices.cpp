#include "platform/pulse/SoundDevices.h"

#include "platform/com/ObjectCreation.h"
#include "platform/pulse/AudioCaptureFilter.h"
#include "platform/pulse/AudioCapturePage.h"
#include "platform/pulse/SoundDeviceList.h"

void RegisterSoundDevices()
{
    // The category is ours alone; starting afresh keeps a second call from listing every device
    // twice.
    RevokeDeviceCategory(CLSID_AudioInputDeviceCategory);
    RegisterDeviceCategory(CLSID_AudioInputDeviceCategory, &ListSoundCaptureDevices);
    CoRegisterBuiltInClass(CLSID_AudioCapturePropertyPage, &CAudioCapturePage::CreateInstance);
}
