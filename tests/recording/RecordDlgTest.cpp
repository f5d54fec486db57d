// The recording window with the real LibreOffice Impress on an X server of its own: the show runs
// inside the capture frame and nowhere else, the buttons step through it, the presets and margins
// move the frame, the combo switches presentations, and closing ends the office.
//
// VANTOREL_TEST_SHOTS=<folder> keeps screenshots of the window at two presets there.
#include "options/OptionFile.h"
#include "platform/office/PowerPointApplication.h"
#include "platform/office/ShowScreen.h"
#include "platform/office/TestPresentations.h"
#include "platform/ui/ComboBox.h"
#include "platform/ui/MessageBox.h"
#include "platform/x11/WindowFunctions.h"
#include "RecordWindowSupport.h"
#include "recording/RecordDlg.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

using namespace recording;
using recordtest::CTestOwner;
using recordtest::PumpUntil;
using recordtest::RunWindow;
using officetest::Near;
using officetest::SlideColour;
using officetest::WindowImage;

namespace {

// Inside the capture frame (less its outline) nothing but the slide: its colour, black where it
// is letterboxed, its number's corner, and the thin edge the window show draws along the slide's
// right and bottom sides (at most 3 pixels deep). A bar of the office would be a band across.
// The centre is the slide.
bool ShowsOnlySlide(const RECT& frame, long slide, long* foreign = nullptr)
{
    WindowImage image;
    if (!officetest::CaptureRect(frame, &image))
        return false;
    long count = 0;
    int w = image.Width(), h = image.Height();
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            std::uint32_t p = image.At(x, y);
            if (!(x < w / 4 && y < h * 2 / 5) && !Near(p, SlideColour(slide)) && !Near(p, 0))
                ++count;
        }
    if (foreign)
        *foreign = count;
    return count <= 3 * (w + h) && Near(image.At(w / 2, h / 2), SlideColour(slide));
}

bool RedOutline(const RECT& frame)
{
    WindowImage image;
    if (!officetest::CaptureRect(frame, &image))
        return false;
    int w = image.Width(), h = image.Height();
    return image.At(w / 2, 0) == 0xFF0000 && image.At(0, h / 2) == 0xFF0000
        && image.At(w - 1, h / 2) == 0xFF0000 && image.At(w / 2, h - 1) == 0xFF0000;
}

void Shot(const std::string& name)
{
    if (const char* folder = std::getenv("VANTOREL_TEST_SHOTS"))
        std::system(("import -window root '" + std::string(folder) + "/" + name + "' 2>/dev/null").c_str());
}

class RecordDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pFolder = new testsupport::TempDir();
        officetest::ShowOptions first;
        first.manualAdvance = true;
        first.animations = false;
        first.pageSound = false;
        first.pageWidth = 28000;  // 4:3, as the slide area the tests start with
        first.pageHeight = 21000;
        officetest::ShowOptions second = first;
        second.slides = 3;
        s_bMade = recordtest::MakeDecks(s_pFolder->path().string(), {{"first", first}, {"second", second}});
    }
    static void TearDownTestSuite()
    {
        delete s_pFolder;
        s_pFolder = nullptr;
    }

    RecordDlgTest() : m_config("VANTOREL_CONFIG_DIR", m_dir.file("config"))
    {
        m_previous = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_boxes.push_back(r.text);
            return platform::IDOK;
        });
        recordtest::SaveSlideArea(640, 480);
    }
    ~RecordDlgTest() override { platform::SetMessageBoxHandler(m_previous); }

    void SetUp() override { ASSERT_TRUE(s_bMade); }

    QString Text(CRecordDlg& dlg, int id) { return dlg.GetDlgItemText(id); }

    static testsupport::TempDir* s_pFolder;
    static bool s_bMade;
    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_config;
    platform::MessageBoxHandler m_previous;
    std::vector<std::string> m_boxes;
};

testsupport::TempDir* RecordDlgTest::s_pFolder = nullptr;
bool RecordDlgTest::s_bMade = false;

