// Start-up registration and the capture filter's property page on a private sound server: the
// device category lists the server's device, the page shows its inputs and formats and writes
// the user's choice to the filter.
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/Variant.h"
#include "platform/com/WideText.h"
#include "platform/com/TaskMemory.h"
#include "platform/dshow/DeviceEnum.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/pulse/AudioCaptureFilter.h"
#include "platform/pulse/AudioCapturePage.h"
#include "platform/pulse/SoundDevices.h"
#include "support/PrivatePulseServer.h"

#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

using testsupport::PrivatePulseServer;

// The first device of the audio input category, bound, with its friendly name.
ComPtr<IBaseFilter> FirstSoundDevice(std::string* pName)
{
    ComPtr<ICreateDevEnum> devEnum;
    ComPtr<IBaseFilter> filter;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devEnum.ReleaseAndGetVoidAddressOf())))
        return filter;
    ComPtr<IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, monikers.ReleaseAndGetAddressOf(), 0) != S_OK)
        return filter;
    IMoniker* m = nullptr;
    if (monikers->Next(1, &m, nullptr) != S_OK) return filter;
    ComPtr<IMoniker> moniker;
    moniker.Attach(m);
    ComPtr<IPropertyBag> bag;
    if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReleaseAndGetVoidAddressOf()))) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR) *pName = Utf8FromWide(v.bstrVal);
        VariantClear(&v);
    }
    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.ReleaseAndGetVoidAddressOf());
    return filter;
}

TEST(AudioCapturePage, ShowsTheDevicesInputsAndFormatsAndAppliesTheChoice)
{
    PrivatePulseServer pulse;
    ASSERT_TRUE(pulse.IsRunning()) << pulse.Log();
    RegisterMediaGraphClasses();
    RegisterSoundDevices();
    RegisterSoundDevices();  // a second start-up call lists nothing twice

    std::string name;
    ComPtr<IBaseFilter> filter = FirstSoundDevice(&name);
    ASSERT_TRUE(filter);
    EXPECT_EQ(name, "PulseAudio Sound Server");

    CAUUID pages {};
    ComPtr<ISpecifyPropertyPages> specify;
    ASSERT_EQ(filter->QueryInterface(IID_ISpecifyPropertyPages, specify.ReleaseAndGetVoidAddressOf()), S_OK);
    ASSERT_EQ(specify->GetPages(&pages), S_OK);
    ASSERT_EQ(pages.cElems, 1u);
    ComPtr<IPropertyPage> page;
    ASSERT_EQ(CoCreateInstance(pages.pElems[0], nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                               page.ReleaseAndGetVoidAddressOf()),
              S_OK);
    CoTaskMemFree(pages.pElems);

    IUnknown* objects[] = {filter.Get()};
    ASSERT_EQ(page->SetObjects(1, objects), S_OK);
    QWidget host;
    host.setLayout(new QVBoxLayout);
    RECT rc {0, 0, 340, 120};
    EXPECT_EQ(page->Activate(0x7FFFFFF0, &rc, TRUE), E_INVALIDARG) << "not a window of ours";
    ASSERT_EQ(page->Activate(static_cast<HWND>(host.winId()), &rc, TRUE), S_OK);

    auto* device = host.findChild<QLabel*>("device");
    auto* inputs = host.findChild<QComboBox*>("inputs");
    auto* formats = host.findChild<QComboBox*>("formats");
    ASSERT_TRUE(device && inputs && formats);
    EXPECT_EQ(device->text(), "PulseAudio Sound Server");
    ASSERT_EQ(inputs->count(), 3);
    EXPECT_EQ(inputs->itemText(0), PrivatePulseServer::kMonitorDescription);
    EXPECT_EQ(inputs->currentText().toStdString(), pulse.SineDescription()) << "the input that records";
    EXPECT_EQ(formats->count(), 12);
    EXPECT_EQ(formats->currentText(), "44100 Hz, 16-bit, stereo");
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);

    inputs->setCurrentIndex(1);
    formats->setCurrentText("11025 Hz, 8-bit, mono");
    EXPECT_EQ(page->IsPageDirty(), S_OK);
    ASSERT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);

    auto* capture = dynamic_cast<CAudioCaptureFilter*>(filter.Get());
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(capture->EnabledInput(), 1);
    ComPtr<IPin> out;
    ASSERT_EQ(filter->FindPin(L"Capture", out.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(out->QueryInterface(IID_IAMStreamConfig, config.ReleaseAndGetVoidAddressOf()), S_OK);
    AM_MEDIA_TYPE* pmt = nullptr;
    ASSERT_EQ(config->GetFormat(&pmt), S_OK);
    EXPECT_EQ(PcmFormatFromMediaType(*pmt), (PcmFormat {11025, 8, 1}));
    DeleteMediaType(pmt);

    EXPECT_EQ(page->Deactivate(), S_OK);
    EXPECT_FALSE(host.findChild<QComboBox*>("inputs")) << "the controls go with the page";
    EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
    IUnknown* notAFilter[] = {page.Get()};
    EXPECT_EQ(page->SetObjects(1, notAFilter), E_NOINTERFACE);
    RevokeDeviceCategory(CLSID_AudioInputDeviceCategory);
}

}  // namespace
