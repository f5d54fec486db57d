// "vantorel --record": what the words after it ask for, and what is refused before anything
// starts (exit status 2, every fault told).
#include "app/CommandLine.h"
#include "app/RecordRequest.h"
#include "dvd/DvdWindow.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

RecordRequest Parse(const std::vector<std::string>& words, std::vector<std::string>* faults)
{
    faults->clear();
    return ParseRecordRequest(words, faults);
}

TEST(RecordRequest, OptionsAmongTheFilesInAnyCaseAndEveryWordAfterDoubleDashAFile)
{
    testsupport::TempDir dir;
    const std::string out = dir.path().string();
    std::vector<std::string> faults;
    const RecordRequest r = Parse({"a.ppt", "--Output", out, "-slide-seconds", "2.5", "--size", "dvd", "b.odp",
                                   "--NO-SOUND", "--compressor", "Motion JPEG", "--headless", "--dvd-image",
                                   dir.file("talks.iso"), "--format", "ntsc", "--chapters", "--", "--headless"},
                                  &faults);
    EXPECT_TRUE(faults.empty()) << faults.front();
    const std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(r.files, (std::vector<std::string> {cwd + "/a.ppt", cwd + "/b.odp", cwd + "/--headless"}));
    EXPECT_EQ(r.outputFolder, out + "/");
    EXPECT_EQ(r.slideSeconds, 2.5);
    ASSERT_TRUE(r.size);
    EXPECT_EQ(r.size->width, 704);
    EXPECT_EQ(r.size->height, 576);
    EXPECT_TRUE(r.noSound && r.headless && r.chapters);
    EXPECT_EQ(r.compressor, "Motion JPEG");
    EXPECT_EQ(r.dvdImage, dir.file("talks.iso"));
    EXPECT_EQ(r.tvFormat, TV_FORMAT_NTSC);

    const RecordRequest plain = Parse({"/talks/a.pptx"}, &faults);
    EXPECT_TRUE(faults.empty());
    EXPECT_EQ(plain.slideSeconds, 5);
    EXPECT_FALSE(plain.size || plain.noSound || plain.headless || plain.WantsDvd() || plain.tvFormat);
    ASSERT_TRUE(Parse({"--size", "1000 X 562", "a.ppt"}, &faults).size);
    EXPECT_EQ(Parse({"--size", "1000x562", "a.ppt"}, &faults).size->height, 562);
}

TEST(RecordRequest, WhatCannotBeDoneIsRefusedWithEveryFaultNamed)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.file("old.iso"), "an earlier disc");
    std::vector<std::string> faults;
    Parse({"--slide-seconds", "0", "--slide-seconds", "x", "--size", "10x10", "--size", "big", "--format", "SECAM",
           "--output", dir.file("missing"), "--dvd-image", dir.file("old.iso"), "--dvd-image",
           dir.file("no/such.iso"), "--frobnicate", "a.ppt", "--compressor"},
          &faults);
    const std::vector<std::string> expected {
        "--slide-seconds takes a number of seconds from 0.1 to 3600, not 0",
        "--slide-seconds takes a number of seconds from 0.1 to 3600, not x",
        "--size takes WIDTHxHEIGHT (16 to 8192 each) or DVD, SVCD, VCD, not 10x10",
        "--size takes WIDTHxHEIGHT (16 to 8192 each) or DVD, SVCD, VCD, not big",
        "--format takes PAL or NTSC, not SECAM",
        "the output folder " + dir.file("missing") + " does not exist",
        "the DVD image " + dir.file("old.iso") + " exists already; remove it or name another",
        "the folder of the DVD image " + dir.file("no/such.iso") + " does not exist",
        "unknown option --frobnicate",
        "the option --compressor needs NAME",
    };
    EXPECT_EQ(faults, expected);

    Parse({"--dvd-image", dir.file("a.iso"), "--burn", "/dev/sr0"}, &faults);
    EXPECT_EQ(faults, (std::vector<std::string> {"--record needs the presentations to record",
                                                 "--dvd-image and --burn cannot go together"}));
    Parse({"a.ppt", "--chapters", "--format", "PAL"}, &faults);
    EXPECT_EQ(faults, (std::vector<std::string> {"--format needs --dvd-image or --burn",
                                                 "--chapters needs --dvd-image or --burn"}));
}

TEST(RecordRequest, TheProgramsHelpListsEveryRecordOptionAndAFaultEndsWithStatusTwo)
{
    CVantorelCommandLine commandLine;
    const std::string help = commandLine.HelpText();
    for (const char* option : {"--record [OPTION]... FILE...", "--output DIR", "--slide-seconds N", "--size WxH",
                               "--no-sound", "--compressor NAME", "--headless", "--dvd-image FILE.iso", "--burn DRIVE",
                               "--format PAL|NTSC", "--chapters", "Exit status"})
        EXPECT_NE(help.find(option), std::string::npos) << option << " in\n" << help;

    const char* argv[] = {"vantorel", "--record", "--size", "huge", "a.ppt"};
    commandLine.Parse(5, argv);
    EXPECT_TRUE(commandLine.GetFiles().empty()) << "the words after --record are its own";
    testing::internal::CaptureStderr();
    EXPECT_EQ(commandLine.RunImmediate(), RECORD_STATUS_BAD_ARGUMENTS);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("vantorel: --size takes WIDTHxHEIGHT"), std::string::npos) << err;
}

}  // namespace