TEST_F(RecordDlgTest, ShowRunsInsideTheFrameThroughNavigationPresetsAndASecondPresentation)
{
    CTestOwner owner;
    owner.m_paths = {s_pFolder->file("second.pps"), s_pFolder->file("first.ppt")};
    CRecordDlg dlg;
    dlg.m_pMainDlg = &owner;
    officetest::CTopLevelWatch watch;
    DWORD office = 0;
    std::string profile;
    RunWindow(dlg, [&] {
        // The sorted combo: the .ppt first, the .pps through its copy.
        auto* combo = dlg.GetDlgItemAs<platform::CComboBox>(IDC_REC_PRESENTATIONS);
        ASSERT_EQ(combo->GetCount(), 2);
        EXPECT_EQ(combo->GetLBText(0).toStdString(), s_pFolder->file("first.ppt"));
        EXPECT_EQ(combo->GetLBText(1).toStdString(), s_pFolder->file("second.pps.temp.ppt"));
        office = dlg.Driver().ProcessId();
        ASSERT_NE(office, 0u);

        // The first presentation's show fills the 640 x 480 frame, inside the slide area.
        HWND area = static_cast<HWND>(dlg.GetDlgItem(IDC_REC_SLIDE_AREA)->winId());
        ASSERT_NE(dlg.GetPowerPointWindow(), 0u);
        EXPECT_EQ(platform::GetParent(dlg.GetPowerPointWindow()), area);
        EXPECT_EQ(CRecordDlg::GetSlideShowPane(), dlg.GetPowerPointWindow());
        RECT frame = dlg.GetCaptureRect();
        EXPECT_EQ(frame.right - frame.left, 640);
        EXPECT_EQ(frame.bottom - frame.top, 480);
        long foreign = -1;
        EXPECT_TRUE(PumpUntil([&] { return ShowsOnlySlide(frame, 1, &foreign); }, 10000))
            << foreign << " pixels of the frame are not the slide";
        EXPECT_TRUE(PumpUntil([&] { return RedOutline(frame); }, 3000));
        EXPECT_EQ(Text(dlg, IDC_REC_SLIDE_COUNTER), "1/5");
        EXPECT_TRUE(dlg.GetDlgItem(IDC_REC_NEXT)->isEnabled());
        EXPECT_EQ(Text(dlg, IDC_REC_STATUS), "Ready, Click on 'Start' button to start.");

        // The buttons move the show and the counter; ">" on the last slide, with no recording,
        // does nothing.
        struct Step {
            int button;
            long slide;
        };
        for (Step step : {Step {IDC_REC_NEXT, 2}, Step {IDC_REC_NEXT, 3}, Step {IDC_REC_PREVIOUS, 2},
                          Step {IDC_REC_LAST, 5}, Step {IDC_REC_NEXT, 5}, Step {IDC_REC_FIRST, 1}}) {
            SCOPED_TRACE(step.button);
            dlg.SendCommand(step.button);
            EXPECT_EQ(Text(dlg, IDC_REC_SLIDE_COUNTER), QString("%1/5").arg(step.slide));
            EXPECT_TRUE(PumpUntil([&] { return ShowsOnlySlide(frame, step.slide); }, 3000));
        }

        // The frame takes no clicks: one inside it reaches the show, which moves on.
        std::string click = "xdotool mousemove " + std::to_string((frame.left + frame.right) / 2) + " "
            + std::to_string((frame.top + frame.bottom) / 2) + " click 1";
        ASSERT_EQ(std::system(click.c_str()), 0);
        EXPECT_TRUE(PumpUntil([&] { return dlg.Driver().CurrentShowPosition() == 2; }, 3000));
        EXPECT_TRUE(PumpUntil([&] { return ShowsOnlySlide(frame, 2); }, 3000));
        dlg.SendCommand(IDC_REC_FIRST);

        // The DVD preset: a 704 x 576 slide area and frame, the show fitted into it.
        auto* size = dlg.GetDlgItemAs<platform::CComboBox>(IDC_REC_SIZE);
        size->SetCurSel(1);
        emit size->activated(1);
        EXPECT_EQ(Text(dlg, IDC_REC_PPT_WIDTH), "704");
        EXPECT_EQ(Text(dlg, IDC_REC_PPT_HEIGHT), "576");
        frame = dlg.GetCaptureRect();
        EXPECT_EQ(frame.right - frame.left, 704);
        EXPECT_EQ(frame.bottom - frame.top, 576);
        EXPECT_TRUE(PumpUntil([&] { return ShowsOnlySlide(frame, 1, &foreign) && RedOutline(frame); }, 5000))
            << foreign;
        Shot("record-dvd.png");

        // A margin typed in moves the frame, not the show.
        dlg.GetDlgItemAs<QLineEdit>(IDC_REC_LEFT_MARGIN)->setText("10");
        RECT shrunk = dlg.GetCaptureRect();
        EXPECT_EQ(shrunk.left, frame.left + 10);
        EXPECT_EQ(shrunk.right, frame.right);
        EXPECT_TRUE(PumpUntil([&] { return RedOutline(shrunk); }, 3000));

        // VCD: the frame and the show shrink together; the margins go back to 0.
        size->SetCurSel(3);
        emit size->activated(3);
        EXPECT_EQ(Text(dlg, IDC_REC_LEFT_MARGIN), "0");
        frame = dlg.GetCaptureRect();
        EXPECT_EQ(frame.right - frame.left, 352);
        EXPECT_EQ(frame.bottom - frame.top, 288);
        EXPECT_TRUE(PumpUntil([&] { return ShowsOnlySlide(frame, 1) && RedOutline(frame); }, 5000));
        Shot("record-vcd.png");

        // The other presentation gets a window of its own in the same place.
        HWND before = dlg.GetPowerPointWindow();
        combo->SetCurSel(1);
        emit combo->activated(1);
        EXPECT_NE(dlg.GetPowerPointWindow(), before);
        EXPECT_EQ(platform::GetParent(dlg.GetPowerPointWindow()), area);
        EXPECT_EQ(Text(dlg, IDC_REC_SLIDE_COUNTER), "1/3");
        EXPECT_EQ(dlg.GetPresentationBaseName(), "second.pps.temp");
        EXPECT_TRUE(PumpUntil([&] { return ShowsOnlySlide(frame, 1) && RedOutline(frame); }, 5000));
        dlg.SendCommand(IDC_REC_LAST);
        EXPECT_EQ(Text(dlg, IDC_REC_SLIDE_COUNTER), "3/3");
        EXPECT_TRUE(PumpUntil([&] { return ShowsOnlySlide(frame, 3); }, 3000));
    });
    EXPECT_EQ(watch.Stop(), 0u) << "office windows showed at top level";
    EXPECT_TRUE(m_boxes.empty()) << m_boxes.front();

    // Closed: the office is gone, and the geometry is kept.
    EXPECT_FALSE(dlg.Driver().IsStarted());
    EXPECT_TRUE(PumpUntil([&] { return office && kill(static_cast<pid_t>(office), 0) != 0; }, 5000));
    options::CBurnSettings burn;
    options::CRecordingOptions saved(burn);
    options::COptionFile(options::kRecordingOptionsFile).LoadRecord(saved);
    EXPECT_EQ(saved.m_nPptWidth, 352);
    EXPECT_EQ(saved.m_nPptHeight, 288);
    EXPECT_EQ(saved.m_nVideoWidth, 352);
}

