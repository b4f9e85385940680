// The delegate of this product: titles its menus with the product name, shows the first-run
// splash, and schedules the product's primary Windows program when started without a document.
#pragma once

#include "TSServer.h"

#include <QList>
#include <QPointer>

class TSTask;
class TSWindowController;

class TSServerOEM : public TSServer {
    Q_OBJECT
public:
    explicit TSServerOEM(QObject* parent = nullptr);
    ~TSServerOEM() override;

    void completeStartup() override;
    void processFirstRun(bool earlierVersionRan) override;
    void applicationOpenUntitledFile() override;

    // Replaces each title of the main menu's submenus by the title used as a format with the
    // bundle name as its one argument.
    void setupOEMMenus();

    // Schedules the primary program behind the app-started gate, once.
    void launchWindowsExe();
    bool primaryTaskScheduled() const { return primaryTaskScheduled_; }

    TSWindowController* firstRunSplashController() const { return firstRunSplashController_; }
    const QList<TSTask*>& runningTasks() const { return runningTasks_; }

protected:
    // The scheduled start of the primary program, run through the gate.
    Q_INVOKABLE virtual void startPrimaryProgram();

private:
    bool primaryTaskScheduled_ = false;
    QList<TSTask*> runningTasks_;
    TSWindowController* firstRunSplashController_ = nullptr;
};
