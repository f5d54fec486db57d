// Unfinished recordings in the output folder: the offer names exactly those a crash left (not a
// whole file, not one still being written, not another kind of file), repairs them only when the
// user agrees and says how each came out; "vantorel --repair" tells the same in its output and
// exit status.
#include "app/RecordingRepairOffer.h"
#include "app/CommandLine.h"
#include "app/RepairCommand.h"
#include "platform/avi/AviRepair.h"
#include "platform/ui/MessageBox.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

using namespace platform;

namespace {

class RecordingRepair : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string whole = m_dir.file("whole.avi");
        const std::string made = Command("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=64x48:rate=15 -t 2 "
                                         "-c:v mjpeg '" + whole + "' 2>&1");
        ASSERT_EQ(made, "");
        m_whole = testsupport::ReadFile(whole);
        m_old = SetMessageBoxHandler([this](const MessageBoxRequest& r) {
            m_shown.push_back(r);
            return m_answer;
        });
    }
    void TearDown() override { SetMessageBoxHandler(m_old); }

    static std::string Command(const std::string& command)
    {
        std::string out;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
            pclose(pipe);
        }
        return out;
    }
    // A copy of the whole file cut in its last chunks, last written a minute ago.
    std::string Cut(const std::string& name)
    {
        const std::string path = m_dir.file(name);
        testsupport::WriteFile(path, m_whole.substr(0, m_whole.size() * 3 / 4));
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
        return path;
    }

    testsupport::TempDir m_dir;
    std::string m_whole;
    std::vector<MessageBoxRequest> m_shown;
    int m_answer = IDNO;
    MessageBoxHandler m_old;
};

TEST_F(RecordingRepair, TheOfferNamesOnlyWhatACrashLeftAndRepairsItWhenTheUserAgrees)
{
    const std::string folder = m_dir.path().string() + "/";
    OfferRecordingRepair(nullptr, folder);
    EXPECT_TRUE(m_shown.empty()) << "nothing to offer: no box";

    const std::string cut = Cut("talk_001.avi"), upper = Cut("talk_002.AVI");
    const std::string fresh = m_dir.file("talk_003.avi"), locked = Cut("talk_004.avi");
    testsupport::WriteFile(fresh, m_whole.substr(0, m_whole.size() / 2));  // may still be growing
    testsupport::WriteFile(m_dir.file("notes.avi"), "not a recording");
    const int held = ::open(locked.c_str(), O_RDWR);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);  // being recorded by another program instance

    OfferRecordingRepair(nullptr, folder);
    ASSERT_EQ(m_shown.size(), 1u);
    const std::string& question = m_shown[0].text;
    EXPECT_EQ(m_shown[0].type & MB_TYPEMASK, MB_YESNO);
    EXPECT_NE(question.find("talk_001.avi"), std::string::npos) << question;
    EXPECT_NE(question.find("talk_002.AVI"), std::string::npos) << question;
    for (const char* name : {"whole.avi", "talk_003.avi", "talk_004.avi", "notes.avi"})
        EXPECT_EQ(question.find(name), std::string::npos) << name << " is not offered";
    EXPECT_EQ(InspectAviFile(cut), AviFileState::Unfinished) << "No leaves the files as they are";

    m_answer = IDYES;
    m_shown.clear();
    OfferRecordingRepair(nullptr, folder);
    ASSERT_EQ(m_shown.size(), 2u);
    const std::string& report = m_shown[1].text;
    EXPECT_NE(report.find("talk_001.avi: repaired: kept "), std::string::npos) << report;
    EXPECT_NE(report.find("talk_002.AVI: repaired: kept "), std::string::npos) << report;
    EXPECT_EQ(InspectAviFile(cut), AviFileState::Whole);
    EXPECT_EQ(InspectAviFile(upper), AviFileState::Whole);
    EXPECT_EQ(InspectAviFile(locked), AviFileState::Unfinished);
    ::close(held);

    m_shown.clear();
    std::filesystem::last_write_time(fresh, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
    OfferRecordingRepair(nullptr, folder);
    ASSERT_FALSE(m_shown.empty());
    EXPECT_EQ(m_shown[0].text.find("talk_001.avi"), std::string::npos) << "repaired files are not offered again";
}

TEST_F(RecordingRepair, TheCommandSaysWhatBecameOfEachFileAndFailsWhenOneCouldNotBeRepaired)
{
    auto run = [](std::vector<std::string> args, std::string* out, std::string* err) {
        std::vector<const char*> argv {"vantorel"};
        for (const std::string& a : args) argv.push_back(a.c_str());
        // Through the program's own command line, as "vantorel --repair FILE..." runs it.
        CVantorelCommandLine commandLine;
        commandLine.Parse(static_cast<int>(argv.size()), argv.data());
        EXPECT_FALSE(commandLine.ReportFaults(stderr));
        std::FILE* o = std::tmpfile();
        std::FILE* e = std::tmpfile();
        const CommandLineOption* repair = nullptr;
        for (const CommandLineOption& option : commandLine.GetOptions())
            if (std::string(option.name) == "repair") repair = &option;
        std::vector<std::string> files(args.begin() + 1, args.end());
        int status = RunRepairCommand(files, o, e);
        EXPECT_TRUE(repair && repair->takesRest);
        EXPECT_EQ(commandLine.GetFiles().size(), 0u) << "the files after --repair are its own";
        for (auto [f, s] : {std::pair {o, out}, std::pair {e, err}}) {
            std::rewind(f);
            s->clear();
            char buffer[512];
            while (std::size_t n = std::fread(buffer, 1, sizeof buffer, f)) s->append(buffer, n);
            std::fclose(f);
        }
        return status;
    };
    std::string out, err;
    EXPECT_EQ(run({"--repair"}, &out, &err), 2);
    EXPECT_NE(err.find("usage: vantorel --repair FILE..."), std::string::npos) << err;

    const std::string cut = Cut("cut.avi"), notes = m_dir.file("notes.txt");
    testsupport::WriteFile(notes, "text");
    EXPECT_EQ(run({"--repair", cut}, &out, &err), 0) << err;
    EXPECT_NE(out.find(cut + ": repaired: kept "), std::string::npos) << out;
    EXPECT_EQ(run({"--repair", cut, notes}, &out, &err), 1);
    EXPECT_NE(out.find(cut + ": whole; nothing to repair."), std::string::npos) << out;
    EXPECT_NE(err.find(notes + ": not an AVI recording"), std::string::npos) << err;
}

} // namespace
