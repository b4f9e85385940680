#include "TSServer.h"

#include "BottleCollection.h"
#include "LaunchFeedbackInfo.h"
#include "MoveApplication.h"
#include "RunCommandController.h"
#include "ShutdownController.h"
#include "StringAdditions.h"
#include "TSAppStartedGate.h"
#include "TSApplication.h"
#include "TSDynamicStore.h"
#include "TSLog.h"
#include "TSSetupLib.h"
#include "TSTask.h"
#include "TSUserDefaults.h"
#include "helperServer.h"

#include <QAction>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMutexLocker>
#include <QPainter>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <stdexcept>

#include <pwd.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_environmentSet{false};

// The menu that shows the item, if any.
const QMenu* menuHolding(const QAction* item) {
    if (const auto* menu = qobject_cast<const QMenu*>(item->parent()))
        return menu;
    for (const QObject* object : item->associatedObjects()) {
        if (const auto* menu = qobject_cast<const QMenu*>(object))
            return menu;
    }
    return nullptr;
}

} // namespace

TSServer::TSServer(QObject* parent) : TSObject(parent) {
    TSUserDefaults::standardUserDefaults().registerDefaults({
        {QStringLiteral("FirstRunVersion"), QString()},
        {QStringLiteral("RecentItemsCount"), 10},
        {QStringLiteral("BottleDir"), getDefaultBottleDir()},
        {QStringLiteral("ManagedBottleDirs"), QVariantList()},
        {QStringLiteral("RecentItems"), QVariantList()},
        // Registered for the scripting layer; the host itself never reads it.
        {QStringLiteral("KnotURL"),
         QStringLiteral("https://downloads.tessera.example/pub/tessera/knot/tessera.knot.gz")},
        {QStringLiteral("ShowUntestedApps"), false},
        {QStringLiteral("InstallExeFiles"), true},
    });
    helperServer::defaultHelperServer();
}

TSServer::~TSServer() {
    delete mainMenu_;
    qDeleteAll(pendingAppLaunches_);
}

QString TSServer::getAppSupportDirForProductNamed(const QString& name) {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(name);
}

QString TSServer::getSystemAppSupportDirForProductNamed(const QString& name) {
    // The first data folder that is not the user's own (normally /usr/local/share).
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    for (const QString& folder :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        if (folder != user)
            return QDir(folder).filePath(name);
    }
    return QDir(QStringLiteral("/usr/local/share")).filePath(name);
}

QString TSServer::getAppSupportDir() {
    return getAppSupportDirForProductNamed(productDisplayName());
}

QString TSServer::getSystemAppSupportDir() {
    return getSystemAppSupportDirForProductNamed(productDisplayName());
}

QString TSServer::getDefaultBottleDir() {
    return QDir(getAppSupportDir()).filePath(QStringLiteral("Bottles"));
}

QString TSServer::getBottleDir() {
    return TSUserDefaults::standardUserDefaults().stringForKey(QStringLiteral("BottleDir"));
}

void TSServer::applicationWillFinishLaunching() {
    PFMoveToApplicationsFolderIfNecessary();
}

void TSServer::applicationDidFinishLaunching() {
    if (!gotLaunchEvent_)
        applicationOpenUntitledFile();
    setMenusEnabled(false);

    const QString stored =
        TSUserDefaults::standardUserDefaults().stringForKey(QStringLiteral("FirstRunVersion"));
    if (stored.compare(productVersionString(), Qt::CaseInsensitive) != 0)
        processFirstRun(!stored.isEmpty());

    setEnvironmentVariables();
    completeStartup();
}

void TSServer::applicationOpenUntitledFile() {
    gotLaunchEvent_ = true;
}

bool TSServer::applicationOpenFile(const QString& path) {
    gotLaunchEvent_ = true;
    return performSelectorWhenAppStarted("runClientInBottle(QString,QString)", this, path,
                                         QString());
}

bool TSServer::handleGetURLEvent(const QString& url) {
    gotLaunchEvent_ = true;
    if (url.isEmpty())
        return false;
    const QString scheme = QUrl(url).scheme();
    if (scheme.isEmpty() || scheme.compare(privateURLScheme(), Qt::CaseInsensitive) == 0)
        return false;
    return performSelectorWhenAppStarted("forkExecCommand(QString)", this,
                                         urlCommandForBottle(url, QString()));
}

