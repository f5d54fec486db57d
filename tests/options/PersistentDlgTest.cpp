// The option window base over a real window: reading its file at opening, writing it on OK, and
// what happens with damaged files, unwritable folders and invalid input.
#include "options/PersistentDlg.h"
#include "options/PresentationModeOptions.h"
#include "platform/ui/MessageBox.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace options;
using platform::CDataExchange;

namespace {

// The presentation mode record on a window with a few of its controls.
class CModeDlg : public CPersistentDlg, public CPresentationModeOptions {
public:
    CModeDlg() : CPersistentDlg(136, kPresentationModeFile)
    {
        m_pSeconds = static_cast<QLineEdit*>(AddControl(1055, new QLineEdit, {0, 0, 40, 12}));
        m_pFirst = static_cast<QLineEdit*>(AddControl(1028, new QLineEdit, {0, 14, 40, 12}));
        m_pLast = static_cast<QLineEdit*>(AddControl(1029, new QLineEdit, {50, 14, 40, 12}));
        m_pNoAnimation = static_cast<QCheckBox*>(AddControl(1056, new QCheckBox("Show not with animation"), {0, 28, 90, 12}));
        AddControl(1066, new QRadioButton("Slide Show Manual advance"), {0, 42, 90, 12});
        AddControl(1068, new QRadioButton("Slide Show Use Slide Timings"), {0, 56, 90, 12});
        AddControl(1067, new QRadioButton("Slide Show Rehearse New Timings"), {0, 70, 90, 12});
    }

    void SerializeOptions(COptionArchive& ar) override { CPresentationModeOptions::SerializeOptions(ar); }
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, 1055, m_nSecondsPerSlide);
        DDV_MinMaxInt(pDX, m_nSecondsPerSlide, 1, 60);
        DDX_Check(pDX, 1056, m_bNoAnimation);
        DDX_Text(pDX, 1029, m_nLastSlide);
        DDX_Text(pDX, 1028, m_nFirstSlide);
        DDX_Radio(pDX, 1066, m_nAdvanceMode);
    }
    void PressOK() { OnOK(); }

    QLineEdit* m_pSeconds;
    QLineEdit* m_pFirst;
    QLineEdit* m_pLast;
    QCheckBox* m_pNoAnimation;
};

class PersistentDlg : public ::testing::Test {
protected:
    PersistentDlg() : m_config("VANTOREL_CONFIG_DIR", m_dir.file("cfg"))
    {
        m_old = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_texts.push_back(r.text);
            return platform::IDOK;
        });
    }
    ~PersistentDlg() override { platform::SetMessageBoxHandler(m_old); }

    // Runs the window modally; during runs once the window is up, then the window is cancelled
    // unless during closed it.
    INT_PTR Run(CModeDlg& dlg, std::function<void()> during)
    {
        QTimer::singleShot(0, &dlg, [&dlg, during] {
            during();
            if (dlg.isVisible())
                dlg.EndDialog(platform::IDCANCEL);
        });
        return dlg.DoModal();
    }

    std::string SavedFile() const { return testsupport::ReadFile(m_dir.file("cfg/RecordCustom")); }
    void WriteRecord(CPresentationModeOptions record, std::size_t keepBytes = std::string::npos)
    {
        COptionArchive ar = COptionArchive::ForStoring();
        record.SerializeOptions(ar);
        std::filesystem::create_directories(m_dir.file("cfg"));
        testsupport::WriteFile(m_dir.file("cfg/RecordCustom"), ar.Buffer().substr(0, keepBytes));
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_config;
    platform::MessageBoxHandler m_old;
    std::vector<std::string> m_texts;
};

} // namespace

