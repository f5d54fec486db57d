// The presentation mode window on Qt's offscreen platform: filled from a presentation's show
// settings, the choices handed over on "Start " and stored in "RecordCustom", nothing on Cancel,
// and an empty slide box refused.
#include "options/OptionFile.h"
#include "platform/ui/MessageBox.h"
#include "recording/PresentationModeDlg.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

using namespace recording;

namespace {

class PresentationModeDlgTest : public ::testing::Test {
protected:
    PresentationModeDlgTest()
    {
        m_previous = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_boxes.push_back(r.text);
            return platform::IDOK;
        });
        // A twelve-slide presentation that shows all its slides by its timings, animations off.
        m_show.m_nFirstSlide = 1;
        m_show.m_nLastSlide = 12;
        m_show.m_bNoAnimation = 1;
        m_show.m_bNoNarration = 0;
        m_show.m_nAdvanceMode = 1;
    }
    ~PresentationModeDlgTest() override { platform::SetMessageBoxHandler(m_previous); }

    // Runs the window with `body` inside its loop; body ends it (or a failure, after a while).
    INT_PTR Run(CPresentationModeDlg& dlg, const std::function<void()>& body)
    {
        QTimer::singleShot(0, &dlg, body);
        QTimer::singleShot(10000, &dlg, [&dlg] {
            ADD_FAILURE() << "the window stayed open";
            dlg.EndDialog(-1);
        });
        return dlg.DoModal();
    }
    std::string Path() { return m_dir.file("config") + "/RecordCustom"; }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_config {"VANTOREL_CONFIG_DIR", m_dir.file("config")};
    platform::MessageBoxHandler m_previous;
    std::vector<std::string> m_boxes;
    PresentationSettings m_show;
};

TEST_F(PresentationModeDlgTest, FilledFromTheShowItHandsTheChangedChoicesOverAndStoresThem)
{
    CPresentationModeDlg dlg;
    dlg.SetFromShow(m_show);
    INT_PTR result = Run(dlg, [&] {
        EXPECT_EQ(dlg.GetDlgItemText(IDC_PM_FIRST_SLIDE), "1");
        EXPECT_EQ(dlg.GetDlgItemText(IDC_PM_LAST_SLIDE), "12");
        EXPECT_TRUE(dlg.GetDlgItemAs<QCheckBox>(IDC_PM_NO_ANIMATION)->isChecked());
        EXPECT_FALSE(dlg.GetDlgItemAs<QCheckBox>(IDC_PM_NO_NARRATION)->isChecked());
        EXPECT_TRUE(dlg.GetDlgItemAs<QRadioButton>(IDC_PM_TIMINGS)->isChecked());
        // The slide boxes take digits only.
        auto* first = dlg.GetDlgItemAs<QLineEdit>(IDC_PM_FIRST_SLIDE);
        first->setText("");
        QTest::keyClicks(first, "3x");
        EXPECT_EQ(first->text(), "3");
        dlg.GetDlgItemAs<QCheckBox>(IDC_PM_NO_NARRATION)->setChecked(true);
        dlg.GetDlgItemAs<QRadioButton>(IDC_PM_MANUAL)->setChecked(true);
        dlg.SendCommand(platform::IDOK);
    });
    ASSERT_EQ(result, platform::IDOK);
    EXPECT_TRUE(m_boxes.empty());
    PresentationSettings chosen = dlg.GetPresentationSettings();
    EXPECT_EQ(chosen.m_nFirstSlide, 3);
    EXPECT_EQ(chosen.m_nLastSlide, 12);
    EXPECT_EQ(chosen.m_bNoAnimation, 1);
    EXPECT_EQ(chosen.m_bNoNarration, 1);
    EXPECT_EQ(chosen.m_nAdvanceMode, 0);
    EXPECT_EQ(chosen.m_bAutoRecord, 0);
    EXPECT_EQ(chosen.m_bFullScreen, 0);

    // The file holds the fields the window never shows with their defaults, then the choices.
    options::CPresentationModeOptions stored;
    stored.m_nSecondsPerSlide = 0;
    ASSERT_EQ(options::COptionFile(options::kPresentationModeFile).LoadRecord(stored), options::LoadResult::Complete);
    EXPECT_EQ(stored.m_bAutoRecord, 0);
    EXPECT_EQ(stored.m_bFullScreen, 0);
    EXPECT_EQ(stored.m_bPageRecord, 0);
    EXPECT_EQ(stored.m_strPageText, "");
    EXPECT_EQ(stored.m_nSecondsPerSlide, 5);
    EXPECT_EQ(stored.m_bNoAnimation, 1);
    EXPECT_EQ(stored.m_bNoNarration, 1);
    EXPECT_EQ(stored.m_nLastSlide, 12);
    EXPECT_EQ(stored.m_nFirstSlide, 3);
    EXPECT_EQ(stored.m_nAdvanceMode, 0);
}

TEST_F(PresentationModeDlgTest, CancelStoresNothingAndAnEmptySlideBoxKeepsTheWindowOpen)
{
    {
        CPresentationModeDlg dlg;
        dlg.SetFromShow(m_show);
        EXPECT_EQ(Run(dlg, [&] { dlg.SendCommand(platform::IDCANCEL); }), platform::IDCANCEL);
        EXPECT_FALSE(std::filesystem::exists(Path()));
    }
    CPresentationModeDlg dlg;
    dlg.SetFromShow(m_show);
    bool stayedOpen = false;
    Run(dlg, [&] {
        dlg.GetDlgItemAs<QLineEdit>(IDC_PM_LAST_SLIDE)->setText("");
        dlg.SendCommand(platform::IDOK);
        stayedOpen = dlg.isVisible();
        dlg.SendCommand(platform::IDCANCEL);
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(m_boxes, std::vector<std::string> {"Please enter an integer."});
}

}  // namespace
