#include "platform/com/ComBase.h"

#include <gtest/gtest.h>

#include <thread>

TEST(Guid, RegistryTextRoundTripsAndRejectsMalformedText)
{
    const char* text = "{1883B2AD-5FBE-4223-9797-AC1D0097E4D9}";
    auto guid = GUIDFromString(text);
    ASSERT_TRUE(guid);
    EXPECT_EQ(guid->Data1, 0x1883B2ADu);
    EXPECT_EQ(guid->Data4[7], 0xD9);
    EXPECT_EQ(StringFromGUID(*guid), text);
    EXPECT_EQ(GUIDFromString("{1883b2ad-5fbe-4223-9797-ac1d0097e4d9}"), guid);
    for (const char* bad : {"", "1883B2AD-5FBE-4223-9797-AC1D0097E4D9", "{1883B2AD-5FBE-4223-9797-AC1D0097E4D}",
                            "{1883B2AD+5FBE-4223-9797-AC1D0097E4D9}", "{1883B2AD-5FBE-4223-9797-AC1D0097E4DZ}"})
        EXPECT_FALSE(GUIDFromString(bad)) << bad;
}

TEST(ComResults, KeepThePlatformValues)
{
    EXPECT_EQ(static_cast<std::uint32_t>(E_POINTER), 0x80004003u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_INVALIDARG), 0x80070057u);
    EXPECT_EQ(static_cast<std::uint32_t>(HRESULT_FROM_WIN32(2)), 0x80070002u);
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(FAILED(E_FAIL));
}

TEST(CoInitialize, CountsPerThreadAndKeepsTheFirstModel)
{
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(CoGetInitializeCount(), 2);
    std::thread([] {
        EXPECT_EQ(CoGetInitializeCount(), 0);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoGetInitializeCount(), 0);
    CoUninitialize(); // one too many does no harm
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "a fresh start may pick a new model";
    CoUninitialize();
}
