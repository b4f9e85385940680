#include "RunCommandController.h"

#include "BottleCollection.h"
#include "BottleSortFilterModel.h"
#include "CommonLoggingPresets.h"
#include "DebugChannelFormatter.h"
#include "FileManagerAdditions.h"
#include "StringAdditions.h"
#include "TSApplication.h"
#include "TSLog.h"
#include "TSSetupLib.h"
#include "TSTask.h"
#include "WindowAdditions.h"

#include "ui_RunCommand.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>

namespace {

QString withoutWhitespace(const QString& text) {
    initCharacterSets();
    return stringByRemovingCharactersInSet(text, TSCharacterSet::whitespaceAndNewlineSet());
}

// "base n" plus the extension (when there is one) plus the further suffix.
QString numberedName(const QFileInfo& path, int number, const QString& suffix) {
    QString name = path.path() + QLatin1Char('/') + path.completeBaseName() +
                   QStringLiteral(" %1").arg(number);
    if (!path.suffix().isEmpty())
        name += QLatin1Char('.') + path.suffix();
    return name + suffix;
}

QString firstFreeName(const QString& wanted, const QString& suffix) {
    QString name = wanted + suffix;
    const QFileInfo path(wanted);
    for (int number = 2; QFileInfo::exists(name); ++number)
        name = numberedName(path, number, suffix);
    return name;
}

} // namespace

// -- CommandCompletion ------------------------------------------------------------------------

void CommandCompletion::outputRead(const QByteArray& output) {
    if (outputDone_)
        return;
    output_ = output;
    outputDone_ = true;
    check();
}

void CommandCompletion::errorRead(const QByteArray& error) {
    if (errorDone_)
        return;
    error_ = error;
    errorDone_ = true;
    check();
}

void CommandCompletion::terminated() {
    terminated_ = true;
    check();
}

void CommandCompletion::check() {
    if (outputDone_ && errorDone_ && terminated_ && !completed_) {
        completed_ = true;
        complete_();
    }
}

// -- RunCommandController ---------------------------------------------------------------------

// One command on its way: its task stays alive until the command has finished, whatever runs
// after it.
struct RunCommandController::Run {
    QString command;
    QString logFilePath; // the wanted log, or empty
    QString logFileName; // the temporary log
    TSTask* task = nullptr;
    QByteArray output, error;
    std::unique_ptr<CommandCompletion> completion;
};

RunCommandController::RunCommandController(QObject* parent) : TSWindowController(nullptr, parent) {
    bottleArray_ = new BottleSortFilterModel(this);
    bottleArray_->setSourceModel(BottleCollection::sharedCollection());
    bottleArray_->setOnlyBottlesThatCanRunCommands(true);
}

RunCommandController* RunCommandController::initWithFileToRun(const QString& path,
                                                              QObject* parent) {
    auto* controller = new RunCommandController(parent);
    controller->setCommand(QLatin1Char('"') + path + QLatin1Char('"'));
    return controller;
}

RunCommandController::~RunCommandController() = default;

QStringList RunCommandController::argumentsFor(const Request& request) {
    QStringList arguments = {QStringLiteral("--bottle"),
                             request.bottleName.isEmpty() ? QStringLiteral("default")
                                                          : request.bottleName,
                             QStringLiteral("--new-console")};
    if (!request.logFileName.isEmpty()) {
        arguments << QStringLiteral("--verbose") << QStringLiteral("--ts-log")
                  << (request.logFileOpened ? QStringLiteral("-") : request.logFileName);
    }
    if (!request.channels.isEmpty())
        arguments << QStringLiteral("--debugmsg") << request.channels;
    const TSPyObject utils = TSSetupLib::tsUtilsClass();
    const QStringList words = request.command.isEmpty()
                                  ? QStringList()
                                  : utils.call("cmdLineToArgv_", {request.command}).toStringList();
    if (!words.isEmpty()) {
        const QString folder = utils.call("dirname_", {words.first()}).toString();
        if (!folder.isEmpty())
            arguments << QStringLiteral("--workdir") << folder;
    }
    arguments << QStringLiteral("--");
    return arguments + words;
}

RunCommandController::Request RunCommandController::currentRequest() const {
    Request request;
    request.command = command_;
    if (!selectedBottleIndexes_.isEmpty())
        request.bottleName = bottleArray_->index(selectedBottleIndexes_.first(), 0)
                                 .data(BottleCollection::NameRole)
                                 .toString();
    // Channels only go with a log file.
    if (keepLogFile_ && !logFilePath_.isEmpty() && !extraLogOptions_.isEmpty())
        request.channels = withoutWhitespace(extraLogOptions_);
    return request;
}

