// A small automation client for the integration tests: creates one Vantorel.Application object
// on the session bus (starting the program if the bus must), or through the bus name given as its
// argument; prints the object's path and the unique name of the program that made it, then obeys
// lines on standard input: "release" releases the object, "quit" leaves the bus without releasing.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusObjectPath>
#include <QSocketNotifier>

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "no session bus\n");
        return 2;
    }
    QDBusInterface factory(argc > 1 ? argv[1] : "Vantorel.Application", "/", "Vantorel.IClassFactory", bus);
    factory.setTimeout(30000);
    QDBusMessage message = factory.call("CreateInstance");
    QDBusReply<QDBusObjectPath> reply = message;
    if (!reply.isValid()) {
        std::fprintf(stderr, "CreateInstance failed: %s\n", qPrintable(reply.error().message()));
        return 3;
    }
    // The object lives in the program that answered; the class's name may already be free for
    // the next client.
    const QString server = message.service();
    const QString path = reply.value().path();
    std::printf("%s\n%s\n", qPrintable(path), qPrintable(server));
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line) || line == "quit") {
            app.exit(0);
            return;
        }
        if (line == "release") {
            QDBusInterface object(server, path, "Vantorel.IVantorel", bus);
            QDBusMessage result = object.call("Release");
            std::printf("%s\n", result.type() == QDBusMessage::ErrorMessage ? "error" : "released");
            std::fflush(stdout);
        }
    });
    return app.exec();
}
