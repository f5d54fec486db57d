#include "app/AboutDlg.h"
#include "app/Resource.h"
#include "app/VantorelDlg.h"
#include "app/VantorelDlgAutoProxy.h"
#include "options/VideoOptionsDlg.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/ListBox.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

using namespace platform;

namespace {

// Records every message box and answers OK.
class MessageBoxRecorder {
public:
    MessageBoxRecorder()
    {
        m_old = SetMessageBoxHandler([this](const MessageBoxRequest& r) {
            m_shown.push_back(r);
            return IDOK;
        });
    }
    ~MessageBoxRecorder() { SetMessageBoxHandler(m_old); }
    std::vector<MessageBoxRequest> m_shown;

private:
    MessageBoxHandler m_old;
};

// The main window with the conversion sequence observed instead of run.
class CObservedDlg : public CVantorelDlg {
public:
    std::vector<BOOL> m_conversions;
    void Start() { OnInitDialog(); }

protected:
    void DoConversion(BOOL bBurnMode) override { m_conversions.push_back(bBurnMode); }
};

class CPlainDlg : public CVantorelDlg {
public:
    void Start() { OnInitDialog(); }
};

void WhenModal(std::function<void()> fn)
{
    QTimer::singleShot(0, qApp, std::move(fn));
}

// Answers the next file dialog with files typed into its name box, as a user would.
void AnswerFileDialog(const QStringList& files, bool accept = true)
{
    QTimer::singleShot(50, qApp, [files, accept] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->objectName(), CFileDialog::kObjectName);
        EXPECT_EQ(dlg->fileMode(), QFileDialog::ExistingFiles);
        EXPECT_EQ(dlg->nameFilters().first(), "PowerPoint document(*.ppt,*.pps) (*.ppt *.pps)");
        if (!accept) {
            dlg->reject();
            return;
        }
        QStringList quoted;
        for (const QString& f : files)
            quoted << '"' + f + '"';
        dlg->findChild<QLineEdit*>("fileNameEdit")->setText(quoted.join(' '));
        QMetaObject::invokeMethod(dlg, "accept");
    });
}

QStringList Entries(const CVantorelDlg& dlg)
{
    QStringList out;
    for (const auto& s : dlg.GetPresentationList())
        out << QString::fromStdString(s);
    return out;
}

} // namespace

TEST(MainWindow, HasEveryControlWithItsTextAndTheTitle)
{
    CPlainDlg dlg;
    dlg.Start();
    EXPECT_EQ(dlg.windowTitle(), "Tavrelin");
    const std::pair<int, const char*> buttons[] = {
        {IDC_BTN_ADD, "&Add PPT Files"},    {IDC_BTN_DELETE, "&Delete"},
        {IDC_BTN_CLEAR, "&Clear"},          {IDC_BTN_CONVERT, "Convert to &Video"},
        {IDC_BTN_CONVERT_BURN, "C&onvert to Video && Burn to DVD"},
        {IDC_BTN_HELP, "&Help"},            {IDC_BTN_ABOUT, "A&bout"}};
    for (auto [id, text] : buttons) {
        auto* button = dlg.GetDlgItemAs<QPushButton>(id);
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->text(), text);
        EXPECT_EQ(button->isDefault(), id == IDC_BTN_CONVERT) << id;
    }
    ASSERT_NE(dlg.GetDlgItemAs<CListBox>(IDC_LIST_PPT), nullptr);
    EXPECT_EQ(dlg.GetPresentationListBox().GetHorizontalExtent(), 700);
    ASSERT_EQ(dlg.GetSystemMenu().Items().size(), 2u);
    EXPECT_EQ(dlg.GetSystemMenu().Items()[1].nID, IDM_ABOUTBOX);
    EXPECT_EQ(dlg.GetSystemMenu().Items()[1].text, "&About Vantorel...");
    EXPECT_FALSE(dlg.GetProgramFolder().empty());
    EXPECT_EQ(dlg.GetProgramFolder().back(), '/');
    EXPECT_FALSE(dlg.windowIcon().isNull());
}

