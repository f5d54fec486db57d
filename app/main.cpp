#include "app/VantorelApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("vantorel");
    QApplication::setDesktopFileName("vantorel");
    return theApp.InitInstance(argc, argv);
}
