// The option files: byte-exact layouts, the string prefixes, damaged files and safe saving.
#include "options/OptionFile.h"
#include "options/PresentationModeOptions.h"
#include "options/RecordingOptions.h"
#include "options/VideoOptions.h"
#include "platform/ui/MessageBox.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace options;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Unhex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// A private config folder and home, and every message box recorded instead of shown.
class OptionFiles : public ::testing::Test {
protected:
    OptionFiles()
        : m_config("VANTOREL_CONFIG_DIR", m_dir.file("cfg")), m_home("HOME", "/h")
    {
        m_oldHandler = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_boxes.push_back(r);
            return platform::IDOK;
        });
    }
    ~OptionFiles() override { platform::SetMessageBoxHandler(m_oldHandler); }

    std::string ConfigFile(const std::string& name) const { return m_dir.file("cfg") + "/" + name; }
    void PutFile(const std::string& name, const std::string& bytes)
    {
        std::filesystem::create_directories(m_dir.file("cfg"));
        WriteFile(ConfigFile(name), bytes);
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_config;
    testsupport::ScopedEnv m_home;
    platform::MessageBoxHandler m_oldHandler;
    std::vector<platform::MessageBoxRequest> m_boxes;
};

template <class Record>
std::string Store(Record& record)
{
    COptionArchive ar = COptionArchive::ForStoring();
    record.SerializeOptions(ar);
    return ar.Buffer();
}

std::string StoreString(const std::string& s)
{
    COptionArchive ar = COptionArchive::ForStoring();
    ar.WriteString(s);
    return ar.Buffer();
}

std::string LoadString(const std::string& bytes)
{
    CMemoryByteSource source(bytes.data(), bytes.size());
    COptionArchive ar = COptionArchive::ForLoading(source);
    return ar.ReadString();
}

} // namespace

