#include "platform/pulse/SoundDeviceList.h"

#include "platform/com/WideText.h"
#include "platform/pulse/AudioCaptureFilter.h"
#include "platform/pulse/PulseContext.h"
#include "platform/pulse/ServerInventory.h"

std::vector<DeviceEntry> ListSoundCaptureDevices()
{
    CPulseContext ctx;
    if (FAILED(ctx.Connect("Vantorel device list"))) return {};
    PulseServerInventory inv;
    if (FAILED(QueryServerInventory(ctx, &inv))) return {};
    std::vector<DeviceEntry> entries;
    for (SoundDevice& dev : GroupSoundDevices(inv)) {
        DeviceEntry e;
        e.friendlyName = WideFromUtf8(dev.name);
        e.create = [dev = std::move(dev)](IBaseFilter** ppFilter) { return CAudioCaptureFilter::Create(dev, ppFilter); };
        entries.push_back(std::move(e));
    }
    return entries;
}
