#include "TSApplication.h"

TSApplication::TSApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(QStringLiteral("Halcyon Imaging"));
    setApplicationName(QStringLiteral("MacHost"));
    setQuitOnLastWindowClosed(false);
}

void TSApplication::finishLaunching() {
    Q_EMIT applicationDidFinishLaunching();
    // The host quits when the last task it launched has exited; nothing has been launched.
    quit();
}
