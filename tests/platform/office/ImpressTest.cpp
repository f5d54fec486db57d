// The object model against the real LibreOffice Impress on a private X server.
#include <gtest/gtest.h>

#include "platform/office/ImpressSession.h"
#include "platform/office/PowerPointApplication.h"
#include "platform/office/ShowScreen.h"
#include "platform/office/TestPresentations.h"
#include "platform/screen/PrivateXServer.h"
#include "platform/x11/WindowFunctions.h"
#include "support/OfficeProfiles.h"
#include "support/TempDir.h"


#include <com/sun/star/animations/XAnimationNodeSupplier.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>

#include <chrono>
#include <cstdio>
#include <functional>
#include <signal.h>
#include <thread>

// Last: Xlib's macros (None, Bool) would break the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace office;
using officetest::Clock;
using officetest::MsSince;
using officetest::Near;
using officetest::ScreenPixel;
using officetest::WaitFor;

constexpr const char* kMarker = "{F2A8A4B1-A100-49ce-8D88-664611FEC98B}";

// The centre of the window's rectangle shows the slide's background (the number sits top left).
std::uint32_t CentrePixel(HWND window)
{
    RECT r {};
    if (!platform::GetWindowRect(window, &r))
        return 0xFFFFFFFF;
    return ScreenPixel((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

bool ShowsSlide(HWND window, long n, int timeoutMs = 2000)
{
    return WaitFor([&] { return Near(CentrePixel(window), officetest::SlideColour(n)); }, timeoutMs);
}

class ImpressTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        testsupport::UsePrivateOfficeProfiles();
        s_pServer = new screentest::CPrivateXServer("1280x1024x24");
        s_pFolder = new testsupport::TempDir();
        auto start = Clock::now();
        std::string error;
        s_app = Application::Create(&error);
        if (!s_app) {
            s_strError = error;
            return;
        }
        std::printf("office start to connected: %.0f ms\n", MsSince(start));
        officetest::ShowOptions plain;
        officetest::ShowOptions ranged;
        ranged.firstSlide = 2;
        ranged.lastSlide = 4;
        ranged.manualAdvance = true;
        ranged.animations = false;
        s_bMade = officetest::MakePresentations(*s_app->Session(), s_pFolder->path().string(), "plain", plain)
            && officetest::MakePresentations(*s_app->Session(), s_pFolder->path().string(), "ranged", ranged);
    }
    static void TearDownTestSuite()
    {
        s_app.reset();
        delete s_pFolder;
        delete s_pServer;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_pServer->IsRunning());
        ASSERT_TRUE(s_app) << s_strError;
        ASSERT_TRUE(s_bMade);
    }
    void TearDown() override
    {
        if (!s_app || !s_app->Session()->IsAlive())
            return;
        auto presentations = s_app->get_Presentations();
        while (presentations->get_Count() >= 1)
            if (FAILED(presentations->Item(1)->Close()))
                break;
    }
    static std::string File(const std::string& name) { return s_pFolder->path().string() + "/" + name; }

    static std::shared_ptr<Presentation> OpenAndRun(const std::string& name, long advanceMode)
    {
        auto start = Clock::now();
        auto presentation = s_app->get_Presentations()->Open(File(name), 1, 0, 1);
        if (!presentation)
            return nullptr;
        std::printf("open %s: %.0f ms\n", name.c_str(), MsSince(start));
        auto settings = presentation->get_SlideShowSettings();
        settings->put_ShowType(ppShowTypeWindow);
        settings->put_AdvanceMode(advanceMode);
        start = Clock::now();
        auto window = settings->Run();
        std::printf("run: %.0f ms\n", MsSince(start));
        return window ? presentation : nullptr;
    }

    static screentest::CPrivateXServer* s_pServer;
    static testsupport::TempDir* s_pFolder;
    static std::shared_ptr<Application> s_app;
    static std::string s_strError;
    static bool s_bMade;
};

screentest::CPrivateXServer* ImpressTest::s_pServer = nullptr;
testsupport::TempDir* ImpressTest::s_pFolder = nullptr;
std::shared_ptr<Application> ImpressTest::s_app;
std::string ImpressTest::s_strError;
bool ImpressTest::s_bMade = false;


