// The host's child process: a QProcess whose string arguments reach the child as their plain
// UTF-8 bytes and whose termination is announced once, with the wrapper as sender.
#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QVariantList>

// A string argument; the child gets its UTF-8 form, not a file-system (decomposed) form.
class TSTaskSpecialString {
public:
    TSTaskSpecialString() = default;
    explicit TSTaskSpecialString(const QString& string) : realString_(string) {}

    const QString& realString() const { return realString_; }
    QByteArray fileSystemRepresentation() const { return realString_.toUtf8(); }

    bool operator==(const TSTaskSpecialString& other) const {
        return realString_ == other.realString_;
    }

private:
    QString realString_;
};
Q_DECLARE_METATYPE(TSTaskSpecialString)

class TSTask : public QObject {
    Q_OBJECT
public:
    // A new process of its own.
    explicit TSTask(QObject* parent = nullptr);
    // Wraps the given process and takes it over.
    explicit TSTask(QProcess* task, QObject* parent = nullptr);
    ~TSTask() override;

    // Starts the path with the arguments; none (and the reason in error) when it cannot run.
    static TSTask* launchedTaskWithLaunchPath(const QString& path, const QVariantList& arguments,
                                              QString* error = nullptr);
    // Strings become TSTaskSpecialStrings; every other element is kept as it is.
    static QVariantList argumentsWithStringsReplacedBySpecialStrings(const QVariantList& arguments);

    // Every operation the wrapper does not offer itself acts on the wrapped process.
    QProcess* realTask() const { return realTask_; }
    QProcess* operator->() const { return realTask_; }

    QString launchPath() const { return realTask_->program(); }
    void setLaunchPath(const QString& path) { realTask_->setProgram(path); }
    QVariantList arguments() const { return arguments_; }
    void setArguments(const QVariantList& arguments);
    QString currentDirectoryPath() const { return realTask_->workingDirectory(); }
    void setCurrentDirectoryPath(const QString& path) { realTask_->setWorkingDirectory(path); }

    // Starts the process; false (and the reason in error) when it cannot run.
    bool launch(QString* error = nullptr);
    void terminate() { realTask_->terminate(); }
    void interrupt();
    bool isRunning() const { return realTask_->state() != QProcess::NotRunning; }
    qint64 processIdentifier() const { return realTask_->processId(); }
    // The exit code, or the signal number when a signal ended the process.
    int terminationStatus() const { return realTask_->exitCode(); }
    QProcess::ExitStatus terminationReason() const { return realTask_->exitStatus(); }
    void waitUntilExit() { realTask_->waitForFinished(-1); }

Q_SIGNALS:
    // Sent once, after the process has ended.
    void taskDidTerminate(TSTask* task);

private:
    void tstaskObserveRealTaskTermination();

    QProcess* realTask_;
    QVariantList arguments_;
    QMetaObject::Connection termination_;
};