TEST(MainWindow, AddedFilesFormOneSortedListWithDuplicates)
{
    testsupport::TempDir dir;
    for (const char* name : {"b.ppt", "A.pps", "c.PPT", "a.ppt"})
        testsupport::WriteFile(dir.file(name), "x");
    CPlainDlg dlg;
    dlg.Start();
    dlg.show();
    AnswerFileDialog({QString::fromStdString(dir.file("c.PPT")), QString::fromStdString(dir.file("b.ppt"))});
    dlg.SendCommand(IDC_BTN_ADD);
    AnswerFileDialog({QString::fromStdString(dir.file("a.ppt")), QString::fromStdString(dir.file("A.pps")),
                      QString::fromStdString(dir.file("b.ppt"))});
    dlg.SendCommand(IDC_BTN_ADD);
    AnswerFileDialog({}, false);
    dlg.SendCommand(IDC_BTN_ADD); // cancelled: nothing added
    QString d = QString::fromStdString(dir.path().string()) + "/";
    EXPECT_EQ(Entries(dlg), (QStringList {d + "A.pps", d + "a.ppt", d + "b.ppt", d + "b.ppt", d + "c.PPT"}));
}

TEST(MainWindow, DeleteRemovesOnlyTheSelectionAndComplainsWithoutOne)
{
    MessageBoxRecorder boxes;
    CPlainDlg dlg;
    dlg.Start();
    dlg.AddPresentations({"/p/one.ppt", "/p/two.ppt", "/p/two.ppt"});
    dlg.SendCommand(IDC_BTN_DELETE);
    ASSERT_EQ(boxes.m_shown.size(), 1u);
    EXPECT_EQ(boxes.m_shown[0].text, "No file selected!");
    EXPECT_EQ(boxes.m_shown[0].caption, "Vantorel");
    EXPECT_EQ(boxes.m_shown[0].type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(dlg.GetPresentationList().size(), 3u);

    dlg.GetPresentationListBox().SetCurSel(1);
    dlg.SendCommand(IDC_BTN_DELETE);
    EXPECT_EQ(Entries(dlg), (QStringList {"/p/one.ppt", "/p/two.ppt"}));
    EXPECT_EQ(boxes.m_shown.size(), 1u);
    // The delete leaves nothing selected: a second click deletes nothing.
    dlg.SendCommand(IDC_BTN_DELETE);
    EXPECT_EQ(Entries(dlg), (QStringList {"/p/one.ppt", "/p/two.ppt"}));
    ASSERT_EQ(boxes.m_shown.size(), 2u);
    EXPECT_EQ(boxes.m_shown[1].text, "No file selected!");

    dlg.SendCommand(IDC_BTN_CLEAR);
    EXPECT_TRUE(dlg.GetPresentationList().empty());
    dlg.SendCommand(IDC_BTN_CLEAR);
    EXPECT_TRUE(dlg.GetPresentationList().empty());
    EXPECT_EQ(boxes.m_shown.size(), 2u) << "clearing an empty list says nothing";
}

TEST(MainWindow, ConversionNeedsAPresentationThenOpensTheOptionsWindow)
{
    MessageBoxRecorder boxes;
    CPlainDlg dlg;
    dlg.Start();
    dlg.SendCommand(IDC_BTN_CONVERT);
    dlg.SendCommand(IDC_BTN_CONVERT_BURN);
    ASSERT_EQ(boxes.m_shown.size(), 2u);
    for (const auto& box : boxes.m_shown) {
        EXPECT_EQ(box.text, "Please add powerpoint file first! ");
        EXPECT_EQ(box.type, MB_OK | MB_ICONEXCLAMATION);
    }
    // With a presentation each command shows the options window with its burn flag; Cancel
    // comes back here.
    dlg.AddPresentations({"/p/a.ppt"});
    testsupport::TempDir config;
    testsupport::ScopedEnv configDir("VANTOREL_CONFIG_DIR", config.file("cfg"));
    std::vector<int> burnFlags;
    for (int nCommand : {IDC_BTN_CONVERT, IDC_BTN_CONVERT_BURN}) {
        WhenModal([&burnFlags] {
            auto* options = qobject_cast<options::CVideoOptionsDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(options, nullptr);
            burnFlags.push_back(options->m_bBurnMode);
            options->SendCommand(IDCANCEL);
        });
        dlg.SendCommand(nCommand);
    }
    EXPECT_EQ(burnFlags, (std::vector<int> {0, 1}));
    EXPECT_EQ(std::count_if(boxes.m_shown.begin(), boxes.m_shown.end(),
                            [](const MessageBoxRequest& r) { return r.text == "Please add powerpoint file first! "; }),
              2);
    EXPECT_EQ(dlg.GetPresentationList().size(), 1u) << "the list is unchanged";
}

TEST(MainWindow, HelpThatCannotBeOpenedIsReported)
{
    // The test program's folder has no help page.
    MessageBoxRecorder boxes;
    CPlainDlg dlg;
    dlg.Start();
    dlg.SendCommand(IDC_BTN_HELP);
    ASSERT_EQ(boxes.m_shown.size(), 1u);
    EXPECT_EQ(boxes.m_shown[0].text, "Unable to open the help page:\n\nThe specified file was not found.");
    EXPECT_EQ(boxes.m_shown[0].type, MB_OK | MB_ICONEXCLAMATION);
}

TEST(MainWindow, EnterConvertsWithoutBurningAndTheOtherButtonBurns)
{
    CObservedDlg dlg;
    dlg.AddPresentations({"/p/a.ppt"});
    WhenModal([&] {
        dlg.GetPresentationListBox().setFocus();
        QTest::keyClick(dlg.GetPresentationListBox().viewport(), Qt::Key_Return);
        QTest::keyClick(&dlg, Qt::Key_Enter);
        QTest::mouseClick(dlg.GetDlgItem(IDC_BTN_CONVERT_BURN), Qt::LeftButton);
        dlg.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.m_conversions, (std::vector<BOOL> {FALSE, FALSE, TRUE}));
}

TEST(MainWindow, ClosingWhileAClientIsLinkedOnlyHides)
{
    CPlainDlg dlg;
    auto proxy = std::make_unique<CVantorelDlgAutoProxy>(&dlg);
    EXPECT_EQ(dlg.m_pAutoProxy, proxy.get());
    bool stillRunning = false;
    WhenModal([&] {
        QTest::keyClick(&dlg, Qt::Key_Escape);
        dlg.close();
        dlg.OnSysCommand(SC_CLOSE);
        stillRunning = dlg.IsInModalLoop() && !dlg.isVisible();
        proxy.reset(); // the client goes
        EXPECT_EQ(dlg.m_pAutoProxy, nullptr);
        QTest::keyClick(&dlg, Qt::Key_Escape); // now it may end (the window has focus no more)
        dlg.OnSysCommand(SC_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(stillRunning);
}

TEST(MainWindow, AProxyOutlivingTheWindowIsUnlinked)
{
    auto dlg = std::make_unique<CPlainDlg>();
    CVantorelDlgAutoProxy proxy(dlg.get());
    dlg.reset();
    EXPECT_EQ(proxy.m_pDialog, nullptr);
}

TEST(AboutWindow, ShowsTitleIconVersionAndClosesWithOk)
{
    CPlainDlg main;
    main.Start();
    bool checked = false;
    WhenModal([&] {
        auto* about = dynamic_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->windowTitle(), "Tavrelin");
        EXPECT_EQ(about->GetDlgItemAs<QLabel>(IDC_ABOUT_VERSION)->text(), "Version: 3.5");
        EXPECT_FALSE(about->GetDlgItemAs<QLabel>(IDC_ABOUT_ICON)->pixmap().isNull());
        EXPECT_EQ(about->GetDlgItemText(IDOK), "OK");
        checked = true;
        QTest::mouseClick(about->GetDlgItem(IDOK), Qt::LeftButton);
    });
    main.OnSysCommand(IDM_ABOUTBOX); // the system menu item opens the same window
    EXPECT_TRUE(checked);
    checked = false;
    WhenModal([&] {
        checked = dynamic_cast<CAboutDlg*>(QApplication::activeModalWidget()) != nullptr;
        QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return);
    });
    main.SendCommand(IDC_BTN_ABOUT);
    EXPECT_TRUE(checked);
}

TEST(MainWindow, LongPathsScrollSideways)
{
    CPlainDlg dlg;
    dlg.Start();
    dlg.show();
    QApplication::processEvents();
    auto& list = dlg.GetPresentationListBox();
    EXPECT_TRUE(list.horizontalScrollBar()->isVisible()) << "the extent is wider than the list";
    dlg.AddPresentations({"/a/very/long/path/" + std::string(150, 'x') + ".ppt"});
    QApplication::processEvents();
    EXPECT_GT(list.horizontalScrollBar()->maximum(), 0);
}
