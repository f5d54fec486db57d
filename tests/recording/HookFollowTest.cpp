// The slide counter following a real show in LibreOffice Impress: keys pressed through XTEST
// (xdotool) reach the show and, through the hook library, the window that holds it; the counter
// shows the slide on screen, also when a key only runs an animation step and when the show
// advances on its own timings.
#include "platform/hook/HookTestSupport.h"
#include "platform/office/TestPresentations.h"

#include "platform/office/PowerPointApplication.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/MessageBox.h"
#include "platform/x11/WindowFunctions.h"
#include "recording/KeyboardHook.h"
#include "recording/ShowFollower.h"
#include "recording/SlideCounter.h"
#include "support/OfficeProfiles.h"
#include "support/TempDir.h"

#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using namespace recording;
using hooktest::WaitFor;
using hooktest::Xdotool;

constexpr const char* kMarker = "{F2A8A4B1-A100-49ce-8D88-664611FEC98B}";

// The recording window's part in following the show: its slide area holds the office's window,
// its counter follows the hook's keys and the show's own position.
class CShowHostDlg : public platform::CDialog {
public:
    CShowHostDlg() : CDialog(131), m_follower(GetSafeHwnd())
    {
        setWindowTitle("show host");
        setGeometry(0, 0, 900, 700);
        m_pArea = new QWidget(this);
        m_pArea->setGeometry(20, 60, 640, 480);
        m_pArea->setAttribute(Qt::WA_NativeWindow);
        m_pCounter = new QLabel(this);
        m_pCounter->setGeometry(20, 20, 200, 30);
        MapMessage(WM_HOOK_KEY, [this](WPARAM key, LPARAM) {
            ++m_nKeys;
            if (ApplyHookKey(m_counter, static_cast<UINT>(key), m_hMain, m_hMain)) {
                ShowCounter();
                m_follower.KeyHandled();
            }
            return 0;
        });
        MapMessage(WM_HOOK_CLICK, [this](WPARAM, LPARAM click) {
            m_clicks.push_back(ApplyHookClick(*reinterpret_cast<const MOUSEHOOKSTRUCT*>(click), SlideArea(),
                                           m_hMain, GetSafeHwnd()));
            return 0;
        });
        MapMessage(WM_SHOW_SLIDE_CHANGED, [this](WPARAM reported, LPARAM) {
            if (long position = ShowPosition(); position > 0) {
                m_counter.SetPosition(position);
                ShowCounter();
            }
            if (reported == 0)
                ++m_nKeyChecks;
            return 0;
        });
    }

    ~CShowHostDlg() override
    {
        RemoveKeyboardHook();
        m_follower.Stop();
        // Back to the root first: the office's window must not die with ours.
        if (m_hMain)
            platform::SetParent(m_hMain, 0);
    }

    // Opens the file, runs its show in the slide area and installs the hook.
    bool Start(const std::shared_ptr<office::Application>& app, const std::string& file, long advanceMode)
    {
        show();
        if (FAILED(app->put_Caption(kMarker)) || FAILED(app->put_Visible(1)))
            return false;
        // The show alone in the slide area, its bars hidden.
        for (const char* bar : {"Web", "Menu Bar (Slide Show)"})
            if (FAILED(app->get_CommandBars()->Item(bar)->put_Property(3)))
                return false;
        m_presentation = app->get_Presentations()->Open(file, 1, 0, 1);
        if (!m_presentation)
            return false;
        auto settings = m_presentation->get_SlideShowSettings();
        settings->put_ShowType(2);
        settings->put_AdvanceMode(advanceMode);
        m_follower.Follow(app);
        if (!settings->Run())
            return false;
        // The office's main window is also the window its show draws in, the pane.
        m_hMain = platform::FindWindowA(nullptr, kMarker);
        if (!m_hMain || !platform::SetParent(m_hMain, SlideArea()) || !platform::MoveWindow(m_hMain, 0, 0, 640, 480, TRUE))
            return false;
        m_counter.SetCount(m_presentation->get_Slides()->get_Count());
        m_counter.SetPosition(ShowPosition());
        ShowCounter();
        if (!InstallKeyboardHook(GetSafeHwnd()))
            return false;
        return platform::SetForegroundWindow(m_hMain);
    }

