// Presentations inside a window of ours, against the real LibreOffice Impress on a private X
// server, with a profile the office has never seen (as every new user has).
#include <gtest/gtest.h>

#include "platform/office/PowerPointApplication.h"
#include "platform/office/ShowScreen.h"
#include "platform/office/TestPresentations.h"
#include "platform/screen/PrivateXServer.h"
#include "platform/x11/WindowFunctions.h"
#include "support/TempDir.h"

#include <cstdio>
#include <filesystem>
#include <signal.h>
#include <thread>

// Last: Xlib's macros (None, Bool) would break the headers above.
#include <X11/Xlib.h>

namespace {

using namespace office;
using namespace officetest;

// A top-level window of ours with a child window in it, as the recording window holds its slide
// area; the office's windows go into the child.
struct HostWindows {
    Display* display = nullptr;
    Window top = 0;
    Window host = 0;

    HostWindows()
    {
        display = XOpenDisplay(nullptr);
        if (!display)
            return;
        top = XCreateSimpleWindow(display, DefaultRootWindow(display), 100, 80, 900, 700, 0, 0,
                                  0x404040);
        host = XCreateSimpleWindow(display, top, 60, 50, 640, 480, 0, 0, 0x202020);
        XMapWindow(display, host);
        XMapWindow(display, top);
        XSync(display, False);
    }
    ~HostWindows()
    {
        if (display) {
            XDestroyWindow(display, top);
            XCloseDisplay(display);
        }
    }
    void Resize(int w, int h)
    {
        XResizeWindow(display, host, static_cast<unsigned>(w), static_cast<unsigned>(h));
        XSync(display, False);
    }
};

Window ParentOf(Display* display, Window w)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, w, &root, &parent, &children, &count))
        return 0;
    if (children)
        XFree(children);
    return parent;
}

long ForeignPixels(HWND window, long slide)
{
    return officetest::ForeignPixels(window, SlideColour(slide));
}

std::shared_ptr<SlideShowWindow> OpenAndRun(Application& app, const std::string& path)
{
    auto presentation = app.get_Presentations()->Open(path, 1, 0, 1);
    if (!presentation)
        return nullptr;
    auto settings = presentation->get_SlideShowSettings();
    settings->put_ShowType(ppShowTypeWindow);
    settings->put_AdvanceMode(ppSlideShowManualAdvance);
    return settings->Run();
}

TEST(HostedShowTest, ShowRunsInsideOurWindowFromAFreshProfileAndLeavesNothingBehind)
{
    screentest::CPrivateXServer server("1280x1024x24");
    ASSERT_TRUE(server.IsRunning());
    testsupport::TempDir profiles, folder;
    testsupport::ScopedEnv env("VANTOREL_OFFICE_PROFILES", profiles.path().string());
    std::string error;
    auto app = Application::Create(&error);
    ASSERT_TRUE(app) << error;
    {
        ShowOptions options;
        options.pageSound = false;
        options.pageWidth = 28000;  // 4:3, as the window
        options.pageHeight = 21000;
        ASSERT_TRUE(MakePresentations(*app->Session(), folder.path().string(), "deck", options));
    }
    HostWindows windows;
    ASSERT_TRUE(windows.display);
    app->SetHostWindow(windows.host);

    // Nothing of the office ever shows at top level, from the open to the second presentation.
    CTopLevelWatch watch;
    auto t = Clock::now();
    auto window = OpenAndRun(*app, folder.file("deck.ppt"));
    ASSERT_TRUE(window);
    // A new profile stalled the first slide for a minute; a used one takes well under a second.
    double started = MsSince(t);
    std::printf("open and run with a new profile: %.0f ms\n", started);
    EXPECT_LT(started, 20000);
    HWND pane = window->get_HWND();
    ASSERT_NE(pane, 0u);
    EXPECT_EQ(ParentOf(windows.display, pane), windows.host);
    RECT r {};
    ASSERT_TRUE(platform::GetWindowRect(pane, &r));
    EXPECT_EQ(r.left, 160);
    EXPECT_EQ(r.top, 130);
    EXPECT_EQ(r.right - r.left, 640);
    EXPECT_EQ(r.bottom - r.top, 480);
    // Only the slide: no menus, toolbars, slide pane or status bar.
    long foreign = -1;
    EXPECT_TRUE(WaitFor([&] { return (foreign = ForeignPixels(pane, 1)) == 0; }, 5000)) << foreign;
    auto view = window->get_View();
    ASSERT_EQ(view->Next(), S_OK);
    EXPECT_TRUE(WaitFor([&] { return ForeignPixels(pane, 2) == 0; }, 3000));

    // The office's window follows ours.
    windows.Resize(400, 300);
    EXPECT_TRUE(WaitFor([&] {
        return platform::GetWindowRect(pane, &r) && r.right - r.left == 400 && r.bottom - r.top == 300;
    }, 3000));
    EXPECT_TRUE(WaitFor([&] { return ForeignPixels(pane, 2) == 0; }, 3000));

    // The next presentation gets a new window in the same place.
    auto presentations = app->get_Presentations();
    while (presentations->get_Count() >= 1)
        ASSERT_EQ(presentations->Item(1)->Close(), S_OK);
    window = OpenAndRun(*app, folder.file("deck.pps"));
    ASSERT_TRUE(window);
    HWND second = window->get_HWND();
    ASSERT_NE(second, 0u);
    EXPECT_EQ(ParentOf(windows.display, second), windows.host);
    ASSERT_TRUE(platform::GetWindowRect(second, &r));
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_TRUE(WaitFor([&] { return ForeignPixels(second, 1) == 0; }, 5000));
    EXPECT_EQ(watch.Stop(), 0u) << "office windows were seen at top level";

    // Ended through its window's owner, the office leaves no process, lock, pipe or temporary
    // file behind.
    DWORD pid = 0;
    platform::GetWindowThreadProcessId(second, &pid);
    ASSERT_EQ(pid, app->ProcessId());
    std::string profile = app->Session()->Profile();
    EXPECT_TRUE(std::filesystem::exists(profile + "/.lock"));
    auto handle = platform::OpenProcess(platform::PROCESS_TERMINATE, FALSE, pid);
    ASSERT_TRUE(platform::TerminateProcess(handle, 0));
    platform::CloseHandle(handle);
    view.reset();
    window.reset();
    presentations.reset();
    app.reset();
    EXPECT_NE(kill(static_cast<pid_t>(pid), 0), 0);
    EXPECT_FALSE(std::filesystem::exists(profile + "/.lock"));
    EXPECT_FALSE(std::filesystem::exists(profile + ".tmp"));
    for (auto& entry : std::filesystem::directory_iterator("/tmp"))
        EXPECT_EQ(entry.path().filename().string().find("vantorel_office_" + std::to_string(getpid()) + "_"),
                  std::string::npos) << entry.path();
}

}  // namespace