QString RunCommandController::temporaryLogName(const QString& logFilePath) {
    return firstFreeName(logFilePath, QStringLiteral(".partial"));
}

QString RunCommandController::finalLogName(const QString& logFilePath) {
    return firstFreeName(logFilePath, QString());
}

QString RunCommandController::channelsWithPreset(const QString& channels,
                                                 const QStringList& preset) {
    const QString current = withoutWhitespace(channels);
    const QStringList pieces = current.split(QLatin1Char(','));
    QStringList additions;
    for (const QString& channel : preset) {
        if (!pieces.contains(channel))
            additions << channel;
    }
    if (additions.isEmpty())
        return channels;
    QString result = current;
    if (!result.isEmpty() && !result.endsWith(QLatin1Char(',')))
        result += QLatin1Char(',');
    return result + additions.join(QLatin1Char(','));
}

void RunCommandController::setCommand(const QString& command) {
    const QString decomposed = command.normalized(QString::NormalizationForm_D);
    if (decomposed == command_)
        return;
    const bool couldRun = canRun();
    command_ = decomposed;
    if (commandField_ && commandField_->text().normalized(QString::NormalizationForm_D) != command_)
        commandField_->setText(command_);
    Q_EMIT commandChanged();
    if (canRun() != couldRun)
        Q_EMIT canRunChanged();
    refreshControls();
}

void RunCommandController::setKeepLogFile(bool keep) {
    if (keep == keepLogFile_)
        return;
    keepLogFile_ = keep;
    Q_EMIT keepLogFileChanged();
    Q_EMIT enableLoggingChannelsControlsChanged();
    refreshControls();
}

void RunCommandController::setExtraLogOptions(const QString& channels) {
    if (channels == extraLogOptions_)
        return;
    extraLogOptions_ = channels;
    if (channelField_ && channelField_->text() != channels)
        channelField_->setText(channels);
    Q_EMIT extraLogOptionsChanged();
}

void RunCommandController::setRunningCommands(int count) {
    const bool wasRunning = commandRunning();
    runningCommands_ = count;
    if (commandRunning() != wasRunning) {
        Q_EMIT commandRunningChanged();
        Q_EMIT enableLoggingChannelsControlsChanged();
    }
    refreshControls();
}

void RunCommandController::setSelectedBottle(const TSPyObject& bottle) {
    if (!(bottle == selectedBottle_)) {
        selectedBottle_ = bottle;
        Q_EMIT selectedBottleChanged();
    }
    QList<int> indexes;
    for (int row = 0; !bottle.isNull() && row < bottleArray_->rowCount(); ++row) {
        const QModelIndex index = bottleArray_->index(row, 0);
        if (index.data(BottleCollection::BottleRole).value<TSPyObject>() == bottle) {
            indexes = {row};
            break;
        }
    }
    setSelectedBottleIndexes(indexes);
}

void RunCommandController::setSelectedBottleIndexes(const QList<int>& indexes) {
    if (indexes == selectedBottleIndexes_)
        return;
    selectedBottleIndexes_ = indexes;
    Q_EMIT selectedBottleIndexesChanged();
    if (bottles_ && bottles_->currentIndex() != (indexes.isEmpty() ? -1 : indexes.first()))
        bottles_->setCurrentIndex(indexes.isEmpty() ? -1 : indexes.first());
    setSelectedBottle(indexes.isEmpty() ? TSPyObject()
                                        : bottleArray_->index(indexes.first(), 0)
                                              .data(BottleCollection::BottleRole)
                                              .value<TSPyObject>());
}

