// The app-started gate: work handed to it waits until the gate is started, then runs on the
// main thread in the order it was handed over; work handed over afterwards runs at the next
// turn of the main loop.
#pragma once

#include <QMutex>
#include <QObject>

#include <functional>
#include <vector>

class TSAppStartedGate : public QObject {
    Q_OBJECT
public:
    explicit TSAppStartedGate(QObject* parent = nullptr);

    // May be called from any thread.
    void addOperation(std::function<void()> operation);
    // Opens the gate (once; later calls do nothing).
    void start();
    bool isStarted() const;

private:
    void post(std::function<void()> operation);

    mutable QMutex mutex_;
    bool started_ = false;
    std::vector<std::function<void()>> waiting_;
};
