#include "TSApplication.h"

#include "TSServer.h"

#include <QDir>
#include <QIcon>
#include <QLocale>
#include <QMetaMethod>
#include <QScreen>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QUrl>

#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

const char* const TSApplication::kNotificationNames[14] = {
    "applicationDidBecomeActive",     "applicationDidChangeScreenParameters",
    "applicationDidFinishLaunching",  "applicationDidHide",
    "applicationDidResignActive",     "applicationDidUnhide",
    "applicationDidUpdate",           "applicationWillBecomeActive",
    "applicationWillFinishLaunching", "applicationWillHide",
    "applicationWillResignActive",    "applicationWillTerminate",
    "applicationWillUnhide",          "applicationWillUpdate",
};

namespace {

// The method of that name without arguments, when the object has one.
QMetaMethod methodNamed(const QObject* object, const char* name) {
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfMethod(
        QMetaObject::normalizedSignature((QByteArray(name) + "()").constData()).constData());
    return index < 0 ? QMetaMethod() : meta->method(index);
}

// Command-line launch arguments that are URLs rather than files.
bool looksLikeUrl(const QString& argument) {
    const QUrl url(argument, QUrl::StrictMode);
    return url.isValid() && url.scheme().size() > 1 && !QDir::isAbsolutePath(argument);
}

// Signal numbers, from the handler to the main loop.
int g_signalPipe[2] = {-1, -1};

void noteTerminationSignal(int signal) {
    const unsigned char number = static_cast<unsigned char>(signal);
    const ssize_t written = write(g_signalPipe[1], &number, 1);
    (void)written;
}

} // namespace

TSApplication::TSApplication(int& argc, char** argv, const QString& bundlePath)
    : QApplication(argc, argv) {
    setOrganizationName(QStringLiteral("Halcyon Imaging"));
    setApplicationName(QStringLiteral("MacHost"));
    setApplicationDisplayName(QStringLiteral("Halcyon Imaging"));
    setQuitOnLastWindowClosed(false);

    bundlePath_ = QDir::cleanPath(
        bundlePath.isEmpty() ? applicationDirPath() + QStringLiteral("/../..") : bundlePath);
    tesseraRoot_ = bundlePath_ + QStringLiteral("/Contents/SharedSupport/halcyonimaging");

    connect(this, &QGuiApplication::applicationStateChanged, this, &TSApplication::emitStateChange);
    for (auto signal : {&QGuiApplication::screenAdded, &QGuiApplication::screenRemoved})
        connect(this, signal, this, &TSApplication::applicationDidChangeScreenParameters);
    connect(this, &QCoreApplication::aboutToQuit, this, &TSApplication::applicationWillTerminate);

    setWindowIcon(QIcon(resourcePath() + QStringLiteral("/halcyon-imaging.png")));
    watchTerminationSignals();
    // The desktop session ends: quit the way the user would.
    connect(this, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { terminate(); });
}

TSApplication::~TSApplication() = default;

TSApplication* TSApplication::sharedApplication() {
    return qobject_cast<TSApplication*>(QCoreApplication::instance());
}

QString TSApplication::resourcePath() const {
    return bundlePath_ + QStringLiteral("/Contents/Resources");
}

void TSApplication::emitStateChange(Qt::ApplicationState state) {
    const bool wasActive = lastState_ == Qt::ApplicationActive;
    const bool isActive = state == Qt::ApplicationActive;
    lastState_ = state;
    if (isActive && !wasActive) {
        Q_EMIT applicationWillBecomeActive();
        Q_EMIT applicationDidBecomeActive();
    } else if (wasActive && !isActive) {
        Q_EMIT applicationWillResignActive();
        Q_EMIT applicationDidResignActive();
    }
}

void TSApplication::connectWineController(QObject* controller, bool connect) {
    for (const char* name : kNotificationNames) {
        const QMetaMethod slot = methodNamed(controller, name);
        if (!slot.isValid())
            continue;
        const QMetaMethod signal = methodNamed(this, name);
        if (connect)
            QObject::connect(this, signal, controller, slot);
        else
            QObject::disconnect(this, signal, controller, slot);
    }
}

void TSApplication::setWineController(QObject* controller) {
    if (wineController_)
        connectWineController(wineController_, false);
    wineController_ = controller;
    const QMetaObject* meta = controller ? controller->metaObject() : nullptr;
    handlesEvents_ = meta && meta->indexOfMethod("handleEvent(QEvent*)") >= 0;
    observesSentEvents_ = meta && meta->indexOfMethod("didSendEvent(QEvent*)") >= 0;
    answersDisplayCapture_ = meta && meta->indexOfMethod("areDisplaysCaptured()") >= 0;
    if (controller)
        connectWineController(controller, true);
}

bool TSApplication::isInFullScreenMode() const {
    bool captured = false;
    if (wineController_ && answersDisplayCapture_)
        QMetaObject::invokeMethod(wineController_.data(), "areDisplaysCaptured",
                                  Qt::DirectConnection, Q_RETURN_ARG(bool, captured));
    return captured;
}

