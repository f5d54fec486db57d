// Files cut short where a crash or a power cut would leave them: the repair keeps exactly the
// chunks that reached the file whole, with the key frames the encoder marked, and makes the file
// whole; damaged bytes between chunks cost only the chunks they hit.
#include "AviTestSupport.h"
#include "platform/avi/AviRepair.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/avutil.h>
}

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace avitest;

namespace {

struct IndexEntry {
    std::string id;
    int64_t pos;  // of the chunk header
    uint32_t size;
};

// The chunks a finished file's idx1 lists, in file order.
std::vector<IndexEntry> Idx1Entries(const std::vector<uint8_t>& bytes)
{
    std::vector<IndexEntry> entries;
    auto find = [&](const char* id) {
        return std::search(bytes.begin(), bytes.end(), id, id + 4) - bytes.begin();
    };
    const int64_t movi = find("movi"), idx1 = find("idx1");
    if (static_cast<std::size_t>(idx1) >= bytes.size()) return entries;
    const uint32_t n = Le32At(bytes, idx1 + 4) / 16;
    for (uint32_t i = 0; i < n; ++i) {
        const std::size_t e = idx1 + 8 + 16 * i;
        entries.push_back({std::string(bytes.begin() + e, bytes.begin() + e + 4), movi + Le32At(bytes, e + 8),
                           Le32At(bytes, e + 12)});
    }
    return entries;
}

std::size_t WholeBefore(const std::vector<IndexEntry>& entries, int64_t cut, const char* suffix)
{
    return std::count_if(entries.begin(), entries.end(), [&](const IndexEntry& e) {
        return e.id.substr(2) == suffix && e.pos + 8 + e.size <= cut;
    });
}

void ExpectPrefix(const std::vector<StoredPacket>& original, const std::vector<StoredPacket>& repaired,
                  std::size_t count, const char* what)
{
    ASSERT_EQ(repaired.size(), count) << what;
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(repaired[i].data, original[i].data) << what << " " << i;
        EXPECT_EQ(repaired[i].key, original[i].key) << what << " " << i << " key frame";
    }
}

struct Codec {
    const char* name;
    const char* args;  // ffmpeg's video encoder, a key frame every 7th frame
    bool interFrames;
};

void PrintTo(const Codec& codec, std::ostream* os)
{
    *os << codec.name;
}

class AviRepairTest : public ::testing::TestWithParam<Codec> {
protected:
    testsupport::TempDir m_dir;
};

