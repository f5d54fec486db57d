#pragma once
// The application object: starts COM, registers or serves the automation class, and runs the
// main window. The program's lifetime is the main window's modal loop.
#include <memory>

class CVantorelDlg;
namespace platform {
class COleObjectFactory;
}

class CVantorelApp {
public:
    CVantorelApp();
    ~CVantorelApp();

    // Runs the whole program; returns its exit status. Needs a QApplication.
    int InitInstance(int argc, const char* const* argv);

    // The main window while it runs, else null.
    CVantorelDlg* m_pMainWnd = nullptr;

    // The automation class of the running program.
    platform::COleObjectFactory& GetFactory();

private:
    std::unique_ptr<platform::COleObjectFactory> m_pFactory;
};

// The one application object.
extern CVantorelApp theApp;
