// Files that reach the presentation list from outside: named on the program's command line (as
// "Open with" does) and dropped onto the list.
#include "app/VantorelApp.h"
#include "app/VantorelDlg.h"
#include "platform/automation/OleApp.h"
#include "platform/ui/ListBox.h"
#include "platform/ui/MessageBox.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

class OutsideFiles : public ::testing::Test {
protected:
    OutsideFiles()
    {
        for (const char* name : {"talk.pptx", "b.ODP", "notes.txt", "old.pps"})
            testsupport::WriteFile(dir.file(name), "x");
        std::filesystem::create_directory(dir.file("folder.ppt"));
    }
    ~OutsideFiles() override { SetMessageBoxHandler(old); }

    TempDir dir;
    ScopedEnv registry {"VANTOREL_REGISTRY", dir.file("registry")};
    ScopedEnv log {"VANTOREL_LOG", dir.file("kvellog.txt")};
    ScopedEnv data {"XDG_DATA_HOME", dir.file("data")};
    ScopedEnv bus {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.file("no-bus")};
    std::vector<std::string> boxes;
    MessageBoxHandler old = SetMessageBoxHandler([this](const MessageBoxRequest& r) {
        boxes.push_back(r.text);
        return IDOK;
    });
};

} // namespace

TEST_F(OutsideFiles, CommandLineFilesJoinTheListAndTheRestIsNamed)
{
    // Relative names are the working folder's.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::vector<std::string> listed;
    QTimer::singleShot(0, qApp, [&] {
        listed = theApp.m_pMainWnd->GetPresentationList();
        // The message about the refused files comes once the window runs.
        QTimer::singleShot(0, qApp, [] { theApp.m_pMainWnd->OnSysCommand(SC_CLOSE); });
    });
    const std::string absolute = dir.file("b.ODP");
    const char* args[] = {"vantorel", "talk.pptx", absolute.c_str(), "notes.txt", "missing.ppt",
                          "folder.ppt", "--", "-odd.txt"};
    EXPECT_EQ(theApp.InitInstance(8, args), 0);
    std::filesystem::current_path(cwd);

    EXPECT_EQ(listed, (std::vector<std::string> {dir.file("b.ODP"), dir.file("talk.pptx")}));
    ASSERT_EQ(boxes.size(), 1u);
    for (const char* refused : {"notes.txt\n", "missing.ppt (not found)\n", "folder.ppt\n", "-odd.txt"})
        EXPECT_NE(boxes[0].find(dir.file(refused)), std::string::npos) << refused << " in " << boxes[0];
}

TEST_F(OutsideFiles, DroppedPresentationsJoinTheListAndTheRestIsNamed)
{
    CVantorelDlg dlg;
    QWidget* viewport = dlg.GetPresentationListBox().viewport();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.file("old.pps"))),
                  QUrl::fromLocalFile(QString::fromStdString(dir.file("notes.txt"))),
                  QUrl("https://example.org/talk.pptx")});

    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted()) << "the list takes the drag, so that a refusal can be told";
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    EXPECT_TRUE(drop.isAccepted());

    EXPECT_EQ(dlg.GetPresentationList(), std::vector<std::string> {dir.file("old.pps")});
    EXPECT_TRUE(boxes.empty()) << "no box inside the drop itself";
    QApplication::processEvents();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(dir.file("notes.txt")), std::string::npos);
    EXPECT_NE(boxes[0].find("https://example.org/talk.pptx"), std::string::npos);
    EXPECT_EQ(boxes[0].find("old.pps"), std::string::npos);
}