TEST_F(ImpressTest, OpensEveryFormatAndReadsItsShowSettings)
{
    auto presentations = s_app->get_Presentations();
    for (const char* ext : {".odp", ".ppt", ".pps", ".pptx"}) {
        SCOPED_TRACE(ext);
        auto plain = presentations->Open(File(std::string("plain") + ext), 1, 0, 1);
        ASSERT_TRUE(plain);
        EXPECT_EQ(plain->get_Slides()->get_Count(), 5);
        auto s = plain->get_SlideShowSettings();
        EXPECT_EQ(s->get_RangeType(), ppShowAll);
        EXPECT_EQ(s->get_StartingSlide(), 1);
        EXPECT_EQ(s->get_EndingSlide(), 5);
        EXPECT_EQ(s->get_AdvanceMode(), ppSlideShowUseSlideTimings);
        EXPECT_EQ(s->get_ShowWithAnimation(), 1);
        EXPECT_EQ(s->get_ShowWithNarration(), 1);

        auto ranged = presentations->Open(File(std::string("ranged") + ext), 1, 0, 1);
        ASSERT_TRUE(ranged);
        EXPECT_EQ(presentations->get_Count(), 2);
        auto r = ranged->get_SlideShowSettings();
        std::printf("%s ranged reads: range %ld %ld-%ld advance %ld animation %ld\n", ext,
                    r->get_RangeType(), r->get_StartingSlide(), r->get_EndingSlide(),
                    r->get_AdvanceMode(), r->get_ShowWithAnimation());
        EXPECT_EQ(r->get_AdvanceMode(), ppSlideShowManualAdvance);
        if (std::string(ext) == ".odp") {
            EXPECT_EQ(r->get_RangeType(), ppShowSlideRange);
            EXPECT_EQ(r->get_StartingSlide(), 2);
            EXPECT_EQ(r->get_EndingSlide(), 4);
            EXPECT_EQ(r->get_ShowWithAnimation(), 0);
        }

        // Writing changes the settings held for the show; refused values leave them as they were.
        EXPECT_EQ(r->put_RangeType(ppShowAll), S_OK);
        EXPECT_EQ(r->put_AdvanceMode(ppSlideShowRehearseNewTimings), S_OK);
        EXPECT_EQ(r->put_ShowWithNarration(0), S_OK);
        EXPECT_EQ(r->put_StartingSlide(3), S_OK);
        EXPECT_EQ(r->put_StartingSlide(6), E_INVALIDARG);
        EXPECT_EQ(r->put_EndingSlide(0), E_INVALIDARG);
        EXPECT_EQ(r->put_AdvanceMode(4), E_INVALIDARG);
        EXPECT_EQ(r->get_RangeType(), ppShowAll);
        EXPECT_EQ(r->get_AdvanceMode(), ppSlideShowRehearseNewTimings);
        EXPECT_EQ(r->get_ShowWithNarration(), 0);
        EXPECT_EQ(r->get_StartingSlide(), 3);

        // Closing every open presentation, the way the recording window does.
        while (presentations->get_Count() >= 1)
            ASSERT_EQ(presentations->Item(1)->Close(), S_OK);
        EXPECT_FALSE(s_app->get_ActivePresentation());
        // Handles of closed presentations do nothing and yield nothing.
        EXPECT_EQ(ranged->get_Slides(), nullptr);
        EXPECT_EQ(s->get_StartingSlide(), 0);
        EXPECT_EQ(s->put_StartingSlide(2), S_OK);
        EXPECT_EQ(s->Run(), nullptr);
        EXPECT_EQ(plain->get_SlideShowWindow(), nullptr);
    }
}

TEST_F(ImpressTest, MissingOrCorruptFileGivesNoPresentation)
{
    auto presentations = s_app->get_Presentations();
    EXPECT_FALSE(presentations->Open(File("missing.ppt"), 1, 0, 1));
    EXPECT_FALSE(presentations->Open(s_pFolder->path().string(), 1, 0, 1));
    testsupport::WriteFile(File("corrupt.ppt"), std::string(4096, '\x5a'));
    EXPECT_FALSE(presentations->Open(File("corrupt.ppt"), 1, 0, 1));
    EXPECT_EQ(presentations->get_Count(), 0);
    EXPECT_FALSE(presentations->Item(1));
    // The office is still usable afterwards.
    EXPECT_TRUE(presentations->Open(File("plain.odp"), 1, 0, 1));
}

// Each change's slide number is looked up after the change, off the office's callback: wait for
// the entries to arrive.
std::vector<SlideChange> WaitForSlideChanges(Presentation& presentation, size_t count)
{
    auto log = presentation.SlideChanges();
    for (int i = 0; i < 150 && log.size() < count; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        log = presentation.SlideChanges();
    }
    return log;
}

