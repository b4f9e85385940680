#include "TSServer.h"

#include "BottleCollection.h"
#include "LaunchFeedbackInfo.h"
#include "MoveApplication.h"
#include "RunCommandController.h"
#include "SelectBottleController.h"
#include "ShutdownController.h"
#include "StringAdditions.h"
#include "SymlinksAndAliases.h"
#include "TSAppStartedGate.h"
#include "TSApplication.h"
#include "TSDynamicStore.h"
#include "TSLog.h"
#include "TSSetupLib.h"
#include "TSTask.h"
#include "TSUserDefaults.h"
#include "helperServer.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMutexLocker>
#include <QPainter>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <stdexcept>

#include <pwd.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_environmentSet{false};

// Marks a menu item that has no action.
constexpr const char* kHasNoAction = "tsHasNoAction";

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
    SelectBottleController::setFileTypesProvider(&TSServer::fileTypesForBottle);
}

TSServer::~TSServer() {
    delete trayIcon_;
    delete trayMenu_;
    // The main window owns the menu bar once it carries it.
    if (mainWindow_)
        delete mainWindow_;
    else
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
    showMainWindow();
}

void TSServer::applicationOpenUntitledFile() {
    gotLaunchEvent_ = true;
}

QString TSServer::currentEventBottleName() {
    const TSApplication* application = TSApplication::sharedApplication();
    const TSLaunchEvent* event = application ? application->currentLaunchEvent() : nullptr;
    return event ? event->bottleName : QString();
}

bool TSServer::applicationOpenFile(const QString& path) {
    gotLaunchEvent_ = true;
    return performSelectorWhenAppStarted("runClientInBottle(QString,QString)", this, path,
                                         currentEventBottleName());
}

bool TSServer::applicationShouldHandleReopen(bool hasVisibleWindows) {
    TSApplication* application = TSApplication::sharedApplication();
    QObject* controller = application ? application->wineController() : nullptr;
    if (controller &&
        controller->metaObject()->indexOfMethod("applicationShouldHandleReopen(bool)") >= 0) {
        bool answer = true;
        QMetaObject::invokeMethod(controller, "applicationShouldHandleReopen", Qt::DirectConnection,
                                  Q_RETURN_ARG(bool, answer), Q_ARG(bool, hasVisibleWindows));
        return answer;
    }
    return true;
}

bool TSServer::handleGetURLEvent(const QString& url) {
    gotLaunchEvent_ = true;
    if (url.isEmpty())
        return false;
    const QString scheme = QUrl(url).scheme();
    if (scheme.isEmpty() || scheme.compare(privateURLScheme(), Qt::CaseInsensitive) == 0)
        return false;
    return performSelectorWhenAppStarted("forkExecCommand(QString)", this,
                                         urlCommandForBottle(url, currentEventBottleName()));
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
    file->addAction(tr("Open…"), this, &TSServer::openDocument);
    openRecent_ = file->addMenu(tr("Open Recent"));
    file->addAction(tr("Run Command…"), this, &TSServer::runCommand);

    QMenu* help = mainMenu_->addMenu(QStringLiteral("Help"));
    help->addAction(tr("License"), this, &TSServer::showLicense);
    help->addAction(tr("%@ System Information"), this, &TSServer::showSystemInformation);

    for (QMenu* menu : mainMenu_->findChildren<QMenu*>()) {
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            for (QAction* action : menu->actions())
                action->setEnabled(validateMenuItem(action));
        });
    }
    return mainMenu_;
}

QMainWindow* TSServer::mainWindow() {
    if (mainWindow_)
        return mainWindow_;
    // A small window that gives the menu a home; closing it only hides it.
    mainWindow_ = new QMainWindow;
    mainWindow_->setWindowTitle(productDisplayName());
    mainWindow_->setMenuBar(mainMenu());
    auto* content = new QWidget;
    auto* layout = new QHBoxLayout(content);
    auto* icon = new QLabel;
    icon->setPixmap(applicationIcon().pixmap(64, 64));
    layout->addWidget(icon);
    layout->addWidget(new QLabel(
        QStringLiteral("<b>%1</b><br>%2").arg(productDisplayName(), productVersionString())));
    mainWindow_->setCentralWidget(content);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        trayMenu_ = new QMenu;
        // File, Help, then the application's items (Quit last).
        const QList<QAction*> menus = mainMenu_->actions();
        for (QAction* item : {menus[1], menus[2], menus[0]}) {
            trayMenu_->addActions(item->menu()->actions());
            trayMenu_->addSeparator();
        }
        connect(trayMenu_, &QMenu::aboutToShow, this, [this] {
            for (QAction* action : trayMenu_->actions())
                action->setEnabled(validateMenuItem(action));
        });
        trayIcon_ = new QSystemTrayIcon(applicationIcon());
        trayIcon_->setToolTip(productDisplayName());
        trayIcon_->setContextMenu(trayMenu_);
        connect(trayIcon_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger &&
                        applicationShouldHandleReopen(mainWindow_->isVisible()))
                        showMainWindow();
                });
    }
    return mainWindow_;
}

