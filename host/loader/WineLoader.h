// The in-process program loader service: a Unix-domain socket in a private folder of the
// temporary directory through which one Wine process hands its start over to the host. The
// first request approved on the main thread stops the service; the connection's thread then
// becomes the Windows program's main thread.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <thread>

class WineLoaderClientConnection;
class WineLoaderServiceLink;

class WineLoader : public QObject {
    Q_OBJECT
public:
    // The service, listening, or null when any set-up step fails. Call on the main thread.
    static WineLoader* initWithTesseraRoot(const QString& tesseraRoot, QObject* parent = nullptr);
    ~WineLoader() override;

    QString tesseraRoot() const { return tesseraRoot_; }
    // The socket's path while the service owns the socket file, else empty.
    QString socketPath() const { return bound_ ? socketPath_ : QString(); }

    // Main thread only: approves the first request and stops the service; later ones are
    // refused.
    bool shouldConnectionProceedWithRequest(WineLoaderClientConnection* connection);

    static const char* const WineLoaderRequestedArchitectureKey;

Q_SIGNALS:
    // A 32-bit client was refused; emitted on the connection's thread. userInfo holds
    // "WineLoaderRequestedArchitectureKey" → "i386".
    void WineLoaderRejectedRequestForWrongArchitectureNotification(WineLoader* object,
                                                                   const QVariantMap& userInfo);

private:
    explicit WineLoader(const QString& tesseraRoot, QObject* parent);
    bool setUp();
    bool startSource();
    void cancelSource();
    void acceptConnections();
    void removeSocketFile();

    QString tesseraRoot_;
    int sock_ = -1;
    QString socketPath_;
    QString socketFolder_;
    bool bound_ = false;
    QMetaObject::Connection unlinkingObserver_;
    // The accept loop; it closes the listening socket when it ends.
    std::thread source_;
    int cancelPipe_[2] = {-1, -1};
    bool sourceEverExisted_ = false;
    std::shared_ptr<WineLoaderServiceLink> link_;
};
