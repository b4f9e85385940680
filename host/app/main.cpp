#include "TSApplication.h"
#include "TSServerOEM.h"

#include <QTimer>

int main(int argc, char** argv) {
    TSApplication application(argc, argv);
    TSServerOEM server;
    application.setDelegate(&server);
    QTimer::singleShot(0, &application, &TSApplication::finishLaunching);
    return application.exec();
}
