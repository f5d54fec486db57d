#pragma once
// The option window's device and codec lists, filled from the system device enumerator, the
// sound device's input sources, and its property frame.
#include "platform/dshow/DeviceEnum.h"

#include <string>

class QWidget;
namespace platform {
class CComboBox;
}

namespace options {

// Fills a combo box (bListBox FALSE) or a list box (TRUE) with the category's friendly names, in
// the enumerator's order.
HRESULT FillDeviceList(REFCLSID category, QWidget* pControl, BOOL bListBox);
// Sound devices, each entry holding its moniker (one reference) as item data. S_FALSE: none.
HRESULT FillAudioDeviceList(platform::CComboBox& combo);
// Releases every entry's moniker and empties the list.
void ReleaseAudioDeviceList(platform::CComboBox& combo);
// The filter's input pin names. Returns the last Next result (S_FALSE after the last pin).
HRESULT FillInputSourceList(IBaseFilter* pFilter, platform::CComboBox& combo);
BOOL HasPropertyPages(IBaseFilter* pFilter);
// Shows the filter's property pages, captioned with the filter's name, or with strDeviceName for
// a filter that has none (one in no graph); any failing step ends it silently.
void ShowFilterProperties(IBaseFilter* pFilter, HWND hOwner, const std::string& strDeviceName = {});

} // namespace options
