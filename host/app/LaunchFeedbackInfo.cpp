#include "LaunchFeedbackInfo.h"

#include "TSLog.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const char* const kInitWithIcon = "-[LaunchFeedbackInfo initWithIcon:]";
const char* const kConnectionAccepted = "-[LaunchFeedbackInfo connectionAccepted:]";
} // namespace

LaunchFeedbackInfo::LaunchFeedbackInfo(QObject* parent) : TSObject(parent) {}

LaunchFeedbackInfo* LaunchFeedbackInfo::initWithIcon(const QIcon& icon, QObject* parent) {
    auto* info = new LaunchFeedbackInfo(parent);
    if (!info->listenOnFreshSocket()) {
        TSSystemLog("%s: failed to set up socket; errno %d", kInitWithIcon, errno);
        delete info;
        return nullptr;
    }
    info->badgeIcon_ = icon.pixmap(32, 32);
    return info;
}

// A socket at a fresh name in a folder only this user can enter, listening for one program.
bool LaunchFeedbackInfo::listenOnFreshSocket() {
    QByteArray folder =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/halcyon-launch-XXXXXX"));
    if (!mkdtemp(folder.data()))
        return false;
    socketFolder_ = QFile::decodeName(folder);
    const QByteArray path = folder + "/notify";
    sockaddr_un address{};
    if (size_t(path.size()) >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()) + 1);
    listening_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listening_ < 0)
        return false;
    if (bind(listening_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return false;
    socketPath_ = QFile::decodeName(path);
    if (listen(listening_, 5) != 0)
        return false;
    acceptNotifier_ = new QSocketNotifier(listening_, QSocketNotifier::Read, this);
    connect(acceptNotifier_, &QSocketNotifier::activated, this,
            &LaunchFeedbackInfo::connectionAccepted);
    return true;
}

LaunchFeedbackInfo::~LaunchFeedbackInfo() {
    const int saved = errno;
    if (!socketPath_.isEmpty())
        unlink(QFile::encodeName(socketPath_).constData());
    if (!socketFolder_.isEmpty())
        rmdir(QFile::encodeName(socketFolder_).constData());
    delete acceptNotifier_;
    delete readNotifier_;
    if (listening_ >= 0)
        close(listening_);
    if (connection_ >= 0)
        close(connection_);
    errno = saved;
}

// One connection per record; its report is read as it arrives, so a program that connects and
// sends nothing never holds up the main thread.
void LaunchFeedbackInfo::connectionAccepted() {
    connection_ = accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (connection_ < 0)
        return;
    acceptNotifier_->setEnabled(false);
    readNotifier_ = new QSocketNotifier(connection_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &LaunchFeedbackInfo::readReport);
    readTimeout_ = new QTimer(this);
    readTimeout_->setSingleShot(true);
    connect(readTimeout_, &QTimer::timeout, this, [this] { finishReport(); });
    readTimeout_->start(kReadTimeoutMilliseconds);
}

void LaunchFeedbackInfo::readReport() {
    char buffer[4];
    const ssize_t count = read(connection_, buffer, size_t(4 - report_.size()));
    if (count > 0) {
        report_.append(buffer, count);
        if (report_.size() == 4)
            finishReport();
    } else if (count == 0) {
        finishReport();
    } else if (errno != EAGAIN && errno != EINTR) {
        finishReport(QString::fromLocal8Bit(std::strerror(errno)));
    }
}

void LaunchFeedbackInfo::finishReport(const QString& readError) {
    if (connection_ < 0)
        return;
    delete readNotifier_;
    readNotifier_ = nullptr;
    readTimeout_->stop();
    close(connection_);
    connection_ = -1;
    if (!readError.isEmpty()) {
        TSSystemLog("%s: exception trying to read from connection: %s", kConnectionAccepted,
                    readError.toUtf8().constData());
    } else {
        quint32 value = 0;
        std::memcpy(&value, report_.constData(), size_t(report_.size()));
        if (report_.size() < 4 || value != LaunchNotifyLaunched)
            TSSystemLog("%s: got an unexpected launch-notify response: %u/0x%08x\n",
                        kConnectionAccepted, value, value);
    }
    notified_ = true;
}
