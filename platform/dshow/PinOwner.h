#pragma once
// The filter a pin belongs to, referenced; null when the pin cannot say.
#include "platform/com/ComPtr.h"
#include "platform/dshow/Interfaces.h"

inline ComPtr<IBaseFilter> OwnerOf(IPin* pPin)
{
    PIN_INFO info {};
    ComPtr<IBaseFilter> owner;
    if (pPin && SUCCEEDED(pPin->QueryPinInfo(&info))) owner.Attach(info.pFilter);
    return owner;
}