void TSServer::showMainWindow() {
    QMainWindow* window = mainWindow();
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    if (trayIcon_)
        trayIcon_->show();
}

void TSServer::runCommand() {
    // A new window each time; it lives until it is closed.
    auto* controller = new RunCommandController;
    controller->setOwnsSelf(true);
    controller->showWindow();
}

// --- recent items ---------------------------------------------------------------------------

namespace {

const QString kRecentItems = QStringLiteral("RecentItems");
const QString kRecentItemsCount = QStringLiteral("RecentItemsCount");
const QString kBookmark = QStringLiteral("bookmark");
const QString kBottle = QStringLiteral("bottle");

// The recent-items list as stored; anything that is not an entry reads as an entry that
// cannot be resolved.
QVariantList storedRecentItems() {
    return TSUserDefaults::standardUserDefaults().arrayForKey(kRecentItems);
}

int recentItemsCount() {
    return int(qMax<qlonglong>(
        0, TSUserDefaults::standardUserDefaults().integerForKey(kRecentItemsCount)));
}

} // namespace

void TSServer::addToRecentItems(const QString& path, const QString& bottle) {
    const QFileInfo file(path);
    if (!file.exists() || file.isDir())
        return;
    const TSFileManager files = TSFileManager::ts_fileManagerWithDelegate(this);
    const QByteArray bookmark = files.bookmarkDataFromPath(path);
    if (bookmark.isEmpty())
        return;

    QVariantList items = storedRecentItems();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QVariantMap entry = items[i].toMap();
        if (entry.value(kBottle).toString() != bottle)
            continue;
        const QString known = files.pathFromBookmarkData(entry.value(kBookmark).toByteArray());
        if (!known.isNull() && files.isSameFile(known, path)) {
            items.removeAt(i);
            break;
        }
    }
    QVariantMap entry = {{kBookmark, bookmark}};
    if (!bottle.isEmpty())
        entry.insert(kBottle, bottle);
    items.prepend(entry);
    const int count = recentItemsCount();
    if (items.size() > count)
        items.resize(count);
    TSUserDefaults::standardUserDefaults().setObject(items, kRecentItems);
    updateRecentItemsMenu();
}

void TSServer::updateRecentItemsMenu() {
    mainMenu();
    openRecent_->clear();
    const TSFileManager files = TSFileManager::ts_fileManagerWithDelegate(this);
    const QVariantList items = storedRecentItems();
    const int count = recentItemsCount();
    QVariantList kept;
    QList<qsizetype> unresolvable;
    for (const QVariant& item : items) {
        QVariantMap entry = item.toMap();
        bool stale = false;
        const QString path =
            files.pathFromBookmarkData(entry.value(kBookmark).toByteArray(), &stale);
        if (stale && !path.isNull()) {
            const QByteArray fresh = files.bookmarkDataFromPath(path);
            if (!fresh.isEmpty())
                entry.insert(kBookmark, fresh);
        }
        kept.append(entry);
        if (path.isNull()) {
            unresolvable.append(kept.size() - 1);
            continue;
        }
        QAction* action = openRecent_->addAction(
            makeBottleTaggedName(QFileInfo(path).fileName(), entry.value(kBottle).toString()));
        action->setData(entry);
        connect(action, &QAction::triggered, this, [this, entry] { openRecent(entry); });
        if (openRecent_->actions().size() >= count)
            break;
    }
    while (kept.size() > count) {
        if (!unresolvable.isEmpty())
            kept.removeAt(unresolvable.takeLast());
        else
            kept.resize(count);
    }
    TSUserDefaults::standardUserDefaults().setObject(kept, kRecentItems);

    const bool alone = openRecent_->actions().isEmpty();
    if (!alone)
        openRecent_->addSeparator();
    QAction* clear = openRecent_->addAction(tr("Clear"));
    if (alone) {
        clear->setProperty(kHasNoAction, true);
        clear->setEnabled(false);
    } else {
        connect(clear, &QAction::triggered, this, &TSServer::clearRecent);
    }
}

void TSServer::openRecent(const QVariantMap& entry) {
    const QString path = TSFileManager::ts_fileManagerWithDelegate(this).pathFromBookmarkData(
        entry.value(kBookmark).toByteArray());
    if (path.isNull()) {
        QApplication::beep();
        updateRecentItemsMenu();
        return;
    }
    runClientInBottle(path, entry.value(kBottle).toString());
}