TSServer::TerminateReply TSServer::applicationShouldTerminate() {
    TSApplication* application = TSApplication::sharedApplication();
    QObject* controller = application ? application->wineController() : nullptr;
    if (controller &&
        controller->metaObject()->indexOfMethod("applicationShouldTerminate()") >= 0) {
        int reply = TerminateNow;
        QMetaObject::invokeMethod(controller, "applicationShouldTerminate", Qt::DirectConnection,
                                  Q_RETURN_ARG(int, reply));
        return TerminateReply(reply);
    }
    // Without the scripting layer there are no bottles, and the user has been told why.
    if (TSSetupLib::failed())
        return TerminateNow;
    shutdownController()->showWindow();
    if (quitting_)
        return TerminateLater;
    quitting_ = true;
    BottleCollection* collection = BottleCollection::sharedCollection();
    if (!collection)
        return TerminateNow;
    collection->shutdownAllBottles(this, "replyToApplicationShouldTerminateTrampoline");
    return TerminateLater;
}

void TSServer::replyToApplicationShouldTerminateTrampoline(bool shouldTerminate) {
    try {
        replyToApplicationShouldTerminate(shouldTerminate);
    } catch (const std::exception& exception) {
        TSSystemLog("%s: %s\n", "-[TSServer replyToApplicationShouldTerminateTrampoline:]",
                    exception.what());
    }
    if (shutdownController_ && shutdownController_->isWindowLoaded())
        shutdownController_->window()->close();
    quitting_ = false;
}

void TSServer::replyToApplicationShouldTerminate(bool shouldTerminate) {
    if (TSApplication* application = TSApplication::sharedApplication())
        application->replyToApplicationShouldTerminate(shouldTerminate);
}

ShutdownController* TSServer::shutdownController() {
    if (!shutdownController_)
        shutdownController_ = new ShutdownController(this);
    return shutdownController_;
}

void TSServer::completeStartup() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            helperServer::defaultHelperServer()->setIsReady();
            startAppOp()->start();
        },
        Qt::QueuedConnection);
    updateRecentItemsMenu();
    setMenusEnabled(true);
}

void TSServer::processFirstRun(bool) {
    TSUserDefaults::standardUserDefaults().setObject(productVersionString(),
                                                     QStringLiteral("FirstRunVersion"));
}

TSAppStartedGate* TSServer::startAppOp() {
    QMutexLocker lock(&gateMutex_);
    if (!startAppOp_)
        startAppOp_ = new TSAppStartedGate(this);
    return startAppOp_;
}

bool TSServer::performSelectorWhenAppStarted(const char* selector, QObject* target,
                                             const QVariant& object) {
    const QVariant objects[3] = {object, QVariant(), QVariant()};
    return performSelector(selector, target, objects);
}

bool TSServer::performSelectorWhenAppStarted(const char* selector, QObject* target,
                                             const QVariant& object1, const QVariant& object2) {
    const QVariant objects[3] = {object1, object2, QVariant()};
    return performSelector(selector, target, objects);
}

bool TSServer::performSelectorWhenAppStarted(const char* selector, QObject* target,
                                             const QVariant& object1, const QVariant& object2,
                                             const QVariant& object3) {
    const QVariant objects[3] = {object1, object2, object3};
    return performSelector(selector, target, objects);
}

bool TSServer::performSelector(const char* selector, QObject* target,
                               const QVariant (&objects)[3]) {
    if (!target || !selector)
        throw std::invalid_argument("performSelectorWhenAppStarted: no target or selector.");
    const QMetaObject* meta = target->metaObject();
    const int index = meta->indexOfMethod(QMetaObject::normalizedSignature(selector).constData());
    if (index < 0)
        throw std::invalid_argument(std::string("performSelectorWhenAppStarted: ") +
                                    meta->className() + " does not respond to " + selector);
    const QMetaMethod method = meta->method(index);
    const int count = method.parameterCount();
    if (count == 0 && objects[0].isValid())
        throw std::invalid_argument(
            "performSelectorWhenAppStarted:forTarget:withObject1:andObject2: called with an "
            "object when the selector doesn't take an argument.");
    if (count == 1 && objects[1].isValid())
        throw std::invalid_argument(
            "performSelectorWhenAppStarted:forTarget:withObject1:andObject2: called with two "
            "objects when the selector doesn't take a second argument.");
    if (count == 2 && objects[2].isValid())
        throw std::invalid_argument(
            "performSelectorWhenAppStarted:forTarget:withObject1:andObject2:andObject3: called "
            "with three objects when the selector doesn't take a third argument.");
    if (count > 3)
        throw std::invalid_argument(std::string("performSelectorWhenAppStarted: ") + selector +
                                    " takes more than three arguments.");

    // The arguments in the method's own types, kept until the call.
    QVariantList arguments;
    for (int i = 0; i < count; ++i) {
        const QMetaType type = method.parameterMetaType(i);
        QVariant argument = objects[i];
        if (type != QMetaType::fromType<QVariant>()) {
            if (!argument.isValid())
                argument = QVariant(type);
            else if (!argument.convert(type))
                throw std::invalid_argument(std::string("performSelectorWhenAppStarted: "
                                                        "argument ") +
                                            std::to_string(i + 1) + " of " + selector +
                                            " has the wrong type.");
        }
        arguments.append(argument);
    }
    QPointer<QObject> receiver(target);
    return performInvocationWhenAppStarted([receiver, method, arguments] {
        if (!receiver)
            return;
        QGenericArgument generic[3];
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            const bool isVariant =
                method.parameterMetaType(int(i)) == QMetaType::fromType<QVariant>();
            generic[i] = isVariant ? QGenericArgument("QVariant", &arguments[i])
                                   : QGenericArgument(arguments[i].metaType().name(),
                                                      arguments[i].constData());
        }
        method.invoke(receiver.data(), Qt::DirectConnection, generic[0], generic[1], generic[2]);
    });
}

