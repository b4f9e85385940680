// The helper server: answers other processes (and the host itself) with the environment a
// started process should get, and whether the host is ready. One per process.
#pragma once

#include <QObject>
#include <QProcessEnvironment>

#include <atomic>
#include <optional>

class helperServer : public QObject {
    Q_OBJECT
public:
    // The singleton, created on first call from any thread.
    static helperServer* defaultHelperServer();

    void setIsReady() { isReady_ = true; }
    bool isServerReady() const { return isReady_; }

    // The host's current environment with "TS_ROOT" set to the product root and without
    // "PYTHONPATH"; none while the host is not ready.
    std::optional<QProcessEnvironment> getEnvironmentForXConnection() const;

private:
    helperServer() = default;

    std::atomic<bool> isReady_{false};
};