void TSServer::clearRecent() {
    TSUserDefaults::standardUserDefaults().removeObjectForKey(kRecentItems);
    updateRecentItemsMenu();
}

QString TSServer::makeBottleTaggedName(const QString& displayName, const QString& bottle) const {
    if (bottle.isEmpty())
        return displayName;
    return tr("%1$@ (%2$@)")
        .replace(QLatin1String("%1$@"), displayName)
        .replace(QLatin1String("%2$@"), bottle);
}

// --- documents, file types, license ---------------------------------------------------------

void TSServer::openDocument() {
    auto* chooser = new SelectBottleController;
    auto* panel = new QFileDialog;
    chooser->setParent(panel);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    // Qt's own panel: the message and the chooser go into its layout.
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setOption(QFileDialog::ReadOnly); // no new folders
    panel->setWindowTitle(tr("Open"));
    panel->setLabelText(QFileDialog::Accept, tr("Open"));
    panel->setDirectory(QDir::homePath());
    // The message, then the bottle chooser it speaks of, below the file list.
    if (auto* grid = qobject_cast<QGridLayout*>(panel->layout())) {
        auto* message = new QLabel(
            tr("If possible, the selected document will be opened in the appropriate Windows "
               "application.\nAvailable file types may vary depending on which bottle is "
               "selected below."));
        message->setWordWrap(true);
        grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
    }
    chooser->attachToFileDialog(panel);
    connect(panel, &QFileDialog::accepted, this, [this, panel, chooser] {
        const TSPyObject bottle = chooser->selectedBottle();
        const QString name = bottle.isNull() ? QString() : bottle.valueForKey("name").toString();
        for (const QString& path : panel->selectedFiles())
            runClientInBottle(stringInFileSystemRepresentationForm(path), name);
    });
    panel->show();
    panel->raise();
}

QStringList TSServer::fileTypesForBottle(const TSPyObject& bottle) {
    if (bottle.isNull())
        return {};
    if (bottle.respondsTo("refreshAssociationDatabase"))
        bottle.call("refreshAssociationDatabase");
    const QString path = QStringLiteral("%1/desktopdata/tsassoc/tsassoc_macosx.plist")
                             .arg(bottle.valueForKey("wine_prefix").toString());
    const QString resolved = stringByResolvingSymlink(path);
    QFile file(resolved);
    if (!QFileInfo::exists(resolved) || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    bool ok = false;
    const QVariantList answer = TSSetupLib::bottleWrapperClass()
                                    .call("fileTypesInAssociationData_forBottleName_",
                                          {data, bottle.valueForKey("name")}, &ok)
                                    .toList();
    if (!ok || answer.size() != 2)
        return {};
    if (!answer[0].isNull()) {
        TSSystemLog("Failed to parse tsassoc plist %s: %s\n", path.toUtf8().constData(),
                    answer[0].toString().toUtf8().constData());
        return {};
    }
    return answer[1].toStringList();
}

void TSServer::showLicense() {
    const TSApplication* application = TSApplication::sharedApplication();
    const QString license = QDir(application ? application->tesseraRoot() : QString())
                                .filePath(QStringLiteral("license.txt"));
    QDesktopServices::openUrl(QUrl::fromLocalFile(license));
}

bool TSServer::shouldProceedAfterErrorCopyingItem(const QString& error, const QString& source,
                                                  const QString& destination) {
    TSSystemLog("Error copying %s to %s: %s\n", source.toUtf8().constData(),
                destination.toUtf8().constData(), error.toUtf8().constData());
    return false;
}

bool TSServer::shouldProceedAfterErrorLinkingItem(const QString& error, const QString& source,
                                                  const QString& destination) {
    TSSystemLog("Error linking %s to %s: %s\n", source.toUtf8().constData(),
                destination.toUtf8().constData(), error.toUtf8().constData());
    return false;
}

bool TSServer::shouldProceedAfterErrorMovingItem(const QString& error, const QString& source,
                                                 const QString& destination) {
    TSSystemLog("Error moving %s to %s: %s\n", source.toUtf8().constData(),
                destination.toUtf8().constData(), error.toUtf8().constData());
    return false;
}

bool TSServer::shouldProceedAfterErrorRemovingItem(const QString& error, const QString& item) {
    TSSystemLog("Error removing %s: %s\n", item.toUtf8().constData(), error.toUtf8().constData());
    return false;
}

void TSServer::showSystemInformation() {
    if (TSApplication* application = TSApplication::sharedApplication())
        QMessageBox::information(nullptr, productDisplayName(),
                                 application->systemInformationString());
}

bool TSServer::validateMenuItem(const QAction* item) const {
    // An item without an action (the lone "Clear" of Open Recent) is never enabled.
    if (item && item->property(kHasNoAction).toBool())
        return false;
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
    addToRecentItems(path, bottle);
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
