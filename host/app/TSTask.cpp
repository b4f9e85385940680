#include "TSTask.h"

#include <csignal>

namespace {

bool isNumber(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

// The argument texts handed to the process. Qt passes each argument to the child as its UTF-8
// bytes; a number is passed as its decimal text.
bool commandLineArguments(const QVariantList& arguments, QStringList* texts, QString* error) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QVariant& argument = arguments[i];
        if (argument.metaType() == QMetaType::fromType<TSTaskSpecialString>()) {
            texts->append(argument.value<TSTaskSpecialString>().realString());
        } else if (argument.typeId() == QMetaType::QString) {
            texts->append(argument.toString());
        } else if (isNumber(argument)) {
            texts->append(argument.toString());
        } else {
            if (error)
                *error = QStringLiteral("argument %1 is neither a string nor a number").arg(i);
            return false;
        }
    }
    return true;
}

} // namespace

TSTask::TSTask(QObject* parent) : TSTask(new QProcess, parent) {}

TSTask::TSTask(QProcess* task, QObject* parent) : QObject(parent), realTask_(task) {
    realTask_->setParent(this);
    termination_ =
        connect(realTask_, &QProcess::finished, this, &TSTask::tstaskObserveRealTaskTermination);
}

TSTask::~TSTask() {
    disconnect(termination_);
}

TSTask* TSTask::launchedTaskWithLaunchPath(const QString& path, const QVariantList& arguments,
                                           QString* error) {
    auto* task = new TSTask;
    task->setLaunchPath(path);
    task->setArguments(arguments);
    if (!task->launch(error)) {
        delete task;
        return nullptr;
    }
    return task;
}

QVariantList TSTask::argumentsWithStringsReplacedBySpecialStrings(const QVariantList& arguments) {
    QVariantList replaced;
    replaced.reserve(arguments.size());
    for (const QVariant& argument : arguments) {
        if (argument.typeId() == QMetaType::QString)
            replaced.append(QVariant::fromValue(TSTaskSpecialString(argument.toString())));
        else
            replaced.append(argument);
    }
    return replaced;
}

void TSTask::setArguments(const QVariantList& arguments) {
    arguments_ = argumentsWithStringsReplacedBySpecialStrings(arguments);
}

bool TSTask::launch(QString* error) {
    QStringList texts;
    if (!commandLineArguments(arguments_, &texts, error))
        return false;
    realTask_->setArguments(texts);
    realTask_->start();
    if (!realTask_->waitForStarted(-1)) {
        if (error)
            *error = realTask_->errorString();
        return false;
    }
    return true;
}

void TSTask::interrupt() {
    if (realTask_->processId() > 0)
        ::kill(pid_t(realTask_->processId()), SIGINT);
}

void TSTask::tstaskObserveRealTaskTermination() {
    disconnect(termination_);
    Q_EMIT taskDidTerminate(this);
}
