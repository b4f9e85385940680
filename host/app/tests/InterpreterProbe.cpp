// Starts the host's application object with the bundle given as the first argument, runs the
// scripting layer's start-up, and reports on standard output: every alert shown (dismissed
// with its default button), whether start-up succeeded, and whether the application then
// terminated.
#include "TSApplication.h"
#include "TSSetupLib.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: interpreter_probe BUNDLE\n");
        return 2;
    }
    TSApplication application(argc, argv, QString::fromLocal8Bit(argv[1]));

    QTimer dismiss;
    QObject::connect(&dismiss, &QTimer::timeout, [] {
        auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!alert)
            return;
        std::printf("ALERT %s\nINFORMATIVE %s\nBUTTON %s\n", alert->text().toUtf8().constData(),
                    alert->informativeText().toUtf8().constData(),
                    alert->defaultButton() ? alert->defaultButton()->text().toUtf8().constData()
                                           : "");
        std::fflush(stdout);
        if (alert->defaultButton())
            alert->defaultButton()->click();
    });
    dismiss.start(20);

    const bool ready = TSSetupLib::initialize();
    std::printf("READY %s\n", ready ? "yes" : "no");
    std::fflush(stdout);
    if (!ready) {
        // A failed start-up asks the application to quit: it must, through its quit path.
        QTimer::singleShot(10000, &application, [] { QCoreApplication::exit(1); });
        application.exec();
        if (application.isTerminating())
            std::printf("TERMINATED\n");
    }
    return 0;
}