    HWND SlideArea() const { return static_cast<HWND>(m_pArea->winId()); }
    std::string CounterText() const { return m_pCounter->text().toStdString(); }
    long ShowPosition() { return m_presentation->get_SlideShowWindow()->get_View()->get_CurrentShowPosition(); }
    HWND Main() const { return m_hMain; }

    int m_nKeys = 0;       // WM_HOOK_KEY handled, counted or not
    int m_nKeyChecks = 0;  // looks at the show after a counted key
    std::vector<bool> m_clicks;

private:
    void ShowCounter() { m_pCounter->setText(QString::fromStdString(m_counter.Text())); }

    QWidget* m_pArea = nullptr;
    QLabel* m_pCounter = nullptr;
    std::shared_ptr<office::Presentation> m_presentation;
    HWND m_hMain = 0;
    CSlideCounter m_counter;
    CShowFollower m_follower;
};

class HookFollowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(hooktest::StartDisplay());
        testsupport::UsePrivateOfficeProfiles();
        std::string error;
        m_app = office::Application::Create(&error);
        ASSERT_TRUE(m_app) << error;
        officetest::ShowOptions options;
        options.pageSound = false;
        options.clickEffect = true;
        ASSERT_TRUE(officetest::MakePresentations(*m_app->Session(), m_folder.path().string(), "deck", options));
        m_dlg = std::make_unique<CShowHostDlg>();
    }
    void TearDown() override
    {
        m_dlg.reset();
        m_app.reset();
    }
    std::string Deck() const { return m_folder.file("deck.odp"); }

    // Presses a key in whatever has the focus, and waits until the window has handled it and, when
    // it counted it, has looked at the show afterwards.
    void Press(const std::string& key)
    {
        int keys = m_dlg->m_nKeys;
        int checks = m_dlg->m_nKeyChecks;
        ASSERT_TRUE(Xdotool({"key", key}));
        ASSERT_TRUE(WaitFor([&] { return m_dlg->m_nKeys > keys; })) << key;
        WaitFor([&] { return m_dlg->m_nKeyChecks > checks; }, 2 * CShowFollower::kKeySettleMs + 2000);
    }

    testsupport::TempDir m_folder;
    std::shared_ptr<office::Application> m_app;
    std::unique_ptr<CShowHostDlg> m_dlg;
};

}  // namespace

TEST_F(HookFollowTest, HookCounterFollowsAShowOnItsTimingsWithoutAnyKey)
{
    ASSERT_TRUE(m_dlg->Start(m_app, Deck(), 2));  // use slide timings: a slide a second
    EXPECT_EQ(m_dlg->CounterText(), "1/5");
    for (long slide = 2; slide <= 4; ++slide) {
        std::string expected = std::to_string(slide) + "/5";
        EXPECT_TRUE(WaitFor([&] { return m_dlg->CounterText() == expected; }, 8000))
            << "waiting for " << expected << ", counter " << m_dlg->CounterText() << ", show at "
            << m_dlg->ShowPosition();
    }
    EXPECT_EQ(m_dlg->m_nKeys, 0);
}

