#include "WineLoader.h"

#include "TSLog.h"
#include "WineLoaderClientConnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

const char* const WineLoader::WineLoaderRequestedArchitectureKey =
    "WineLoaderRequestedArchitectureKey";

// What connections hold of the service: they may still be reading when it goes away.
class WineLoaderServiceLink : public WineLoaderLink {
public:
    WineLoaderServiceLink(WineLoader* loader, std::string root)
        : loader_(loader), root_(std::move(root)) {}

    std::string tesseraRoot() const override { return root_; }

    void postWrongArchitecture() override {
        std::lock_guard lock(mutex_);
        if (loader_)
            Q_EMIT loader_->WineLoaderRejectedRequestForWrongArchitectureNotification(
                loader_,
                {{WineLoader::WineLoaderRequestedArchitectureKey, QStringLiteral("i386")}});
    }

    bool approveConnection(WineLoaderClientConnection* connection) override {
        QCoreApplication* application = QCoreApplication::instance();
        if (!application || QThread::currentThread() == application->thread())
            return false;
        bool approved = false;
        // The service is only ever destroyed on the main thread, so it is safe to use there.
        QMetaObject::invokeMethod(
            application,
            [&] {
                if (loader_)
                    approved = loader_->shouldConnectionProceedWithRequest(connection);
            },
            Qt::BlockingQueuedConnection);
        return approved;
    }

    void detach() {
        std::lock_guard lock(mutex_);
        loader_ = nullptr;
    }

private:
    std::mutex mutex_;
    WineLoader* loader_;
    const std::string root_;
};

WineLoader::WineLoader(const QString& tesseraRoot, QObject* parent)
    : QObject(parent), tesseraRoot_(tesseraRoot),
      link_(std::make_shared<WineLoaderServiceLink>(this,
                                                    QFile::encodeName(tesseraRoot).toStdString())) {
}

WineLoader* WineLoader::initWithTesseraRoot(const QString& tesseraRoot, QObject* parent) {
    auto* loader = new WineLoader(tesseraRoot, parent);
    if (!loader->setUp()) {
        delete loader;
        return nullptr;
    }
    return loader;
}

bool WineLoader::setUp() {
    sock_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock_ == -1)
        return false;
    const int flags = fcntl(sock_, F_GETFL);
    if (flags == -1 || fcntl(sock_, F_SETFL, flags | O_NONBLOCK) == -1)
        return false;

    // A folder only this user may enter keeps other users away from the socket.
    QByteArray folder = QFile::encodeName(QDir::tempPath() + QStringLiteral("/WineLoader.XXXXXX"));
    if (!mkdtemp(folder.data()))
        return false;
    socketFolder_ = QFile::decodeName(folder);
    socketPath_ = socketFolder_ + QStringLiteral("/socket");
    const QByteArray path = QFile::encodeName(socketPath_);

    sockaddr_un address{};
    if (size_t(path.size()) >= sizeof(address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    if (bind(sock_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
        return false;
    bound_ = true;

    if (QCoreApplication* application = QCoreApplication::instance())
        unlinkingObserver_ = connect(application, &QCoreApplication::aboutToQuit, this,
                                     &WineLoader::removeSocketFile, Qt::DirectConnection);

    if (listen(sock_, 5) != 0)
        return false;
    return startSource();
}

bool WineLoader::startSource() {
    if (pipe2(cancelPipe_, O_CLOEXEC) != 0)
        return false;
    try {
        source_ = std::thread(&WineLoader::acceptConnections, this);
    } catch (const std::system_error&) {
        return false;
    }
    sourceEverExisted_ = true;
    return true;
}

// Off the main thread: accepts connections until cancelled or until accept fails for good;
// closes the listening socket when it ends.
void WineLoader::acceptConnections() {
    const int sock = sock_;
    for (;;) {
        pollfd watched[2] = {{sock, POLLIN, 0}, {cancelPipe_[0], POLLIN, 0}};
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (watched[1].revents)
            break;
        if (!watched[0].revents)
            continue;
        sockaddr_un address{};
        socklen_t size = sizeof(address);
        const int connected =
            accept4(sock, reinterpret_cast<sockaddr*>(&address), &size, SOCK_CLOEXEC);
        if (connected == -1) {
            if (errno == ECONNABORTED || errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            break;
        }
        auto connection = WineLoaderClientConnection::initWithLoader(link_, connected);
        if (!connection) {
            TSSystemLog("%s: failed to create WineLoaderClientConnection for connection socket %d",
                        "-[WineLoader initWithTesseraRoot:]_block_invoke", connected);
            close(connected);
            continue;
        }
        WineLoaderClientConnection::handleConnectionInBackground(std::move(connection));
    }
    close(sock);
}

void WineLoader::cancelSource() {
    if (!source_.joinable())
        return;
    const char wake = 0;
    const ssize_t written = write(cancelPipe_[1], &wake, 1);
    (void)written;
    source_.join();
    sock_ = -1;
}

void WineLoader::removeSocketFile() {
    unlink(QFile::encodeName(socketPath_).constData());
    rmdir(QFile::encodeName(socketFolder_).constData());
}

bool WineLoader::shouldConnectionProceedWithRequest(WineLoaderClientConnection*) {
    if (!source_.joinable())
        return false;
    cancelSource();
    disconnect(unlinkingObserver_);
    if (bound_) {
        removeSocketFile();
        bound_ = false;
    }
    socketPath_.clear();
    // No activity to begin here: Linux does not throttle a running application's timers the
    // way the activity would prevent, and idle sleep stays allowed either way.
    return true;
}

WineLoader::~WineLoader() {
    link_->detach();
    if (source_.joinable())
        cancelSource();
    else if (!sourceEverExisted_ && sock_ != -1)
        close(sock_);
    for (int fd : cancelPipe_)
        if (fd != -1)
            close(fd);
    disconnect(unlinkingObserver_);
    if (bound_)
        removeSocketFile();
    else if (!socketFolder_.isEmpty())
        rmdir(QFile::encodeName(socketFolder_).constData());
}
