// The recording window following a real show in LibreOffice Impress through the hook library:
// keys and clicks made through XTEST (xdotool), as a user's would be, reach the show and the
// window; the slide counter shows the slide on screen, also when a key only runs an animation
// step and when the show advances on its own timings.
#include "RecordWindowSupport.h"
#include "platform/hook/HookTestSupport.h"
#include "platform/office/TestPresentations.h"

#include "platform/office/PowerPointApplication.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/WindowMessages.h"
#include "platform/x11/WindowFunctions.h"
#include "recording/KeyboardHook.h"
#include "recording/RecordDlg.h"
#include "support/TempDir.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <map>
#include <string>

// Last: Xlib's macros would break the headers above.
#include <X11/Xlib.h>

using namespace recording;
using hooktest::Xdotool;
using recordtest::PumpUntil;

namespace {

// Counts the messages a window has handled, by id (and the looks after a key, WM_SHOW_SLIDE_CHANGED
// with wParam 0): the filter sees each just before the window handles it.
class CHandledMessages : public QObject {
public:
    explicit CHandledMessages(QObject* window) { window->installEventFilter(this); }
    int Count(UINT msg) const { return m_counts.count(msg) ? m_counts.at(msg) : 0; }
    int m_nKeyChecks = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == platform::detail::CMessageEvent::EventType()) {
            auto* message = static_cast<platform::detail::CMessageEvent*>(e);
            ++m_counts[message->m_msg];
            if (message->m_msg == WM_SHOW_SLIDE_CHANGED && message->m_wParam == 0)
                ++m_nKeyChecks;
        }
        return false;
    }

private:
    std::map<UINT, int> m_counts;
};

// A window that takes handlers from outside.
class CPlainWindow : public platform::CDialog {
public:
    using CDialog::CDialog;
    using CDialog::MapMessage;
};

// A window of another program: a plain X window on a connection of its own, mapped on top.
class CForeignWindow {
public:
    CForeignWindow(int x, int y, int width, int height) : m_pDisplay(XOpenDisplay(nullptr))
    {
        if (!m_pDisplay)
            return;
        m_window = XCreateSimpleWindow(m_pDisplay, DefaultRootWindow(m_pDisplay), x, y, width, height, 0, 0,
                                       0xFFFFFF);
        XMapRaised(m_pDisplay, m_window);
        XSync(m_pDisplay, False);
    }
    ~CForeignWindow()
    {
        if (m_pDisplay) {
            XDestroyWindow(m_pDisplay, m_window);
            XCloseDisplay(m_pDisplay);
        }
    }
    HWND Handle() const { return static_cast<HWND>(m_window); }

private:
    Display* m_pDisplay;
    Window m_window = 0;
};

// Whether top-level window `upper` is stacked above `lower`.
bool IsAbove(HWND upper, HWND lower)
{
    Display* display = XOpenDisplay(nullptr);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    int up = -1, low = -1;
    if (display && XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i) {
            up = children[i] == upper ? static_cast<int>(i) : up;
            low = children[i] == lower ? static_cast<int>(i) : low;
        }
        XFree(children);
    }
    if (display)
        XCloseDisplay(display);
    return up >= 0 && low >= 0 && up > low;
}

class HookFollowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pFolder = new testsupport::TempDir();
        officetest::ShowOptions timed;  // a slide a second
        timed.pageSound = false;
        timed.pageWidth = 28000;  // 4:3, as the slide area
        timed.pageHeight = 21000;
        officetest::ShowOptions manual = timed;
        manual.manualAdvance = true;
        officetest::ShowOptions effect = manual;
        effect.clickEffect = true;  // slide 1's square comes in on the first step
        s_bMade = recordtest::MakeDecks(s_pFolder->path().string(),
                                        {{"timed", timed}, {"manual", manual}, {"effect", effect}});
    }
    static void TearDownTestSuite() { delete s_pFolder; }

    HookFollowTest() : m_config("VANTOREL_CONFIG_DIR", m_dir.file("config")) { recordtest::SaveSlideArea(640, 480); }
    void SetUp() override { ASSERT_TRUE(s_bMade); }

    // Runs the window on one presentation with `body` inside its loop.
    void RunWindow(const std::string& presentation, const std::function<void()>& body)
    {
        m_owner.m_paths = {s_pFolder->file(presentation)};
        m_dlg.m_pMainDlg = &m_owner;
        recordtest::RunWindow(m_dlg, [&] {
            // The window raises and activates itself as it shows: the test begins after that.
            ASSERT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == &m_dlg; }, 5000));
            body();
        });
    }
    std::string Counter() { return m_dlg.GetDlgItemText(IDC_REC_SLIDE_COUNTER).toStdString(); }
    long ShowPosition() { return m_dlg.Driver().CurrentShowPosition(); }
    HWND Pane() { return CRecordDlg::GetSlideShowPane(); }
    RECT SlideArea()
    {
        RECT area {};
        platform::GetWindowRect(static_cast<HWND>(m_dlg.GetDlgItem(IDC_REC_SLIDE_AREA)->winId()), &area);
        return area;
    }

    // Presses a key in whatever has the keyboard and waits until the window has handled it and,
    // when it counted it, has looked at the show afterwards.
    void Press(const std::string& key, bool counted = true)
    {
        int keys = m_handled.Count(WM_HOOK_KEY);
        int checks = m_handled.m_nKeyChecks;
        ASSERT_TRUE(Xdotool({"key", key}));
        ASSERT_TRUE(PumpUntil([&] { return m_handled.Count(WM_HOOK_KEY) > keys; }, 10000)) << key;
        if (counted)
            ASSERT_TRUE(PumpUntil([&] { return m_handled.m_nKeyChecks > checks; }, 10000)) << key;
    }
    // As the start of a recording and the navigation buttons do.
    void GiveShowTheKeyboard()
    {
        ASSERT_TRUE(platform::SetForegroundWindow(Pane()));
        ASSERT_EQ(platform::GetForegroundWindow(), Pane());
    }
    // Page Down until the show is on slide 2: a show that has just started may not yet take the
    // first key.
    void StepToSecondSlide()
    {
        for (int i = 0; i < 3 && ShowPosition() != 2; ++i) {
            Press("Next");
            PumpUntil([&] { return ShowPosition() == 2; }, 2000);
        }
        ASSERT_EQ(ShowPosition(), 2);
        ASSERT_TRUE(PumpUntil([&] { return Counter() == "2/5"; }, 5000)) << Counter();
    }
    void Click(const RECT& area, int dx, int dy)
    {
        int clicks = m_handled.Count(WM_HOOK_CLICK);
        ASSERT_TRUE(Xdotool({"mousemove", "--sync", std::to_string(area.left + dx), std::to_string(area.top + dy),
                             "click", "1"}));
        ASSERT_TRUE(PumpUntil([&] { return m_handled.Count(WM_HOOK_CLICK) > clicks; }, 10000));
    }

    static testsupport::TempDir* s_pFolder;
    static bool s_bMade;
    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_config;
    recordtest::CTestOwner m_owner;
    CRecordDlg m_dlg;
    CHandledMessages m_handled {&m_dlg};
};

testsupport::TempDir* HookFollowTest::s_pFolder = nullptr;
bool HookFollowTest::s_bMade = false;

}  // namespace

TEST_F(HookFollowTest, HookCounterFollowsAShowOnItsTimingsWithoutAnyKey)
{
    RunWindow("timed.odp", [&] {
        EXPECT_EQ(Counter(), "1/5");
        for (long slide = 2; slide <= 4; ++slide) {
            std::string expected = std::to_string(slide) + "/5";
            EXPECT_TRUE(PumpUntil([&] { return Counter() == expected; }, 8000))
                << "waiting for " << expected << ", counter " << Counter() << ", show at " << ShowPosition();
        }
    });
    EXPECT_EQ(m_handled.Count(WM_HOOK_KEY), 0);
}

