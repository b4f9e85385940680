// The application delegate: registered user defaults, the directory helpers, the launch
// sequence with first-run handling, the app-started gate through which launches wait for the
// end of start-up, menu validation, launching Windows programs with their environment and
// launch feedback, and the answer to a quit request.
#pragma once

#include "FileManagerAdditions.h"
#include "TSObject.h"
#include "TSPyObject.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class LaunchFeedbackInfo;
class QAction;
class QMenu;
class QMainWindow;
class QMenuBar;
class QSystemTrayIcon;
class QTimer;
class ShutdownController;
class TSAppStartedGate;
class TSDynamicStore;
class TSTask;

class TSServer : public TSObject, public TSFileManagerDelegate {
    Q_OBJECT
    Q_PROPERTY(bool menusEnabled READ menusEnabled WRITE setMenusEnabled)
public:
    // The build gives the version (the package carries the same one).
    static QString productVersionString() { return QStringLiteral(HALCYON_PRODUCT_VERSION); }
    static QString productDisplayName() { return QStringLiteral("Halcyon Imaging"); }

    // Registers the defaults.
    explicit TSServer(QObject* parent = nullptr);
    ~TSServer() override;

    static QString getAppSupportDirForProductNamed(const QString& name);
    static QString getSystemAppSupportDirForProductNamed(const QString& name);
    static QString getAppSupportDir();
    static QString getSystemAppSupportDir();
    static QString getDefaultBottleDir();
    static QString getBottleDir();

    // Launch sequence (TSApplication::finishLaunching).
    virtual void applicationWillFinishLaunching();
    virtual void applicationDidFinishLaunching();
    // Launch events; each marks that the application was started for a reason of its own.
    // A document opens in the event's bottle, a URL is handed to it, once start-up is done.
    virtual void applicationOpenUntitledFile();
    virtual bool applicationOpenFile(const QString& path);
    virtual bool handleGetURLEvent(const QString& url);
    bool gotLaunchEvent() const { return gotLaunchEvent_; }
    // The application is started again while it runs: the Wine controller decides, when a
    // Windows program runs inside the host; otherwise the windows come to the front.
    virtual bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // URLs of the application's own scheme are accepted and not handed on.
    static QString privateURLScheme() {
        return QStringLiteral("example.tessera.private-halcyonimaging-app-scheme");
    }

    // Quitting: now, not at all, or later through replyToApplicationShouldTerminateTrampoline,
    // once every bottle has been shut down (the shutdown window shows meanwhile).
    enum TerminateReply { TerminateCancel = 0, TerminateNow = 1, TerminateLater = 2 };
    virtual TerminateReply applicationShouldTerminate();
    Q_INVOKABLE void replyToApplicationShouldTerminateTrampoline(bool shouldTerminate);
    bool quitting() const { return quitting_; }
    ShutdownController* shutdownController();

    virtual void completeStartup();
    virtual void processFirstRun(bool earlierVersionRan);

    // The gate; created on first use, from any thread.
    TSAppStartedGate* startAppOp();
    TSAppStartedGate* startedAppGateOp() { return startAppOp(); }
    // Calls the target's invokable method (a signature such as "open(QString)") with up to
    // three objects once the application has started. An invalid QVariant stands for no
    // object. Throws std::invalid_argument when given more objects than the method takes.
    bool performSelectorWhenAppStarted(const char* selector, QObject* target,
                                       const QVariant& object = QVariant());
    bool performSelectorWhenAppStarted(const char* selector, QObject* target,
                                       const QVariant& object1, const QVariant& object2);
    bool performSelectorWhenAppStarted(const char* selector, QObject* target,
                                       const QVariant& object1, const QVariant& object2,
                                       const QVariant& object3);
    bool performInvocationWhenAppStarted(std::function<void()> invocation);

    // The main menu: the application menu, File with Open…, Open Recent and Run Command…,
    // and Help. The main window carries it, and the tray icon offers the same items.
    QMenuBar* mainMenu();
    QMenu* openRecent() const { return openRecent_; }
    QMainWindow* mainWindow();
    void showMainWindow();
    QSystemTrayIcon* trayIcon() const { return trayIcon_; }
    bool validateMenuItem(const QAction* item) const;
    bool menusEnabled() const { return menusEnabled_; }
    void setMenusEnabled(bool enabled) { menusEnabled_ = enabled; }

