#include "TSServerOEM.h"

#include "TSApplication.h"
#include "TSInterfaceFiles.h"
#include "TSInternalInconsistency.h"
#include "TSLog.h"
#include "TSSetupLib.h"
#include "TSTask.h"
#include "TSWindowController.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QWidget>

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

} // namespace

TSServerOEM::TSServerOEM(QObject* parent) : TSServer(parent) {
    runningTasks_.reserve(8);
}

TSServerOEM::~TSServerOEM() {
    delete firstRunSplashController_;
}

void TSServerOEM::completeStartup() {
    setupOEMMenus();
    TSServer::completeStartup();
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

void TSServerOEM::processFirstRun(bool earlierVersionRan) {
    if (tsHasInterfaceFile(QStringLiteral("firstrunsplash"))) {
        if (firstRunSplashController_)
            throw TSInternalInconsistency(QStringLiteral("!firstRunSplashController"));
        firstRunSplashController_ =
            new TSWindowController(tsLoadInterfaceFile(QStringLiteral("firstrunsplash")));
        QWidget* window = firstRunSplashController_->window();
        if (QScreen* screen = window->screen())
            window->move(screen->availableGeometry().center() - window->rect().center());
        firstRunSplashController_->showWindow();
        window->raise();
    }
    TSServer::processFirstRun(earlierVersionRan);
}

void TSServerOEM::applicationOpenUntitledFile() {
    launchWindowsExe();
    TSServer::applicationOpenUntitledFile();
}

void TSServerOEM::launchWindowsExe() {
    if (primaryTaskScheduled_)
        return;
    performSelectorWhenAppStarted("startPrimaryProgram()", this);
    primaryTaskScheduled_ = true;
}

void TSServerOEM::startPrimaryProgram() {
    const TSPyObject query = TSSetupLib::bottleQueryClass();
    const QStringList bottles = query.call("bottles").toStringList();
    const QString defaultBottle = query.call("defaultBottle").toString();
    TSLog("Bottles in %s: %s; default: %s\n", getBottleDir().toUtf8().constData(),
          bottles.join(QStringLiteral(", ")).toUtf8().constData(),
          defaultBottle.toUtf8().constData());
    // The host quits when the last task it launched has exited; it has launched none.
    if (runningTasks_.isEmpty()) {
        if (TSApplication* application = TSApplication::sharedApplication())
            application->terminate();
    }
}