TEST_F(HookFollowTest, HookKeysStepTheShowAndTheCounterShowsTheSlideOnScreen)
{
    RunWindow("manual.odp", [&] {
        GiveShowTheKeyboard();
        StepToSecondSlide();
        struct Step {
            const char* key;
            long slide;
        };
        // The Part's rules, and keys the show takes that the rules do not know (Down, Up, space):
        // whatever the keys, the counter ends on the slide on screen. At the ends it stays within
        // 1 and 5; after the last slide the show's end screen still counts as 5.
        const Step steps[] = {{"Down", 3}, {"End", 5}, {"Right", 5}, {"Left", 4}, {"Up", 3},
                              {"Prior", 2}, {"Home", 1}, {"Prior", 1}, {"Left", 1}, {"space", 2}};
        for (const Step& step : steps) {
            SCOPED_TRACE(step.key);
            Press(step.key);
            std::string expected = std::to_string(step.slide) + "/5";
            EXPECT_TRUE(PumpUntil([&] { return ShowPosition() == step.slide; }, 5000))
                << "show at " << ShowPosition() << ", keyboard on " << platform::GetForegroundWindow()
                << ", the show's window " << Pane();
            EXPECT_TRUE(PumpUntil([&] { return Counter() == expected; }, 5000)) << "counter " << Counter();
        }
    });
}

TEST_F(HookFollowTest, HookKeyWhileAnotherWindowIsInFrontChangesNothing)
{
    RunWindow("manual.odp", [&] {
        GiveShowTheKeyboard();
        StepToSecondSlide();
        CForeignWindow other(100, 100, 200, 30);
        ASSERT_TRUE(platform::SetForegroundWindow(other.Handle()));
        for (const char* key : {"Next", "End", "Home"}) {
            Press(key, false);
            EXPECT_EQ(Counter(), "2/5") << key;
        }
        EXPECT_EQ(ShowPosition(), 2) << "the keys went to the other window";
    });
}

TEST_F(HookFollowTest, HookClickInTheSlideAreaBringsTheRecordingWindowToTheFront)
{
    RunWindow("manual.odp", [&] {
        RECT area = SlideArea();
        ASSERT_GT(area.right - area.left, 300);
        HWND areaWindow = static_cast<HWND>(m_dlg.GetDlgItem(IDC_REC_SLIDE_AREA)->winId());
        HWND dlgWindow = m_dlg.GetSafeHwnd();
        // Another program's window over the recording window, outside the slide area.
        CForeignWindow other(area.right + 10, area.top, 150, 30);
        HWND otherWindow = other.Handle();
        ASSERT_TRUE(platform::SetForegroundWindow(otherWindow));
        ASSERT_TRUE(IsAbove(otherWindow, dlgWindow));

        // The rule on the window's own areas (a real click activates the window it hits anyway):
        // nothing while another window has the keyboard, nothing outside the slide area.
        MOUSEHOOKSTRUCT inside {{area.left + 100, area.top + 100}, 0, 1, 0};
        MOUSEHOOKSTRUCT outside {{area.right + 5, area.top - 20}, 0, 1, 0};
        EXPECT_FALSE(ApplyHookClick(inside, areaWindow, m_dlg.GetPowerPointWindow(), dlgWindow));
        GiveShowTheKeyboard();
        EXPECT_FALSE(ApplyHookClick(outside, areaWindow, m_dlg.GetPowerPointWindow(), dlgWindow));
        EXPECT_TRUE(IsAbove(otherWindow, dlgWindow));
        // Inside, the show having the keyboard: the recording window to the front, the show keeps it.
        EXPECT_TRUE(ApplyHookClick(inside, areaWindow, m_dlg.GetPowerPointWindow(), dlgWindow));
        EXPECT_TRUE(IsAbove(dlgWindow, otherWindow));
        EXPECT_EQ(platform::GetForegroundWindow(), Pane());

        // The same through a real click, from the hook to the window.
        ASSERT_TRUE(platform::SetForegroundWindow(otherWindow));
        GiveShowTheKeyboard();
        ASSERT_TRUE(IsAbove(otherWindow, dlgWindow));
        Click(area, 100, 100);
        EXPECT_TRUE(IsAbove(dlgWindow, otherWindow));
    });
}

