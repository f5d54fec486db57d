#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/Registry.h"
#include "platform/dshow/FilterMapper.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

constexpr CLSID CLSID_Sample {0x12345678, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};

TEST(FilterMapper2, StoresFilterDataUnderTheFilterCategoryAndRemovesItOnce)
{
    testsupport::TempDir dir;
    testsupport::ScopedEnv registry("VANTOREL_REGISTRY", dir.file("registry"));
    RegisterMediaGraphClasses();
    ComPtr<IFilterMapper2> mapper;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                               mapper.ReleaseAndGetVoidAddressOf()), S_OK);

    const REGPINTYPES types[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}, {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};
    const REGFILTERPINS pins[] = {
        {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, TRUE, &GUID_NULL, nullptr, 2, types},
        {const_cast<LPWSTR>(L"Eingang \u00fc"), TRUE, FALSE, TRUE, FALSE, nullptr, nullptr, 0, nullptr},
    };
    const REGFILTER2 rf2 {1, 0x200000, 2, pins};
    ASSERT_EQ(mapper->RegisterFilter(CLSID_Sample, L"Sample", nullptr, nullptr, nullptr, &rf2), S_OK);

    std::string key = "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\" + StringFromGUID(CLSID_Sample);
    EXPECT_EQ(FilterInstanceKey(nullptr, nullptr, CLSID_Sample), key);
    CRegKey reg;
    ASSERT_EQ(reg.Open(HKEY_CLASSES_ROOT, key), ERROR_SUCCESS);
    std::string name, clsid;
    std::vector<BYTE> data;
    EXPECT_EQ(reg.QueryStringValue("FriendlyName", name), ERROR_SUCCESS);
    EXPECT_EQ(name, "Sample");
    EXPECT_EQ(reg.QueryStringValue("CLSID", clsid), ERROR_SUCCESS);
    EXPECT_EQ(GUIDFromString(clsid), CLSID_Sample);
    ASSERT_EQ(reg.QueryBinaryValue("FilterData", data), ERROR_SUCCESS);
    auto decoded = DecodeFilterData(data);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->dwMerit, 0x200000u);
    ASSERT_EQ(decoded->pins.size(), 2u);
    EXPECT_EQ(decoded->pins[0].strName, "Output");
    EXPECT_TRUE(decoded->pins[0].bOutput && decoded->pins[0].bMany);
    EXPECT_FALSE(decoded->pins[0].bRendered || decoded->pins[0].bZero);
    ASSERT_EQ(decoded->pins[0].mediaTypes.size(), 2u);
    EXPECT_EQ(decoded->pins[0].mediaTypes[0].second, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(decoded->pins[1].strName, "Eingang \xc3\xbc");
    EXPECT_TRUE(decoded->pins[1].bRendered && decoded->pins[1].bZero);

    // Damaged data is refused, never read past its end.
    for (std::size_t cut : {std::size_t {0}, std::size_t {5}, data.size() - 1}) {
        std::vector<BYTE> shortData(data.begin(), data.begin() + cut);
        EXPECT_FALSE(DecodeFilterData(shortData)) << cut;
    }
    data.push_back(0);
    EXPECT_FALSE(DecodeFilterData(data)) << "trailing bytes";

    EXPECT_EQ(mapper->UnregisterFilter(nullptr, nullptr, CLSID_Sample), S_OK);
    EXPECT_EQ(mapper->UnregisterFilter(nullptr, nullptr, CLSID_Sample), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(reg.Open(HKEY_CLASSES_ROOT, key), ERROR_FILE_NOT_FOUND);
    const REGFILTER2 badVersion {2, 0, 0, nullptr};
    EXPECT_EQ(mapper->RegisterFilter(CLSID_Sample, L"Sample", nullptr, nullptr, nullptr, &badVersion), E_INVALIDARG);
}

}  // namespace