    // Launching. Every command runs through "/bin/sh -c" with the null device for its three
    // streams. Launch arguments: "icon" (QIcon: launch feedback), "workdir" (the child's
    // working directory, default the home folder), "doc" and "primaryOEMapp" (kept with the
    // task).
    Q_INVOKABLE void forkExecCommand(const QString& command);
    Q_INVOKABLE virtual void forkExecCommandWithArgs(const QString& command,
                                                     const QVariantMap& args);
    // Opens a Windows file or program in a bottle (the default bottle for an empty name), and
    // records it among the recent items.
    Q_INVOKABLE void runClientInBottle(const QString& path, const QString& bottle);
    // The command that hands a URL to a bottle.
    QString urlCommandForBottle(const QString& url, const QString& bottle) const;
    // Running tasks with their records: "task", the launch arguments and, with feedback,
    // "launchFeedbackInfo" (a QPointer: the record ends when its launch is done).
    const QHash<TSTask*, QVariantMap>& tasksInProgress() const { return tasksInProgress_; }

    // Launch feedback.
    LaunchFeedbackInfo* startLaunchNotify(const QIcon& icon);
    void updateLaunchNotify();
    const QList<LaunchFeedbackInfo*>& pendingAppLaunches() const { return pendingAppLaunches_; }
    QIcon applicationIcon() const;

    // Environment of the host process, which every child inherits; set once at start-up.
    virtual void setEnvironmentVariables();
    void setEnvValue(const QString& value, const QString& name);
    void unsetEnvValueForKey(const QString& name);
    void setHttpProxyEnvironmentVariableFromSystemConfiguration();
    void beginMonitoringSystemConfigurationProxy();
    // The managed bottle folders, ":"-separated, or a null string when there are none.
    virtual QString managedBottlePath();

    // A command line's word for the bottle: "--bottle NAME", "--bottle default" without one.
    static QString bottleOption(const QString& bottle);

    // The recent items: "RecentItems" holds {"bookmark", "bottle" (absent for the default
    // bottle)} entries, most recent first, at most "RecentItemsCount" of them.
    void addToRecentItems(const QString& path, const QString& bottle);
    // Rebuilds the Open Recent submenu, and keeps the stored list within its bound.
    virtual void updateRecentItemsMenu();
    void openRecent(const QVariantMap& entry);
    void clearRecent();
    virtual QString makeBottleTaggedName(const QString& displayName, const QString& bottle) const;

    // The Open panel with the bottle chooser; the chosen files open in the chosen bottle.
    void openDocument();
    // The file extensions the bottle's programs open, from its association database.
    static QStringList fileTypesForBottle(const TSPyObject& bottle);
    // Opens the product's license with the desktop's default application.
    void showLicense();

    // File operations of the host stop at their first error, after one log line.
    bool shouldProceedAfterErrorCopyingItem(const QString& error, const QString& source,
                                            const QString& destination) override;
    bool shouldProceedAfterErrorLinkingItem(const QString& error, const QString& source,
                                            const QString& destination) override;
    bool shouldProceedAfterErrorMovingItem(const QString& error, const QString& source,
                                           const QString& destination) override;
    bool shouldProceedAfterErrorRemovingItem(const QString& error, const QString& item) override;

protected:
    // Hooks of forkExecCommandWithArgs.
    virtual void modifyEnvironmentForCommandTask(QProcessEnvironment& environment);
    virtual void noteTaskForCommandArgs(TSTask* task, const QString& command,
                                        const QVariantMap& args);
    virtual void observeTaskTermination(TSTask* task);
    // Hooks of the launch feedback.
    virtual QVariant launchFeedbackDrawInfoForImageSize(const QSize& size);
    virtual void drawLaunchFeedbackPositionInfo(LaunchFeedbackInfo* info, int position,
                                                const QVariant& drawInfo);
    virtual void finishedLaunches();

    // Gives the application the deferred answer to its quit request.
    virtual void replyToApplicationShouldTerminate(bool shouldTerminate);

    void showSystemInformation();
    // Opens a new Run Command window.
    void runCommand();

private:
    // The bottle named by the launch event being delivered; empty for the default bottle.
    static QString currentEventBottleName();
    bool performSelector(const char* selector, QObject* target, const QVariant (&objects)[3]);
    void showLaunchFailure();

    QMutex gateMutex_;
    QPointer<TSAppStartedGate> startAppOp_;
    bool gotLaunchEvent_ = false;
    bool menusEnabled_ = false;
    bool quitting_ = false;
    QMenuBar* mainMenu_ = nullptr;
    QMenu* openRecent_ = nullptr;
    QMainWindow* mainWindow_ = nullptr;
    QSystemTrayIcon* trayIcon_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QHash<TSTask*, QVariantMap> tasksInProgress_;
    QList<LaunchFeedbackInfo*> pendingAppLaunches_;
    QTimer* launchFeedbackTimer_ = nullptr;
    std::unique_ptr<TSDynamicStore> systemDynamicStore_;
    ShutdownController* shutdownController_ = nullptr;
};
