// The application delegate: registered user defaults, the directory helpers, the launch
// sequence with first-run handling, the app-started gate through which launches wait for the
// end of start-up, menu validation and the environment of child processes.
#pragma once

#include "TSObject.h"

#include <QList>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>

class QAction;
class QMenu;
class QMenuBar;
class TSAppStartedGate;

class TSServer : public TSObject {
    Q_OBJECT
    Q_PROPERTY(bool menusEnabled READ menusEnabled WRITE setMenusEnabled)
public:
    static QString productVersionString() { return QStringLiteral("18.5.0.31792local"); }
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
    virtual void applicationOpenUntitledFile();
    virtual bool applicationOpenFile(const QString& path);
    virtual void handleGetURLEvent(const QString& url);
    bool gotLaunchEvent() const { return gotLaunchEvent_; }

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

    // The main menu: the application menu, File with its Open Recent submenu, and Help.
    QMenuBar* mainMenu();
    QMenu* openRecent() const { return openRecent_; }
    bool validateMenuItem(const QAction* item) const;
    bool menusEnabled() const { return menusEnabled_; }
    void setMenusEnabled(bool enabled) { menusEnabled_ = enabled; }

    // Environment of the host process, which every child inherits; set once at start-up.
    virtual void setEnvironmentVariables();
    void setEnvValue(const QString& value, const QString& name);
    void unsetEnvValueForKey(const QString& name);

protected:
    // Rebuilds the Open Recent submenu; nothing to do while there are no recent items.
    virtual void updateRecentItemsMenu() {}
    void showSystemInformation();

private:
    bool performSelector(const char* selector, QObject* target, const QVariant (&objects)[3]);

    QMutex gateMutex_;
    QPointer<TSAppStartedGate> startAppOp_;
    bool gotLaunchEvent_ = false;
    bool menusEnabled_ = false;
    bool environmentSet_ = false;
    QMenuBar* mainMenu_ = nullptr;
    QMenu* openRecent_ = nullptr;
};
