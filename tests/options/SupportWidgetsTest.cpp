// The link label, opening links with their fallback and error texts, and the folder picker.
#include "options/BrowseForFolder.h"
#include "options/GotoUrl.h"
#include "options/LinkLabel.h"
#include "platform/ui/MessageBox.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace options;

namespace {

// Records what a link asks of the desktop and answers as told.
struct FakeShell : IHyperlinkShell {
    INT_PTR shellResult = 2;
    bool hasAssociation = false;
    std::string association;
    UINT execResult = 33;
    std::vector<std::string> calls;

    INT_PTR ShellOpen(const std::string& url) override
    {
        calls.push_back("open " + url);
        return shellResult;
    }
    bool QueryHtmlOpenCommand(std::string& command) override
    {
        calls.push_back("query");
        command = association;
        return hasAssociation;
    }
    UINT WinExec(const std::string& command, const std::string& url, int nCmdShow) override
    {
        calls.push_back("exec [" + command + "] [" + url + "] " + std::to_string(nCmdShow));
        return execResult;
    }
};

class LinkLabel : public ::testing::Test {
protected:
    LinkLabel()
    {
        m_old = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_boxes.push_back(r);
            return platform::IDOK;
        });
    }
    ~LinkLabel() override { platform::SetMessageBoxHandler(m_old); }

    platform::MessageBoxHandler m_old;
    std::vector<platform::MessageBoxRequest> m_boxes;
};

} // namespace

TEST(GotoUrl, BrowserCommandIsCutAtItsPlaceholder)
{
    EXPECT_EQ(CutAtPlaceholder("\"C:/Browser/b\" -nohome \"%1\" -extra"), "\"C:/Browser/b\" -nohome ");
    EXPECT_EQ(CutAtPlaceholder("browser %1 -extra"), "browser ");
    EXPECT_EQ(CutAtPlaceholder("browser -new-window"), "browser -new-window");
    // A quoted placeholder wins over an earlier bare one.
    EXPECT_EQ(CutAtPlaceholder("b %1 \"%1\""), "b %1 ");
    // The desktop entry codes are placeholders too.
    EXPECT_EQ(CutAtPlaceholder("/usr/lib/firefox-esr/firefox-esr %u"), "/usr/lib/firefox-esr/firefox-esr ");
    EXPECT_EQ(CutAtPlaceholder("chromium --a \"%U\""), "chromium --a ");
    EXPECT_EQ(CutAtPlaceholder("viewer %F %u"), "viewer ");
}

TEST(GotoUrl, FallsBackToTheWebBrowserOnlyWhenTheShellFails)
{
    FakeShell shell;
    shell.shellResult = 42;
    EXPECT_EQ(GotoUrl("/p/sound-help.html", SW_SHOW, shell), 42);
    EXPECT_EQ(shell.calls, std::vector<std::string>{"open /p/sound-help.html"});

    // No program for web pages: the shell's own result is returned.
    shell = FakeShell();
    shell.shellResult = 31;
    EXPECT_EQ(GotoUrl("/p/h.html", SW_SHOW, shell), 31);
    EXPECT_EQ(shell.calls.back(), "query");

    // A command without any placeholder gets the URL after it; the URL stays one argument.
    shell = FakeShell();
    shell.hasAssociation = true;
    shell.association = "browser --private";
    EXPECT_EQ(GotoUrl("/my dir/h.html", SW_SHOW, shell), 33);
    EXPECT_EQ(shell.calls.back(), "exec [browser --private] [/my dir/h.html] 5");

    shell.association = "browser \"%1\"";
    shell.execResult = 2;
    EXPECT_EQ(GotoUrl("/h.html", SW_SHOW, shell), 2);
    EXPECT_EQ(shell.calls.back(), "exec [browser ] [/h.html] 5");
}

