#include "platform/com/Registry.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string file = dir.file("conf/registry");
    ScopedEnv env {"VANTOREL_REGISTRY", file};
};

} // namespace

TEST_F(RegistryTest, ValuesPersistAndReadBackThroughANewKey)
{
    {
        CRegKey key;
        ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, "CLSID\\{X}\\LocalServer32"), ERROR_SUCCESS);
        EXPECT_EQ(key.SetStringValue(nullptr, "/opt/a \"b\"\\c\nd"), ERROR_SUCCESS);
        EXPECT_EQ(key.SetDWORDValue("Merit", 0x00600000), ERROR_SUCCESS);
        const BYTE blob[] = {0, 1, 0xfe, 0xff};
        EXPECT_EQ(key.SetBinaryValue("FilterData", blob, sizeof blob), ERROR_SUCCESS);
    }
    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, "clsid\\{x}\\LOCALSERVER32"), ERROR_SUCCESS) << "names ignore case";
    std::string s;
    EXPECT_EQ(key.QueryStringValue("", s), ERROR_SUCCESS);
    EXPECT_EQ(s, "/opt/a \"b\"\\c\nd");
    DWORD merit = 0;
    EXPECT_EQ(key.QueryDWORDValue("merit", merit), ERROR_SUCCESS);
    EXPECT_EQ(merit, 0x00600000u);
    std::vector<BYTE> blob;
    EXPECT_EQ(key.QueryBinaryValue("FilterData", blob), ERROR_SUCCESS);
    EXPECT_EQ(blob, (std::vector<BYTE> {0, 1, 0xfe, 0xff}));
    EXPECT_EQ(key.QueryStringValue("Merit", s), ERROR_FILE_NOT_FOUND) << "wrong type";
    EXPECT_EQ(key.QueryStringValue("Missing", s), ERROR_FILE_NOT_FOUND);

    CRegKey parent;
    ASSERT_EQ(parent.Open(HKEY_CLASSES_ROOT, "CLSID\\{X}"), ERROR_SUCCESS);
    EXPECT_EQ(parent.EnumKeys(), std::vector<std::string> {"LocalServer32"}) << "first spelling kept";
    EXPECT_EQ((std::filesystem::status(file).permissions() & std::filesystem::perms::others_read),
              std::filesystem::perms::none);
}

TEST_F(RegistryTest, DeletingAKeyRemovesEverythingBelowIt)
{
    CRegKey key;
    key.Create(HKEY_CLASSES_ROOT, "CLSID\\{A}\\InprocServer32");
    key.SetStringValue("ThreadingModel", "Both");
    key.Create(HKEY_CLASSES_ROOT, "CLSID\\{B}");
    EXPECT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\{A}"), ERROR_SUCCESS);
    EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, "CLSID\\{A}\\InprocServer32"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, "CLSID\\{B}"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\{A}"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadFile(file).find("{A}"), std::string::npos);
    EXPECT_EQ(key.DeleteValue("nothing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CRegKey().SetStringValue("x", "y"), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, DamagedLinesAreSkippedAndTheRestIsRead)
{
    std::filesystem::create_directories(dir.file("conf"));
    testsupport::WriteFile(file, "VANTOREL REGISTRY 1\n"
                                 "\"orphan\"=\"before any key\"\n"
                                 "[HKEY_CLASSES_ROOT\\Good]\r\n"
                                 "@=\"default\"\r\n"
                                 "\"bad\"=dword:12\n"
                                 "\"alsobad\"=hex:0g\n"
                                 "\"unterminated=\"x\"\n"
                                 "garbage line\n"
                                 "[broken\n"
                                 "\"n\"=dword:0000002a\n");
    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, "Good"), ERROR_SUCCESS);
    std::string s;
    EXPECT_EQ(key.QueryStringValue(nullptr, s), ERROR_SUCCESS);
    EXPECT_EQ(s, "default");
    DWORD n = 0;
    EXPECT_EQ(key.QueryDWORDValue("bad", n), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.QueryDWORDValue("n", n), ERROR_FILE_NOT_FOUND) << "belongs to no key after '[broken'";
    // Writing keeps what was readable.
    EXPECT_EQ(key.SetDWORDValue("n", 7), ERROR_SUCCESS);
    CRegKey again;
    again.Open(HKEY_CLASSES_ROOT, "Good");
    EXPECT_EQ(again.QueryStringValue(nullptr, s), ERROR_SUCCESS);
    EXPECT_EQ(s, "default");
}

TEST_F(RegistryTest, AFailedSaveReportsAnErrorAndLeavesNoTemporaryFile)
{
    // A folder where the file should be: the rename over it fails, whoever runs the test.
    std::filesystem::create_directories(file + "/occupied");
    CRegKey key;
    EXPECT_EQ(key.Create(HKEY_CLASSES_ROOT, "Anything"), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(key.IsOpen());
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("conf")))
        entries += e.path().filename() != "registry.lock";
    EXPECT_EQ(entries, 1) << "only the occupying folder";
}
