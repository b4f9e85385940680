#include "TSApplication.h"
#include "TSServerOEM.h"
#include "helperServer.h"

#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    TSApplication application(argc, argv);
    QList<TSLaunchEvent> events;
    QString error;
    if (!TSApplication::parseLaunchArguments(application.arguments().mid(1), &events, &error)) {
        std::fprintf(stderr, "MacHost: %s\n", error.toLocal8Bit().constData());
        std::fprintf(stderr, "Usage: MacHost [--bottle NAME] [FILE or URL]...\n");
        return 2;
    }
    // The host runs already: it takes the documents and URLs, or comes to the front.
    if (handOverToRunningHost(events, &error)) {
        if (error.isEmpty())
            return 0;
        std::fprintf(stderr, "MacHost: the running host did not take the request: %s\n",
                     error.toLocal8Bit().constData());
        return 1;
    }
    application.setLaunchEvents(events);
    TSServerOEM server;
    application.setDelegate(&server);
    QTimer::singleShot(0, &application, &TSApplication::finishLaunching);
    return application.exec();
}
