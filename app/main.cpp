#include "app/CommandLine.h"
#include "app/VantorelApp.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    // --help, --version and their kind answer without a window, so without a display too.
    {
        CVantorelCommandLine commandLine;
        commandLine.Parse(argc, argv);
        if (std::optional<int> status = commandLine.EndBeforeWindow())
            return *status;
        // Qt would abort with a plugin message that does not say what is missing.
        auto unset = [](const char* name) { return !std::getenv(name) || !*std::getenv(name); };
        if (unset("DISPLAY") && unset("WAYLAND_DISPLAY") && unset("QT_QPA_PLATFORM")) {
            std::fprintf(stderr, "vantorel: no display to open the window on (DISPLAY is not set); "
                                 "--record --headless records without one\n");
            return 1;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("vantorel");
    QApplication::setDesktopFileName("vantorel");
    return theApp.InitInstance(argc, argv);
}