TEST_F(ImpressTest, WindowShowNavigatesAndShowsEachSlide)
{
    auto start = Clock::now();
    ASSERT_EQ(s_app->put_Caption(kMarker), S_OK);
    ASSERT_EQ(s_app->put_Visible(1), S_OK);
    auto presentation = OpenAndRun("plain.ppt", ppSlideShowManualAdvance);
    ASSERT_TRUE(presentation);
    HWND main = 0;
    ASSERT_TRUE(WaitFor([&] { return (main = platform::FindWindowA(nullptr, kMarker)) != 0; }, 5000));
    ASSERT_TRUE(ShowsSlide(main, 1, 5000));
    std::printf("open and run to first slide on screen: %.0f ms\n", MsSince(start));

    DWORD pid = 0;
    platform::GetWindowThreadProcessId(main, &pid);
    EXPECT_EQ(pid, s_app->ProcessId());

    auto view = presentation->get_SlideShowWindow()->get_View();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->get_CurrentShowPosition(), 1);
    struct Step {
        const char* name;
        HRESULT (SlideShowView::*call)();
        long expected;
    };
    const Step steps[] = {{"Next", &SlideShowView::Next, 2},   {"Next", &SlideShowView::Next, 3},
                          {"Previous", &SlideShowView::Previous, 2},
                          {"Last", &SlideShowView::Last, 5},   {"First", &SlideShowView::First, 1}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        auto t = Clock::now();
        ASSERT_EQ((view.get()->*step.call)(), S_OK);
        EXPECT_EQ(view->get_CurrentShowPosition(), step.expected);
        EXPECT_TRUE(ShowsSlide(main, step.expected));
        std::printf("%s to slide %ld on screen: %.0f ms\n", step.name, step.expected, MsSince(t));
    }
    // The log holds an entry for each slide shown, with rising times.
    auto log = WaitForSlideChanges(*presentation, 6);
    ASSERT_GE(log.size(), 6u);
    for (size_t i = 1; i < log.size(); ++i)
        EXPECT_LE(log[i - 1].time, log[i].time);
}

// Our own steps follow each other at once (as on a loaded machine, the show is still busy with the
// last one): each entry must still name the slide that step showed, once.
TEST_F(ImpressTest, SlideChangeLogNamesEachSlideShownEvenUnderLoad)
{
    auto presentation = OpenAndRun("plain.ppt", ppSlideShowManualAdvance);
    ASSERT_TRUE(presentation);
    auto view = presentation->get_SlideShowWindow()->get_View();
    ASSERT_TRUE(view);
    for (auto step : {&SlideShowView::Next, &SlideShowView::Next, &SlideShowView::Previous, &SlideShowView::Last,
                      &SlideShowView::First})
        ASSERT_EQ((view.get()->*step)(), S_OK);
    // A step that does not move the show is no change.
    ASSERT_EQ(view->First(), S_OK);
    std::vector<long> shown, positions;
    auto log = WaitForSlideChanges(*presentation, 6);
    // Late echoes of the steps from the listener must not add entries.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    log = presentation->SlideChanges();
    for (const auto& change : log) {
        shown.push_back(change.slideNumber);
        positions.push_back(change.showPosition);
    }
    EXPECT_EQ(shown, (std::vector<long> {1, 2, 3, 2, 5, 1}));
    EXPECT_EQ(positions, shown);  // the whole presentation: position and slide agree
    for (size_t i = 1; i < log.size(); ++i)
        EXPECT_LE(log[i - 1].time, log[i].time);

    // A second run logs its first slide again, after the first run's entries.
    auto window = presentation->get_SlideShowSettings()->Run();
    ASSERT_TRUE(window);
    ASSERT_EQ(window->get_View()->Next(), S_OK);
    log = WaitForSlideChanges(*presentation, 8);
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[6].slideNumber, 1);
    EXPECT_EQ(log[7].slideNumber, 2);
}

TEST_F(ImpressTest, SlideRangeStartsAtItsFirstSlideAndManualAdvanceStaysPut)
{
    ASSERT_EQ(s_app->put_Caption(kMarker), S_OK);
    ASSERT_EQ(s_app->put_Visible(1), S_OK);
    auto presentation = s_app->get_Presentations()->Open(File("plain.pptx"), 1, 0, 1);
    ASSERT_TRUE(presentation);
    auto settings = presentation->get_SlideShowSettings();
    settings->put_ShowType(ppShowTypeWindow);
    settings->put_AdvanceMode(ppSlideShowManualAdvance);
    settings->put_RangeType(ppShowSlideRange);
    settings->put_StartingSlide(3);
    settings->put_EndingSlide(4);
    ASSERT_TRUE(settings->Run());
    HWND main = platform::FindWindowA(nullptr, kMarker);
    ASSERT_NE(main, 0u);
    auto view = presentation->get_SlideShowWindow()->get_View();
    EXPECT_EQ(view->get_CurrentShowPosition(), 1);
    EXPECT_EQ(view->CurrentSlideNumber(), 3);
    EXPECT_TRUE(ShowsSlide(main, 3));
    // The slides' own timings (a second each) do not move a manual show.
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    EXPECT_EQ(view->get_CurrentShowPosition(), 1);
    view->Last();
    EXPECT_EQ(view->get_CurrentShowPosition(), 2);
    EXPECT_EQ(view->CurrentSlideNumber(), 4);
    EXPECT_TRUE(ShowsSlide(main, 4));
}

