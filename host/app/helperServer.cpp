#include "helperServer.h"

#include "BottleCollection.h"
#include "TSApplication.h"
#include "TSLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QThread>
#include <QWidget>

#include <mutex>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A request longer than this is no request of ours.
constexpr qint64 kMaxLine = 64 * 1024;

// A folder that only this user can enter.
bool isPrivateFolder(const QString& path) {
    struct stat status {};
    return !path.isEmpty() && lstat(QFile::encodeName(path).constData(), &status) == 0 &&
           S_ISDIR(status.st_mode) && status.st_uid == geteuid() && (status.st_mode & 077) == 0;
}

QString privateSocketFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isPrivateFolder(runtime))
        return runtime;
    const QString folder =
        QStringLiteral("%1/example.tessera.halcyonimaging-%2").arg(QDir::tempPath()).arg(geteuid());
    mkdir(QFile::encodeName(folder).constData(), 0700);
    return isPrivateFolder(folder) ? folder : QString();
}

// Whoever can connect can start programs as this user: only the host's own user may.
bool peerIsOwnUser(QLocalSocket* socket) {
    ucred peer{};
    socklen_t size = sizeof(peer);
    if (getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        TSSystemLog("helperServer: reading the peer's credentials failed; errno %d\n", errno);
        return false;
    }
    if (peer.uid != geteuid()) {
        TSSystemLog("helperServer: refusing connection from user id %u\n",
                    static_cast<unsigned>(peer.uid));
        return false;
    }
    return true;
}

QByteArray replyLine(const char* key, const QJsonValue& value) {
    return QJsonDocument(QJsonObject{{QLatin1String(key), value}}).toJson(QJsonDocument::Compact) +
           '\n';
}

} // namespace

helperServer* helperServer::defaultHelperServer() {
    static std::once_flag created;
    static helperServer* server = nullptr;
    // Lives as long as the process: other processes may ask it until the very end.
    std::call_once(created, [] {
        server = new helperServer;
        QCoreApplication* application = QCoreApplication::instance();
        if (!application)
            return;
        server->moveToThread(application->thread());
        QMetaObject::invokeMethod(server, &helperServer::registerConnection,
                                  QThread::currentThread() == application->thread()
                                      ? Qt::DirectConnection
                                      : Qt::QueuedConnection);
    });
    return server;
}

QString helperServer::socketPath() {
    const QString folder = privateSocketFolder();
    return folder.isEmpty() ? QString() : folder + '/' + helperServerName();
}

bool helperServer::isRegistered() const {
    return server_ && server_->isListening();
}

void helperServer::registerConnection() {
    const QString path = socketPath();
    // A socket that a running host answers on stays its own; one that nobody answers on is
    // left over from a host that ended without removing it.
    if (!path.isEmpty() && !HelperServerClient().connectToServer(500)) {
        QLocalServer::removeServer(path);
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        if (server_->listen(path)) {
            connect(server_, &QLocalServer::newConnection, this, &helperServer::acceptConnection);
            connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, server_,
                    &QLocalServer::close);
            return;
        }
        delete server_;
        server_ = nullptr;
    }
    TSSystemLog("Failed to register our helper server.  What do we do now?\n");
}

void helperServer::acceptConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsOwnUser(socket)) {
            socket->abort();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            while (socket->state() == QLocalSocket::ConnectedState) {
                QByteArray reply;
                bool keep = true;
                if (socket->canReadLine()) {
                    keep = answer(socket->readLine(kMaxLine + 1).trimmed(), &reply);
                } else if (socket->bytesAvailable() > kMaxLine) {
                    reply = replyLine("error", QStringLiteral("request too long"));
                    keep = false;
                } else {
                    return;
                }
                socket->write(reply);
                if (!keep)
                    socket->disconnectFromServer();
            }
        });
    }
}

