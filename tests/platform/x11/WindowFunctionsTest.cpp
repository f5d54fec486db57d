// The window functions on a private X server, with windows of this process and of a child.
#include <gtest/gtest.h>

#include "platform/screen/PrivateXServer.h"
#include "platform/x11/WindowFunctions.h"
#include "support/TempDir.h"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Last: Xlib's macros (None, Bool) would break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace platform;

class WindowFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.IsRunning());
        m_pDisplay = XOpenDisplay(nullptr);
        ASSERT_NE(m_pDisplay, nullptr);
    }
    void TearDown() override
    {
        if (m_pDisplay)
            XCloseDisplay(m_pDisplay);
    }
    Window MakeWindow(const char* title, int x, int y, int w, int h, const char* cls = "Test",
                      long pid = 0)
    {
        Window win = XCreateSimpleWindow(m_pDisplay, DefaultRootWindow(m_pDisplay), x, y, w, h, 0,
                                         0, 0);
        XStoreName(m_pDisplay, win, title);
        XClassHint hint {const_cast<char*>("test"), const_cast<char*>(cls)};
        XSetClassHint(m_pDisplay, win, &hint);
        if (pid) {
            XChangeProperty(m_pDisplay, win, XInternAtom(m_pDisplay, "_NET_WM_PID", False),
                            XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&pid), 1);
        }
        XMapWindow(m_pDisplay, win);
        XSync(m_pDisplay, False);
        return win;
    }

    screentest::CPrivateXServer m_server {"800x600x24"};
    Display* m_pDisplay = nullptr;
};

TEST_F(WindowFunctionsTest, FindsTopLevelWindowsByExactTitleAndClass)
{
    Window a = MakeWindow("{marker}", 10, 10, 50, 50);
    Window b = MakeWindow("{marker} - Impress", 10, 10, 50, 50);
    Window c = MakeWindow("other", 10, 10, 50, 50, "Special");
    EXPECT_EQ(FindWindowA(nullptr, "{marker}"), a);
    EXPECT_EQ(FindWindowA(nullptr, "{marker} - Impress"), b);
    EXPECT_EQ(FindWindowA(nullptr, "{mark"), 0u);
    EXPECT_EQ(FindWindowA("Special", "other"), c);
    EXPECT_EQ(FindWindowA("Test", "other"), 0u);
    EXPECT_EQ(FindWindowA(nullptr, nullptr), 0u);
    // Once inside another window it is still found: the search goes down the whole tree.
    EXPECT_EQ(SetParent(a, c), static_cast<HWND>(DefaultRootWindow(m_pDisplay)));
    EXPECT_EQ(FindWindowA(nullptr, "{marker}"), a);
    XDestroyWindow(m_pDisplay, c);
    XSync(m_pDisplay, False);
    EXPECT_EQ(FindWindowA(nullptr, "{marker}"), 0u);
    EXPECT_FALSE(IsWindow(a));
    EXPECT_TRUE(IsWindow(b));
}

TEST_F(WindowFunctionsTest, ReparentMoveAndRectanglesInScreenCoordinates)
{
    Window area = MakeWindow("area", 100, 50, 400, 300);
    Window child = MakeWindow("child", 0, 0, 40, 30);
    EXPECT_EQ(SetParent(child, area), static_cast<HWND>(DefaultRootWindow(m_pDisplay)));
    ASSERT_TRUE(MoveWindow(child, 20, 10, 200, 150, TRUE));
    RECT r {};
    ASSERT_TRUE(GetWindowRect(child, &r));
    EXPECT_EQ(r.left, 120);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.right, 320);
    EXPECT_EQ(r.bottom, 210);
    ASSERT_TRUE(GetClientRect(child, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 200);
    EXPECT_EQ(r.bottom, 150);
    // Moving the parent moves the child on screen.
    XMoveWindow(m_pDisplay, area, 0, 0);
    XSync(m_pDisplay, False);
    ASSERT_TRUE(GetWindowRect(child, &r));
    EXPECT_EQ(r.left, 20);
    EXPECT_EQ(r.top, 10);

    EXPECT_FALSE(MoveWindow(child, 0, 0, 0, 10, TRUE));
    EXPECT_FALSE(GetWindowRect(child, nullptr));
    XDestroyWindow(m_pDisplay, area);
    XSync(m_pDisplay, False);
    EXPECT_FALSE(MoveWindow(child, 0, 0, 10, 10, TRUE));
    EXPECT_FALSE(GetWindowRect(child, &r));
    EXPECT_EQ(SetParent(child, area), 0u);
    EXPECT_FALSE(SetForegroundWindow(child));
}

