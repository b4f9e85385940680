// The helper server: answers other processes of the same user (and the host itself) with the
// environment a started process should get, whether the host or a bottle is ready, and brings
// the host's windows to the front. It also receives the documents and URLs of a second start
// of the host, which the desktop delivers this way. One per process.
//
// The protocol: one JSON array per line, the method's name and its arguments; one JSON
// object per line in reply, {"result": value} or {"error": text}. Methods:
//   ["getEnvironmentForXConnection"]        -> object of strings, or null
//   ["isServerReady"]                        -> boolean
//   ["isServerReadyForBottle:", name]        -> boolean
//   ["raiseWindowsWithTag:", tag]            -> null
// and the launch events of a second start:
//   ["odoc", absolute path, bottle name]     -> boolean (empty name: the default bottle)
//   ["GURL", url, bottle name]               -> boolean
// Anything else is answered with an error, and the connection is closed.
#pragma once

#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QLocalSocket>
#include <QObject>
#include <QProcessEnvironment>

#include <atomic>
#include <optional>

class QLocalServer;
struct TSLaunchEvent;

class helperServer : public QObject {
    Q_OBJECT
public:
    // The singleton, created on first call from any thread; it serves on the main thread.
    static helperServer* defaultHelperServer();

    // The name the server is registered under, and the socket that carries it: in the user's
    // run-time folder, or in a folder of the user's own in the temporary folder.
    static QString helperServerName() {
        return QStringLiteral("example.tessera.halcyonimaging.HelperServer");
    }
    static QString socketPath();

    bool isRegistered() const;
    void setIsReady() { isReady_ = true; }
    bool isServerReady() const { return isReady_; }
    bool isServerReadyForBottle(const QString& bottle) const;

    // The host's current environment with "TS_ROOT" set to the product root and without
    // "PYTHONPATH"; none while the host is not ready.
    std::optional<QProcessEnvironment> getEnvironmentForXConnection() const;
    // Brings every window of the application to the front; the tag is not used.
    void raiseWindowsWithTag(int tag);

private:
    helperServer() = default;
    void registerConnection();
    void acceptConnection();
    // The reply line to a request line; false when the connection is to be closed.
    bool answer(const QByteArray& line, QByteArray* reply);

    QLocalServer* server_ = nullptr;
    std::atomic<bool> isReady_{false};
};

// A connection to the helper server of a running host.
class HelperServerClient {
public:
    // Whether a host answers on the helper server's socket.
    bool connectToServer(int milliseconds = 2000);
    // Sends the request and waits for its reply; the result, or none with the reason.
    std::optional<QJsonValue> call(const QJsonArray& request, QString* error,
                                   int milliseconds = 30000);

private:
    QLocalSocket socket_;
};

// A second start hands its launch events to the running host (or, without any, brings the
// host's windows to the front). False when no host runs; *error tells a failure to hand over.
bool handOverToRunningHost(const QList<TSLaunchEvent>& events, QString* error);
