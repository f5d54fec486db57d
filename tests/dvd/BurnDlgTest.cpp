// The burn window on the display, opened by the burn command of a stand-in recording window:
// recordings made by the capture graph go through the real fg, ar and libburn onto pseudo drives,
// and the disc images are read back with lsdvd.
#include "RecordingSupport.h"
#include "ToolOutput.h"
#include "burner/Device.h"
#include "burner/FakeStarBurn.h"
#include "dvd/BurnDlg.h"
#include "platform/ui/ComboBox.h"
#include "platform/ui/ListBox.h"
#include "platform/ui/MessageBox.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <utility>

namespace fs = std::filesystem;
using dvdtest::Match;
using dvdtest::Output;
using platform::MessageBoxRequest;
using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

constexpr double kSecondsA = 2.0;
constexpr double kSecondsB = 3.0;
const std::string kLongLabel = "HOLIDAY_SLIDES_OF_THE_WHOLE_FAMILY_2026";

// The recording window as the burn window sees it.
class CStandInOwner : public IBurnOwner {
public:
    std::vector<std::string> m_Files;
    std::string m_strOutput;
    std::string m_strProgram = VANTOREL_TEST_PROGRAM_DIR;
    std::vector<std::string> m_Calls;

    std::vector<std::string> GetRecordedFiles() override { return m_Files; }
    std::string GetOutputFolder() override { return m_strOutput; }
    std::string GetProgramFolder() override { return m_strProgram; }
    QWidget* GetOwnerWindow() override { return nullptr; }
    void ShutDownOffice() override { m_Calls.push_back("shut down"); }
    void RestartOfficeShow() override { m_Calls.push_back("restart"); }
};

// Records the message boxes and answers them from a queue (then OK, or No for questions).
class CBoxes {
public:
    CBoxes()
    {
        m_old = platform::SetMessageBoxHandler([this](const MessageBoxRequest& r) {
            m_Texts.push_back(r.text);
            if (!m_Answers.empty()) {
                const int answer = m_Answers.front();
                m_Answers.pop_front();
                return answer;
            }
            return (r.type & platform::MB_TYPEMASK) == platform::MB_YESNO ? platform::IDNO : platform::IDOK;
        });
    }
    ~CBoxes() { platform::SetMessageBoxHandler(m_old); }
    std::vector<std::string> Take() { return std::exchange(m_Texts, {}); }
    std::deque<int> m_Answers;

private:
    std::vector<std::string> m_Texts;
    platform::MessageBoxHandler m_old;
};

bool WaitFor(const std::function<bool()>& condition, int nSeconds)
{
    return QTest::qWaitFor(condition, nSeconds * 1000);
}

bool Enabled(const CBurnDlg& dlg, int nID)
{
    return dlg.GetDlgItem(nID)->isEnabled();
}

std::string Text(const CBurnDlg& dlg, int nID)
{
    return dlg.GetDlgItemText(nID).toStdString();
}

platform::CComboBox* Combo(const CBurnDlg& dlg, int nID)
{
    return dlg.GetDlgItemAs<platform::CComboBox>(nID);
}

// The index of the first log entry at or after nFrom whose text (after the time) starts with
// strText, or -1.
int FindEntry(const std::vector<std::string>& log, const std::string& strText, int nFrom = 0)
{
    for (int i = std::max(nFrom, 0); i < static_cast<int>(log.size()); ++i)
        if (log[i].compare(9, strText.size(), strText) == 0)
            return i;
    return -1;
}

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

// Saves a picture of the window when VANTOREL_TEST_SHOTS names a folder.
void Shot(CBurnDlg& dlg, const char* name)
{
    if (const char* folder = std::getenv("VANTOREL_TEST_SHOTS"))
        dlg.grab().save(QString("%1/burn-%2.png").arg(folder, name));
}

class BurnDlgTest : public ::testing::Test {
protected:
    // Two recordings made as burn mode makes them (Video 1 and MP3), in the order recorded.
    std::vector<std::string> Record()
    {
        options::CVideoOptions o;
        o.m_strOutputPath = m_dir.file("rec") + "/";
        o.m_bVideoCompress = TRUE;
        o.m_strVideoCompressor = "Microsoft Video 1";
        o.m_bAudioCompress = TRUE;
        o.m_strAudioCompressor = "MPEG Layer-3";
        o.m_nFrameRate = 15;
        const std::vector<std::string> files = {Clip("b talk_001.avi"), Clip("a talk_001.avi")};
        EXPECT_EQ(capturetest::RecordToneClips(ORAVANE_MODULE, o, {{files[0], kSecondsB}, {files[1], kSecondsA}}), "");
        return files;
    }
    // A short AVI where no recording is needed.
    std::string MakeAvi()
    {
        const std::string strPath = Clip("a talk_001.avi");
        Output({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=15", "-t",
                std::to_string(kSecondsA), "-c:v", "msvideo1", strPath});
        return strPath;
    }
    std::string Clip(const std::string& name) const { return m_dir.file("rec/" + name); }

