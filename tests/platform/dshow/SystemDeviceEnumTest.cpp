#include "TestFilters.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/TaskMemory.h"
#include "platform/dshow/DeviceEnum.h"
#include "platform/dshow/MediaGraphClasses.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using namespace dshowtest;

namespace {

// A category of our own, so the tests never meet devices other layers registered.
constexpr CLSID CLSID_TestCategory {0x7E57C0DE, 0x0009, 0x000A, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}};

ComPtr<ICreateDevEnum> NewDeviceEnum()
{
    RegisterMediaGraphClasses();
    ComPtr<ICreateDevEnum> devEnum;
    EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               devEnum.ReleaseAndGetVoidAddressOf()), S_OK);
    return devEnum;
}

DeviceEntry SinkDevice(const std::wstring& name, std::atomic<int>* made = nullptr)
{
    return {name, [made](IBaseFilter** pp) {
                if (made) ++*made;
                auto* sink = new CTestSink();  // holds one reference: handed out
                *pp = sink;
                return S_OK;
            }};
}

std::wstring FriendlyName(IMoniker* moniker, HRESULT* phr = nullptr)
{
    ComPtr<IPropertyBag> bag;
    HRESULT hr = moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReleaseAndGetVoidAddressOf());
    if (phr) *phr = hr;
    if (FAILED(hr)) return L"<no bag>";
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    hr = bag->Read(L"FriendlyName", &v, nullptr);
    if (phr) *phr = hr;
    std::wstring name = hr == S_OK && v.vt == VT_BSTR ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : L"<none>";
    VariantClear(&v);
    return name;
}

std::vector<std::wstring> Names(ICreateDevEnum* devEnum, REFCLSID category)
{
    std::vector<std::wstring> names;
    ComPtr<IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(category, monikers.ReleaseAndGetAddressOf(), 0) != S_OK) return names;
    IMoniker* moniker = nullptr;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        names.push_back(FriendlyName(moniker));
        moniker->Release();
    }
    return names;
}

class SystemDeviceEnum : public ::testing::Test {
protected:
    void SetUp() override { RevokeDeviceCategory(CLSID_TestCategory); }
    void TearDown() override { RevokeDeviceCategory(CLSID_TestCategory); }
};

TEST_F(SystemDeviceEnum, AnEmptyOrUnknownCategoryGivesSFalseAndNoEnumerator)
{
    ComPtr<ICreateDevEnum> devEnum = NewDeviceEnum();
    IEnumMoniker* monikers = reinterpret_cast<IEnumMoniker*>(0x1);
    EXPECT_EQ(devEnum->CreateClassEnumerator(CLSID_TestCategory, &monikers, 0), S_FALSE);
    EXPECT_EQ(monikers, nullptr);
    RegisterDeviceCategory(CLSID_TestCategory, [] { return std::vector<DeviceEntry> {}; });
    monikers = reinterpret_cast<IEnumMoniker*>(0x1);
    EXPECT_EQ(devEnum->CreateClassEnumerator(CLSID_TestCategory, &monikers, 0), S_FALSE);
    EXPECT_EQ(monikers, nullptr);
    EXPECT_EQ(devEnum->CreateClassEnumerator(CLSID_TestCategory, nullptr, 0), E_POINTER);
}

