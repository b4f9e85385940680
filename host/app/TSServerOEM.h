// The delegate of this product: titles its menus with the product name, shows the first-run
// splash, makes the user's default bottle, and starts the product's primary Windows program,
// the imaging loader, when started without a document; the host quits when the last program
// it launched has exited.
#pragma once

#include "TSServer.h"

#include <QList>
#include <QPointer>

class TSTask;
class TSWindowController;
class WineLoader;

class TSServerOEM : public TSServer {
    Q_OBJECT
public:
    explicit TSServerOEM(QObject* parent = nullptr);
    ~TSServerOEM() override;

    // Makes or completes the default bottle first (on a worker thread, while the first-run
    // splash shows), then completes start-up.
    void completeStartup() override;
    void processFirstRun(bool earlierVersionRan) override;
    void applicationOpenUntitledFile() override;
    bool applicationOpenFile(const QString& path) override;
    bool handleGetURLEvent(const QString& url) override;
    QString managedBottlePath() override;
    // The product's recent items show no bottle names.
    QString makeBottleTaggedName(const QString& displayName, const QString&) const override {
        return displayName;
    }

    // Replaces each title of the main menu's submenus by the title used as a format with the
    // bundle name as its one argument.
    void setupOEMMenus();

    // Schedules the primary program behind the app-started gate, once.
    void launchWindowsExe();
    // The loader's updater has finished: the primary program starts (once).
    void updaterFinished() { launchWindowsExe(); }
    bool primaryTaskScheduled() const { return primaryTaskScheduled_; }
    // The primary program's command line.
    QString primaryCommand() const;

    // The bottle named "default", made from the managed bottle of that name.
    static QString defaultBottleName() { return QStringLiteral("default"); }

    TSWindowController* splashController() const { return splashController_; }
    TSWindowController* firstRunSplashController() const { return firstRunSplashController_; }
    const QList<TSTask*>& runningTasks() const { return runningTasks_; }
    WineLoader* wineLoader() const { return wineLoader_; }

protected:
    void modifyEnvironmentForCommandTask(QProcessEnvironment& environment) override;
    void noteTaskForCommandArgs(TSTask* task, const QString& command,
                                const QVariantMap& args) override;
    void observeTaskTermination(TSTask* task) override;
    void drawLaunchFeedbackPositionInfo(LaunchFeedbackInfo* info, int position,
                                        const QVariant& drawInfo) override;
    void finishedLaunches() override;

private:
    void showFirstRunSplash();
    void defaultBottleSetUp(bool succeeded, const QString& failure);

    bool primaryTaskScheduled_ = false;
    QList<TSTask*> runningTasks_;
    TSWindowController* splashController_ = nullptr;
    TSWindowController* firstRunSplashController_ = nullptr;
    WineLoader* wineLoader_ = nullptr;
};
