// A host process for the tests that hand a process over: runs the loader service for the
// product root given as the argument, prints the socket path, and quits when its standard
// input (kept aside, since a hand-over replaces descriptors 0 to 2) reaches end of stream.
// After quitting it reports whether the socket file was still there.
#include "WineLoader.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2)
        return 2;
    const int control = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 10);
    WineLoader* loader = WineLoader::initWithTesseraRoot(QString::fromLocal8Bit(argv[1]));
    if (!loader) {
        std::printf("no service\n");
        return 3;
    }
    const QByteArray path = loader->socketPath().toLocal8Bit();
    std::printf("%s\n", path.constData());
    std::fflush(stdout);

    QSocketNotifier notifier(control, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char byte;
        if (read(control, &byte, 1) <= 0)
            QCoreApplication::quit();
    });
    const int status = application.exec();
    std::printf("socket file after quit: %s\n",
                access(path.constData(), F_OK) == 0 ? "present" : "gone");
    std::fflush(stdout);
    delete loader;
    close(control);
    return status;
}
