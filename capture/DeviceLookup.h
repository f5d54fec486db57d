#pragma once
// Finding a device or codec again by the friendly name the options store.
#include "platform/dshow/DeviceEnum.h"

#include <string>

// Binds the first device of the category whose "FriendlyName" equals name byte for byte. The
// search ends at the first equal name, whether or not binding it succeeds.
BOOL FindFilterByFriendlyName(REFCLSID category, const std::string& name, IBaseFilter** ppFilter);
