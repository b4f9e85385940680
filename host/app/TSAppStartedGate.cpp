#include "TSAppStartedGate.h"

#include <QCoreApplication>
#include <QMutexLocker>

TSAppStartedGate::TSAppStartedGate(QObject* parent) : QObject(parent) {
    // Deferred work runs on the main thread, whoever created the gate.
    if (QCoreApplication::instance())
        moveToThread(QCoreApplication::instance()->thread());
}

void TSAppStartedGate::post(std::function<void()> operation) {
    // Posted events keep their order, so operations run in the order they were posted.
    QMetaObject::invokeMethod(this, std::move(operation), Qt::QueuedConnection);
}

void TSAppStartedGate::addOperation(std::function<void()> operation) {
    QMutexLocker lock(&mutex_);
    if (started_)
        post(std::move(operation));
    else
        waiting_.push_back(std::move(operation));
}

void TSAppStartedGate::start() {
    QMutexLocker lock(&mutex_);
    if (started_)
        return;
    started_ = true;
    for (auto& operation : waiting_)
        post(std::move(operation));
    waiting_.clear();
}

bool TSAppStartedGate::isStarted() const {
    QMutexLocker lock(&mutex_);
    return started_;
}