// The number's effect nodes of each slide, as the open document holds them.
long EffectNodes(CImpressSession& session, long document)
{
    namespace css = com::sun::star;
    using css::uno::Reference;
    using css::uno::UNO_QUERY;
    long nodes = 0;
    Reference<css::drawing::XDrawPagesSupplier> supplier(session.Component(document), UNO_QUERY);
    auto pages = supplier->getDrawPages();
    for (sal_Int32 i = 0; i < pages->getCount(); ++i) {
        Reference<css::animations::XAnimationNodeSupplier> page(pages->getByIndex(i), UNO_QUERY);
        Reference<css::container::XEnumerationAccess> root(page->getAnimationNode(), UNO_QUERY);
        auto e = root->createEnumeration();
        for (; e->hasMoreElements(); e->nextElement())
            ++nodes;
    }
    return nodes;
}

TEST_F(ImpressTest, AnimationsOffTakesTheEffectsOutBeforeTheShow)
{
    for (long withAnimation : {1L, 0L}) {
        SCOPED_TRACE(withAnimation);
        auto presentation = s_app->get_Presentations()->Open(File("plain.odp"), 1, 0, 1);
        ASSERT_TRUE(presentation);
        long before = EffectNodes(*s_app->Session(), presentation->Id());
        EXPECT_GE(before, 5);  // at least the number's effect on each slide
        auto settings = presentation->get_SlideShowSettings();
        settings->put_ShowType(ppShowTypeWindow);
        settings->put_AdvanceMode(ppSlideShowManualAdvance);
        settings->put_ShowWithAnimation(withAnimation);
        ASSERT_TRUE(settings->Run());
        EXPECT_EQ(EffectNodes(*s_app->Session(), presentation->Id()), withAnimation ? before : 0);
        ASSERT_EQ(presentation->Close(), S_OK);
    }
}

TEST_F(ImpressTest, SlideTimingsAdvanceTheShow)
{
    auto presentation = OpenAndRun("plain.odp", ppSlideShowUseSlideTimings);
    ASSERT_TRUE(presentation);
    auto view = presentation->get_SlideShowWindow()->get_View();
    ASSERT_TRUE(view);
    EXPECT_TRUE(WaitFor([&] { return view->get_CurrentShowPosition() >= 3; }, 6000));
    EXPECT_TRUE(WaitFor([&] { return presentation->SlideChanges().size() >= 3; }, 2000));
    auto log = presentation->SlideChanges();
    ASSERT_GE(log.size(), 3u);
    double gap = std::chrono::duration<double>(log[2].time - log[1].time).count();
    std::printf("timed step: %.2f s\n", gap);
    EXPECT_GT(gap, 0.5);
    EXPECT_LT(gap, 3.0);
    // The show's own changes come from the listener: each slide once, in order.
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(log[i].showPosition, static_cast<long>(i + 1));
        EXPECT_EQ(log[i].slideNumber, static_cast<long>(i + 1));
    }
}

