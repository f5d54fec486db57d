// libbrelin.so on a real X server: keys and clicks made through XTEST (xdotool), as a user's
// would be, reach a window's thread as the hook's two messages.
#include "HookTestSupport.h"

#include "platform/base/VirtualKeys.h"
#include "platform/hook/Brelin.h"
#include "platform/screen/PrivateXServer.h"
#include "platform/ui/Dialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QThread>

#include <gtest/gtest.h>

#include <dirent.h>
#include <string>
#include <vector>

namespace {

using hooktest::WaitFor;
using hooktest::Xdotool;

// A window that notes what the hook tells it.
class CListenerDlg : public platform::CDialog {
public:
    CListenerDlg() : CDialog(900)
    {
        MapMessage(WM_HOOK_KEY, [this](WPARAM wParam, LPARAM) {
            m_keys.push_back(static_cast<UINT>(wParam));
            return 0;
        });
        MapMessage(WM_HOOK_CLICK, [this](WPARAM, LPARAM lParam) {
            m_clicks.push_back(reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam)->pt);
            m_bOnWindowThread = m_bOnWindowThread && QThread::currentThread() == thread();
            return 0;
        });
    }
    using CDialog::MapMessage;
    std::vector<UINT> m_keys;
    std::vector<POINT> m_clicks;
    bool m_bOnWindowThread = true;
};

int OpenDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

class HookLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(hooktest::StartDisplay()); }
    void TearDown() override
    {
        Brelin_RemoveHooks();
        Brelin_SetNotifyWindow(0);
    }
};

}  // namespace

TEST_F(HookLibraryTest, HookReportsKeysAndClicksWithoutTakingThem)
{
    CListenerDlg dlg;
    dlg.resize(300, 200);
    dlg.move(100, 100);
    dlg.show();
    // The keys go on to whoever has the focus: this edit must still receive them.
    QLineEdit edit;
    edit.move(600, 100);
    edit.show();
    edit.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return edit.hasFocus(); }));

    Brelin_SetNotifyWindow(dlg.GetSafeHwnd());
    ASSERT_NE(Brelin_InstallHooks(), 0);
    ASSERT_NE(Brelin_InstallHooks(), 0) << "a second install keeps the hooks";

    ASSERT_TRUE(Xdotool({"key", "--delay", "30", "Next", "Prior", "End", "Home", "Left", "Right", "Up",
                         "Down", "space", "Return", "KP_Next", "b", "shift+d", "7", "F5"}));
    ASSERT_TRUE(Xdotool({"type", "--delay", "30", "ok"}));
    const std::vector<UINT> expected {VK_NEXT, VK_PRIOR, VK_END, VK_HOME, VK_LEFT, VK_RIGHT, VK_UP,
                                      VK_DOWN, VK_SPACE, VK_RETURN, VK_NEXT, 'B', VK_SHIFT, 'D', '7',
                                      VK_F1 + 4, 'O', 'K'};
    EXPECT_TRUE(WaitFor([&] { return dlg.m_keys.size() >= expected.size(); }));
    EXPECT_EQ(dlg.m_keys, expected);
    EXPECT_TRUE(WaitFor([&] { return edit.text().endsWith("ok"); })) << edit.text().toStdString();

    // Clicks: the left, middle and right buttons, each at the pointer's screen point; wheel steps
    // are no clicks.
    ASSERT_TRUE(Xdotool({"mousemove", "--sync", "150", "170", "click", "1"}));
    ASSERT_TRUE(Xdotool({"click", "4"}));
    ASSERT_TRUE(Xdotool({"mousemove", "--sync", "1000", "700", "click", "3"}));
    ASSERT_TRUE(WaitFor([&] { return dlg.m_clicks.size() >= 2; }));
    // A key after the clicks arrives after them: had the wheel step counted, it would be there.
    ASSERT_TRUE(Xdotool({"key", "x"}));
    ASSERT_TRUE(WaitFor([&] { return dlg.m_keys.size() > expected.size(); }));
    ASSERT_EQ(dlg.m_clicks.size(), 2u);
    EXPECT_EQ(dlg.m_clicks[0].x, 150);
    EXPECT_EQ(dlg.m_clicks[0].y, 170);
    EXPECT_EQ(dlg.m_clicks[1].x, 1000);
    EXPECT_EQ(dlg.m_clicks[1].y, 700);
    EXPECT_TRUE(dlg.m_bOnWindowThread);
}

TEST_F(HookLibraryTest, HookInstallsRemovesAndFailsLeavingNothingOpen)
{
    CListenerDlg dlg;
    Brelin_SetNotifyWindow(dlg.GetSafeHwnd());
    int descriptors = OpenDescriptors();
    {
        // XInput2's events are generic events: a server without that extension cannot send them.
        screentest::CPrivateXServer plain("640x480x24", {"-extension", "Generic Event Extension"});
        ASSERT_TRUE(plain.IsRunning());
        EXPECT_EQ(Brelin_InstallHooks(), 0);
    }
    {
        testsupport::ScopedEnv nowhere("DISPLAY", ":4095");
        EXPECT_EQ(Brelin_InstallHooks(), 0);
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    Brelin_RemoveHooks();  // after a failed install: harmless
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NE(Brelin_InstallHooks(), 0);
        ASSERT_TRUE(Xdotool({"key", "a"}));
        ASSERT_TRUE(WaitFor([&] { return !dlg.m_keys.empty() && dlg.m_keys.back() == 'A'; }));
        Brelin_RemoveHooks();
        // Removed: this key is heard by nobody; the 'C' below would come after it.
        ASSERT_TRUE(Xdotool({"key", "b"}));
        dlg.m_keys.clear();
    }
    ASSERT_NE(Brelin_InstallHooks(), 0);
    ASSERT_TRUE(Xdotool({"key", "c"}));
    ASSERT_TRUE(WaitFor([&] { return !dlg.m_keys.empty(); }));
    EXPECT_EQ(dlg.m_keys, std::vector<UINT> {'C'});
    Brelin_RemoveHooks();
    Brelin_RemoveHooks();  // again: harmless
    EXPECT_EQ(OpenDescriptors(), descriptors) << "the connection and the thread's wake-up are closed";
}

TEST_F(HookLibraryTest, HookRemovedByTheWindowThreadWhileAClickWaitsForIt)
{
    // The closing window removes the hook on its own thread, which a click's sender may be
    // waiting for: the removal must not wait for that answer, and the window still finds the
    // click's point intact once the sender has given up.
    CListenerDlg dlg;
    POINT afterRemoval {};
    dlg.MapMessage(WM_HOOK_CLICK, [&](WPARAM, LPARAM lParam) {
        Brelin_RemoveHooks();
        afterRemoval = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam)->pt;
        return 0;
    });
    Brelin_SetNotifyWindow(dlg.GetSafeHwnd());
    ASSERT_NE(Brelin_InstallHooks(), 0);
    ASSERT_TRUE(Xdotool({"mousemove", "--sync", "321", "123", "click", "1"}));
    ASSERT_TRUE(WaitFor([&] { return afterRemoval.x != 0; }));
    EXPECT_EQ(afterRemoval.x, 321);
    EXPECT_EQ(afterRemoval.y, 123);
}