bool TSServer::performInvocationWhenAppStarted(std::function<void()> invocation) {
    startedAppGateOp()->addOperation(std::move(invocation));
    return true;
}

QMenuBar* TSServer::mainMenu() {
    if (mainMenu_)
        return mainMenu_;
    mainMenu_ = new QMenuBar;
    QMenu* application = mainMenu_->addMenu(productDisplayName());
    application->addAction(tr("About %@"), this, [] {
        QMessageBox::about(
            nullptr, productDisplayName(),
            QStringLiteral("%1 %2").arg(productDisplayName(), productVersionString()));
    });
    application->addSeparator();
    application->addAction(tr("Quit %@"), this, [] {
        if (TSApplication* app = TSApplication::sharedApplication())
            app->terminate();
    });

    QMenu* file = mainMenu_->addMenu(tr("File"));
    openRecent_ = file->addMenu(tr("Open Recent"));
    file->addAction(tr("Run Command…"), this, &TSServer::runCommand);

    QMenu* help = mainMenu_->addMenu(QStringLiteral("Help"));
    help->addAction(tr("%@ System Information"), this, &TSServer::showSystemInformation);

    for (QMenu* menu : mainMenu_->findChildren<QMenu*>()) {
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            for (QAction* action : menu->actions())
                action->setEnabled(validateMenuItem(action));
        });
    }
    return mainMenu_;
}

void TSServer::runCommand() {
    // A new window each time; it lives until it is closed.
    auto* controller = new RunCommandController;
    controller->setOwnsSelf(true);
    controller->showWindow();
}

void TSServer::showSystemInformation() {
    if (TSApplication* application = TSApplication::sharedApplication())
        QMessageBox::information(nullptr, productDisplayName(),
                                 application->systemInformationString());
}

bool TSServer::validateMenuItem(const QAction* item) const {
    if (menusEnabled_)
        return true;
    const QMenu* menu = item ? menuHolding(item) : nullptr;
    return menu && menu->title() == QLatin1String("Help");
}

void TSServer::setEnvValue(const QString& value, const QString& name) {
    TSSetupLib::tsSetupClass().call("setEnvValue_forKey_", {value, name});
}

void TSServer::unsetEnvValueForKey(const QString& name) {
    TSSetupLib::tsSetupClass().call("unsetEnvValueForKey_", {name});
}

void TSServer::setEnvironmentVariables() {
    if (g_environmentSet.exchange(true))
        return;
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty() || !QFileInfo(home).isDir()) {
        // The account's home directory (QDir::homePath would answer HOME itself).
        const passwd* account = getpwuid(getuid());
        const QString platformHome =
            account && account->pw_dir ? QFile::decodeName(account->pw_dir) : QDir::rootPath();
        TSLog("Setting HOME=%s\n", platformHome.toUtf8().constData());
        setEnvValue(platformHome, QStringLiteral("HOME"));
    }
    setEnvValue(stringInFileSystemRepresentationForm(getBottleDir()),
                QStringLiteral("TS_BOTTLE_PATH"));
    const QString managed = managedBottlePath();
    if (!managed.isNull())
        setEnvValue(managed, QStringLiteral("TS_MANAGED_BOTTLE_PATH"));
    beginMonitoringSystemConfigurationProxy();
    if (TSApplication* application = TSApplication::sharedApplication())
        setEnvValue(application->mainBundlePath(), QStringLiteral("TS_APP_BUNDLE_PATH"));
}