TEST_F(HookFollowTest, HookCounterComesBackWhenAKeyOnlyRunsAnAnimationStep)
{
    // The first Page Down brings in slide 1's square, and the show stays on slide 1. The show
    // runs in a window of the office's own, where the square waits for that step, before a window
    // holding only the counter, as the recording window does.
    auto app = office::Application::Create();
    ASSERT_TRUE(app);
    ASSERT_EQ(app->put_Caption(kPowerPointCaption), S_OK);
    auto presentation = app->get_Presentations()->Open(s_pFolder->file("effect.odp"), 1, 0, 1);
    ASSERT_TRUE(presentation);
    presentation->get_SlideShowSettings()->put_ShowType(2);
    ASSERT_TRUE(presentation->get_SlideShowSettings()->Run());
    HWND show = platform::FindWindowA(nullptr, kPowerPointCaption);
    auto view = presentation->get_SlideShowWindow()->get_View();
    CSlideCounter counter;
    counter.SetCount(5);
    CShowFollower follower;
    CPlainWindow window(IDD_RECORD_DIALOG);
    CHandledMessages handled(&window);
    window.MapMessage(WM_HOOK_KEY, [&](WPARAM key, LPARAM) {
        if (ApplyHookKey(counter, static_cast<UINT>(key), show, show))
            follower.KeyHandled();
        return 0;
    });
    window.MapMessage(WM_SHOW_SLIDE_CHANGED, [&](WPARAM, LPARAM) {
        counter.SetPosition(view->get_CurrentShowPosition());
        return 0;
    });
    follower.Follow(window.GetSafeHwnd(), app);
    ASSERT_TRUE(InstallKeyboardHook(window.GetSafeHwnd()));
    ASSERT_TRUE(platform::SetForegroundWindow(show));
    for (long slide : {1, 2}) {
        int checks = handled.m_nKeyChecks;
        ASSERT_TRUE(Xdotool({"key", "Next"}));
        ASSERT_TRUE(PumpUntil([&] { return handled.m_nKeyChecks > checks; }, 10000));
        EXPECT_TRUE(PumpUntil([&] { return view->get_CurrentShowPosition() == slide; }, 5000));
        EXPECT_TRUE(PumpUntil([&] { return counter.Position() == slide; }, 5000)) << counter.Text();
    }
    RemoveKeyboardHook();
    follower.Stop();
}

TEST(HookInstall, HookThatCannotInstallIsToldOnTheWindow)
{
    platform::CDialog window(IDD_RECORD_DIALOG);
    std::vector<platform::MessageBoxRequest> boxes;
    auto previous = platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& box) {
        boxes.push_back(box);
        return platform::IDOK;
    });
    {
        testsupport::ScopedEnv nowhere("DISPLAY", ":4095");
        EXPECT_FALSE(InstallKeyboardHook(window.GetSafeHwnd()));
    }
    RemoveKeyboardHook();  // the closing removes it all the same
    platform::SetMessageBoxHandler(previous);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Keyboard hook failed to install.");
    EXPECT_EQ(boxes[0].caption, "Vantorel");
    EXPECT_EQ(boxes[0].type, platform::MB_OK);
    EXPECT_EQ(boxes[0].owner, window.GetSafeHwnd());
}