TEST_F(OptionFiles, DefaultRecordsAreWrittenByteForByte)
{
    CVideoOptions video;
    ASSERT_TRUE(COptionFile(kVideoOptionsFile).SaveRecord(video));
    // 15 integers, the home folder "/h/" as field 4, four empty names.
    EXPECT_EQ(Hex(ReadFile(ConfigFile("ToVideoOption.dat"))),
              "00000000" "ffffffff" "ffffffff" "032f682f" "ffffffff" "00000000" "01000000"
              "01000000" "01000000" "ffffffff" "0f000000" "02000000" "01000000" "01000000"
              "00" "00" "00" "00" "01000000" "01000000");

    CBurnSettings burn;
    CRecordingOptions recording(burn);
    ASSERT_TRUE(COptionFile(kRecordingOptionsFile).SaveRecord(recording));
    std::string rec = ReadFile(ConfigFile("videoRecording.dat"));
    EXPECT_EQ(rec.size(), 51u);
    EXPECT_EQ(Hex(rec), "80020000" "80020000" "80020000" "80020000" "00000000" "00000000"
                        "00000000" "00000000" "00" "00" "00" "00000000" "00000000" "00000000"
                        "00000000");

    CPresentationModeOptions mode;
    ASSERT_TRUE(COptionFile(kPresentationModeFile).SaveRecord(mode));
    std::string custom = ReadFile(ConfigFile("RecordCustom"));
    EXPECT_EQ(custom.size(), 37u);
    EXPECT_EQ(Hex(custom), "00000000" "00000000" "00000000" "00" "05000000" "00000000"
                           "00000000" "00000000" "00000000" "ffffffff");
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(OptionFiles, ChangedValuesKeepTheirFieldOrder)
{
    CPresentationModeOptions mode;
    mode.m_bAutoRecord = 1;
    mode.m_strPageText = "ab";
    mode.m_nLastSlide = 9;
    mode.m_nFirstSlide = 3;
    mode.m_nAdvanceMode = 2;
    EXPECT_EQ(Hex(Store(mode)), "01000000" "00000000" "00000000" "026162" "05000000" "00000000"
                                "00000000" "09000000" "03000000" "02000000");

    // The burn settings are written from, and read back into, the burn window's object.
    CBurnSettings burn;
    burn.m_strRecorder = "R";
    burn.m_strSpeed = "4x";
    burn.m_strVolumeLabel = "V";
    burn.m_bDeleteTemp = 1;
    burn.m_bOpc = 1;
    burn.m_nTvFormat = 1;
    CRecordingOptions recording(burn);
    recording.m_nPptHeight = 480;
    recording.m_nRightMargin = -7;
    const std::string bytes = Store(recording);
    EXPECT_EQ(Hex(bytes), "e0010000" "80020000" "80020000" "80020000" "00000000" "00000000"
                          "00000000" "f9ffffff" "0152" "023478" "0156" "01000000" "00000000"
                          "01000000" "01000000");

    CBurnSettings other;
    CRecordingOptions reader(other);
    EXPECT_EQ(COptionFile::LoadFromBytes(bytes, [&](COptionArchive& ar) { reader.SerializeOptions(ar); }),
              LoadResult::Complete);
    EXPECT_EQ(reader.m_nPptHeight, 480);
    EXPECT_EQ(reader.m_nRightMargin, -7);
    EXPECT_EQ(other.m_strRecorder, "R");
    EXPECT_EQ(other.m_strSpeed, "4x");
    EXPECT_EQ(other.m_strVolumeLabel, "V");
    EXPECT_EQ(other.m_bDeleteTemp, 1);
    EXPECT_EQ(other.m_bEject, 0);
    EXPECT_EQ(other.m_bOpc, 1);
    EXPECT_EQ(other.m_nTvFormat, 1);
}

TEST_F(OptionFiles, VideoOptionsSurviveASaveAndLoad)
{
    CVideoOptions saved;
    saved.m_nFileFormat = 0;
    saved.m_nQuality = 1;
    saved.m_nVideoSize = 2;
    saved.m_strOutputPath = "/srv/videos/";
    saved.m_nSoundSource = 2;
    saved.m_bMouseTrack = 1;
    saved.m_bRecordSound = 0;
    saved.m_bAudioCompress = 0;
    saved.m_bVideoCompress = 0;
    saved.m_nColorFormat = 3;
    saved.m_nFrameRate = 30;
    saved.m_nSampleRate = 0;
    saved.m_nSampleBits = 0;
    saved.m_nChannels = 0;
    saved.m_strSoundDevice = "Built-in Audio";
    saved.m_strInputSource = "Default";
    saved.m_strVideoCompressor = "Motion JPEG";
    saved.m_strAudioCompressor = "PCM";
    saved.m_nCaptureMode = 0;
    saved.m_bUseTempFolder = 0;
    saved.m_bBurnMode = 1;
    ASSERT_TRUE(COptionFile(kVideoOptionsFile).SaveRecord(saved));

    CVideoOptions loaded;
    ASSERT_EQ(COptionFile(kVideoOptionsFile).LoadRecord(loaded), LoadResult::Complete);
    EXPECT_EQ(Store(loaded), Store(saved));
    EXPECT_EQ(loaded.m_strOutputPath, "/srv/videos/");
    EXPECT_EQ(loaded.m_strAudioCompressor, "PCM");
    EXPECT_EQ(loaded.m_bUseTempFolder, 0);
    // Unstored fields stay as the opener set them.
    EXPECT_EQ(loaded.m_bBurnMode, 0);
    EXPECT_EQ(loaded.SampleRateHz(), 11025);
    EXPECT_EQ(loaded.SampleBits(), 8);
    EXPECT_EQ(loaded.ChannelCount(), 1);
}

TEST(OptionArchiveStrings, LengthPrefixesAtEachBoundary)
{
    struct Case {
        std::size_t length;
        std::string prefixHex;
    };
    const Case cases[] = {
        {0, "00"},
        {254, "fe"},
        {255, "ffff00"},
        {65533, "fffdff"},
        {65534, "ffffffFEFF0000"},
        {65535, "ffffffffff0000"},
        {70000, "ffffff70110100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string text(c.length, 'x');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char>('a' + i % 26);
        std::string bytes = StoreString(text);
        std::string expectedPrefix = Unhex(c.prefixHex);
        ASSERT_EQ(bytes.size(), expectedPrefix.size() + c.length);
        EXPECT_EQ(Hex(bytes.substr(0, expectedPrefix.size())), Hex(expectedPrefix));
        EXPECT_EQ(LoadString(bytes), text);
    }
    // A long prefix used for a short length is still read.
    EXPECT_EQ(LoadString(Unhex("ff0300616263")), "abc");
    EXPECT_EQ(LoadString(Unhex("ffffff03000000616263")), "abc");
}

TEST(OptionArchiveStrings, Utf16FormIsConvertedToUtf8)
{
    // "Aä€" and U+1F600 as a surrogate pair: five code units.
    std::string units = Unhex("4100e400ac203dd800de");
    EXPECT_EQ(LoadString(Unhex("fffeff05") + units), "A\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80");
    // The second prefix in its long forms; 0xFFFE is an ordinary length there.
    EXPECT_EQ(LoadString(Unhex("fffeffff0200") + Unhex("41004200")), "AB");
    EXPECT_EQ(LoadString(Unhex("fffeffffffff02000000") + Unhex("41004200")), "AB");
    // An unpaired surrogate becomes the replacement character instead of broken UTF-8.
    EXPECT_EQ(LoadString(Unhex("fffeff02") + Unhex("00d84100")), "\xEF\xBF\xBD" "A");
    // Units that the file does not hold count as its end.
    EXPECT_THROW(LoadString(Unhex("fffeff03") + Unhex("41004200")), CArchiveEndOfFile);
}

TEST_F(OptionFiles, FileEndingEarlyKeepsFieldsReadAndDefaultsForTheRest)
{
    CVideoOptions full;
    full.m_nFileFormat = 7;
    full.m_nQuality = 1;
    full.m_nVideoSize = 2;
    PutFile(kVideoOptionsFile, Store(full).substr(0, 10));

    CVideoOptions loaded;
    EXPECT_EQ(COptionFile(kVideoOptionsFile).LoadRecord(loaded), LoadResult::EndedEarly);
    EXPECT_EQ(loaded.m_nFileFormat, 7);
    EXPECT_EQ(loaded.m_nQuality, 1);
    EXPECT_EQ(loaded.m_nVideoSize, -1);
    EXPECT_EQ(loaded.m_strOutputPath, "/h/");
    EXPECT_EQ(loaded.m_nCaptureMode, 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, "An attempt was made to access an unnamed file past its end.");
    EXPECT_EQ(m_boxes[0].type & platform::MB_ICONMASK, platform::MB_ICONSTOP);
}

TEST_F(OptionFiles, LengthPrefixLargerThanTheFileCountsAsItsEnd)
{
    // Three integers, then field 4 claims 4 GiB - 1 in a 20-byte file.
    std::string bytes = Unhex("010000000200000003000000" "ffffffffffffffff");
    ASSERT_EQ(bytes.size(), 20u);
    PutFile(kVideoOptionsFile, bytes);
    CVideoOptions loaded;
    EXPECT_EQ(COptionFile(kVideoOptionsFile).LoadRecord(loaded), LoadResult::EndedEarly);
    EXPECT_EQ(loaded.m_nVideoSize, 3);
    EXPECT_EQ(loaded.m_strOutputPath, "/h/");
    EXPECT_EQ(m_boxes.size(), 1u);

    // A string cut in the middle leaves the old value too, not a partial one.
    CPresentationModeOptions mode;
    mode.m_strPageText = "keep";
    std::string cut = Unhex("000000000000000000000000" "05616263");
    EXPECT_EQ(COptionFile::LoadFromBytes(cut, [&](COptionArchive& ar) { mode.SerializeOptions(ar); }),
              LoadResult::EndedEarly);
    EXPECT_EQ(mode.m_strPageText, "keep");
}

TEST_F(OptionFiles, TrailingBytesAreIgnored)
{
    CPresentationModeOptions saved;
    saved.m_nFirstSlide = 4;
    PutFile(kPresentationModeFile, Store(saved) + "garbage after the last field");
    CPresentationModeOptions loaded;
    EXPECT_EQ(COptionFile(kPresentationModeFile).LoadRecord(loaded), LoadResult::Complete);
    EXPECT_EQ(loaded.m_nFirstSlide, 4);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(OptionFiles, MissingOrUnreadableFileLeavesTheRecordAlone)
{
    CPresentationModeOptions mode;
    mode.m_nSecondsPerSlide = 11;
    EXPECT_EQ(COptionFile(kPresentationModeFile).LoadRecord(mode), LoadResult::NotOpened);
    // A folder in place of the file is not a file.
    std::filesystem::create_directories(ConfigFile(kPresentationModeFile));
    EXPECT_EQ(COptionFile(kPresentationModeFile).LoadRecord(mode), LoadResult::NotOpened);
    EXPECT_EQ(mode.m_nSecondsPerSlide, 11);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(OptionFiles, SaveCreatesTheFolderAndLeavesNoTemporaryFiles)
{
    CPresentationModeOptions mode;
    COptionFile file(kPresentationModeFile);
    ASSERT_TRUE(file.SaveRecord(mode));
    mode.m_nFirstSlide = 2;
    ASSERT_TRUE(file.SaveRecord(mode));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.file("cfg")))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"RecordCustom"});
    CPresentationModeOptions loaded;
    EXPECT_EQ(file.LoadRecord(loaded), LoadResult::Complete);
    EXPECT_EQ(loaded.m_nFirstSlide, 2);
}

