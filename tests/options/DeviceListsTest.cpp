// Device and codec lists filled from the system device enumerator, and lookups by name.
#include "GraphDoubles.h"
#include "capture/DeviceLookup.h"
#include "options/DeviceLists.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/ui/ComboBox.h"
#include "platform/ui/ListBox.h"
#include "platform/ui/MessageBox.h"

#include <gtest/gtest.h>

using namespace capturetest;

namespace {

using DeviceListsTest = GraphDoublesTest;

TEST_F(DeviceListsTest, ListsKeepTheEnumeratorsOrderAndAnEmptyCategoryStaysEmptyWithoutMessage)
{
    m_devices.SetVideoCompressors({{L"Zeta"}, {L"Alpha"}, {L"Motion JPEG"}});
    platform::CComboBox combo;
    combo.AddString("stale");
    EXPECT_EQ(options::FillDeviceList(CLSID_VideoCompressorCategory, &combo, FALSE), S_OK);
    ASSERT_EQ(combo.GetCount(), 3);
    EXPECT_EQ(combo.GetLBText(0), "Zeta");
    EXPECT_EQ(combo.GetLBText(2), "Motion JPEG");

    platform::CListBox list(true);  // even a sorting list box keeps the enumerator's order
    EXPECT_EQ(options::FillDeviceList(CLSID_VideoCompressorCategory, &list, TRUE), S_OK);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetText(0), "Zeta");

    EXPECT_EQ(options::FillDeviceList(CLSID_AudioCompressorCategory, &combo, FALSE), S_OK);
    EXPECT_EQ(combo.GetCount(), 0);
    IBaseFilter* pFilter = nullptr;
    EXPECT_FALSE(FindFilterByFriendlyName(CLSID_AudioCompressorCategory, "PCM", &pFilter));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(DeviceListsTest, NamesMatchExactlyAndTheFirstEqualNameEndsTheSearch)
{
    m_devices.SetAudioCompressors({{L"pcm"}, {L"PCM", {}, true}, {L"PCM"}, {L"MPEG Layer-3"}});
    ComPtr<IBaseFilter> pFilter;
    EXPECT_FALSE(FindFilterByFriendlyName(CLSID_AudioCompressorCategory, "PCM", pFilter.ReleaseAndGetAddressOf()))
        << "the first PCM fails to bind; the second is not tried";
    EXPECT_TRUE(FindFilterByFriendlyName(CLSID_AudioCompressorCategory, "pcm", pFilter.ReleaseAndGetAddressOf()));
    EXPECT_TRUE(pFilter);
    EXPECT_TRUE(FindFilterByFriendlyName(CLSID_AudioCompressorCategory, "MPEG Layer-3", pFilter.ReleaseAndGetAddressOf()));
    EXPECT_FALSE(FindFilterByFriendlyName(CLSID_AudioCompressorCategory, "MPEG", pFilter.ReleaseAndGetAddressOf()));
}

TEST_F(DeviceListsTest, SoundDeviceEntriesCarryTheirMonikersAndInputsListTheInputPins)
{
    platform::CComboBox devices;
    EXPECT_EQ(options::FillAudioDeviceList(devices), S_FALSE) << "no sound device";
    EXPECT_EQ(devices.GetCount(), 0);

    m_devices.SetSoundDevices({{L"Card", {L"Microphone", L"Line In"}}, {L"CARD", {L"Stereo Mix"}}});
    EXPECT_EQ(options::FillAudioDeviceList(devices), S_OK);
    ASSERT_EQ(devices.GetCount(), 2);
    ASSERT_NE(devices.GetItemData(0), devices.GetItemData(1)) << "each entry holds its own device";
    auto* pMoniker = reinterpret_cast<IMoniker*>(devices.GetItemData(1));
    ASSERT_NE(pMoniker, nullptr);
    ComPtr<IBaseFilter> pFilter;
    ASSERT_EQ(pMoniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, pFilter.ReleaseAndGetVoidAddressOf()), S_OK);

    platform::CComboBox inputs;
    EXPECT_EQ(options::FillInputSourceList(pFilter.Get(), inputs), S_FALSE);
    ASSERT_EQ(inputs.GetCount(), 1) << "the output pin is not an input";
    EXPECT_EQ(inputs.GetLBText(0), "Stereo Mix");
    EXPECT_EQ(options::FillInputSourceList(nullptr, inputs), E_NOINTERFACE);
    EXPECT_EQ(inputs.GetCount(), 0);

    EXPECT_FALSE(options::HasPropertyPages(pFilter.Get()));
    EXPECT_FALSE(options::HasPropertyPages(nullptr));
    options::ShowFilterProperties(pFilter.Get(), 0);  // no pages: nothing happens

    options::ReleaseAudioDeviceList(devices);
    EXPECT_EQ(devices.GetCount(), 0);
}

TEST_F(DeviceListsTest, AMissingEnumeratorIsReportedByTheListsAndNotByTheLookups)
{
    CoRevokeBuiltInClass(CLSID_SystemDeviceEnum);
    platform::CComboBox combo;
    EXPECT_TRUE(FAILED(options::FillDeviceList(CLSID_VideoCompressorCategory, &combo, FALSE)));
    EXPECT_EQ(m_messages, std::vector<std::string> {"Failed to create system enumerator"});
    EXPECT_TRUE(FAILED(options::FillAudioDeviceList(combo)));
    IBaseFilter* pFilter = nullptr;
    EXPECT_FALSE(FindFilterByFriendlyName(CLSID_VideoCompressorCategory, "x", &pFilter));
    EXPECT_EQ(m_messages.size(), 1u);
    InstallGraphClasses();
}

} // namespace
