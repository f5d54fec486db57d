#include "platform/automation/CommandLineInfo.h"

#include <gtest/gtest.h>

using platform::CCommandLineInfo;

namespace {
CCommandLineInfo Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "vantorel");
    CCommandLineInfo info;
    info.ParseCommandLine(static_cast<int>(args.size()), args.data());
    return info;
}
} // namespace

TEST(CommandLine, ComOptionsAfterSlashOrDashInAnyCase)
{
    EXPECT_TRUE(Parse({"/Embedding"}).m_bRunEmbedded);
    EXPECT_TRUE(Parse({"-embedding"}).m_bRunEmbedded);
    EXPECT_TRUE(Parse({"-AUTOMATION"}).m_bRunAutomated);
    EXPECT_TRUE(Parse({"--Automation"}).m_bRunAutomated);
    EXPECT_FALSE(Parse({"/Embedding"}).m_bRunAutomated);

    auto plain = Parse({"Embedding", "Automation"});
    EXPECT_FALSE(plain.m_bRunEmbedded || plain.m_bRunAutomated) << "a word without / or - is a file name";
    EXPECT_EQ(plain.m_strFileName, "Embedding");

    auto path = Parse({"/home/user/Embedding"});
    EXPECT_FALSE(path.m_bRunEmbedded) << "an absolute path is not an option";
    EXPECT_EQ(path.m_strFileName, "/home/user/Embedding");

    auto other = Parse({"-Embed", "/x", "-", ""});
    EXPECT_FALSE(other.m_bRunEmbedded);
    EXPECT_EQ(other.m_unknownOptions, (std::vector<std::string> {"-Embed", "/x"}));
}
