#include "app/CommandLine.h"
#include "app/VantorelApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // --help, --version and their kind answer without a window, so without a display too.
    {
        CVantorelCommandLine commandLine;
        commandLine.Parse(argc, argv);
        if (std::optional<int> status = commandLine.RunImmediate())
            return *status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("vantorel");
    QApplication::setDesktopFileName("vantorel");
    return theApp.InitInstance(argc, argv);
}
