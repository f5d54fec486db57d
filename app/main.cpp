#include "app/RepairCommand.h"
#include "app/VantorelApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (IsRepairCommand(argc, argv))  // no window, no display needed
        return RunRepairCommand(argc, argv, stdout, stderr);
    QApplication app(argc, argv);
    QApplication::setApplicationName("vantorel");
    QApplication::setDesktopFileName("vantorel");
    return theApp.InitInstance(argc, argv);
}