TEST_P(AviRepairTest, ACutFileKeepsEveryWholeChunkAndTheEncodersKeyFrames)
{
    const std::string original = m_dir.file("original.avi");
    const std::string made = RunCommand(std::string("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=96x64:rate=15 "
                                                    "-f lavfi -i sine=frequency=440:sample_rate=22050 -t 3 ") +
                                        GetParam().args + " -g 7 -c:a pcm_s16le -ac 1 '" + original + "'");
    ASSERT_EQ(made, "");
    ASSERT_EQ(InspectAviFile(original), AviFileState::Whole);
    const std::vector<uint8_t> bytes = ReadBytes(original);
    const std::vector<IndexEntry> entries = Idx1Entries(bytes);
    ASSERT_GT(entries.size(), 60u);
    const auto video = ReadPackets(original, AVMEDIA_TYPE_VIDEO), sound = ReadPackets(original, AVMEDIA_TYPE_AUDIO);
    if (GetParam().interFrames)
        ASSERT_GT(std::count_if(video.begin(), video.end(), [](const StoredPacket& p) { return !p.key; }), 0);

    struct Cut {
        const char* what;
        int64_t at;
        int64_t damage;  // a chunk header overwritten there, or -1
    };
    const IndexEntry& middle = entries[entries.size() / 2];
    const Cut cuts[] = {
        {"inside an early chunk", entries[5].pos + 5, -1},
        {"inside a chunk", middle.pos + 8 + middle.size / 2, -1},
        {"right after a chunk", entries[entries.size() / 3].pos + 8 + entries[entries.size() / 3].size, -1},
        {"inside the index", static_cast<int64_t>(bytes.size()) - 20, -1},
        {"after damage in the middle", static_cast<int64_t>(bytes.size()) - 20, middle.pos},
    };
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.what);
        const std::string file = m_dir.file("cut.avi");
        std::vector<uint8_t> head(bytes.begin(), bytes.begin() + cut.at);
        if (cut.damage >= 0) std::fill_n(head.begin() + cut.damage, 8, 0xEE);
        testsupport::WriteFile(file, std::string(head.begin(), head.end()));
        EXPECT_EQ(InspectAviFile(file), AviFileState::Unfinished);

        const AviRepairResult result = RepairAviFile(file);
        ASSERT_EQ(result.outcome, AviRepairResult::Outcome::Repaired) << result.Describe();
        EXPECT_EQ(InspectAviFile(file), AviFileState::Whole);
        EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null -"), "");
        std::size_t wholeVideo = WholeBefore(entries, cut.at, "dc");
        std::size_t wholeSound = WholeBefore(entries, cut.at, "wb");
        EXPECT_EQ(result.videoFrames, static_cast<int64_t>(wholeVideo));
        EXPECT_EQ(Probe(file, "v", "nb_frames"), std::to_string(wholeVideo)) << "the header counts them";
        if (cut.damage < 0) {
            ExpectPrefix(video, ReadPackets(file, AVMEDIA_TYPE_VIDEO), wholeVideo, "video");
            ExpectPrefix(sound, ReadPackets(file, AVMEDIA_TYPE_AUDIO), wholeSound, "sound");
        } else {
            EXPECT_GT(result.bytesSkipped, 0);
            const bool hitVideo = middle.id.substr(2) == "dc";
            EXPECT_EQ(ReadPackets(file, AVMEDIA_TYPE_VIDEO).size(), wholeVideo - hitVideo) << "only the damaged one goes";
            EXPECT_EQ(ReadPackets(file, AVMEDIA_TYPE_AUDIO).size(), wholeSound - !hitVideo);
        }
        const std::string repaired = testsupport::ReadFile(file);
        EXPECT_EQ(RepairAviFile(file).outcome, AviRepairResult::Outcome::AlreadyWhole);
        EXPECT_EQ(testsupport::ReadFile(file), repaired) << "a second repair changes nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, AviRepairTest,
    ::testing::Values(Codec {"Uncompressed", "-c:v rawvideo -pix_fmt bgr24", false},
                      Codec {"Video1", "-c:v msvideo1 -pix_fmt rgb555le", true},
                      Codec {"MotionJpeg", "-c:v mjpeg -pix_fmt yuvj420p", false},
                      Codec {"Mpeg4", "-c:v mpeg4 -bf 0 -vtag FMP4", true},
                      Codec {"H264", "-c:v libx264 -bf 0 -preset veryfast -tune zerolatency", true},
                      Codec {"Ffv1", "-c:v ffv1 -level 3 -pix_fmt bgr0", true}),
    [](const ::testing::TestParamInfo<Codec>& info) { return std::string(info.param.name); });

TEST(AviRepair, WhatIsNoRecordingIsLeftAsItWas)
{
    testsupport::TempDir dir;
    const std::string text = dir.file("notes.avi"), wave = dir.file("sound.avi");
    testsupport::WriteFile(text, "RIFF, but not a header");
    testsupport::WriteFile(wave, std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
    for (const std::string& file : {text, wave}) {
        EXPECT_EQ(InspectAviFile(file), AviFileState::NotAvi);
        const std::string before = testsupport::ReadFile(file);
        EXPECT_EQ(RepairAviFile(file).outcome, AviRepairResult::Outcome::NotAvi);
        EXPECT_EQ(testsupport::ReadFile(file), before);
    }
    const AviRepairResult missing = RepairAviFile(dir.file("missing.avi"));
    EXPECT_EQ(missing.outcome, AviRepairResult::Outcome::Failed);
    EXPECT_NE(missing.Describe().find("No such file"), std::string::npos) << missing.Describe();
}

} // namespace