TEST_F(PersistentDlg, OpeningShowsTheFileAndOkWritesTheControls)
{
    CPresentationModeOptions stored;
    stored.m_nSecondsPerSlide = 9;
    stored.m_nLastSlide = 12;
    stored.m_nFirstSlide = 3;
    stored.m_nAdvanceMode = 1;
    WriteRecord(stored);

    CModeDlg dlg;
    EXPECT_EQ(dlg.GetOptionPath(), m_dir.file("cfg") + "/RecordCustom");
    INT_PTR result = Run(dlg, [&] {
        EXPECT_EQ(dlg.m_pSeconds->text(), "9");
        EXPECT_EQ(dlg.m_pLast->text(), "12");
        EXPECT_EQ(dlg.m_pFirst->text(), "3");
        EXPECT_TRUE(dlg.GetDlgItemAs<QRadioButton>(1068)->isChecked());
        dlg.m_pFirst->setText("5");
        dlg.m_pNoAnimation->setChecked(true);
        dlg.PressOK();
    });
    EXPECT_EQ(result, platform::IDOK);

    CPresentationModeOptions reread;
    ASSERT_EQ(COptionFile(kPresentationModeFile).LoadRecord(reread), LoadResult::Complete);
    EXPECT_EQ(reread.m_nFirstSlide, 5);
    EXPECT_EQ(reread.m_nLastSlide, 12);
    EXPECT_EQ(reread.m_bNoAnimation, 1);
    EXPECT_EQ(reread.m_nAdvanceMode, 1);
    EXPECT_TRUE(m_texts.empty());
}

TEST_F(PersistentDlg, InvalidInputIsSavedButKeepsTheWindowOpenWithOneMessage)
{
    CModeDlg dlg;
    bool stillOpen = false;
    INT_PTR result = Run(dlg, [&] {
        dlg.m_pSeconds->setText("90");
        dlg.m_pFirst->setText("4");
        dlg.PressOK();
        stillOpen = dlg.isVisible();
        dlg.m_pSeconds->setText("30");
        dlg.PressOK();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(m_texts, std::vector<std::string>{"Please enter an integer between 1 and 60."});
    CPresentationModeOptions reread;
    ASSERT_EQ(COptionFile(kPresentationModeFile).LoadRecord(reread), LoadResult::Complete);
    EXPECT_EQ(reread.m_nSecondsPerSlide, 30);
    EXPECT_EQ(reread.m_nFirstSlide, 4);
}

TEST_F(PersistentDlg, ShortFileOpensTheWindowWithWhatCouldBeRead)
{
    CPresentationModeOptions stored;
    stored.m_nSecondsPerSlide = 7;
    stored.m_nLastSlide = 8;
    stored.m_nFirstSlide = 2;
    // Up to and including the last slide; the first slide and the advance mode are missing.
    WriteRecord(stored, 29);

    CModeDlg dlg;
    INT_PTR result = Run(dlg, [&] {
        EXPECT_EQ(dlg.m_pSeconds->text(), "7");
        EXPECT_EQ(dlg.m_pLast->text(), "8");
        EXPECT_EQ(dlg.m_pFirst->text(), "0");
        dlg.PressOK();
    });
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(m_texts, std::vector<std::string>{"An attempt was made to access an unnamed file past its end."});
    // The next save writes a complete file.
    EXPECT_EQ(SavedFile().size(), 37u);
}

TEST_F(PersistentDlg, UnwritableFileIsSkippedSilentlyAndOkStillCloses)
{
    testsupport::WriteFile(m_dir.file("plain"), "x");
    testsupport::ScopedEnv config("VANTOREL_CONFIG_DIR", m_dir.file("plain") + "/cfg");
    CModeDlg dlg;
    EXPECT_FALSE(dlg.LoadOptions(TRUE));
    INT_PTR result = Run(dlg, [&] {
        dlg.m_pFirst->setText("6");
        EXPECT_FALSE(dlg.SaveOptions());
        EXPECT_EQ(dlg.m_nFirstSlide, 0) << "the controls are not read when nothing can be written";
        dlg.PressOK();
    });
    EXPECT_EQ(result, platform::IDOK);
    EXPECT_EQ(dlg.m_nFirstSlide, 6);
    EXPECT_TRUE(m_texts.empty());
}
