#include "TSServerOEM.h"

#include "FileManagerAdditions.h"
#include "StringAdditions.h"
#include "TSApplication.h"
#include "TSInterfaceFiles.h"
#include "TSInternalInconsistency.h"
#include "TSLog.h"
#include "TSSetupLib.h"
#include "TSTask.h"
#include "TSUserDefaults.h"
#include "TSWindowController.h"
#include "WineLoader.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

#include <thread>

namespace {

// The title used as a format: "%@" and "%1$@" stand for the argument, "%%" for "%".
QString formatTitle(const QString& format, const QString& argument) {
    QString result;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            result += format[i];
        } else if (format[i + 1] == '@') {
            result += argument;
            ++i;
        } else if (format.mid(i, 4) == QLatin1String("%1$@")) {
            result += argument;
            i += 3;
        } else if (format[i + 1] == '%') {
            result += '%';
            ++i;
        } else {
            result += format[i];
        }
    }
    return result;
}

// A window of the interface file, centred and in front.
TSWindowController* showCentred(const QString& interfaceFile) {
    auto* controller = new TSWindowController(tsLoadInterfaceFile(interfaceFile));
    QWidget* window = controller->window();
    if (QScreen* screen = window->screen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    controller->showWindow();
    window->raise();
    return controller;
}

QString productRoot() {
    const TSApplication* application = TSApplication::sharedApplication();
    return application ? application->tesseraRoot() : QString();
}

} // namespace

TSServerOEM::TSServerOEM(QObject* parent) : TSServer(parent) {
    runningTasks_.reserve(8);
}

TSServerOEM::~TSServerOEM() {
    delete splashController_;
    delete firstRunSplashController_;
}

void TSServerOEM::completeStartup() {
    setupOEMMenus();
    // Making a bottle takes Wine a while: the splash shows meanwhile and the main loop runs.
    const TSPyObject management = TSSetupLib::bottleManagementClass();
    if (management.isNull()) {
        TSServer::completeStartup();
        return;
    }
    if (!QFileInfo(QDir(getBottleDir()).filePath(defaultBottleName())).isDir() &&
        !firstRunSplashController_)
        showFirstRunSplash();
    QPointer<TSServerOEM> self(this);
    std::thread([self, management] {
        const QVariantList result =
            management.call("setUpBottleFromManagedBottle_", {defaultBottleName()}).toList();
        const bool succeeded = !result.isEmpty() && result.first().toBool();
        const QString failure = result.value(1).toString();
        QMetaObject::invokeMethod(
            qApp,
            [self, succeeded, failure] {
                if (self)
                    self->defaultBottleSetUp(succeeded, failure);
            },
            Qt::QueuedConnection);
    }).detach();
}

void TSServerOEM::defaultBottleSetUp(bool succeeded, const QString& failure) {
    if (!succeeded) {
        QMessageBox alert;
        alert.setIcon(QMessageBox::Critical);
        alert.setText(tr("The default bottle could not be set up."));
        alert.setInformativeText(failure.isEmpty() ? tr("The scripting layer gave no reason.")
                                                   : failure);
        alert.setDefaultButton(alert.addButton(tr("OK"), QMessageBox::AcceptRole));
        alert.exec();
    }
    TSServer::completeStartup();
    // When start-up launches nothing (a URL of the product's own scheme), the first-run
    // splash goes now instead of after the launches.
    performInvocationWhenAppStarted([this] {
        if (pendingAppLaunches().isEmpty())
            finishedLaunches();
    });
}

void TSServerOEM::setupOEMMenus() {
    const QString bundleName = productDisplayName();
    for (QAction* item : mainMenu()->actions()) {
        QMenu* submenu = item->menu();
        if (!submenu)
            continue;
        for (QAction* subitem : submenu->actions())
            subitem->setText(formatTitle(subitem->text(), bundleName));
    }
}

void TSServerOEM::showFirstRunSplash() {
    if (!tsHasInterfaceFile(QStringLiteral("firstrunsplash")))
        return;
    if (firstRunSplashController_)
        throw TSInternalInconsistency(QStringLiteral("!firstRunSplashController"));
    firstRunSplashController_ = showCentred(QStringLiteral("firstrunsplash"));
}

