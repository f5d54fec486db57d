#include "app/VantorelApp.h"
#include "app/VantorelDlg.h"
#include "app/VantorelDlgAutoProxy.h"
#include "platform/automation/OleApp.h"
#include "platform/com/ComBase.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/Interfaces.h"
#include "platform/com/Registry.h"
#include "platform/shell/Places.h"
#include "platform/ui/MessageBox.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

using namespace platform;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

class AppStartTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv registry {"VANTOREL_REGISTRY", dir.file("registry")};
    ScopedEnv log {"VANTOREL_LOG", dir.file("kvellog.txt")};
    ScopedEnv data {"XDG_DATA_HOME", dir.file("data")};
    // No session bus: serving as a local server must fail cleanly.
    ScopedEnv bus {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.file("no-bus")};
    std::vector<MessageBoxRequest> boxes;
    MessageBoxHandler old = SetMessageBoxHandler([this](const MessageBoxRequest& r) {
        boxes.push_back(r);
        return IDOK;
    });
    ~AppStartTest() override
    {
        SetMessageBoxHandler(old);
        AfxOleSetUserCtrl(true);
    }

    // Starts the program and closes its main window once it runs; tells what it saw.
    int RunAndClose(std::vector<const char*> args, bool* sawWindow = nullptr)
    {
        QTimer::singleShot(0, qApp, [sawWindow] {
            if (sawWindow)
                *sawWindow = theApp.m_pMainWnd && theApp.m_pMainWnd->isVisible() &&
                             theApp.m_pMainWnd->windowTitle() == "Tavrelin";
            if (theApp.m_pMainWnd)
                theApp.m_pMainWnd->OnSysCommand(SC_CLOSE);
        });
        args.insert(args.begin(), "vantorel");
        return theApp.InitInstance(static_cast<int>(args.size()), args.data());
    }
};

} // namespace

TEST_F(AppStartTest, UserStartWritesTheAutomationClassEntriesAndShowsTheWindow)
{
    bool sawWindow = false;
    EXPECT_EQ(RunAndClose({}, &sawWindow), 0);
    EXPECT_TRUE(sawWindow);
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(CoGetInitializeCount(), 0) << "COM is shut down again";
    IUnknown* graph = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&graph)), S_OK) << "the media graph is known";
    if (graph)
        graph->Release();

    const std::string clsid = "CLSID\\{1883B2AD-5FBE-4223-9797-AC1D0097E4D9}";
    std::string value;
    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, clsid + "\\LocalServer32"), ERROR_SUCCESS);
    key.QueryStringValue(nullptr, value);
    EXPECT_EQ(value, GetModuleFileName());
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, clsid + "\\ProgID"), ERROR_SUCCESS);
    key.QueryStringValue(nullptr, value);
    EXPECT_EQ(value, "Vantorel.Application");
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, "Vantorel.Application\\CLSID"), ERROR_SUCCESS);
    key.QueryStringValue(nullptr, value);
    EXPECT_EQ(value, "{1883B2AD-5FBE-4223-9797-AC1D0097E4D9}");

    std::string service = testsupport::ReadFile(dir.file("data/dbus-1/services/Vantorel.Application.service"));
    EXPECT_EQ(service, "[D-BUS Service]\nName=Vantorel.Application\nExec=" + GetModuleFileName() + " -Automation\n");
}

TEST_F(AppStartTest, ComStartWritesNothingAndStillShowsTheWindow)
{
    bool sawWindow = false;
    EXPECT_EQ(RunAndClose({"-Automation"}, &sawWindow), 0);
    EXPECT_TRUE(sawWindow);
    EXPECT_FALSE(std::filesystem::exists(dir.file("registry")));
    EXPECT_FALSE(AfxOleGetUserCtrl()) << "started by COM, not under the user's control";
    EXPECT_TRUE(boxes.empty());
}

TEST_F(AppStartTest, LastClientLeavingEndsAProgramComStarted)
{
    std::unique_ptr<CVantorelDlgAutoProxy> proxy;
    bool hiddenButAlive = false;
    QTimer::singleShot(0, qApp, [&] {
        proxy = std::make_unique<CVantorelDlgAutoProxy>(); // links to the main window
        theApp.m_pMainWnd->OnSysCommand(SC_CLOSE);
        hiddenButAlive = !theApp.m_pMainWnd->isVisible() && theApp.m_pMainWnd->IsInModalLoop();
        proxy.reset(); // last lock gone: the program closes by itself
    });
    const char* args[] = {"vantorel", "/Embedding"};
    EXPECT_EQ(theApp.InitInstance(2, args), 0);
    EXPECT_TRUE(hiddenButAlive);
    EXPECT_EQ(AfxOleGetLockCount(), 0);
}

TEST_F(AppStartTest, OleStartFailureIsShownAndEndsTheProgram)
{
    std::thread([&] {
        // A thread already in the other threading model cannot start OLE.
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const char* args[] = {"vantorel"};
        EXPECT_EQ(theApp.InitInstance(1, args), 1);
        CoUninitialize();
    }).join();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Failed to initialize OLE");
    EXPECT_EQ(boxes[0].caption, "Vantorel");
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_FALSE(std::filesystem::exists(dir.file("registry")));
}
