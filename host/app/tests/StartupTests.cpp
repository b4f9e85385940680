#include "HostTestSupport.h"
#include "TSAppStartedGate.h"
#include "TSApplication.h"
#include "TSInternalInconsistency.h"
#include "TSLog.h"
#include "TSServer.h"
#include "TSServerOEM.h"
#include "TSUserDefaults.h"
#include "TSWindowController.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <stdexcept>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// Records the order of deferred calls.
class Recorder : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void noArgument() { calls << QStringLiteral("none"); }
    Q_INVOKABLE void oneArgument(const QString& text) { calls << QStringLiteral("one:") + text; }
    Q_INVOKABLE void twoArguments(const QString& text, int number) {
        calls << QStringLiteral("two:%1,%2").arg(text).arg(number);
    }
    Q_INVOKABLE void threeArguments(const QVariant& a, const QVariant& b, const QVariant& c) {
        calls << QStringLiteral("three:%1,%2,%3")
                     .arg(a.toString(), b.isValid() ? b.toString() : QStringLiteral("nil"),
                          c.toString());
    }
    QStringList calls;
};

// A delegate that records the launch steps instead of starting anything.
class RecordingServer : public TSServer {
public:
    void applicationOpenUntitledFile() override {
        ++untitledOpens;
        TSServer::applicationOpenUntitledFile();
    }
    void processFirstRun(bool earlierVersionRan) override {
        firstRuns << earlierVersionRan;
        TSServer::processFirstRun(earlierVersionRan);
    }
    void setEnvironmentVariables() override { ++environmentSetUps; }
    void forkExecCommandWithArgs(const QString& command, const QVariantMap&) override {
        commands << command;
    }
    int untitledOpens = 0;
    int environmentSetUps = 0;
    QList<bool> firstRuns;
    QStringList commands;
};

} // namespace

TEST(AppStartedGate, DeferredCallsRunInOrderOnlyAfterStartup) {
    RecordingServer server;
    Recorder recorder;
    server.performSelectorWhenAppStarted("oneArgument(QString)", &recorder, QStringLiteral("a"));
    server.performSelectorWhenAppStarted("noArgument()", &recorder);
    server.performSelectorWhenAppStarted("twoArguments(QString,int)", &recorder,
                                         QStringLiteral("b"), 2);
    server.performSelectorWhenAppStarted("threeArguments(QVariant,QVariant,QVariant)", &recorder,
                                         QStringLiteral("x"), QVariant(), 3);
    runPendingEvents();
    EXPECT_TRUE(recorder.calls.isEmpty()) << "nothing runs before start-up is complete";

    server.completeStartup();
    EXPECT_TRUE(recorder.calls.isEmpty()) << "the gate opens at the next turn of the main loop";
    EXPECT_TRUE(server.menusEnabled());
    runPendingEvents();
    EXPECT_EQ(recorder.calls,
              (QStringList{QStringLiteral("one:a"), QStringLiteral("none"),
                           QStringLiteral("two:b,2"), QStringLiteral("three:x,nil,3")}));

    // After the gate: at the next turn, not at once.
    recorder.calls.clear();
    server.performInvocationWhenAppStarted([&recorder] { recorder.calls << "late"; });
    EXPECT_TRUE(recorder.calls.isEmpty());
    runPendingEvents();
    EXPECT_EQ(recorder.calls, QStringList{QStringLiteral("late")});
    EXPECT_EQ(server.startAppOp(), server.startedAppGateOp());
}