TEST_F(OptionFiles, UnwritableFolderIsNotWrittenAndShowsNothing)
{
    // The config folder lies below a plain file, so it can never be created (this holds for
    // root as well, unlike a read-only folder).
    WriteFile(m_dir.file("plain"), "x");
    testsupport::ScopedEnv config("VANTOREL_CONFIG_DIR", m_dir.file("plain") + "/cfg");
    CPresentationModeOptions mode;
    EXPECT_FALSE(COptionFile(kPresentationModeFile).SaveRecord(mode));

    if (geteuid() != 0) {
        std::filesystem::create_directories(m_dir.file("ro"));
        std::filesystem::permissions(m_dir.file("ro"), std::filesystem::perms::owner_read |
                                                           std::filesystem::perms::owner_exec);
        testsupport::ScopedEnv ro("VANTOREL_CONFIG_DIR", m_dir.file("ro"));
        EXPECT_FALSE(COptionFile(kPresentationModeFile).SaveRecord(mode));
    }
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(OptionFiles, FailedWriteKeepsTheOldFile)
{
    CVideoOptions old;
    old.m_strOutputPath = "/old/";
    COptionFile file(kVideoOptionsFile);
    ASSERT_TRUE(file.SaveRecord(old));
    const std::string before = ReadFile(file.Path());

    // A file size limit below the record's size makes the write fail part-way, as a full disk
    // would.
    rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    CVideoOptions changed;
    changed.m_strOutputPath = std::string(200, 'n');
    bool ok = file.SaveRecord(changed);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldSignal);

    EXPECT_FALSE(ok);
    EXPECT_EQ(ReadFile(file.Path()), before);
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_dir.file("cfg")))
        ++count;
    EXPECT_EQ(count, 1u);
}