TEST_F(RecordDlgTest, WithoutTheOfficeTheWindowStillOpensAndCloses)
{
    // A profile folder that cannot be made: the office cannot start.
    testsupport::WriteFile(m_dir.file("not-a-folder"), "");
    testsupport::ScopedEnv profiles("VANTOREL_OFFICE_PROFILES", m_dir.file("not-a-folder") + "/office");
    CTestOwner owner;
    owner.m_paths = {s_pFolder->file("first.ppt")};
    // In burn mode, from the options window the main window showed.
    options::CVideoOptionsDlg options;
    options.m_bBurnMode = 1;
    CRecordDlg dlg;
    dlg.m_pMainDlg = &owner;
    dlg.m_pVideoOptionsDlg = &options;
    RunWindow(dlg, [&] {
        EXPECT_FALSE(dlg.Driver().IsStarted());
        // Burn mode records DVD-sized and offers "&Burn DVD".
        EXPECT_EQ(dlg.GetDlgItemAs<platform::CComboBox>(IDC_REC_SIZE)->GetCurSel(), 1);
        EXPECT_EQ(Text(dlg, IDC_REC_PPT_WIDTH), "704");
        EXPECT_EQ(Text(dlg, IDC_REC_PPT_HEIGHT), "576");
        EXPECT_TRUE(dlg.GetDlgItem(IDC_REC_BURN)->isVisible());
        for (int id : {IDC_REC_FIRST, IDC_REC_PREVIOUS, IDC_REC_NEXT, IDC_REC_LAST})
            EXPECT_FALSE(dlg.GetDlgItem(id)->isEnabled()) << id;
        EXPECT_TRUE(dlg.GetDlgItem(IDC_REC_START)->isEnabled());
        EXPECT_FALSE(dlg.GetDlgItem(IDC_REC_STOP)->isEnabled());
        // The frame still marks the slide area.
        RECT frame = dlg.GetCaptureRect();
        EXPECT_EQ(frame.right - frame.left, 704);
        EXPECT_TRUE(PumpUntil([&] { return RedOutline(frame); }, 3000));
        // A value typed past the spin's range is taken; the spin keeps to its range.
        auto* width = dlg.GetDlgItemAs<QLineEdit>(IDC_REC_PPT_WIDTH);
        width->setText("1100");
        EXPECT_EQ(dlg.m_nPptWidth, 1100);
        width->setText("");  // being retyped: no message, nothing moves
        EXPECT_EQ(dlg.m_nPptWidth, 1100);
        width->setText("800");
        EXPECT_EQ(dlg.GetCaptureRect().right - dlg.GetCaptureRect().left, 800);
    });
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0], "Couldn't start PowerPoint.");
    options::CBurnSettings burn;
    options::CRecordingOptions saved(burn);
    options::COptionFile(options::kRecordingOptionsFile).LoadRecord(saved);
    EXPECT_EQ(saved.m_nPptWidth, 800);
}

}  // namespace