bool helperServer::answer(const QByteArray& line, QByteArray* reply) {
    const QJsonDocument document = QJsonDocument::fromJson(line);
    const QJsonArray request = document.array();
    const QString method = request.isEmpty() ? QString() : request[0].toString();
    const qsizetype count = request.size() - 1;
    const auto stringAt = [&request](qsizetype i) {
        return i < request.size() && request[i].isString();
    };

    if (method == QLatin1String("getEnvironmentForXConnection") && count == 0) {
        const std::optional<QProcessEnvironment> environment = getEnvironmentForXConnection();
        QJsonValue value;
        if (environment) {
            QJsonObject variables;
            for (const QString& name : environment->keys())
                variables.insert(name, environment->value(name));
            value = variables;
        }
        *reply = replyLine("result", value);
    } else if (method == QLatin1String("isServerReady") && count == 0) {
        *reply = replyLine("result", isServerReady());
    } else if (method == QLatin1String("isServerReadyForBottle:") && count == 1 && stringAt(1)) {
        *reply = replyLine("result", isServerReadyForBottle(request[1].toString()));
    } else if (method == QLatin1String("raiseWindowsWithTag:") && count == 1 &&
               request[1].isDouble()) {
        raiseWindowsWithTag(request[1].toInt());
        *reply = replyLine("result", QJsonValue());
    } else if ((method == QLatin1String("odoc") || method == QLatin1String("GURL")) && count == 2 &&
               stringAt(1) && stringAt(2) &&
               (method == QLatin1String("GURL") || QDir::isAbsolutePath(request[1].toString()))) {
        const TSLaunchEvent event = {method == QLatin1String("odoc") ? TSLaunchEvent::OpenDocument
                                                                     : TSLaunchEvent::GetURL,
                                     request[1].toString(), request[2].toString()};
        TSApplication* application = TSApplication::sharedApplication();
        *reply = replyLine("result", application && application->deliverLaunchEvent(event));
    } else {
        *reply = replyLine("error", QStringLiteral("unknown request"));
        return false;
    }
    return true;
}

bool helperServer::isServerReadyForBottle(const QString& bottle) const {
    if (!isReady_)
        return false;
    const BottleCollection* collection = BottleCollection::sharedCollection();
    const TSPyObject found = collection ? collection->bottleWithName(bottle) : TSPyObject();
    return !found.isNull() && found.valueForKey("can_run_commands").toBool();
}

std::optional<QProcessEnvironment> helperServer::getEnvironmentForXConnection() const {
    if (!isReady_)
        return std::nullopt;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (const TSApplication* application = TSApplication::sharedApplication())
        environment.insert(QStringLiteral("TS_ROOT"), application->tesseraRoot());
    environment.remove(QStringLiteral("PYTHONPATH"));
    return environment;
}

void helperServer::raiseWindowsWithTag(int) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isMinimized())
            window->showNormal();
        else if (!window->isVisible())
            continue;
        window->raise();
        window->activateWindow();
    }
    // The main window is one of them even when the user has closed it.
    if (TSApplication* application = TSApplication::sharedApplication()) {
        if (TSServer* server = application->delegate())
            server->showMainWindow();
    }
}

bool HelperServerClient::connectToServer(int milliseconds) {
    const QString path = helperServer::socketPath();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return false;
    socket_.connectToServer(path);
    return socket_.waitForConnected(milliseconds);
}

std::optional<QJsonValue> HelperServerClient::call(const QJsonArray& request, QString* error,
                                                   int milliseconds) {
    socket_.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    socket_.flush();
    while (!socket_.canReadLine()) {
        if (!socket_.waitForReadyRead(milliseconds)) {
            *error = socket_.errorString();
            return std::nullopt;
        }
    }
    const QJsonObject reply = QJsonDocument::fromJson(socket_.readLine()).object();
    if (reply.contains(QLatin1String("result")))
        return reply.value(QLatin1String("result"));
    *error = reply.value(QLatin1String("error")).toString(QStringLiteral("no reply"));
    return std::nullopt;
}

bool handOverToRunningHost(const QList<TSLaunchEvent>& events, QString* error) {
    HelperServerClient client;
    if (!client.connectToServer())
        return false;
    if (events.isEmpty()) {
        client.call({QStringLiteral("raiseWindowsWithTag:"), 0}, error);
        return true;
    }
    for (const TSLaunchEvent& event : events) {
        const QString kind =
            event.kind == TSLaunchEvent::GetURL ? QStringLiteral("GURL") : QStringLiteral("odoc");
        if (!client.call({kind, event.argument, event.bottleName}, error))
            return true;
    }
    return true;
}