    void SetUp() override
    {
        fs::create_directories(m_dir.file("rec"));
        fs::create_directories(m_dir.file("tmp"));
        fs::create_directories(m_dir.file("out"));
        m_owner.m_strOutput = m_dir.file("out") + "/";
    }

    // Opens the window with the burn command, runs during in its modal loop, and closes it if
    // it is still open.
    void Run(CBurnDlg& dlg, const std::function<void()>& during)
    {
        QTimer::singleShot(0, &dlg, [&dlg, during] {
            during();
            if (dlg.isVisible())
                dlg.SendCommand(IDC_BURN_CLOSE);
        });
        RunBurnCommand(m_owner);
    }

    static bool WaitForDrives(CBurnDlg& dlg)
    {
        return WaitFor([&] { return !dlg.IsRefreshing(); }, 30);
    }

    static bool WaitForEnd(CBurnDlg& dlg)
    {
        return WaitFor([&] { return dlg.GetRunState() == CBurnDlg::RunState::Done; }, 240);
    }

    // Answers the save dialog with a file name, as a user would type it.
    static void AnswerSaveDialog(const std::string& strPath)
    {
        QTimer::singleShot(50, qApp, [strPath] {
            auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(pDialog, nullptr);
            EXPECT_EQ(pDialog->selectedFiles().value(0).section('/', -1), "QVRlog.txt");
            pDialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(strPath));
            QMetaObject::invokeMethod(pDialog, "accept");
        });
    }

    TempDir m_dir;
    ScopedEnv m_tmp {"TMPDIR", m_dir.file("tmp")};
    ScopedEnv m_drives {"VANTOREL_BURN_DRIVES", "stdio:" + m_dir.file("disc.img")};
    CStandInOwner m_owner;
    CBoxes m_boxes;
};