TEST_F(WindowFunctionsTest, ForegroundRaisesAndFocuses)
{
    Window lower = MakeWindow("lower", 0, 0, 100, 100);
    MakeWindow("upper", 0, 0, 100, 100);
    ASSERT_TRUE(SetForegroundWindow(lower));
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_pDisplay, &focus, &revert);
    EXPECT_EQ(focus, lower);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    ASSERT_TRUE(XQueryTree(m_pDisplay, DefaultRootWindow(m_pDisplay), &root, &parent, &children,
                           &count));
    ASSERT_GE(count, 2u);
    EXPECT_EQ(children[count - 1], lower);  // top of the stacking order
    XFree(children);
}

TEST_F(WindowFunctionsTest, ForegroundWindowIsTheWindowWithTheFocus)
{
    auto focusOn = [&](Window w) {
        XSetInputFocus(m_pDisplay, w, RevertToNone, CurrentTime);
        XSync(m_pDisplay, False);
    };
    Window other = MakeWindow("other", 0, 0, 100, 100);
    Window host = MakeWindow("host", 100, 0, 300, 300);
    // Another program's window inside the host, as the show is in the recording window.
    Window embedded = XCreateSimpleWindow(m_pDisplay, host, 0, 0, 100, 100, 0, 0, 0);
    XMapWindow(m_pDisplay, embedded);
    XSync(m_pDisplay, False);

    focusOn(embedded);
    EXPECT_EQ(GetForegroundWindow(), embedded);
    // Bringing the host to the front raises it and leaves the focus with the window inside it.
    XRaiseWindow(m_pDisplay, other);
    XSync(m_pDisplay, False);
    ASSERT_TRUE(SetForegroundWindow(host));
    EXPECT_EQ(GetForegroundWindow(), embedded);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    ASSERT_TRUE(XQueryTree(m_pDisplay, DefaultRootWindow(m_pDisplay), &root, &parent, &children, &count));
    ASSERT_GE(count, 2u);
    EXPECT_EQ(children[count - 1], host);
    XFree(children);
    ASSERT_TRUE(SetForegroundWindow(other));
    EXPECT_EQ(GetForegroundWindow(), other);
    focusOn(None);
    EXPECT_EQ(GetForegroundWindow(), 0u);

    // A window manager names the active window: the focus counts only inside it.
    Atom active = XInternAtom(m_pDisplay, "_NET_ACTIVE_WINDOW", False);
    XChangeProperty(m_pDisplay, DefaultRootWindow(m_pDisplay), active, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&host), 1);
    focusOn(embedded);
    EXPECT_EQ(GetForegroundWindow(), embedded);
    focusOn(other);
    EXPECT_EQ(GetForegroundWindow(), host);
    focusOn(PointerRoot);
    EXPECT_EQ(GetForegroundWindow(), host);
    XDeleteProperty(m_pDisplay, DefaultRootWindow(m_pDisplay), active);
    XSync(m_pDisplay, False);
}

TEST_F(WindowFunctionsTest, TerminatesTheOwnerNamedByTheWindowsPid)
{
    pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(child, 0);
    Window w = MakeWindow("owned", 0, 0, 10, 10, "Test", child);
    DWORD pid = 0;
    EXPECT_EQ(GetWindowThreadProcessId(w, &pid), static_cast<DWORD>(child));
    EXPECT_EQ(pid, static_cast<DWORD>(child));
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    ASSERT_NE(process, INVALID_PROCESS_HANDLE);
    EXPECT_TRUE(TerminateProcess(process, 0));
    EXPECT_TRUE(CloseHandle(process));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));

    // A window without _NET_WM_PID: the server knows its client (this process). A gone
    // window, a gone process, a closed handle.
    Window plain = MakeWindow("plain", 0, 0, 10, 10);
    EXPECT_EQ(GetWindowThreadProcessId(plain, &pid), static_cast<DWORD>(getpid()));
    XDestroyWindow(m_pDisplay, plain);
    XSync(m_pDisplay, False);
    pid = 99;
    EXPECT_EQ(GetWindowThreadProcessId(plain, &pid), 0u);
    EXPECT_EQ(pid, 0u);
    EXPECT_EQ(OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(child)),
              INVALID_PROCESS_HANDLE);
    EXPECT_EQ(OpenProcess(PROCESS_TERMINATE, FALSE, 0), INVALID_PROCESS_HANDLE);
    EXPECT_FALSE(TerminateProcess(INVALID_PROCESS_HANDLE, 0));
}