TEST_F(HookFollowTest, HookKeysStepTheShowAndTheCounterShowsTheSlideOnScreen)
{
    ASSERT_TRUE(m_dlg->Start(m_app, Deck(), 1));  // manual advance
    EXPECT_EQ(m_dlg->CounterText(), "1/5");
    struct Step {
        const char* key;
        long slide;
    };
    // The first Page Down only brings in slide 1's square (an animation step); the counter, which
    // counts it as a slide at first, comes back to the slide on screen. At the ends the counter
    // stays within 1 and 5.
    const Step steps[] = {{"Next", 1}, {"Next", 2}, {"Right", 3}, {"End", 5}, {"Right", 5}, {"Left", 4},
                          {"Prior", 3}, {"Home", 1}, {"Prior", 1}, {"Left", 1}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.key);
        Press(step.key);
        std::string expected = std::to_string(step.slide) + "/5";
        EXPECT_TRUE(WaitFor([&] { return m_dlg->ShowPosition() == step.slide; }, 5000))
            << "show at " << m_dlg->ShowPosition() << ", keyboard on " << platform::GetForegroundWindow()
            << ", the show's window " << m_dlg->Main();
        EXPECT_TRUE(WaitFor([&] { return m_dlg->CounterText() == expected; }, 5000))
            << "counter " << m_dlg->CounterText();
    }
}

TEST_F(HookFollowTest, HookKeyWhileAnotherWindowIsInFrontChangesNothing)
{
    ASSERT_TRUE(m_dlg->Start(m_app, Deck(), 1));
    Press("Next");  // the square
    Press("Next");
    ASSERT_TRUE(WaitFor([&] { return m_dlg->CounterText() == "2/5"; }));
    QLineEdit other;
    other.setGeometry(950, 100, 200, 30);
    other.show();
    ASSERT_TRUE(platform::SetForegroundWindow(static_cast<HWND>(other.winId())));
    for (const char* key : {"Next", "End", "Home"}) {
        int keys = m_dlg->m_nKeys;
        ASSERT_TRUE(Xdotool({"key", key}));
        ASSERT_TRUE(WaitFor([&] { return m_dlg->m_nKeys > keys; })) << key;
        EXPECT_EQ(m_dlg->CounterText(), "2/5") << key;
    }
    EXPECT_EQ(m_dlg->ShowPosition(), 2) << "the keys went to the other window";
}

TEST_F(HookFollowTest, HookClickInTheSlideAreaBringsTheRecordingWindowToTheFront)
{
    ASSERT_TRUE(m_dlg->Start(m_app, Deck(), 1));
    // Another window over the recording window's corner, the show holding the keyboard.
    QLineEdit other;
    other.setGeometry(700, 0, 200, 30);
    other.show();
    ASSERT_TRUE(WaitFor([&] { return other.isVisible(); }));
    ASSERT_EQ(platform::GetForegroundWindow(), m_dlg->Main());

    // Outside the slide area: nothing.
    ASSERT_TRUE(Xdotool({"mousemove", "--sync", "800", "650", "click", "1"}));
    ASSERT_TRUE(WaitFor([&] { return m_dlg->m_clicks.size() == 1; }));
    EXPECT_FALSE(m_dlg->m_clicks[0]);
    // Inside: the recording window comes to the front, and the show keeps the keyboard.
    ASSERT_TRUE(Xdotool({"mousemove", "--sync", "340", "300", "click", "1"}));
    ASSERT_TRUE(WaitFor([&] { return m_dlg->m_clicks.size() == 2; }));
    EXPECT_TRUE(m_dlg->m_clicks[1]);
    EXPECT_EQ(platform::GetForegroundWindow(), m_dlg->Main());
    // With the recording window itself in front, the same click changes nothing.
    ASSERT_TRUE(platform::SetForegroundWindow(static_cast<HWND>(other.winId())));
    ASSERT_TRUE(platform::SetForegroundWindow(m_dlg->GetSafeHwnd()));
    ASSERT_EQ(platform::GetForegroundWindow(), m_dlg->GetSafeHwnd());
    ASSERT_TRUE(Xdotool({"click", "1"}));  // the pointer is still there
    ASSERT_TRUE(WaitFor([&] { return m_dlg->m_clicks.size() == 3; }));
    EXPECT_FALSE(m_dlg->m_clicks[2]);
}

TEST(HookInstall, HookThatCannotInstallIsToldOnTheWindow)
{
    ASSERT_TRUE(hooktest::StartDisplay());
    platform::CDialog window(131);
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