QString TSServer::managedBottlePath() {
    if (qEnvironmentVariableIsSet("TS_MANAGED_BOTTLE_PATH"))
        return qEnvironmentVariable("TS_MANAGED_BOTTLE_PATH");
    const QVariant folders =
        TSUserDefaults::standardUserDefaults().objectForKey(QStringLiteral("ManagedBottleDirs"));
    if (folders.typeId() == QMetaType::QVariantList || folders.typeId() == QMetaType::QStringList)
        return folders.toStringList().join(':');
    if (folders.typeId() == QMetaType::QString && !folders.toString().isEmpty())
        return folders.toString();
    return QString();
}

namespace {

// The dynamic store's callback: the desktop's proxy setting changed.
void observeProxyChange(TSDynamicStore*, void* info) {
    try {
        static_cast<TSServer*>(info)->setHttpProxyEnvironmentVariableFromSystemConfiguration();
    } catch (const std::exception& exception) {
        TSSystemLog("%s: ignoring exception: %s\n",
                    "void observeProxyChange(SCDynamicStoreRef, CFArrayRef, void *)",
                    exception.what());
    }
}

} // namespace

void TSServer::beginMonitoringSystemConfigurationProxy() {
    // Without a desktop setting the inherited http_proxy stays as it is.
    systemDynamicStore_ =
        TSDynamicStore::create(QStringLiteral("halcyonimaging"), &observeProxyChange, this);
    if (systemDynamicStore_)
        setHttpProxyEnvironmentVariableFromSystemConfiguration();
}

void TSServer::setHttpProxyEnvironmentVariableFromSystemConfiguration() {
    if (!systemDynamicStore_)
        return;
    const QVariantMap proxies = systemDynamicStore_->copyProxies();
    const QString host = proxies.value(QString::fromLatin1(TSDynamicStore::kHTTPProxy)).toString();
    if (proxies.value(QString::fromLatin1(TSDynamicStore::kHTTPEnable)).toBool() &&
        !host.isEmpty()) {
        const QString port =
            proxies.value(QString::fromLatin1(TSDynamicStore::kHTTPPort)).toString();
        setEnvValue(QStringLiteral("http://%1:%2/").arg(host, port), QStringLiteral("http_proxy"));
    } else {
        unsetEnvValueForKey(QStringLiteral("http_proxy"));
    }
}

// --- launching ------------------------------------------------------------------------------

QString TSServer::bottleOption(const QString& bottle) {
    return bottle.isEmpty() ? QStringLiteral("--bottle default")
                            : QStringLiteral("--bottle %1").arg(stringQuotedForBash(bottle));
}

namespace {
QString tsstartPath() {
    const TSApplication* application = TSApplication::sharedApplication();
    return QDir(application ? application->tesseraRoot() : QString())
        .filePath(QStringLiteral("bin/tsstart"));
}
} // namespace

void TSServer::runClientInBottle(const QString& path, const QString& bottle) {
    const QString command =
        QStringLiteral("%1 %2 --wait-children --enable-alt-loader macdrv --untrusted %3")
            .arg(stringQuotedForBash(tsstartPath()), bottleOption(bottle),
                 stringQuotedForBash(path));
    const QVariantMap args = {
        {QStringLiteral("icon"), QFileIconProvider().icon(QFileInfo(path))},
        {QStringLiteral("doc"), path},
    };
    forkExecCommandWithArgs(command, args);
}

QString TSServer::urlCommandForBottle(const QString& url, const QString& bottle) const {
    return QStringLiteral("%1 %2 --wait-children --enable-alt-loader macdrv -- %3")
        .arg(stringQuotedForBash(tsstartPath()), bottleOption(bottle), stringQuotedForBash(url));
}

void TSServer::forkExecCommand(const QString& command) {
    forkExecCommandWithArgs(command, QVariantMap());
}