// Topmost as the window manager specification has it, with this test in the manager's place:
// a request while the window is mapped, the state property itself while it is not.
TEST_F(WindowFunctionsTest, TopmostGoesThroughTheWindowManagerAndChildrenKeepTheirOrder)
{
    Atom state = XInternAtom(m_pDisplay, "_NET_WM_STATE", False);
    Atom above = XInternAtom(m_pDisplay, "_NET_WM_STATE_ABOVE", False);
    auto states = [&](Window w) {
        std::vector<Atom> atoms;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_pDisplay, w, state, 0, 16, False, XA_ATOM, &type, &format, &count,
                               &after, &data) == Success && data) {
            auto* list = reinterpret_cast<unsigned long*>(data);
            atoms.assign(list, list + count);
            XFree(data);
        }
        return atoms;
    };
    Window hidden = XCreateSimpleWindow(m_pDisplay, DefaultRootWindow(m_pDisplay), 0, 0, 40, 40, 0, 0, 0);
    XSync(m_pDisplay, False);
    EXPECT_TRUE(SetWindowPos(hidden, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_EQ(states(hidden), std::vector<Atom> {above});
    EXPECT_TRUE(SetWindowPos(hidden, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_TRUE(states(hidden).empty());

    Window shown = MakeWindow("shown", 0, 0, 40, 40);
    XSelectInput(m_pDisplay, DefaultRootWindow(m_pDisplay), SubstructureRedirectMask);
    XSync(m_pDisplay, False);
    EXPECT_TRUE(SetWindowPos(shown, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW));
    XEvent e {};
    bool asked = false;
    while (XPending(m_pDisplay) && !asked) {
        XNextEvent(m_pDisplay, &e);
        asked = e.type == ClientMessage && e.xclient.window == shown
            && e.xclient.message_type == state && e.xclient.data.l[0] == 1
            && static_cast<Atom>(e.xclient.data.l[1]) == above;
    }
    EXPECT_TRUE(asked);
    XSelectInput(m_pDisplay, DefaultRootWindow(m_pDisplay), 0);

    // Children from the top; the top one goes down when another is raised.
    Window parent = MakeWindow("parent", 0, 0, 200, 200);
    Window first = XCreateSimpleWindow(m_pDisplay, parent, 0, 0, 50, 50, 0, 0, 0);
    Window second = XCreateSimpleWindow(m_pDisplay, parent, 10, 10, 50, 50, 0, 0, 0);
    XMapWindow(m_pDisplay, second);
    XSync(m_pDisplay, False);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), second);
    EXPECT_EQ(GetWindow(second, GW_HWNDNEXT), first);
    EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), 0u);
    EXPECT_TRUE(SetWindowPos(first, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_EQ(GetWindow(parent, GW_CHILD), first);
    EXPECT_EQ(GetParent(first), parent);
    EXPECT_EQ(GetParent(parent), 0u);
    EXPECT_TRUE(IsWindowVisible(second));
    EXPECT_FALSE(IsWindowVisible(first));
    EXPECT_TRUE(InvalidateRect(second, nullptr, TRUE));
}

TEST(WindowFunctionsWithoutDisplay, EveryCallFails)
{
    testsupport::ScopedEnv noDisplay("DISPLAY", ":987");
    RECT r {};
    EXPECT_EQ(FindWindowA(nullptr, "x"), 0u);
    EXPECT_EQ(GetWindowThreadProcessId(1, nullptr), 0u);
    EXPECT_EQ(SetParent(1, 2), 0u);
    EXPECT_FALSE(MoveWindow(1, 0, 0, 10, 10, TRUE));
    EXPECT_FALSE(GetWindowRect(1, &r));
    EXPECT_FALSE(SetForegroundWindow(1));
    EXPECT_EQ(GetForegroundWindow(), 0u);
}

}  // namespace
