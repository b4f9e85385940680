#include "TSApplication.h"

#include <QTimer>

int main(int argc, char** argv) {
    TSApplication application(argc, argv);
    QTimer::singleShot(0, &application, &TSApplication::finishLaunching);
    return application.exec();
}
