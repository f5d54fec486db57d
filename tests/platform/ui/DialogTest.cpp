#include "platform/ui/Dialog.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace platform;

namespace {

class CTestDlg : public CDialog {
public:
    CTestDlg() : CDialog(500)
    {
        SetDialogSize(100, 60);
        AddButton(IDOK, "OK", {10, 40, 40, 14}, BS_DEFPUSHBUTTON);
        AddButton(IDCANCEL, "Cancel", {55, 40, 40, 14});
        AddButton(1001, "&Go", {10, 10, 40, 14});
        MapCommand(1001, [this] { ++m_nGo; });
    }
    void AddListForTest(QWidget* list) { AddControl(1002, list, {10, 0, 80, 40}); }
    int m_nGo = 0;
    int m_nInit = 0;
    int m_nPasses = 0;

protected:
    BOOL OnInitDialog() override
    {
        ++m_nInit;
        return TRUE;
    }
    void OnUpdateEnabling() override { ++m_nPasses; }
};

// Runs fn once the modal loop is running.
void WhenModal(std::function<void()> fn)
{
    QTimer::singleShot(0, qApp, std::move(fn));
}

} // namespace

TEST(Dialog, ControlsCarryIdsAndExactTexts)
{
    CTestDlg dlg;
    ASSERT_NE(dlg.GetDlgItem(1001), nullptr);
    EXPECT_EQ(dlg.GetDlgItem(1001)->property("ctrlId").toInt(), 1001);
    EXPECT_EQ(dlg.GetDlgItemText(1001), "&Go");
    dlg.SetDlgItemText(1001, "&Stop");
    EXPECT_EQ(dlg.GetDlgItemAs<QPushButton>(1001)->text(), "&Stop");
    EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
    dlg.EnableDlgItem(4242, false); // unknown ids are ignored
    EXPECT_EQ(dlg.size(), dlg.MapDialogRect({0, 0, 100, 60}).size());
}

TEST(Dialog, ModalLoopEndsOnlyWithEndDialogAndRunsInitEachTime)
{
    CTestDlg dlg;
    WhenModal([&] {
        dlg.hide();
        EXPECT_TRUE(dlg.IsInModalLoop()) << "hiding is not ending";
        dlg.EndDialog(77);
    });
    EXPECT_EQ(dlg.DoModal(), 77);
    EXPECT_FALSE(dlg.isVisible());
    WhenModal([&] { dlg.SendCommand(IDOK); });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_nInit, 2);
}

TEST(Dialog, EnterPressesTheDefaultButtonAndEscapeCancels)
{
    CTestDlg dlg;
    WhenModal([&] { QTest::keyClick(&dlg, Qt::Key_Return); });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    WhenModal([&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    WhenModal([&] { dlg.close(); });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST(Dialog, ClickRunsCommandHandlerThenOneEnablingPass)
{
    CTestDlg dlg;
    dlg.show();
    QApplication::processEvents();
    int before = dlg.m_nPasses;
    QTest::mouseClick(dlg.GetDlgItem(1001), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(dlg.m_nGo, 1);
    // Press, release, focus and the command all happened; the pass ran after them, coalesced.
    EXPECT_GE(dlg.m_nPasses - before, 1);
    EXPECT_LE(dlg.m_nPasses - before, 2);
    int settled = dlg.m_nPasses;
    QApplication::processEvents();
    EXPECT_EQ(dlg.m_nPasses, settled) << "the pass must not re-trigger itself";
    dlg.RunEnablingPass();
    EXPECT_EQ(dlg.m_nPasses, settled + 1);
}

TEST(Dialog, InputInsideACompositeControlTriggersThePass)
{
    CTestDlg dlg;
    auto* list = new QListWidget;
    list->addItems({"a", "b"});
    dlg.AddListForTest(list);
    dlg.show();
    QApplication::processEvents();
    list->setFocus();
    QApplication::processEvents();
    int before = dlg.m_nPasses;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QApplication::processEvents();
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_GT(dlg.m_nPasses, before) << "a selection click in the list's viewport";
}

TEST(Dialog, SystemMenuCloseCancels)
{
    CTestDlg dlg;
    dlg.GetSystemMenu().AppendSeparator();
    dlg.GetSystemMenu().AppendMenu(16, "&About...");
    ASSERT_EQ(dlg.GetSystemMenu().Items().size(), 2u);
    EXPECT_EQ(dlg.GetSystemMenu().Items()[1].nID, 16u);
    WhenModal([&] { dlg.OnSysCommand(SC_CLOSE); });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}
