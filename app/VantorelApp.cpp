#include "app/VantorelApp.h"

#include "app/CommandLine.h"
#include "app/ProgramRuntime.h"
#include "app/VantorelDlg.h"
#include "app/VantorelDlgAutoProxy.h"
#include "dvd/BurnDlg.h"
#include "platform/automation/CommandLineInfo.h"
#include "platform/automation/OleApp.h"
#include "platform/automation/OleObjectFactory.h"
#include "platform/shell/Places.h"
#include "platform/com/ComBase.h"
#include "platform/ui/MessageBox.h"

#include <QMetaObject>

#include <cstdio>

using namespace platform;

CVantorelApp theApp;

CVantorelApp::CVantorelApp() = default;
CVantorelApp::~CVantorelApp() = default;

COleObjectFactory& CVantorelApp::GetFactory()
{
    if (!m_pFactory)
        m_pFactory = std::make_unique<COleObjectFactory>(CLSID_VantorelApplication, kVantorelProgId,
                                                         [] { return std::make_unique<CVantorelDlgAutoProxy>(); });
    return *m_pFactory;
}

int CVantorelApp::InitInstance(int argc, const char* const* argv)
{
    SetAppName("Vantorel");
    CVantorelCommandLine commandLine;
    commandLine.Parse(argc, argv);
    if (std::optional<int> status = commandLine.EndBeforeWindow())
        return *status;
    if (!StartProgramRuntime())
        return 1;

    CCommandLineInfo cmdInfo;
    cmdInfo.ParseCommandLine(argc, argv);
    if (cmdInfo.m_bRunEmbedded || cmdInfo.m_bRunAutomated) {
        // Started to serve a client: not under the user's control.
        AfxOleSetUserCtrl(false);
        if (!GetFactory().Register())
            std::fprintf(stderr, "vantorel: %s could not be offered on the session bus\n", kVantorelProgId);
    } else if (!GetFactory().UpdateRegistry(GetModuleFileName())) {
        std::fprintf(stderr, "vantorel: the registry entries of %s could not be written\n", kVantorelProgId);
    }

    {
        // The burn window is one object for the whole run: the recording window keeps its
        // settings and opens it again for each burn.
        CBurnDlg burnDlg;
        CVantorelDlg dlg;
        m_pMainWnd = &dlg;
        // "Open with" and the command line name the presentations to record.
        if (!commandLine.GetFiles().empty())
            dlg.OfferFiles(commandLine.GetFiles());
        // When the last client has gone from a program COM started, the window closes.
        AfxOleSetReleaseAllHandler([&dlg] {
            QMetaObject::invokeMethod(&dlg, [&dlg] { dlg.OnSysCommand(SC_CLOSE); }, Qt::QueuedConnection);
        });
        dlg.DoModal();
        AfxOleSetReleaseAllHandler({});
        // The automation objects point at the window: the factory stops, gives its name up and
        // releases them while the window still exists.
        m_pFactory.reset();
        m_pMainWnd = nullptr;
    }
    CoUninitialize();
    return 0;
}