bool TSApplication::notify(QObject* receiver, QEvent* event) {
    QObject* controller = wineController_.data();
    if (!controller)
        return QApplication::notify(receiver, event);
    bool consumed = false;
    if (handlesEvents_)
        QMetaObject::invokeMethod(controller, "handleEvent", Qt::DirectConnection,
                                  Q_RETURN_ARG(bool, consumed), Q_ARG(QEvent*, event));
    if (consumed)
        return true;
    const bool result = QApplication::notify(receiver, event);
    // The controller may have gone while the event was delivered.
    if (wineController_ && observesSentEvents_)
        QMetaObject::invokeMethod(wineController_.data(), "didSendEvent", Qt::DirectConnection,
                                  Q_ARG(QEvent*, event));
    return result;
}

QString TSApplication::systemInformationString() const {
    QStringList lines;
    lines << QStringLiteral("%1 %2").arg(TSServer::productDisplayName(),
                                         TSServer::productVersionString());
    // The operating system the host really runs on.
    if (QSysInfo::productType() == QLatin1String("macos"))
        lines << QStringLiteral("macOS %1").arg(QSysInfo::productVersion());
    else
        lines << QSysInfo::prettyProductName();
    lines << QStringLiteral("Install location: %1").arg(bundlePath_);
    lines << QStringLiteral("Mac Locale: %1").arg(QLocale::system().name());
    for (const char* name : {"LANG", "LC_COLLATE", "LC_CTYPE", "LC_MESSAGES", "LC_MONETARY",
                             "LC_NUMERIC", "LC_TIME", "LC_ALL"}) {
        if (qEnvironmentVariableIsSet(name))
            lines << QStringLiteral("%1: %2").arg(QLatin1String(name), qEnvironmentVariable(name));
    }
    lines << QStringLiteral("\n");
    return lines.join('\n');
}

bool TSApplication::parseLaunchArguments(const QStringList& arguments, QList<TSLaunchEvent>* events,
                                         QString* error) {
    QString bottle;
    QStringList operands;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith('-') || argument == QLatin1String("-")) {
            operands << argument;
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1String("--bottle") ||
                   argument.startsWith(QLatin1String("--bottle="))) {
            if (argument.size() > 8)
                bottle = argument.mid(9);
            else
                bottle = i + 1 < arguments.size() ? arguments[++i] : QString();
            if (bottle.isEmpty()) {
                *error = QStringLiteral("--bottle needs the name of a bottle");
                return false;
            }
        } else {
            *error =
                QStringLiteral(
                    "unknown option %1 (put \"--\" before a file whose name begins with \"-\")")
                    .arg(argument);
            return false;
        }
    }
    events->clear();
    for (const QString& operand : std::as_const(operands)) {
        if (operand.isEmpty())
            continue;
        // The desktop may name a file by its URL.
        const QUrl url(operand);
        if (url.isLocalFile() && operand.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
            events->append({TSLaunchEvent::OpenDocument, url.toLocalFile(), bottle});
        else if (looksLikeUrl(operand))
            events->append({TSLaunchEvent::GetURL, operand, bottle});
        else
            events->append(
                {TSLaunchEvent::OpenDocument, QDir::current().absoluteFilePath(operand), bottle});
    }
    return true;
}

void TSApplication::finishLaunching() {
    TSServer* server = delegate_.data();
    if (server)
        server->applicationWillFinishLaunching();
    Q_EMIT applicationWillFinishLaunching();

    for (const TSLaunchEvent& event : std::as_const(launchEvents_))
        deliverLaunchEvent(event);
    launchEvents_.clear();

    if (server)
        server->applicationDidFinishLaunching();
    Q_EMIT applicationDidFinishLaunching();
}

bool TSApplication::deliverLaunchEvent(const TSLaunchEvent& event) {
    TSServer* server = delegate_.data();
    if (!server)
        return false;
    const TSLaunchEvent* outer = currentLaunchEvent_;
    currentLaunchEvent_ = &event;
    const bool answer = event.kind == TSLaunchEvent::GetURL
                            ? server->handleGetURLEvent(event.argument)
                            : server->applicationOpenFile(event.argument);
    currentLaunchEvent_ = outer;
    return answer;
}

void TSApplication::watchTerminationSignals() {
    if (g_signalPipe[0] >= 0 ||
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char number = 0;
        if (read(g_signalPipe[0], &number, 1) == 1)
            terminate();
    });
    struct sigaction action {};
    action.sa_handler = noteTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void TSApplication::terminate() {
    if (terminating_ || terminationAsked_)
        return;
    terminationAsked_ = true;
    // A queued call also works before the event loop runs: it is handled once it does.
    QMetaObject::invokeMethod(this, &TSApplication::askDelegateToTerminate, Qt::QueuedConnection);
}

void TSApplication::askDelegateToTerminate() {
    terminationAsked_ = false;
    if (terminating_)
        return;
    const TSServer::TerminateReply reply =
        delegate_ ? delegate_->applicationShouldTerminate() : TSServer::TerminateNow;
    if (reply == TSServer::TerminateNow)
        quitNow();
}

void TSApplication::replyToApplicationShouldTerminate(bool shouldTerminate) {
    if (shouldTerminate)
        quitNow();
}

void TSApplication::quitNow() {
    if (terminating_)
        return;
    terminating_ = true;
    QCoreApplication::exit(0);
}
