// The pieces under the multiplexer: frame durations as AVI time bases, and finding the fields
// to patch in a header.
#include "platform/avi/AviHeaderLayout.h"
#include "platform/avi/AviStreamFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(AviVideoTimeBase, WholeRatesAreOneOverTheRate)
{
    for (int fps : {1, 10, 12, 15, 24, 25, 30, 35, 60}) {
        AVRational tb = AviVideoTimeBase(UNITS / fps);
        EXPECT_EQ(tb.num, 1) << fps;
        EXPECT_EQ(tb.den, fps) << fps;
    }
    AVRational roundedUp = AviVideoTimeBase(666667);
    EXPECT_EQ(roundedUp.num, 1);
    EXPECT_EQ(roundedUp.den, 15);
    AVRational none = AviVideoTimeBase(0);
    EXPECT_EQ(none.num, 1);
    EXPECT_EQ(none.den, 15);
    // Not a whole rate: kept exactly.
    AVRational ntsc = AviVideoTimeBase(333667);
    EXPECT_EQ(static_cast<int64_t>(ntsc.num) * UNITS, 333667LL * ntsc.den);
}

std::string Chunk(const char* id, const std::string& body)
{
    std::string s(id, 4);
    uint32_t n = static_cast<uint32_t>(body.size());
    s.append(reinterpret_cast<const char*>(&n), 4);
    s += body;
    if (n & 1) s += '\0';
    return s;
}

std::string List(const char* type, const std::string& body) { return Chunk("LIST", std::string(type, 4) + body); }

TEST(ParseAviHeader, FindsEachStreamsChunksAndMoviPastOptionalChunks)
{
    std::string strl1 = List("strl", Chunk("strh", std::string(56, 'a')) + Chunk("strf", std::string(40, 'b')) +
                                        Chunk("JUNK", std::string(7, 'j')));
    std::string strl2 = List("strl", Chunk("strh", std::string(56, 'c')) + Chunk("strf", std::string(18, 'd')));
    std::string hdrl = List("hdrl", Chunk("avih", std::string(56, 'h')) + strl1 + strl2);
    std::string body = "AVI " + hdrl + Chunk("JUNK", std::string(100, 0)) + List("movi", "");
    std::string file = Chunk("RIFF", body);
    auto layout = ParseAviHeader(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->avih, 32);
    ASSERT_EQ(layout->strh.size(), 2u);
    EXPECT_EQ(layout->strh[0], 108);  // the offset the program's rate patch relies on (+24 = 132)
    EXPECT_EQ(file.substr(layout->strf[0], 40), std::string(40, 'b'));
    EXPECT_EQ(file.substr(layout->strh[1], 56), std::string(56, 'c'));
    EXPECT_EQ(file.substr(layout->strf[1], 18), std::string(18, 'd'));
    EXPECT_EQ(file.substr(layout->movi, 4), "LIST");
    EXPECT_EQ(file.substr(layout->movi + 8, 4), "movi");
}

TEST(ParseAviHeader, RejectsTruncatedOrForeignData)
{
    std::string hdrl = List("hdrl", Chunk("avih", std::string(56, 'h')) +
                                        List("strl", Chunk("strh", std::string(56, 'a')) + Chunk("strf", std::string(40, 'b'))));
    std::string file = Chunk("RIFF", "AVI " + hdrl + List("movi", ""));
    for (std::size_t cut : {std::size_t {0}, std::size_t {11}, std::size_t {60}, file.size() - 12})
        EXPECT_FALSE(ParseAviHeader(reinterpret_cast<const uint8_t*>(file.data()), cut)) << cut;
    std::string wave = file;
    std::memcpy(&wave[8], "WAVE", 4);
    EXPECT_FALSE(ParseAviHeader(reinterpret_cast<const uint8_t*>(wave.data()), wave.size()));
    // A chunk size running past the end.
    std::string bad = file;
    uint32_t huge = 0x7FFFFFF0;
    std::memcpy(&bad[12 + 4], &huge, 4);
    EXPECT_FALSE(ParseAviHeader(reinterpret_cast<const uint8_t*>(bad.data()), bad.size()));
    EXPECT_TRUE(ParseAviHeader(reinterpret_cast<const uint8_t*>(file.data()), file.size()));
}

} // namespace