TEST(AppStartedGate, MoreObjectsThanTheSelectorTakesIsRefused) {
    RecordingServer server;
    Recorder recorder;
    const struct {
        const char* selector;
        QVariant objects[3];
        const char* message;
    } cases[] = {
        {"noArgument()",
         {1, {}, {}},
         "performSelectorWhenAppStarted:forTarget:withObject1:andObject2: called with an object "
         "when the selector doesn't take an argument."},
        {"oneArgument(QString)",
         {QStringLiteral("a"), QStringLiteral("b"), {}},
         "performSelectorWhenAppStarted:forTarget:withObject1:andObject2: called with two "
         "objects when the selector doesn't take a second argument."},
        {"twoArguments(QString,int)",
         {QStringLiteral("a"), 1, 2},
         "performSelectorWhenAppStarted:forTarget:withObject1:andObject2:andObject3: called "
         "with three objects when the selector doesn't take a third argument."},
    };
    for (const auto& c : cases) {
        try {
            server.performSelectorWhenAppStarted(c.selector, &recorder, c.objects[0], c.objects[1],
                                                 c.objects[2]);
            ADD_FAILURE() << c.selector << " was accepted";
        } catch (const std::invalid_argument& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
    server.completeStartup();
    runPendingEvents();
    EXPECT_TRUE(recorder.calls.isEmpty()) << "nothing was scheduled";
}

TEST(AppStartedGate, OperationsFromOtherThreadsRunOnTheMainThread) {
    TSAppStartedGate gate;
    QThread* ranOn = nullptr;
    std::thread worker([&] { gate.addOperation([&] { ranOn = QThread::currentThread(); }); });
    worker.join();
    gate.start();
    runPendingEvents();
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
}

TEST(ServerDefaults, RegisteredInOrderWithTheirValues) {
    TSServer server;
    const TSUserDefaults& defaults = TSUserDefaults::standardUserDefaults();
    const QStringList expectedOrder = {"FirstRunVersion",   "RecentItemsCount", "BottleDir",
                                       "ManagedBottleDirs", "RecentItems",      "KnotURL",
                                       "ShowUntestedApps",  "InstallExeFiles"};
    QStringList serverKeys = defaults.registeredKeys();
    serverKeys.removeIf(
        [&expectedOrder](const QString& key) { return !expectedOrder.contains(key); });
    EXPECT_EQ(serverKeys, expectedOrder);
    EXPECT_EQ(defaults.registeredValue("FirstRunVersion"), QVariant(QString()));
    EXPECT_EQ(defaults.registeredValue("RecentItemsCount").toInt(), 10);
    EXPECT_TRUE(defaults.registeredValue("ManagedBottleDirs").toList().isEmpty());
    EXPECT_TRUE(defaults.registeredValue("RecentItems").toList().isEmpty());
    EXPECT_TRUE(defaults.registeredValue("KnotURL").toString().endsWith(
        "/pub/tessera/knot/tessera.knot.gz"));
    EXPECT_FALSE(defaults.registeredValue("ShowUntestedApps").toBool());
    EXPECT_TRUE(defaults.registeredValue("InstallExeFiles").toBool());

    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    EXPECT_EQ(TSServer::getAppSupportDir(), data + "/Halcyon Imaging");
    EXPECT_EQ(TSServer::getDefaultBottleDir(), data + "/Halcyon Imaging/Bottles");
    EXPECT_EQ(defaults.registeredValue("BottleDir").toString(), TSServer::getDefaultBottleDir());
    EXPECT_EQ(TSServer::getBottleDir(), TSServer::getDefaultBottleDir());
    EXPECT_TRUE(TSServer::getSystemAppSupportDir().endsWith("/Halcyon Imaging"));
    EXPECT_NE(TSServer::getSystemAppSupportDir(), TSServer::getAppSupportDir());

    // A stored value wins over the registered one.
    TSUserDefaults::standardUserDefaults().setObject("/srv/bottles", "BottleDir");
    EXPECT_EQ(TSServer::getBottleDir(), "/srv/bottles");
    TSUserDefaults::standardUserDefaults().removeObjectForKey("BottleDir");
}

TEST(ServerLaunch, FirstRunFollowsTheStoredVersion) {
    const struct {
        const char* stored;
        QList<bool> expected;
    } cases[] = {
        {"", {false}},             // fresh install
        {"18.5.0.31792LOCAL", {}}, // same version, other letter case
        {"17.2.0.1000", {true}},   // an earlier version ran
    };
    TSUserDefaults& defaults = TSUserDefaults::standardUserDefaults();
    for (const auto& c : cases) {
        defaults.setObject(QString::fromLatin1(c.stored), "FirstRunVersion");
        RecordingServer server;
        server.applicationDidFinishLaunching();
        EXPECT_EQ(server.firstRuns, c.expected) << "stored \"" << c.stored << "\"";
        EXPECT_EQ(server.environmentSetUps, 1);
        if (!c.expected.isEmpty()) {
            EXPECT_EQ(defaults.stringForKey("FirstRunVersion"), "18.5.0.31792local");
        }
        runPendingEvents();
    }
    defaults.removeObjectForKey("FirstRunVersion");
}

TEST(ServerLaunch, UntitledOpenOnlyWithoutALaunchEvent) {
    TSUserDefaults::standardUserDefaults().setObject(TSServer::productVersionString(),
                                                     "FirstRunVersion");
    RecordingServer plain;
    plain.applicationDidFinishLaunching();
    EXPECT_EQ(plain.untitledOpens, 1);

    RecordingServer withDocument;
    withDocument.applicationOpenFile("/tmp/study.dcm");
    withDocument.applicationDidFinishLaunching();
    EXPECT_EQ(withDocument.untitledOpens, 0);

    RecordingServer withUrl;
    withUrl.handleGetURLEvent("halcyonimaging://open?study=1");
    withUrl.applicationDidFinishLaunching();
    EXPECT_EQ(withUrl.untitledOpens, 0);
    runPendingEvents();
    TSUserDefaults::standardUserDefaults().removeObjectForKey("FirstRunVersion");
}

namespace {

// A delegate that records the steps of the launch sequence.
class OrderServer : public TSServer {
public:
    void applicationWillFinishLaunching() override { steps << "willFinishLaunching"; }
    void applicationOpenUntitledFile() override {
        steps << "openUntitled";
        TSServer::applicationOpenUntitledFile();
    }
    void processFirstRun(bool earlierVersionRan) override {
        steps << QStringLiteral("firstRun:%1").arg(earlierVersionRan);
        TSServer::processFirstRun(earlierVersionRan);
    }
    void setEnvironmentVariables() override { steps << "environment"; }
    void completeStartup() override {
        steps << "completeStartup";
        TSServer::completeStartup();
    }
    QStringList steps;
};

} // namespace

TEST(ServerLaunch, SequenceRunsInOrderAndDeferredWorkAfterIt) {
    TSUserDefaults::standardUserDefaults().removeObjectForKey("FirstRunVersion");
    TSApplication* application = TSApplication::sharedApplication();
    OrderServer server;
    application->setDelegate(&server);
    QObject::connect(application, &TSApplication::applicationWillFinishLaunching, &server,
                     [&server] { server.steps << "notification:willFinish"; });
    QObject::connect(application, &TSApplication::applicationDidFinishLaunching, &server,
                     [&server] { server.steps << "notification:didFinish"; });
    server.performInvocationWhenAppStarted([&server] { server.steps << "deferred"; });

    application->finishLaunching();
    EXPECT_EQ(server.steps, (QStringList{"willFinishLaunching", "notification:willFinish",
                                         "openUntitled", "firstRun:0", "environment",
                                         "completeStartup", "notification:didFinish"}));
    runPendingEvents();
    EXPECT_EQ(server.steps.last(), "deferred");
    EXPECT_TRUE(server.menusEnabled());
    application->setDelegate(nullptr);
    TSUserDefaults::standardUserDefaults().removeObjectForKey("FirstRunVersion");
}

TEST(ServerLaunch, EnvironmentForChildrenIsSetOnce) {
    EnvironmentGuard guard({"HOME", "TS_BOTTLE_PATH", "TS_APP_BUNDLE_PATH"});
    QTemporaryFile notAFolder;
    ASSERT_TRUE(notAFolder.open());
    qputenv("HOME", QFile::encodeName(notAFolder.fileName()));

    TSServer server;
    server.setEnvironmentVariables();
    const QString home = qEnvironmentVariable("HOME");
    EXPECT_NE(home, notAFolder.fileName()) << "a HOME that is no folder is replaced";
    EXPECT_TRUE(QFileInfo(home).isDir()) << home.toStdString();
    EXPECT_EQ(qEnvironmentVariable("TS_BOTTLE_PATH"), TSServer::getBottleDir());
    EXPECT_EQ(qEnvironmentVariable("TS_APP_BUNDLE_PATH"), QStringLiteral(HOST_BUNDLE_DIR));

    // Children inherit it.
    QProcess child;
    child.start("/bin/sh", {"-c", "printf %s \"$TS_APP_BUNDLE_PATH\""});
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(child.readAllStandardOutput()), QStringLiteral(HOST_BUNDLE_DIR));

    // Once per process.
    qputenv("TS_APP_BUNDLE_PATH", "changed");
    server.setEnvironmentVariables();
    EXPECT_EQ(qEnvironmentVariable("TS_APP_BUNDLE_PATH"), "changed");
}

TEST(ServerMenus, OnlyHelpWhileMenusAreDisabled) {
    TSServer server;
    QMenu help(QStringLiteral("Help"));
    QMenu lowerHelp(QStringLiteral("help"));
    QMenu file(QStringLiteral("File"));
    QAction* helpItem = help.addAction("Contents");
    QAction* lowerItem = lowerHelp.addAction("Contents");
    QAction* fileItem = file.addAction("Open");

    server.setMenusEnabled(false);
    EXPECT_TRUE(server.validateMenuItem(helpItem));
    EXPECT_FALSE(server.validateMenuItem(lowerItem));
    EXPECT_FALSE(server.validateMenuItem(fileItem));
    server.setMenusEnabled(true);
    EXPECT_TRUE(server.validateMenuItem(lowerItem));
    EXPECT_TRUE(server.validateMenuItem(fileItem));
}

TEST(ServerMenus, OEMTitlesCarryTheBundleNameOnTheFirstLevelOnly) {
    TSServerOEM server;
    QMenuBar* menu = server.mainMenu();
    QMenu* extra = menu->addMenu("Extra");
    extra->addAction("Show 100%% of %@");
    QMenu* nested = extra->addMenu("More %@");
    nested->addAction("Deep %@");

    server.setupOEMMenus();
    QStringList titles;
    for (QAction* item : extra->actions())
        titles << item->text();
    EXPECT_EQ(titles, (QStringList{"Show 100% of Halcyon Imaging", "More Halcyon Imaging"}));
    EXPECT_EQ(nested->actions().first()->text(), "Deep %@");
    EXPECT_EQ(menu->actions().first()->menu()->actions().first()->text(), "About Halcyon Imaging");
    ASSERT_NE(server.openRecent(), nullptr);
}

TEST(ServerOEM, FirstRunShowsTheSplashOnce) {
    TSServerOEM server;
    server.processFirstRun(false);
    TSWindowController* splash = server.firstRunSplashController();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(splash->window()->isVisible());
    EXPECT_EQ(TSUserDefaults::standardUserDefaults().stringForKey("FirstRunVersion"),
              TSServer::productVersionString());
    try {
        server.processFirstRun(true);
        ADD_FAILURE() << "a second splash was accepted";
    } catch (const TSInternalInconsistency& error) {
        EXPECT_EQ(error.reason(), "!firstRunSplashController");
    }
    TSUserDefaults::standardUserDefaults().removeObjectForKey("FirstRunVersion");
}

TEST(ServerOEM, PrimaryProgramIsScheduledOnce) {
    TSServerOEM server;
    server.launchWindowsExe();
    server.launchWindowsExe();
    EXPECT_TRUE(server.primaryTaskScheduled());
    server.applicationOpenUntitledFile();
    EXPECT_TRUE(server.gotLaunchEvent());
    // Nothing has run yet: the gate is closed.
    runPendingEvents();
    EXPECT_FALSE(server.startAppOp()->isStarted());
}

TEST(HostLog, WritesOnlyWhenOneOfTheVariablesIsSet) {
    EnvironmentGuard guard({"TS_LOG", "TS_DEBUGMSG", "DEBUG"});
    {
        StderrCapture capture;
        TSLog("Running tasks: %d\n", 3);
        EXPECT_EQ(capture.text(), "");
    }
    for (const char* name : {"TS_LOG", "TS_DEBUGMSG", "DEBUG"}) {
        qputenv(name, "");
        StderrCapture capture;
        TSLog("Running tasks: %d\n", 3);
        EXPECT_EQ(capture.text(), "Running tasks: 3\n") << name;
        qunsetenv(name);
    }
    StderrCapture capture;
    TSSystemLog("%s", "Unable to load the TSSetup class.\n");
    EXPECT_EQ(capture.text(), "Unable to load the TSSetup class.\n");
}

TEST(Application, SystemInformationLists) {
    EnvironmentGuard guard({"LANG", "LC_COLLATE", "LC_CTYPE", "LC_MESSAGES", "LC_MONETARY",
                            "LC_NUMERIC", "LC_TIME", "LC_ALL"});
    qputenv("LANG", "de_DE.UTF-8");
    qputenv("LC_TIME", "en_GB.UTF-8");
    TSApplication* application = TSApplication::sharedApplication();
    const QStringList lines = application->systemInformationString().split('\n');
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[0], "Halcyon Imaging 18.5.0.31792local");
    // The system's name and version, as the system states them.
    EXPECT_EQ(lines[1], QSysInfo::prettyProductName());
    EXPECT_TRUE(lines[1].contains(QSysInfo::productVersion())) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "Install location: " + application->mainBundlePath());
    EXPECT_TRUE(lines[3].startsWith("Mac Locale: "));
    EXPECT_EQ(lines[4], "LANG: de_DE.UTF-8");
    EXPECT_EQ(lines[5], "LC_TIME: en_GB.UTF-8");
    EXPECT_EQ(lines[6], "");
    EXPECT_EQ(lines[7], "") << "the text ends in two line breaks";
}

