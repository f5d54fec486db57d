#include "platform/codecs/CompressorCategories.h"
#include "platform/codecs/SoundCompressor.h"
#include "platform/codecs/VideoCompressor.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaGraphClasses.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::vector<std::wstring> Names(const std::vector<DeviceEntry>& devices)
{
    std::vector<std::wstring> names;
    for (const auto& d : devices) names.push_back(d.friendlyName);
    return names;
}

struct Listed {
    std::vector<std::wstring> names;
    std::vector<ComPtr<IMoniker>> monikers;
};

Listed ListCategory(REFCLSID category)
{
    Listed listed;
    ComPtr<ICreateDevEnum> devEnum;
    EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               devEnum.ReleaseAndGetVoidAddressOf()), S_OK);
    ComPtr<IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(category, monikers.ReleaseAndGetAddressOf(), 0) != S_OK) return listed;
    IMoniker* moniker = nullptr;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        ComPtr<IMoniker> held;
        held.Attach(moniker);
        ComPtr<IPropertyBag> bag;
        EXPECT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReleaseAndGetVoidAddressOf()), S_OK);
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        EXPECT_EQ(bag->Read(L"FriendlyName", &v, nullptr), S_OK);
        listed.names.emplace_back(v.bstrVal);
        VariantClear(&v);
        listed.monikers.push_back(held);
    }
    return listed;
}

class CompressorCategories : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterMediaGraphClasses();
        RevokeDeviceCategory(CLSID_VideoCompressorCategory);
        RevokeDeviceCategory(CLSID_AudioCompressorCategory);
        RegisterCompressorCategories();
    }
    void TearDown() override
    {
        RevokeDeviceCategory(CLSID_VideoCompressorCategory);
        RevokeDeviceCategory(CLSID_AudioCompressorCategory);
    }
};

// Debian's libavcodec has every encoder we name, so all are listed.
TEST_F(CompressorCategories, ListAllCompressorsByTheirNamesInOrder)
{
    EXPECT_EQ(ListCategory(CLSID_VideoCompressorCategory).names,
              (std::vector<std::wstring> {L"Microsoft Video 1", L"Motion JPEG", L"MPEG-4 Video", L"H.264 Video", L"FFV1 Lossless"}));
    EXPECT_EQ(ListCategory(CLSID_AudioCompressorCategory).names,
              (std::vector<std::wstring> {L"PCM", L"MPEG Layer-3", L"Microsoft ADPCM", L"IMA ADPCM", L"CCITT A-Law",
                                          L"CCITT u-Law"}));
}

TEST_F(CompressorCategories, BindingMakesANewCompressorEachTime)
{
    for (REFCLSID category : {CLSID_VideoCompressorCategory, CLSID_AudioCompressorCategory}) {
        Listed listed = ListCategory(category);
        ASSERT_FALSE(listed.monikers.empty());
        for (auto& moniker : listed.monikers) {
            ComPtr<IBaseFilter> a, b;
            ASSERT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, a.ReleaseAndGetVoidAddressOf()), S_OK);
            ASSERT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, b.ReleaseAndGetVoidAddressOf()), S_OK);
            EXPECT_NE(a.Get(), b.Get());
            CLSID clsid {};
            a->GetClassID(&clsid);
            EXPECT_EQ(clsid, category == CLSID_VideoCompressorCategory ? CLSID_VideoCompressorFilter : CLSID_SoundCompressorFilter);
            ComPtr<IEnumPins> pins;
            ASSERT_EQ(a->EnumPins(pins.ReleaseAndGetAddressOf()), S_OK);
            IPin* two[2] = {};
            ULONG fetched = 0;
            EXPECT_EQ(pins->Next(2, two, &fetched), S_OK);
            for (ULONG i = 0; i < fetched; ++i) two[i]->Release();
        }
    }
}

TEST(CompressorLists, AMissingEncoderIsNotListed)
{
    auto withoutX264 = [](const char* name) { return std::strcmp(name, "libx264") != 0; };
    EXPECT_EQ(Names(ListVideoCompressors(withoutX264)),
              (std::vector<std::wstring> {L"Microsoft Video 1", L"Motion JPEG", L"MPEG-4 Video", L"FFV1 Lossless"}));
    // Video 1 has a coder of our own and PCM needs none.
    auto none = [](const char*) { return false; };
    EXPECT_EQ(Names(ListVideoCompressors(none)), (std::vector<std::wstring> {L"Microsoft Video 1"}));
    EXPECT_EQ(Names(ListSoundCompressors(none)), (std::vector<std::wstring> {L"PCM"}));
    auto withoutLame = [](const char* name) { return std::strcmp(name, "libmp3lame") != 0; };
    EXPECT_EQ(ListSoundCompressors(withoutLame).size(), 5u);

    IBaseFilter* filter = reinterpret_cast<IBaseFilter*>(0x1);
    EXPECT_TRUE(FAILED(CreateVideoCompressorFilter({L"Nothing", "no-such-encoder"}, &filter)));
    EXPECT_EQ(filter, nullptr);
}

}  // namespace