TEST_F(BurnDlgTest, TwoRecordingsBecomeABurnedDvdAndTheWindowOpensAgainForTheNext)
{
    CBurnDlg dlg;
    ASSERT_EQ(CBurnDlg::GetProgramInstance(), &dlg);
    m_owner.m_Files = Record();
    dlg.m_strVolumeLabel = kLongLabel;
    dlg.m_bDeleteTemp = 1;
    std::vector<std::string> log;
    Run(dlg, [&] {
        EXPECT_EQ(m_owner.m_Calls, std::vector<std::string> {"shut down"});
        ASSERT_TRUE(WaitForDrives(dlg));
        ASSERT_EQ(Combo(dlg, IDC_BURN_DRIVE)->count(), 1);
        const std::string strEntry = Combo(dlg, IDC_BURN_DRIVE)->currentText().toStdString();
        EXPECT_EQ(strEntry.rfind("[" + m_dir.file("disc.img") + "]", 0), 0u) << strEntry;
        EXPECT_EQ(strEntry.back(), ')');
        EXPECT_EQ(Combo(dlg, IDC_BURN_SPEED)->currentText(), "12.0x") << "the fastest";
        EXPECT_EQ(Text(dlg, IDC_BURN_VOLUME), kLongLabel);
        Shot(dlg, "before");

        dlg.SendCommand(IDC_BURN_START);
        EXPECT_EQ(dlg.GetRunState(), CBurnDlg::RunState::Running);
        for (int nID : {IDC_BURN_START, IDC_BURN_CLOSE, IDC_BURN_ADD, IDC_BURN_DELETE, IDC_BURN_DRIVE, IDC_BURN_REFRESH})
            EXPECT_FALSE(Enabled(dlg, nID)) << nID;
        if (WaitFor([&] { return FindEntry(dlg.GetLogEntries(), "Now convert") >= 0; }, 30))
            Shot(dlg, "during");
        ASSERT_TRUE(WaitForEnd(dlg));
        EXPECT_EQ(Text(dlg, IDC_BURN_STATUS), "Complete!");
        Shot(dlg, "after");
        EXPECT_FALSE(Enabled(dlg, IDC_BURN_START));
        EXPECT_FALSE(Enabled(dlg, IDC_BURN_DRIVE));
        for (int nID : {IDC_BURN_CLOSE, IDC_BURN_ADD, IDC_BURN_DELETE, IDC_BURN_PREVIEW, IDC_BURN_SAVE_LOG})
            EXPECT_TRUE(Enabled(dlg, nID)) << nID;
        EXPECT_FALSE(dlg.GetDlgItem(IDC_BURN_PROGRESS)->isVisible());

        log = dlg.GetLogEntries();
        AnswerSaveDialog(m_dir.file("saved"));
        dlg.SendCommand(IDC_BURN_SAVE_LOG);
    });
    EXPECT_EQ(m_owner.m_Calls, (std::vector<std::string> {"shut down", "restart"}));
    EXPECT_TRUE(m_boxes.Take().empty());
    // The controls' values are the settings the recording window stores.
    EXPECT_EQ(dlg.m_strSpeed, "12.0x");
    EXPECT_EQ(dlg.m_strRecorder.rfind("[" + m_dir.file("disc.img") + "]", 0), 0u) << dlg.m_strRecorder;

    // The saved log is the list, one entry a line, each entry with its time.
    std::string strSaved;
    for (const std::string& entry : log) {
        EXPECT_TRUE(std::regex_match(entry.substr(0, 9), std::regex("\\d\\d:\\d\\d:\\d\\d "))) << entry;
        strSaved += entry + "\n";
    }
    EXPECT_EQ(ReadFile(m_dir.file("saved.txt")), strSaved);

    // Every stage in order, the list's order (a before b) being the order on the disc.
    int nAt = 0;
    for (const std::string& step :
         {"Now convert " + Clip("a talk_001.avi"), "Now convert " + Clip("b talk_001.avi"),
          std::string("Now author dvd image..."), std::string("Now burn to DVD..."),
          "The disc volume label is cut to 32 characters: " + kLongLabel.substr(0, 32), std::string("Started"),
          std::string("Setting speed 12.0x"), std::string("Burning Complete!"), std::string("Complete!")}) {
        nAt = FindEntry(log, step, nAt);
        ASSERT_GE(nAt, 0) << step << " missing or out of order";
    }
    EXPECT_EQ(nAt, static_cast<int>(log.size()) - 1) << "Complete! is the last entry";

    const std::string strDisc = Output({"lsdvd", "-v", "-Oy", m_dir.file("disc.img")});
    EXPECT_EQ(Match(strDisc, "'title' : '([^']*)'"), kLongLabel.substr(0, 32)) << strDisc;
    EXPECT_EQ(Match(strDisc, "'format' : '(\\w+)'"), "PAL");
    EXPECT_NEAR(std::atof(Match(strDisc, "'length' : ([0-9.]+)").c_str()), kSecondsA + kSecondsB, 0.8) << strDisc;
    // The MPEG files, the script and the control file are gone; the DVD folder stays.
    for (const std::string& name : FilesIn(m_dir.file("tmp")))
        EXPECT_EQ(name.find(".mpg"), std::string::npos) << name;
    EXPECT_EQ(FilesIn(m_dir.file("out")), std::vector<std::string> {"qvrtmpd001"});

    // Opened again with fresh lists and the settings kept, for one recording on a new disc, in
    // NTSC, keeping the script and the control file.
    ScopedEnv drives("VANTOREL_BURN_DRIVES", "stdio:" + m_dir.file("disc2.img"));
    m_owner.m_Files = {Clip("a talk_001.avi")};
    dlg.m_nTvFormat = TV_FORMAT_NTSC;
    dlg.m_bDeleteTemp = 0;
    Run(dlg, [&] {
        EXPECT_EQ(dlg.GetDlgItemAs<platform::CListBox>(IDC_BURN_VIDEO_LIST)->GetCount(), 1);
        EXPECT_EQ(Text(dlg, IDC_BURN_VOLUME), kLongLabel);
        ASSERT_TRUE(WaitForDrives(dlg));
        EXPECT_TRUE(Enabled(dlg, IDC_BURN_START));
        dlg.SendCommand(IDC_BURN_START);
        ASSERT_TRUE(WaitForEnd(dlg));
    });
    EXPECT_EQ(Match(Output({"lsdvd", "-v", "-Oy", m_dir.file("disc2.img")}), "'format' : '(\\w+)'"), "NTSC");
    auto kept = FilesIn(m_dir.file("out"));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string> {"qvrtmpd001", "qvrtmpf001.xml", "qvrtmpfb001.sh"}));
}