TEST(GotoUrl, ErrorTextsFollowTheResultCode)
{
    EXPECT_EQ(HyperlinkErrorText(2), "Unable to open hyperlink:\n\nThe specified file was not found.");
    EXPECT_EQ(HyperlinkErrorText(0), "Unable to open hyperlink:\n\nThe operating system is out\nof memory or resources.");
    EXPECT_EQ(HyperlinkErrorText(26), "Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_EQ(HyperlinkErrorText(31),
              "Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension.");
    EXPECT_EQ(HyperlinkErrorText(1), "Unable to open hyperlink:\n\nUnknown Error (1) occurred.");
    EXPECT_EQ(HyperlinkErrorText(-7), "Unable to open hyperlink:\n\nUnknown Error (-7) occurred.");
}

TEST(DesktopShell, CommandLinesSplitTheDesktopEntryWay)
{
    std::vector<std::string> words;
    ASSERT_TRUE(SplitCommandLine("\"/opt/my browser/run\" --a  \"x \\\"y\\\" \\$z\" 100%% %i ", words));
    EXPECT_EQ(words, (std::vector<std::string>{"/opt/my browser/run", "--a", "x \"y\" $z", "100%"}));
    EXPECT_FALSE(SplitCommandLine("\"unterminated", words));
    EXPECT_FALSE(SplitCommandLine("   ", words));
}

TEST(DesktopShell, MissingFileOpensThroughTheRegisteredBrowser)
{
    // A private desktop: one program registered for web pages, a script that records its
    // arguments.
    testsupport::TempDir dir;
    std::filesystem::create_directories(dir.file("data/applications"));
    std::filesystem::create_directories(dir.file("cfg"));
    testsupport::WriteFile(dir.file("cfg/mimeapps.list"), "[Default Applications]\ntext/html=vtest.desktop\n");
    const std::string script = dir.file("browser.sh");
    testsupport::WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$0.out.tmp\"\n"
                                   "mv \"$0.out.tmp\" \"$0.out\"\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    testsupport::WriteFile(dir.file("data/applications/vtest.desktop"),
                           "[Desktop Entry]\nType=Application\nName=T\nExec=" + script + " --new \"%u\" --after\n");
    testsupport::ScopedEnv config("XDG_CONFIG_HOME", dir.file("cfg"));
    testsupport::ScopedEnv data("XDG_DATA_HOME", dir.file("data"));
    testsupport::ScopedEnv dirs("XDG_DATA_DIRS", dir.file("none"));
    testsupport::ScopedEnv desktop("XDG_CURRENT_DESKTOP", "");

    const std::string url = dir.file("no such dir/sound-help.html");
    EXPECT_GT(GotoUrl(url, SW_SHOW), 32);
    for (int i = 0; i < 100 && !std::filesystem::exists(script + ".out"); ++i)
        QTest::qWait(50);
    EXPECT_EQ(testsupport::ReadFile(script + ".out"), "[--new][" + url + "]");

    // A registered program that does not exist fails with "file not found".
    testsupport::WriteFile(dir.file("data/applications/vtest.desktop"),
                           "[Desktop Entry]\nExec=" + dir.file("missing-browser") + " %u\n");
    EXPECT_EQ(GotoUrl(url, SW_SHOW), 2);
}

