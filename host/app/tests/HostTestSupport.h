// Helpers of the host's application tests: the main loop, standard error, the environment,
// the host's modal alerts, and real Wine prefixes with a display for their windows.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QList>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>
#include <QVariantMap>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <ostream>

#include <unistd.h>

// Readable failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& string, std::ostream* stream) {
    *stream << '"' << string.toStdString() << '"';
}
QT_END_NAMESPACE

// A delegate (TSServer or one of its kind) that records the commands it would start, with
// their launch arguments, instead of starting them.
template <class Server> class CommandRecorder : public Server {
public:
    void forkExecCommandWithArgs(const QString& command, const QVariantMap& args) override {
        commands << command;
        arguments << args;
    }
    QStringList commands;
    QList<QVariantMap> arguments;
};

// Runs the main loop until nothing is left to do right now.
inline void runPendingEvents() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Runs the main loop until the condition holds or the time is up; whether it holds.
inline bool runUntil(const std::function<bool()>& condition, int milliseconds = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// Captures what is written to standard error while it lives.
class StderrCapture {
public:
    StderrCapture() {
        file_.open();
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        dup2(file_.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    QString text() {
        restore();
        file_.seek(0);
        return QString::fromUtf8(file_.readAll());
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
    }
    QTemporaryFile file_;
    int saved_ = -1;
};

// Unsets the variables and puts back what they were.
class EnvironmentGuard {
public:
    explicit EnvironmentGuard(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            saved_.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
            qunsetenv(name);
        }
    }
    ~EnvironmentGuard() {
        for (const auto& entry : saved_) {
            if (entry.set)
                qputenv(entry.name, entry.value);
            else
                qunsetenv(entry.name);
        }
    }

private:
    struct Saved {
        const char* name;
        bool set;
        QByteArray value;
    };
    QList<Saved> saved_;
};

// Answers every modal alert with its default button while it lives, and keeps its texts.
class AlertCatcher {
public:
    AlertCatcher() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!alert)
                return;
            texts << alert->text() << alert->informativeText();
            if (alert->defaultButton())
                texts << alert->defaultButton()->text();
            ++count;
            if (alert->defaultButton())
                alert->defaultButton()->click();
            else
                alert->reject();
        });
        timer_.start(20);
    }
    int count = 0;
    QStringList texts;

private:
    QTimer timer_;
};

// The environment of Wine programs of the prefix: no debug output, no installer dialogs and no
// entries in the user's desktop menus.
inline QProcessEnvironment wineEnvironment(const QString& prefix) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("WINEPREFIX", prefix);
    environment.insert("WINEDEBUG", "-all");
    environment.insert("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d");
    environment.remove("PYTHONPATH");
    return environment;
}

// Makes a Wine prefix the way the host makes bottles (wineboot, then its server's end);
// whether that worked.
inline bool makeWinePrefix(const QString& prefix) {
    QProcess boot;
    boot.setProcessEnvironment(wineEnvironment(prefix));
    boot.setStandardOutputFile(QProcess::nullDevice());
    boot.setStandardErrorFile(QProcess::nullDevice());
    boot.start("sh", {"-c", "mkdir -p \"$WINEPREFIX\" && wineboot --init && wineserver -w"});
    return boot.waitForFinished(300000) && boot.exitStatus() == QProcess::NormalExit &&
           boot.exitCode() == 0;
}

// A virtual display on the given number for Wine's windows, when the tests have no display;
// none otherwise. Ended with endVirtualDisplay.
inline QProcess* startVirtualDisplayIfNone(const char* number) {
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return nullptr;
    auto* display = new QProcess;
    display->start("Xvfb", {number, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    display->waitForStarted();
    qputenv("DISPLAY", number);
    QThread::sleep(1);
    return display;
}

inline void endVirtualDisplay(QProcess*& display) {
    if (!display)
        return;
    display->terminate();
    display->waitForFinished();
    delete display;
    display = nullptr;
}