TEST_F(BurnDlgTest, StartBurnSaysWhatStandsInTheWayBeforeConverting)
{
    CFakeStarBurn library;  // dropped for the real one until the last step
    SetStarBurnLibrary(nullptr);
    CBurnDlg dlg;
    const std::string strGone = m_dir.file("gone.avi");
    m_owner.m_Files = {MakeAvi(), strGone};
    testsupport::WriteFile(m_dir.file("disc.img"), "an earlier burn");
    auto start = [&] {
        dlg.SendCommand(IDC_BURN_START);
        EXPECT_EQ(dlg.GetRunState(), CBurnDlg::RunState::Idle);
        return m_boxes.Take();
    };
    Run(dlg, [&] {
        ASSERT_TRUE(WaitForDrives(dlg));
        const auto boxes = start();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].find(strGone), std::string::npos) << boxes[0];
        auto* pVideos = dlg.GetDlgItemAs<platform::CListBox>(IDC_BURN_VIDEO_LIST);
        pVideos->SetCurSel(pVideos->GetText(0).toStdString() == strGone ? 0 : 1);
        dlg.SendCommand(IDC_BURN_DELETE);

        EXPECT_EQ(start(), std::vector<std::string> {"Please insert a blank disc!"});
        EXPECT_TRUE(dlg.IsRefreshing()) << "the drive list is read again";
        ASSERT_TRUE(WaitForDrives(dlg));

        {
            ScopedEnv none("VANTOREL_BURN_DRIVES", "");
            dlg.SendCommand(IDC_BURN_REFRESH);
            ASSERT_TRUE(WaitForDrives(dlg));
            ASSERT_EQ(Combo(dlg, IDC_BURN_DRIVE)->count(), 0);
            EXPECT_EQ(start(), std::vector<std::string> {"No CD/DVD drive find! Refresh list again?"});
            EXPECT_FALSE(dlg.IsRefreshing()) << "No leaves the list as it is";
            m_boxes.m_Answers = {platform::IDYES};
            start();
            EXPECT_TRUE(dlg.IsRefreshing());
            ASSERT_TRUE(WaitForDrives(dlg));
        }

        // A disc with less room than the converted files will take up. The records go before
        // their library does.
        CDevice::Devices().clear();
        SetStarBurnLibrary(&library);
        FakeDrive& drive = library.AddDrive(0);
        drive.m_Track1.m_bIsBlank = 1;
        drive.m_Track255.m_ulFreeBlocks = 100;
        dlg.SendCommand(IDC_BURN_REFRESH);
        ASSERT_TRUE(WaitForDrives(dlg));
        const auto question = start();
        ASSERT_EQ(question.size(), 1u);
        EXPECT_NE(question[0].find("up to about 2 MB, but the disc has only 0 MB free"), std::string::npos)
            << question[0];
    });
}

TEST_F(BurnDlgTest, ClosingDuringAConversionStopsTheEncoderAndLeavesNoMpegBehind)
{
    // An encoder that writes part of its file and then takes its time.
    const std::string strProgram = m_dir.file("program") + "/";
    fs::create_directories(strProgram);
    testsupport::WriteFile(strProgram + "fg",
                           "#!/bin/sh\necho $$ > \"$(dirname \"$0\")/fg.pid\"\nfor out; do :; done\n"
                           "printf 'half an MPEG' > \"${out#file:}\"\necho 'frame=    1'\nsleep 60\n");
    fs::permissions(strProgram + "fg", fs::perms::owner_all);
    m_owner.m_strProgram = strProgram;
    m_owner.m_Files = {MakeAvi()};
    CBurnDlg dlg;
    Run(dlg, [&] {
        ASSERT_TRUE(WaitForDrives(dlg));
        dlg.SendCommand(IDC_BURN_START);
        ASSERT_TRUE(WaitFor([&] { return FindEntry(dlg.GetLogEntries(), "frame=    1") >= 0; }, 30));
        dlg.close();
        EXPECT_EQ(m_boxes.Take(), std::vector<std::string> {"A DVD is being made. Stop it and close the window?"});
        EXPECT_TRUE(dlg.isVisible()) << "No goes on with the run";
        m_boxes.m_Answers = {platform::IDYES};
        dlg.close();
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.GetLogEntries().back().substr(9), "Stopped.");
    });
    EXPECT_EQ(m_owner.m_Calls.back(), "restart");
    const pid_t pid = std::atoi(ReadFile(strProgram + "fg.pid").c_str());
    ASSERT_GT(pid, 0);
    EXPECT_NE(::kill(pid, 0), 0) << "the encoder still runs";
    for (const std::string& name : FilesIn(m_dir.file("tmp")))
        EXPECT_EQ(name.find(".mpg"), std::string::npos) << name;
}

} // namespace
