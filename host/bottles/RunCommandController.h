// The Run Command window: runs any Windows command line in a chosen bottle through the
// product's tsstart tool, optionally with Wine debug channels and the whole debug output in a
// log file, and shows the command's output and error text when it fails.
#pragma once

#include "TSPyObject.h"
#include "TSWindowController.h"

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class BottleSortFilterModel;
class DebugChannelFormatter;
class QComboBox;
class QLineEdit;
class QToolButton;
class TSTask;

// The sheet after a command comes only once its output and error text are read to the end
// and the command has ended, in whatever order those three events arrive.
class CommandCompletion {
public:
    explicit CommandCompletion(std::function<void()> complete) : complete_(std::move(complete)) {}

    void outputRead(const QByteArray& output);
    void errorRead(const QByteArray& error);
    void terminated();

    const QByteArray& output() const { return output_; }
    const QByteArray& error() const { return error_; }

private:
    void check();

    std::function<void()> complete_;
    QByteArray output_, error_;
    bool outputDone_ = false, errorDone_ = false, terminated_ = false, completed_ = false;
};

class RunCommandController : public TSWindowController {
    Q_OBJECT
public:
    explicit RunCommandController(QObject* parent = nullptr);
    // The window with the file's path, in double quotes, as the command.
    static RunCommandController* initWithFileToRun(const QString& path, QObject* parent = nullptr);
    ~RunCommandController() override;

    // What tsstart is given for one run.
    struct Request {
        QString bottleName;  // empty: "default"
        QString logFileName; // the temporary log, or empty without a log file
        bool logFileOpened = false;
        QString channels;
        QString command;
    };
    static QStringList argumentsFor(const Request& request);
    // The window's bottle, channels and command (the log file is decided when it runs).
    Request currentRequest() const;
    // The log's name while the command runs: the wanted path plus ".partial", or the first
    // free "base n.ext.partial" for n = 2, 3, ...
    static QString temporaryLogName(const QString& logFilePath);
    // Its name at the end: the wanted path, or the first free "base n.ext".
    static QString finalLogName(const QString& logFilePath);
    // The channel text after adding a preset's channels that are not there yet.
    static QString channelsWithPreset(const QString& channels, const QStringList& preset);

    QString command() const { return command_; }
    // Stored in the canonically decomposed form.
    void setCommand(const QString& command);
    bool canRun() const { return !command_.isEmpty(); }
    bool keepLogFile() const { return keepLogFile_; }
    void setKeepLogFile(bool keep);
    QString logFilePath() const { return logFilePath_; }
    void setLogFilePath(const QString& path) { logFilePath_ = path; }
    QString extraLogOptions() const { return extraLogOptions_; }
    void setExtraLogOptions(const QString& channels);
    bool commandRunning() const { return runningCommands_ > 0; }
    bool enableLoggingChannelsControls() const { return keepLogFile_ && !commandRunning(); }

    // The bottle chosen and its row among the offered bottles, kept in step.
    TSPyObject selectedBottle() const { return selectedBottle_; }
    void setSelectedBottle(const TSPyObject& bottle);
    QList<int> selectedBottleIndexes() const { return selectedBottleIndexes_; }
    void setSelectedBottleIndexes(const QList<int>& indexes);
    // The offered bottles: those that can run commands, the default first, then by name.
    BottleSortFilterModel* bottleArray() const { return bottleArray_; }

    // Actions.
    void browseForCommand();
    void runCommandPressed();
    void browseForLogFile();
    void runCommand();
    void addLoggingChannels(const QStringList& preset);
    void clearLoggingChannels() { setExtraLogOptions(QString()); }

    // The last results sheet while it exists, or none.
    QMessageBox* resultsSheet() const { return results_; }

Q_SIGNALS:
    void commandChanged();
    void canRunChanged();
    void keepLogFileChanged();
    void extraLogOptionsChanged();
    void commandRunningChanged();
    void enableLoggingChannelsControlsChanged();
    void selectedBottleChanged();
    void selectedBottleIndexesChanged();
    // A run has ended (after its sheet, if any, was put up) with the command's status.
    void commandCompleted(int status);

protected:
    QWidget* loadWindow() override;
    void windowDidLoad() override;

private:
    struct Run;
    void commandComplete(const std::shared_ptr<Run>& run);
    void setRunningCommands(int count);
    void showResults(const QString& command, int status, const QByteArray& output,
                     const QByteArray& error);
    void refreshControls();

    BottleSortFilterModel* bottleArray_ = nullptr;
    TSPyObject selectedBottle_;
    QList<int> selectedBottleIndexes_;
    bool keepLogFile_ = false;
    QString logFilePath_;
    QString extraLogOptions_;
    QString command_;
    int runningCommands_ = 0;

    QComboBox* bottles_ = nullptr;
    QLineEdit* commandField_ = nullptr;
    QLineEdit* channelField_ = nullptr;
    QToolButton* channelPresets_ = nullptr;
    QWidget* keepLogFileBox_ = nullptr;
    QWidget* clearButton_ = nullptr;
    QWidget* runButton_ = nullptr;
    DebugChannelFormatter* formatter_ = nullptr;
    QPointer<QMessageBox> results_;
};