TEST_F(ImpressTest, ReparentedMainWindowKeepsTheSlideFillingIt)
{
    ASSERT_EQ(s_app->put_Caption(kMarker), S_OK);
    ASSERT_EQ(s_app->put_Visible(1), S_OK);
    // The command bars: remembered, hidden for the show and restored.
    auto bars = s_app->get_CommandBars();
    ASSERT_TRUE(bars->Item("Web"));
    ASSERT_TRUE(bars->Item("Menu Bar (Slide Show)"));
    EXPECT_FALSE(bars->Item("Standard"));
    long web = bars->Item("Web")->get_Property();
    EXPECT_EQ(bars->Item("Web")->put_Property(3), S_OK);
    EXPECT_EQ(bars->Item("Menu Bar (Slide Show)")->put_Property(3), S_OK);
    EXPECT_EQ(bars->Item("Web")->get_Property(), 3);

    auto presentation = OpenAndRun("plain.odp", ppSlideShowManualAdvance);
    ASSERT_TRUE(presentation);
    HWND main = platform::FindWindowA(nullptr, kMarker);
    ASSERT_NE(main, 0u);

    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    Window area = XCreateSimpleWindow(display, DefaultRootWindow(display), 200, 150, 640, 480, 0,
                                      0, 0);
    XMapWindow(display, area);
    XSync(display, False);
    EXPECT_EQ(platform::SetParent(main, area), static_cast<HWND>(DefaultRootWindow(display)));
    for (auto [w, h] : {std::pair {640, 480}, std::pair {400, 300}}) {
        SCOPED_TRACE(w);
        XResizeWindow(display, area, w, h);
        XSync(display, False);
        ASSERT_TRUE(platform::MoveWindow(main, 0, 0, w, h, TRUE));
        RECT r {};
        ASSERT_TRUE(WaitFor([&] {
            return platform::GetWindowRect(main, &r) && r.right - r.left == w;
        }, 2000));
        EXPECT_EQ(r.left, 200);
        EXPECT_EQ(r.top, 150);
        EXPECT_EQ(r.bottom - r.top, h);
        EXPECT_TRUE(ShowsSlide(main, 1));
        // The slide reaches the window's width: a pixel near each side is the slide too.
        EXPECT_TRUE(WaitFor([&] {
            return Near(ScreenPixel(r.left + 4, (r.top + r.bottom) / 2), officetest::SlideColour(1))
                && Near(ScreenPixel(r.right - 5, (r.top + r.bottom) / 2), officetest::SlideColour(1));
        }, 2000)) << std::hex << ScreenPixel(r.left + 4, (r.top + r.bottom) / 2) << " "
                   << ScreenPixel(r.right - 5, (r.top + r.bottom) / 2) << " "
                   << ScreenPixel((r.left + r.right) / 2, r.top + 4);
    }
    EXPECT_TRUE(platform::SetForegroundWindow(main));
    EXPECT_EQ(bars->Item("Web")->put_Property(web), S_OK);
    EXPECT_EQ(bars->Item("Menu Bar (Slide Show)")->put_Property(web), S_OK);
    // Back to the root first: destroying our window would destroy the office's window with it.
    EXPECT_EQ(platform::SetParent(main, 0), static_cast<HWND>(area));
    XDestroyWindow(display, area);
    XCloseDisplay(display);
}

TEST_F(ImpressTest, TerminatingTheWindowOwnerLeavesNoOfficeBehind)
{
    ASSERT_EQ(s_app->put_Caption(kMarker), S_OK);
    ASSERT_EQ(s_app->put_Visible(1), S_OK);
    ASSERT_TRUE(OpenAndRun("plain.ppt", ppSlideShowManualAdvance));
    HWND main = platform::FindWindowA(nullptr, kMarker);
    ASSERT_NE(main, 0u);
    DWORD pid = 0;
    platform::GetWindowThreadProcessId(main, &pid);
    ASSERT_EQ(pid, s_app->ProcessId());
    auto handle = platform::OpenProcess(platform::PROCESS_TERMINATE, FALSE, pid);
    ASSERT_NE(handle, platform::INVALID_PROCESS_HANDLE);
    EXPECT_TRUE(platform::TerminateProcess(handle, 0));
    EXPECT_TRUE(platform::CloseHandle(handle));
    auto session = s_app->Session();
    EXPECT_TRUE(WaitFor([&] { return !session->IsAlive(); }, 3000));
    EXPECT_NE(kill(static_cast<pid_t>(pid), 0), 0);  // reaped, not a zombie
    // Every call on the dead office yields nothing and throws nothing.
    EXPECT_FALSE(s_app->get_Presentations()->Open(File("plain.odp"), 1, 0, 1));
    EXPECT_EQ(s_app->get_Presentations()->get_Count(), 1);
    EXPECT_EQ(s_app->get_ActivePresentation()->get_Slides()->get_Count(), 0);
    EXPECT_FALSE(s_app->get_ActivePresentation()->get_SlideShowWindow());
    // A new office for whatever runs next in this process.
    s_app = Application::Create(&s_strError);
}

TEST_F(ImpressTest, DesktopTerminateEndsTheOfficeDuringAShow)
{
    ASSERT_TRUE(OpenAndRun("plain.odp", ppSlideShowManualAdvance));
    pid_t pid = static_cast<pid_t>(s_app->ProcessId());
    auto t = Clock::now();
    EXPECT_TRUE(s_app->Session()->Terminate(5000));
    std::printf("terminate: %.0f ms\n", MsSince(t));
    EXPECT_NE(kill(pid, 0), 0);
}

}  // namespace