void TSServer::forkExecCommandWithArgs(const QString& command, const QVariantMap& args) {
    const QString workdir = args.contains(QStringLiteral("workdir"))
                                ? args.value(QStringLiteral("workdir")).toString()
                                : QDir::homePath();
    LaunchFeedbackInfo* feedback = nullptr;
    if (args.contains(QStringLiteral("icon")))
        feedback = startLaunchNotify(args.value(QStringLiteral("icon")).value<QIcon>());

    auto* task = new TSTask(this);
    task->setLaunchPath(QStringLiteral("/bin/sh"));
    task->setArguments({QStringLiteral("-c"), command});
    task->setCurrentDirectoryPath(workdir);
    (*task)->setStandardInputFile(QProcess::nullDevice());
    (*task)->setStandardOutputFile(QProcess::nullDevice());
    (*task)->setStandardErrorFile(QProcess::nullDevice());

    std::optional<QProcessEnvironment> environment =
        helperServer::defaultHelperServer()->getEnvironmentForXConnection();
    if (environment) {
        if (feedback)
            environment->insert(QStringLiteral("TS_LAUNCH_NOTIFY_SOCKET"), feedback->socketPath());
        modifyEnvironmentForCommandTask(*environment);
        (*task)->setProcessEnvironment(*environment);
    }

    connect(task, &TSTask::taskDidTerminate, this, &TSServer::observeTaskTermination);
    QString error;
    if (!task->launch(&error)) {
        TSSystemLog("Exception when launching task: %s\n    for command: %s\n",
                    QStringLiteral("<TSTask /bin/sh: %1>").arg(error).toUtf8().constData(),
                    command.toUtf8().constData());
        showLaunchFailure();
        disconnect(task, nullptr, this, nullptr);
        delete task;
        return;
    }
    noteTaskForCommandArgs(task, command, args);
    QVariantMap record = args;
    record.insert(QStringLiteral("task"), QVariant::fromValue<QObject*>(task));
    if (feedback)
        record.insert(QStringLiteral("launchFeedbackInfo"),
                      QVariant::fromValue(QPointer<LaunchFeedbackInfo>(feedback)));
    tasksInProgress_.insert(task, record);
}

void TSServer::showLaunchFailure() {
    QMessageBox alert;
    alert.setIcon(QMessageBox::Warning);
    alert.setText(tr("%@ could not open the document or program.")
                      .replace(QLatin1String("%@"), productDisplayName()));
    alert.setInformativeText(tr("An error occurred when attempting to launch a new task."));
    alert.setDefaultButton(alert.addButton(tr("OK"), QMessageBox::AcceptRole));
    alert.exec();
}

void TSServer::modifyEnvironmentForCommandTask(QProcessEnvironment&) {}

void TSServer::noteTaskForCommandArgs(TSTask*, const QString&, const QVariantMap&) {}

void TSServer::observeTaskTermination(TSTask* task) {
    disconnect(task, &TSTask::taskDidTerminate, this, &TSServer::observeTaskTermination);
    // The record kept the task alive; it goes at the next turn, after its observers.
    if (tasksInProgress_.remove(task))
        task->deleteLater();
}

// --- launch feedback ------------------------------------------------------------------------

LaunchFeedbackInfo* TSServer::startLaunchNotify(const QIcon& icon) {
    LaunchFeedbackInfo* info = LaunchFeedbackInfo::initWithIcon(icon);
    if (!info)
        return nullptr;
    pendingAppLaunches_.append(info);
    if (!launchFeedbackTimer_) {
        launchFeedbackTimer_ = new QTimer(this);
        launchFeedbackTimer_->setInterval(50);
        connect(launchFeedbackTimer_, &QTimer::timeout, this, &TSServer::updateLaunchNotify);
    }
    launchFeedbackTimer_->start();
    return info;
}

void TSServer::updateLaunchNotify() {
    if (pendingAppLaunches_.isEmpty()) {
        // Parked until the next launch.
        launchFeedbackTimer_->stop();
        finishedLaunches();
        return;
    }
    const QIcon icon = applicationIcon();
    const QSize size(128, 128);
    QPixmap image(size);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setOpacity(1.0);
        painter.drawPixmap(0, 0, icon.pixmap(size));
    }
    const QVariant drawInfo = launchFeedbackDrawInfoForImageSize(size);
    QList<LaunchFeedbackInfo*> finished;
    int position = 0;
    for (LaunchFeedbackInfo* info : std::as_const(pendingAppLaunches_)) {
        if (info->lifeCounter() > 800 || info->notified())
            finished.append(info);
        else
            drawLaunchFeedbackPositionInfo(info, position++, drawInfo);
        info->setLifeCounter(info->lifeCounter() + 1);
    }
    for (LaunchFeedbackInfo* info : finished) {
        pendingAppLaunches_.removeOne(info);
        delete info;
    }
    QApplication::setWindowIcon(QIcon(image));
}

QVariant TSServer::launchFeedbackDrawInfoForImageSize(const QSize&) {
    return QVariant();
}

void TSServer::drawLaunchFeedbackPositionInfo(LaunchFeedbackInfo*, int, const QVariant&) {}

void TSServer::finishedLaunches() {}

QIcon TSServer::applicationIcon() const {
    const TSApplication* application = TSApplication::sharedApplication();
    const QIcon icon(application
                         ? application->resourcePath() + QStringLiteral("/halcyon-imaging.png")
                         : QString());
    return QIcon(icon.pixmap(128, 128));
}