TEST_F(LinkLabel, CompletesItselfAndOpensOnClick)
{
    QWidget parent;
    auto* label = new CLinkLabel(&parent);
    label->setText("-->  Need help? click me");
    label->setGeometry(10, 10, 400, 40);
    label->SetUrl("/prog/sound-help.html");
    auto shell = std::make_unique<FakeShell>();
    FakeShell* fake = shell.get();
    label->SetHyperlinkShell(std::move(shell));
    label->Attach();
    EXPECT_EQ(label->toolTip(), "/prog/sound-help.html");
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(label->TextColour(), QColor(0, 0, 238));
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 238));
    // Auto-size: the text's size plus the frame, keeping the left edge.
    EXPECT_EQ(label->x(), 10);
    EXPECT_LT(label->width(), 400);
    EXPECT_GE(label->width(), QFontMetrics(label->font()).horizontalAdvance(label->text()));

    // Both the shell and the browser fail: a message, and the link stays unvisited.
    fake->hasAssociation = true;
    fake->association = "browser %1";
    fake->execResult = 2;
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(3, 3));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, "Unable to open hyperlink:\n\nThe specified file was not found.");
    EXPECT_EQ(m_boxes[0].type & platform::MB_ICONMASK, platform::MB_ICONWARNING);
    EXPECT_FALSE(label->GetVisited());

    fake->execResult = 33;
    label->OnClicked();
    EXPECT_TRUE(label->GetVisited());
    EXPECT_EQ(label->TextColour(), QColor(85, 26, 139));
    EXPECT_EQ(m_boxes.size(), 1u);

    // URL and text fill in for each other.
    CLinkLabel bare(&parent);
    bare.SetUrl("https://example.org/");
    bare.Attach();
    EXPECT_EQ(bare.text(), "https://example.org/");
    CLinkLabel textOnly(&parent);
    textOnly.setText("https://example.net/");
    textOnly.Attach();
    EXPECT_EQ(textOnly.GetUrl(), "https://example.net/");
}

TEST_F(LinkLabel, HoverUnderlinesAndTheTimerUndoesItOnceTheCursorLeaves)
{
    QWidget parent;
    parent.resize(600, 200);
    auto* label = new CLinkLabel(&parent);
    label->setText("link");
    label->setGeometry(10, 10, 100, 30);
    label->Attach();
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));

    QCursor::setPos(label->mapToGlobal(QPoint(2, 2)));
    QTest::mouseMove(label, QPoint(2, 2));
    EXPECT_TRUE(label->IsHovering());
    EXPECT_TRUE(label->font().underline());
    EXPECT_EQ(label->TextColour(), QColor(255, 0, 0));
    // Still over it: the timer keeps the hover.
    QTest::qWait(250);
    EXPECT_TRUE(label->IsHovering());

    QCursor::setPos(parent.mapToGlobal(QPoint(500, 150)));
    // About 100 ms; a loaded machine may take longer.
    for (int waited = 0; label->IsHovering() && waited < 3000; waited += 20)
        QTest::qWait(20);
    EXPECT_FALSE(label->IsHovering());
    EXPECT_FALSE(label->font().underline());
    EXPECT_EQ(label->TextColour(), QColor(0, 0, 238));

    // Mode 1 keeps the underline, mode 0 never shows one.
    label->SetUnderline(CLinkLabel::kUnderlineAlways);
    EXPECT_TRUE(label->font().underline());
    label->SetUnderline(CLinkLabel::kUnderlineNever);
    QCursor::setPos(label->mapToGlobal(QPoint(2, 2)));
    QTest::mouseMove(label, QPoint(3, 3));
    EXPECT_TRUE(label->IsHovering());
    EXPECT_FALSE(label->font().underline());
}

TEST(BrowseForFolder, ChosenFolderGetsOneTrailingSlash)
{
    std::string title;
    auto answer = [&](std::optional<std::string> path) {
        return [&title, path](QWidget*, const std::string& t) {
            title = t;
            return path;
        };
    };
    EXPECT_EQ(BrowseForFolder(nullptr, answer("/home/u/Video")), "/home/u/Video/");
    EXPECT_EQ(title, "Select Destination Path:");
    EXPECT_EQ(BrowseForFolder(nullptr, answer("/")), "/");
    EXPECT_EQ(BrowseForFolder(nullptr, answer(std::nullopt)), std::nullopt);

    // The real browser, answered as a user would.
    testsupport::TempDir dir;
    std::filesystem::create_directories(dir.file("Video"));
    QTimer::singleShot(0, qApp, [&] {
        auto* dialog = qApp->findChild<QFileDialog*>(kFolderBrowserObjectName);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (!dialog && w->objectName() == kFolderBrowserObjectName)
                dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Select Destination Path:");
        dialog->setDirectory(QString::fromStdString(dir.path().string()));
        dialog->selectFile("Video");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    EXPECT_EQ(BrowseForFolder(nullptr), dir.file("Video") + "/");
}
