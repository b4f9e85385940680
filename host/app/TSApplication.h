// The host's application object.
#pragma once

#include <QApplication>

class TSApplication : public QApplication {
    Q_OBJECT
public:
    TSApplication(int& argc, char** argv);

    // End of launching, run once the event loop is up.
    void finishLaunching();

Q_SIGNALS:
    void applicationDidFinishLaunching();
};
