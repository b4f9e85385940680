#include "TSServer.h"

#include "StringAdditions.h"
#include "TSAppStartedGate.h"
#include "TSApplication.h"
#include "TSLog.h"
#include "TSSetupLib.h"
#include "TSUserDefaults.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMutexLocker>
#include <QStandardPaths>

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
}

TSServer::~TSServer() {
    delete mainMenu_;
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

void TSServer::applicationWillFinishLaunching() {}

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
    TSLog("%s: %s\n", "TSServer::applicationOpenFile", path.toUtf8().constData());
    return true;
}

void TSServer::handleGetURLEvent(const QString& url) {
    gotLaunchEvent_ = true;
    TSLog("%s: %s\n", "TSServer::handleGetURLEvent", url.toUtf8().constData());
}

void TSServer::completeStartup() {
    QMetaObject::invokeMethod(
        this, [this] { startAppOp()->start(); }, Qt::QueuedConnection);
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
    if (TSApplication* application = TSApplication::sharedApplication())
        setEnvValue(application->mainBundlePath(), QStringLiteral("TS_APP_BUNDLE_PATH"));
}