TEST_F(SystemDeviceEnum, ListsTheDevicesOfAllListersInOrderAsTheyAreAtTheCall)
{
    ComPtr<ICreateDevEnum> devEnum = NewDeviceEnum();
    auto present = std::make_shared<std::atomic<bool>>(true);
    RegisterDeviceCategory(CLSID_TestCategory, [] { return std::vector<DeviceEntry> {SinkDevice(L"One"), SinkDevice(L"one")}; });
    RegisterDeviceCategory(CLSID_TestCategory, [present] {
        std::vector<DeviceEntry> v;
        if (*present) v.push_back(SinkDevice(L"Plugged"));
        return v;
    });
    EXPECT_EQ(Names(devEnum.Get(), CLSID_TestCategory), (std::vector<std::wstring> {L"One", L"one", L"Plugged"}));

    // An enumerator keeps what it listed; a new one sees the device gone.
    ComPtr<IEnumMoniker> before;
    ASSERT_EQ(devEnum->CreateClassEnumerator(CLSID_TestCategory, before.ReleaseAndGetAddressOf(), 0), S_OK);
    *present = false;
    EXPECT_EQ(Names(devEnum.Get(), CLSID_TestCategory), (std::vector<std::wstring> {L"One", L"one"}));
    IMoniker* batch[4] = {};
    ULONG fetched = 0;
    EXPECT_EQ(before->Next(4, batch, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    EXPECT_EQ(FriendlyName(batch[2]), L"Plugged");
    for (ULONG i = 0; i < fetched; ++i) batch[i]->Release();
    EXPECT_EQ(before->Next(2, batch, nullptr), E_INVALIDARG);  // more than one needs a count

    // Reset, Skip and Clone move over the same snapshot.
    before->Reset();
    EXPECT_EQ(before->Skip(2), S_OK);
    ComPtr<IEnumMoniker> clone;
    ASSERT_EQ(before->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
    IMoniker* moniker = nullptr;
    ASSERT_EQ(clone->Next(1, &moniker, nullptr), S_OK);
    EXPECT_EQ(FriendlyName(moniker), L"Plugged");
    moniker->Release();
    EXPECT_EQ(before->Skip(5), S_FALSE);
    EXPECT_EQ(before->Next(1, &moniker, nullptr), S_FALSE);
}

TEST_F(SystemDeviceEnum, PropertyBagHoldsOnlyTheFriendlyNameAsAString)
{
    ComPtr<ICreateDevEnum> devEnum = NewDeviceEnum();
    RegisterDeviceCategory(CLSID_TestCategory, [] { return std::vector<DeviceEntry> {SinkDevice(L"Gerät 1")}; });
    ComPtr<IEnumMoniker> monikers;
    ASSERT_EQ(devEnum->CreateClassEnumerator(CLSID_TestCategory, monikers.ReleaseAndGetAddressOf(), 0), S_OK);
    ComPtr<IMoniker> moniker;
    ASSERT_EQ(monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr), S_OK);
    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReleaseAndGetVoidAddressOf()), S_OK);

    VARIANT v;
    VariantInit(&v);  // VT_EMPTY: the stored type
    ASSERT_EQ(bag->Read(L"FriendlyName", &v, nullptr), S_OK);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(v.bstrVal), L"Gerät 1");
    VariantClear(&v);
    EXPECT_EQ(bag->Read(L"CLSID", &v, nullptr), E_INVALIDARG);
    EXPECT_EQ(bag->Read(L"friendlyname", &v, nullptr), E_INVALIDARG);
    v.vt = VT_I4;
    EXPECT_TRUE(FAILED(bag->Read(L"FriendlyName", &v, nullptr)));
    EXPECT_EQ(v.vt, VT_I4);
    v.vt = VT_BSTR;
    VARIANT w;
    VariantInit(&w);
    EXPECT_TRUE(FAILED(bag->Write(L"FriendlyName", &w)));

    IUnknown* other = nullptr;
    EXPECT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    LPOLESTR display = nullptr;
    ASSERT_EQ(moniker->GetDisplayName(nullptr, nullptr, &display), S_OK);
    EXPECT_EQ(std::wstring(display), L"@device:{7E57C0DE-0009-000A-0102-030405060708}\\Gerät 1");
    CoTaskMemFree(display);
}

TEST_F(SystemDeviceEnum, BindingMakesANewFilterEachTimeAndPassesFailuresOn)
{
    ComPtr<ICreateDevEnum> devEnum = NewDeviceEnum();
    std::atomic<int> made {0};
    RegisterDeviceCategory(CLSID_TestCategory, [&made] {
        return std::vector<DeviceEntry> {SinkDevice(L"Sink", &made),
                                         {L"Broken", [](IBaseFilter**) { return E_OUTOFMEMORY; }},
                                         {L"Empty", [](IBaseFilter**) { return S_OK; }}};
    });
    ComPtr<IEnumMoniker> monikers;
    ASSERT_EQ(devEnum->CreateClassEnumerator(CLSID_TestCategory, monikers.ReleaseAndGetAddressOf(), 0), S_OK);
    IMoniker* m[3] = {};
    ULONG fetched = 0;
    ASSERT_EQ(monikers->Next(3, m, &fetched), S_OK);

    ComPtr<IBaseFilter> first, second;
    ASSERT_EQ(m[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter, first.ReleaseAndGetVoidAddressOf()), S_OK);
    ASSERT_EQ(m[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter, second.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(made, 2);
    IMoniker* wrong = nullptr;
    EXPECT_EQ(m[0]->BindToObject(nullptr, nullptr, IID_IMoniker, reinterpret_cast<void**>(&wrong)), E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);

    IBaseFilter* filter = reinterpret_cast<IBaseFilter*>(0x1);
    EXPECT_EQ(m[1]->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)), E_OUTOFMEMORY);
    EXPECT_EQ(filter, nullptr);
    // Success without an object is not success.
    EXPECT_TRUE(FAILED(m[2]->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter))));
    EXPECT_EQ(filter, nullptr);
    for (IMoniker* p : m) p->Release();
}

TEST_F(SystemDeviceEnum, RegistersAndEnumeratesFromSeveralThreadsAtOnce)
{
    ComPtr<ICreateDevEnum> devEnum = NewDeviceEnum();
    constexpr int kListers = 50;
    std::atomic<bool> done {false};
    std::thread reader([&] {
        while (!done) {
            std::vector<std::wstring> names = Names(devEnum.Get(), CLSID_TestCategory);
            for (const auto& n : names) ASSERT_EQ(n, L"Same");
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([] {
            for (int i = 0; i < kListers; ++i)
                RegisterDeviceCategory(CLSID_TestCategory, [] { return std::vector<DeviceEntry> {SinkDevice(L"Same")}; });
        });
    for (auto& w : writers) w.join();
    done = true;
    reader.join();
    EXPECT_EQ(Names(devEnum.Get(), CLSID_TestCategory).size(), 4u * kListers);
}

}  // namespace