QWidget* RunCommandController::loadWindow() {
    auto* window = new QWidget;
    Ui::RunCommand form;
    form.setupUi(window);
    bottles_ = form.bottles;
    commandField_ = form.command;
    channelField_ = form.extraLogOptions;
    channelPresets_ = form.channelPresets;
    keepLogFileBox_ = form.keepLogFile;
    clearButton_ = form.clearLoggingChannels;
    runButton_ = form.run;

    bottles_->setModel(bottleArray_);
    bottles_->setCurrentIndex(selectedBottleIndexes_.isEmpty() ? -1
                                                               : selectedBottleIndexes_.first());
    connect(bottles_, &QComboBox::currentIndexChanged, this, [this](int row) {
        setSelectedBottleIndexes(row < 0 ? QList<int>() : QList<int>{row});
    });
    commandField_->setText(command_);
    connect(commandField_, &QLineEdit::textEdited, this, &RunCommandController::setCommand);
    form.keepLogFile->setChecked(keepLogFile_);
    connect(form.keepLogFile, &QCheckBox::toggled, this, &RunCommandController::setKeepLogFile);
    formatter_ = new DebugChannelFormatter(this);
    formatter_->attachTo(channelField_);
    channelField_->setText(extraLogOptions_);
    connect(channelField_, &QLineEdit::textChanged, this,
            &RunCommandController::setExtraLogOptions);
    connect(form.clearLoggingChannels, &QPushButton::clicked, this,
            &RunCommandController::clearLoggingChannels);
    connect(form.browseForCommand, &QPushButton::clicked, this,
            &RunCommandController::browseForCommand);
    connect(form.run, &QPushButton::clicked, this, &RunCommandController::runCommandPressed);
    return window;
}

void RunCommandController::windowDidLoad() {
    TSWindowController::windowDidLoad();
    // The presets by name as file browsers sort, each with its channels sorted the same way.
    auto* menu = new QMenu(channelPresets_);
    QStringList names = CommonLoggingPresets().keys();
    std::sort(names.begin(), names.end(), localizedStandardLessThan);
    for (const QString& name : names) {
        QStringList channels = CommonLoggingPresets().value(name);
        std::sort(channels.begin(), channels.end(), localizedStandardLessThan);
        QAction* item = menu->addAction(QStringLiteral("    ") + name);
        item->setData(channels);
        item->setToolTip(channels.join(QLatin1Char(',')));
        connect(item, &QAction::triggered, this,
                [this, channels] { addLoggingChannels(channels); });
    }
    menu->setToolTipsVisible(true);
    channelPresets_->setMenu(menu);
    commandField_->setFocus();
    refreshControls();
}

void RunCommandController::refreshControls() {
    if (!runButton_)
        return;
    runButton_->setEnabled(canRun());
    for (QWidget* control : {static_cast<QWidget*>(channelField_),
                             static_cast<QWidget*>(channelPresets_), clearButton_})
        control->setEnabled(enableLoggingChannelsControls());
}

void RunCommandController::addLoggingChannels(const QStringList& preset) {
    setExtraLogOptions(channelsWithPreset(extraLogOptions_, preset));
}

void RunCommandController::browseForCommand() {
    QString folder;
    if (!selectedBottleIndexes_.isEmpty())
        folder = bottleArray_->index(selectedBottleIndexes_.first(), 0)
                     .data(BottleCollection::SystemDriveRole)
                     .toString();
    if (folder.isEmpty())
        folder = TSApplication::sharedApplication()->tesseraRoot() + QStringLiteral("/bin");
    auto* panel = new QFileDialog(window(), tr("Please choose a file to run."), folder);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString& path) {
        setCommand(QLatin1Char('"') + path + QLatin1Char('"'));
    });
    panel->open();
}

void RunCommandController::runCommandPressed() {
    if (!canRun())
        return;
    if (keepLogFile_)
        browseForLogFile();
    else
        runCommand();
}

void RunCommandController::browseForLogFile() {
    auto* panel = new QFileDialog(window(), tr("Specify where to save the log file."));
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setNameFilter(QStringLiteral("*.tslog"));
    panel->setDefaultSuffix(QStringLiteral("tslog"));
    panel->selectFile(QStringLiteral("newlog.tslog"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString& path) {
        logFilePath_ = stringInFileSystemRepresentationForm(path);
        if (QFileInfo::exists(logFilePath_))
            TSFileManager::ts_fileManager().removeItemAtPath(logFilePath_);
        runCommand();
    });
    panel->open();
}