void TSServerOEM::processFirstRun(bool earlierVersionRan) {
    showFirstRunSplash();
    TSServer::processFirstRun(earlierVersionRan);
}

void TSServerOEM::applicationOpenUntitledFile() {
    launchWindowsExe();
    TSServer::applicationOpenUntitledFile();
}

bool TSServerOEM::applicationOpenFile(const QString& path) {
    primaryTaskScheduled_ = true;
    return TSServer::applicationOpenFile(path);
}

bool TSServerOEM::handleGetURLEvent(const QString& url) {
    const bool scheduled = TSServer::handleGetURLEvent(url);
    if (scheduled)
        primaryTaskScheduled_ = true;
    return scheduled;
}

QString TSServerOEM::primaryCommand() const {
    // The Windows path stays unquoted: the shell hands it over as three words.
    return QStringLiteral("%1/%2").arg(
        stringQuotedForBash(productRoot()),
        QStringLiteral("bin/wine --enable-alt-loader macdrv --bottle default --wait-children "
                       "C:/Program Files/Halcyon Imaging/SkiffApp64.exe"));
}

void TSServerOEM::launchWindowsExe() {
    if (primaryTaskScheduled_)
        return;
    const QVariantMap args = {
        {QStringLiteral("primaryOEMapp"), true},
        {QStringLiteral("icon"), applicationIcon()},
    };
    performSelectorWhenAppStarted("forkExecCommandWithArgs(QString,QVariantMap)", this,
                                  primaryCommand(), args);
    primaryTaskScheduled_ = true;
}

void TSServerOEM::noteTaskForCommandArgs(TSTask* task, const QString& command,
                                         const QVariantMap& args) {
    TSServer::noteTaskForCommandArgs(task, command, args);
    runningTasks_.append(task);
}

void TSServerOEM::observeTaskTermination(TSTask* task) {
    TSServer::observeTaskTermination(task);
    runningTasks_.removeOne(task);
    TSLog("Running tasks: %d\n", int(runningTasks_.size()));
    if (runningTasks_.isEmpty()) {
        TSLog("The primary OEM task just exited.  Time to close down.\n");
        if (TSApplication* application = TSApplication::sharedApplication())
            application->terminate();
    }
}

void TSServerOEM::drawLaunchFeedbackPositionInfo(LaunchFeedbackInfo*, int, const QVariant&) {
    if (firstRunSplashController_ || splashController_ ||
        !tsHasInterfaceFile(QStringLiteral("splash")))
        return;
    splashController_ = showCentred(QStringLiteral("splash"));
}

void TSServerOEM::finishedLaunches() {
    for (TSWindowController** controller : {&splashController_, &firstRunSplashController_}) {
        if (*controller) {
            if ((*controller)->isWindowLoaded() && (*controller)->window())
                (*controller)->window()->close();
            delete *controller;
            *controller = nullptr;
        }
    }
}

QString TSServerOEM::managedBottlePath() {
    const QString base = TSServer::managedBottlePath();
    const QString link = QDir(getAppSupportDir()).filePath(QStringLiteral("BuiltinBottles"));
    const QString target = QDir(productRoot()).filePath(QStringLiteral("support"));
    const QFileInfo existing(link);
    if (existing.exists() && !existing.isSymLink())
        return base;
    const TSFileManager files = TSFileManager::ts_fileManagerWithDelegate(this);
    if (existing.isSymLink() && !files.removeItemAtPath(link))
        return base;
    if (!files.createDirectoryAtPath(getAppSupportDir(), {}, true) ||
        !files.createSymbolicLinkAtPath(link, target))
        return base;
    return base.isNull() ? link : link + ':' + base;
}

void TSServerOEM::modifyEnvironmentForCommandTask(QProcessEnvironment& environment) {
    TSServer::modifyEnvironmentForCommandTask(environment);
    if (TSUserDefaults::standardUserDefaults().boolForKey(QStringLiteral("DisableWineIntegration")))
        return;
    if (!wineLoader_)
        wineLoader_ = WineLoader::initWithTesseraRoot(productRoot(), this);
    if (wineLoader_ && !wineLoader_->socketPath().isEmpty())
        environment.insert(QStringLiteral("TS_WINEWRAPPER_ALT_LOADER_SOCKET"),
                           wineLoader_->socketPath());
}
