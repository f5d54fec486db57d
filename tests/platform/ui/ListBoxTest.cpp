#include "platform/ui/ListBox.h"

#include <QScrollBar>

#include <gtest/gtest.h>

using platform::CListBox;

namespace {
QStringList Entries(const CListBox& list)
{
    QStringList out;
    for (int i = 0; i < list.GetCount(); ++i)
        out << list.GetText(i);
    return out;
}
} // namespace

TEST(ListBox, SortedIsCaseInsensitiveAndKeepsDuplicatesInArrivalOrder)
{
    CListBox list(true);
    for (const char* s : {"/b/Zeta.ppt", "/b/alpha.ppt", "/B/Beta.pps", "/b/ALPHA.ppt", "/b/alpha.ppt"})
        list.AddString(s);
    EXPECT_EQ(Entries(list), (QStringList {"/b/alpha.ppt", "/b/ALPHA.ppt", "/b/alpha.ppt", "/B/Beta.pps",
                                           "/b/Zeta.ppt"}));
    CListBox plain(false);
    plain.AddString("b");
    plain.AddString("a");
    EXPECT_EQ(Entries(plain), (QStringList {"b", "a"}));
}

TEST(ListBox, SelectionAndDeletion)
{
    CListBox list(true);
    EXPECT_EQ(list.GetCurSel(), platform::LB_ERR);
    list.AddString("a");
    list.AddString("b");
    list.AddString("c");
    EXPECT_EQ(list.GetCurSel(), platform::LB_ERR) << "adding selects nothing";
    list.SetCurSel(1);
    EXPECT_EQ(list.GetCurSel(), 1);
    EXPECT_EQ(list.DeleteString(1), 2);
    EXPECT_EQ(Entries(list), (QStringList {"a", "c"}));
    EXPECT_EQ(list.DeleteString(5), platform::LB_ERR);
    EXPECT_EQ(list.DeleteString(-1), platform::LB_ERR);
    list.ResetContent();
    EXPECT_EQ(list.GetCount(), 0);
    list.ResetContent();
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(ListBox, HorizontalExtentScrollsShortEntries)
{
    CListBox list(true);
    list.resize(200, 150);
    list.AddString("short");
    list.SetHorizontalExtent(700);
    list.show();
    EXPECT_EQ(list.GetHorizontalExtent(), 700);
    EXPECT_EQ(list.horizontalScrollBar()->maximum(), 700 - list.viewport()->width());
}
