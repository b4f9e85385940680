// The feedback record of one launch: a listening Unix-domain socket whose path the started
// program is given (TS_LAUNCH_NOTIFY_SOCKET), on which it reports once that it has started.
#pragma once

#include "TSObject.h"

#include <QByteArray>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QSocketNotifier;
class QTimer;

// The program's report: 289 as an unsigned 32-bit integer in this machine's byte order.
constexpr quint32 LaunchNotifyLaunched = 289;

class LaunchFeedbackInfo : public TSObject {
    Q_OBJECT
    Q_PROPERTY(int lifeCounter READ lifeCounter WRITE setLifeCounter)
    Q_PROPERTY(bool notified READ notified WRITE setNotified)
public:
    // A record listening on a fresh socket, or none (logged) when the socket cannot be made.
    static LaunchFeedbackInfo* initWithIcon(const QIcon& icon, QObject* parent = nullptr);
    ~LaunchFeedbackInfo() override;

    QString socketPath() const { return socketPath_; }
    QPixmap badgeIcon() const { return badgeIcon_; }
    int lifeCounter() const { return lifeCounter_; }
    void setLifeCounter(int counter) { lifeCounter_ = counter; }
    bool notified() const { return notified_; }
    void setNotified(bool notified) { notified_ = notified; }

    // How long a connected program may take to send its report before the read ends.
    static constexpr int kReadTimeoutMilliseconds = 5000;

private:
    explicit LaunchFeedbackInfo(QObject* parent);
    bool listenOnFreshSocket();
    void connectionAccepted();
    void readReport();
    void finishReport(const QString& readError = QString());

    int listening_ = -1;
    int connection_ = -1;
    QString socketFolder_;
    QString socketPath_;
    QPixmap badgeIcon_;
    int lifeCounter_ = 0;
    bool notified_ = false;
    QSocketNotifier* acceptNotifier_ = nullptr;
    QSocketNotifier* readNotifier_ = nullptr;
    QTimer* readTimeout_ = nullptr;
    QByteArray report_;
};