TEST(Application, ProductRootInTheBundle) {
    TSApplication* application = TSApplication::sharedApplication();
    EXPECT_EQ(application->mainBundlePath(), QStringLiteral(HOST_BUNDLE_DIR));
    EXPECT_EQ(application->tesseraRoot(),
              QStringLiteral(HOST_BUNDLE_DIR "/Contents/SharedSupport/halcyonimaging"));
    EXPECT_FALSE(TSApplication::accessInstanceVariablesDirectly());
}

namespace {

// A Wine driver hook that answers some of the notifications.
class FakeWineController : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE bool handleEvent(QEvent* event) {
        return event->type() == QEvent::Type(QEvent::User + 7);
    }
    Q_INVOKABLE void didSendEvent(QEvent* event) { sent << int(event->type()); }
    Q_INVOKABLE bool areDisplaysCaptured() { return true; }
    Q_INVOKABLE void applicationDidBecomeActive() { notifications << "didBecomeActive"; }
    Q_INVOKABLE void applicationWillTerminate() { notifications << "willTerminate"; }
    QStringList notifications;
    QList<int> sent;
};

class EventReceiver : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() >= QEvent::User)
            received << int(event->type());
        return QObject::event(event);
    }
    QList<int> received;
};

} // namespace

TEST(Application, WineControllerGetsNotificationsAndEvents) {
    TSApplication* application = TSApplication::sharedApplication();
    FakeWineController first;
    FakeWineController second;
    EXPECT_FALSE(application->isInFullScreenMode());

    application->setWineController(&first);
    Q_EMIT application->applicationDidBecomeActive();
    Q_EMIT application->applicationDidHide(); // not answered by the controller
    EXPECT_EQ(first.notifications, QStringList{"didBecomeActive"});
    EXPECT_TRUE(application->isInFullScreenMode());

    EventReceiver receiver;
    QEvent consumed(QEvent::Type(QEvent::User + 7));
    QEvent delivered(QEvent::Type(QEvent::User + 8));
    QCoreApplication::sendEvent(&receiver, &consumed);
    QCoreApplication::sendEvent(&receiver, &delivered);
    EXPECT_EQ(receiver.received, QList<int>{QEvent::User + 8});
    EXPECT_TRUE(first.sent.contains(QEvent::User + 8));
    EXPECT_FALSE(first.sent.contains(QEvent::User + 7));

    // The old controller is no longer told anything.
    application->setWineController(&second);
    Q_EMIT application->applicationWillTerminate();
    EXPECT_EQ(first.notifications, QStringList{"didBecomeActive"});
    EXPECT_EQ(second.notifications, QStringList{"willTerminate"});

    application->setWineController(nullptr);
    Q_EMIT application->applicationDidBecomeActive();
    EXPECT_EQ(second.notifications, QStringList{"willTerminate"});
    EXPECT_FALSE(application->isInFullScreenMode());
    QCoreApplication::sendEvent(&receiver, &consumed);
    EXPECT_EQ(receiver.received, (QList<int>{QEvent::User + 8, QEvent::User + 7}));
}

#include "StartupTests.moc"