void RunCommandController::runCommand() {
    setRunningCommands(runningCommands_ + 1);
    auto run = std::make_shared<Run>();
    run->command = command_;

    Request request = currentRequest();
    if (keepLogFile_ && !logFilePath_.isEmpty()) {
        run->logFilePath = logFilePath_;
        run->logFileName = temporaryLogName(logFilePath_);
        request.logFileName = run->logFileName;
        QFile log(run->logFileName);
        if (log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            log.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ReadGroup | QFileDevice::ReadOther);
            const QString bottle =
                request.bottleName.isEmpty() ? QStringLiteral("default") : request.bottleName;
            log.write(QStringLiteral("Running command: %1\n").arg(run->command).toUtf8());
            log.write(QStringLiteral("Bottle: %1\nDebug channels: %2\n\n")
                          .arg(bottle, request.channels)
                          .toUtf8());
            log.write(TSApplication::sharedApplication()->systemInformationString().toUtf8());
            request.logFileOpened = true;
        }
    }

    run->task = new TSTask(this);
    TSTask* task = run->task;
    task->setLaunchPath(TSApplication::sharedApplication()->tesseraRoot() +
                        QStringLiteral("/bin/tsstart"));
    QVariantList arguments;
    for (const QString& argument : argumentsFor(request))
        arguments << argument;
    task->setArguments(arguments);
    if (request.logFileOpened)
        (*task)->setStandardErrorFile(run->logFileName, QIODevice::Append);

    // The completion rule sees the three events in whatever order they come.
    const std::weak_ptr<Run> weakRun = run;
    run->completion = std::make_unique<CommandCompletion>([this, weakRun] {
        if (const std::shared_ptr<Run> finished = weakRun.lock())
            commandComplete(finished);
    });
    if (request.logFileOpened)
        run->completion->errorRead(QByteArray());
    QProcess* process = task->realTask();
    connect(process, &QProcess::readyReadStandardOutput, this,
            [run, process] { run->output += process->readAllStandardOutput(); });
    connect(process, &QProcess::readyReadStandardError, this,
            [run, process] { run->error += process->readAllStandardError(); });
    connect(process, &QProcess::readChannelFinished, this, [run, process] {
        run->output += process->readAllStandardOutput();
        run->completion->outputRead(run->output);
    });
    connect(task, &TSTask::taskDidTerminate, this, [run, process] {
        run->output += process->readAllStandardOutput();
        run->error += process->readAllStandardError();
        run->completion->outputRead(run->output);
        run->completion->errorRead(run->error);
        run->completion->terminated();
    });
    QString failure;
    if (!task->launch(&failure)) {
        // Told like a shell tells a program that cannot run.
        TSLog("RunCommandController: tsstart did not start: %s", qPrintable(failure));
        run->error = failure.toUtf8();
        showResults(run->command, 127, QByteArray(), run->error);
        task->deleteLater();
        setRunningCommands(runningCommands_ - 1);
        Q_EMIT commandCompleted(127);
    }
}

void RunCommandController::commandComplete(const std::shared_ptr<Run>& run) {
    const int status = run->task->terminationStatus();
    if (status != 0)
        showResults(run->command, status, run->completion->output(), run->completion->error());
    setRunningCommands(runningCommands_ - 1);
    if (!run->logFilePath.isEmpty())
        QFile::rename(run->logFileName, finalLogName(run->logFilePath)); // failure: it stays
    run->task->deleteLater();
    Q_EMIT commandCompleted(status);
}

void RunCommandController::showResults(const QString& command, int status, const QByteArray& output,
                                       const QByteArray& error) {
    auto* alert = new QMessageBox(window());
    alert->setText(tr("Command results"));
    alert->setInformativeText(
        tr("The command %1 returned %2.").arg(command, QString::number(status)));
    alert->addButton(tr("OK"), QMessageBox::AcceptRole);
    const QString outputText = QString::fromUtf8(output);
    const QString errorText = QString::fromUtf8(error);
    if (!outputText.isEmpty() || !errorText.isEmpty()) {
        QString detail;
        if (!outputText.isEmpty()) {
            detail += tr("Command output:") + QLatin1Char('\n') + outputText;
            if (!errorText.isEmpty())
                detail += QStringLiteral("\n\n");
        }
        if (!errorText.isEmpty())
            detail += tr("Command error text:") + QLatin1Char('\n') + errorText;
        // Long lines stay whole: the text scrolls instead of wrapping.
        auto* text = new QPlainTextEdit(detail);
        text->setObjectName(QStringLiteral("failAlertTextView"));
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        text->setMinimumSize(480, 200);
        if (auto* grid = qobject_cast<QGridLayout*>(alert->layout()))
            grid->addWidget(text, grid->rowCount(), 0, 1, grid->columnCount());
    }
    results_ = alert;
    ts_beginSheetModalForWindow(alert, window(), nullptr);
}
