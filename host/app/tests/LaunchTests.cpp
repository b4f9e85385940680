// Launching commands as the host does: real child processes through /bin/sh, the real
// scripting layer for the environment, real launch-notify sockets, and the desktop's proxy
// setting in GIO's key-file store.
#include "HostTestSupport.h"
#include "LaunchFeedbackInfo.h"
#include "StringAdditions.h"
#include "TSAppStartedGate.h"
#include "TSApplication.h"
#include "TSServerOEM.h"
#include "TSTask.h"
#include "TSUserDefaults.h"
#include "TSWindowController.h"
#include "WineLoader.h"
#include "helperServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>

#include <csignal>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString productRoot() {
    return TSApplication::sharedApplication()->tesseraRoot();
}

// The product's delegate, with a quit request counted and refused instead of carried out.
class LaunchServer : public TSServerOEM {
public:
    TerminateReply applicationShouldTerminate() override {
        ++terminationRequests;
        return TerminateCancel;
    }
    void finishedLaunches() override {
        ++finishedCount;
        TSServerOEM::finishedLaunches();
    }
    void drawLaunchFeedbackPositionInfo(LaunchFeedbackInfo* info, int position,
                                        const QVariant& drawInfo) override {
        drawnPositions << position;
        TSServerOEM::drawLaunchFeedbackPositionInfo(info, position, drawInfo);
    }
    int terminationRequests = 0;
    int finishedCount = 0;
    QList<int> drawnPositions;
};

// The product's delegate, recording the commands it would start.
using CommandServer = CommandRecorder<TSServerOEM>;

class Launching : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        helperServer::defaultHelperServer()->setIsReady();
        TSApplication::sharedApplication()->setDelegate(&server);
    }
    void TearDown() override { TSApplication::sharedApplication()->setDelegate(nullptr); }

    bool waitForNoTasks() {
        return runUntil([this] { return server.tasksInProgress().isEmpty(); });
    }

    QTemporaryDir folder;
    LaunchServer server;
};

TEST_F(Launching, ChildGetsItsEnvironmentFolderAndNullStreams) {
    const QString report = folder.filePath("report");
    const QString command =
        QStringLiteral("printf '%s\\n' \"$TS_ROOT\" \"${PYTHONPATH-<unset>}\" "
                       "\"${TS_LAUNCH_NOTIFY_SOCKET-<unset>}\" "
                       "\"${TS_WINEWRAPPER_ALT_LOADER_SOCKET-<unset>}\" \"$PWD\" "
                       "\"$(readlink /proc/$$/fd/0)\" \"$(readlink /proc/$$/fd/1)\" "
                       "\"$(readlink /proc/$$/fd/2)\" >%1")
            .arg(stringQuotedForBash(report));
    qputenv("PYTHONPATH", "/should/not/reach/children");

    server.forkExecCommandWithArgs(command, {{"workdir", folder.path()}, {"icon", QIcon()}});
    ASSERT_EQ(server.tasksInProgress().size(), 1);
    const QVariantMap record = server.tasksInProgress().begin().value();
    EXPECT_EQ(record.value("workdir").toString(), folder.path());
    EXPECT_TRUE(record.value("task").value<QObject*>()) << "the record keeps the task";
    ASSERT_TRUE(record.contains("launchFeedbackInfo"));
    const QString notifySocket =
        record.value("launchFeedbackInfo").value<QPointer<LaunchFeedbackInfo>>()->socketPath();
    ASSERT_TRUE(waitForNoTasks());

    ASSERT_NE(server.wineLoader(), nullptr) << "the loader service starts with the first child";
    const QStringList lines = readFile(report).split('\n');
    ASSERT_GE(lines.size(), 8) << readFile(report).toStdString();
    EXPECT_EQ(lines[0], productRoot());
    EXPECT_EQ(lines[1], "<unset>");
    EXPECT_EQ(lines[2], notifySocket);
    EXPECT_EQ(lines[3], server.wineLoader()->socketPath());
    EXPECT_EQ(lines[4], folder.path());
    EXPECT_EQ(lines.mid(5, 3), (QStringList{"/dev/null", "/dev/null", "/dev/null"}));
    qunsetenv("PYTHONPATH");

    // Without launch arguments: the home folder, no feedback.
    server.forkExecCommand(command);
    ASSERT_TRUE(waitForNoTasks());
    const QStringList plain = readFile(report).split('\n');
    ASSERT_GE(plain.size(), 5);
    EXPECT_EQ(plain[2], "<unset>");
    EXPECT_EQ(plain[4], QDir::homePath());
}

TEST_F(Launching, HostQuitsWhenTheLastTaskHasExited) {
    qputenv("TS_LOG", "1");
    StderrCapture capture;
    server.forkExecCommand("sleep 0.2");
    server.forkExecCommand("sleep 1");
    ASSERT_EQ(server.runningTasks().size(), 2);
    TSTask* second = server.runningTasks().last();

    ASSERT_TRUE(runUntil([this] { return server.runningTasks().size() == 1; }));
    runPendingEvents();
    EXPECT_EQ(server.runningTasks().first(), second);
    EXPECT_EQ(server.terminationRequests, 0) << "one task still runs";

    ASSERT_TRUE(runUntil([this] { return server.terminationRequests == 1; }));
    EXPECT_TRUE(server.runningTasks().isEmpty());
    EXPECT_TRUE(server.tasksInProgress().isEmpty());
    const QString log = capture.text();
    qunsetenv("TS_LOG");
    EXPECT_TRUE(log.contains("Running tasks: 1\nRunning tasks: 0\n"
                             "The primary OEM task just exited.  Time to close down.\n"))
        << log.toStdString();
    // The quit was refused: the host goes on and can launch again.
    server.forkExecCommand("exit 0");
    EXPECT_EQ(server.runningTasks().size(), 1);
    ASSERT_TRUE(waitForNoTasks());
}

TEST_F(Launching, FailedLaunchAlertsAndTheHostGoesOn) {
    AlertCatcher alerts;
    StderrCapture capture;
    server.forkExecCommandWithArgs("exit 0", {{"workdir", folder.filePath("no such folder")}});
    const QString log = capture.text();
    EXPECT_EQ(alerts.count, 1);
    EXPECT_EQ(alerts.texts,
              (QStringList{"Halcyon Imaging could not open the document or program.",
                           "An error occurred when attempting to launch a new task.", "OK"}));
    EXPECT_TRUE(log.contains("Exception when launching task: ")) << log.toStdString();
    EXPECT_TRUE(log.contains("\n    for command: exit 0\n")) << log.toStdString();
    EXPECT_TRUE(server.tasksInProgress().isEmpty());
    EXPECT_TRUE(server.runningTasks().isEmpty()) << "a failed launch is not counted";
    runPendingEvents();
    EXPECT_EQ(server.terminationRequests, 0);

    server.forkExecCommand("exit 0");
    EXPECT_EQ(server.runningTasks().size(), 1);
    ASSERT_TRUE(waitForNoTasks());
}

TEST(LaunchCommands, PrimaryProgramDocumentsAndUrls) {
    CommandServer server;
    const QString root = stringQuotedForBash(productRoot());
    const QString tsstart = stringQuotedForBash(productRoot() + "/bin/tsstart");

    server.launchWindowsExe();
    server.launchWindowsExe();
    server.TSServer::completeStartup();
    runPendingEvents();
    ASSERT_EQ(server.commands.size(), 1) << "the primary program is scheduled once";
    EXPECT_EQ(server.commands[0],
              root + "/bin/wine --enable-alt-loader macdrv --bottle default --wait-children "
                     "C:/Program Files/Halcyon Imaging/SkiffApp64.exe");
    EXPECT_EQ(server.arguments[0].value("primaryOEMapp"), QVariant(true));
    EXPECT_TRUE(server.arguments[0].contains("icon"));

    const struct {
        const char* bottle;
        const char* path;
        QString option;
    } documents[] = {
        {"", "/studies/a b.dcm", "--bottle default"},
        {"Dr O'Brien", "/studies/it's.dcm", "--bottle 'Dr O'\\''Brien'"},
    };
    for (const auto& d : documents) {
        server.commands.clear();
        server.arguments.clear();
        server.runClientInBottle(d.path, d.bottle);
        ASSERT_EQ(server.commands.size(), 1);
        EXPECT_EQ(server.commands[0],
                  tsstart + " " + d.option +
                      " --wait-children --enable-alt-loader macdrv --untrusted " +
                      stringQuotedForBash(d.path));
        EXPECT_EQ(server.arguments[0].value("doc").toString(), d.path);
        EXPECT_TRUE(server.arguments[0].contains("icon"));
    }
    EXPECT_EQ(server.urlCommandForBottle("https://pacs.example/viewer?id='1'", "Work"),
              tsstart + " --bottle 'Work' --wait-children --enable-alt-loader macdrv -- "
                        "'https://pacs.example/viewer?id='\\''1'\\'''");
}

TEST(LaunchCommands, DocumentsAndUrlsWaitForStartupAndReplaceThePrimaryProgram) {
    CommandServer server;
    EXPECT_TRUE(server.applicationOpenFile("/studies/first.dcm"));
    EXPECT_TRUE(server.applicationOpenFile("/studies/second.dcm"));
    EXPECT_TRUE(server.primaryTaskScheduled());
    server.launchWindowsExe();
    runPendingEvents();
    EXPECT_TRUE(server.commands.isEmpty()) << "nothing runs before start-up is complete";

    server.TSServer::completeStartup();
    runPendingEvents();
    ASSERT_EQ(server.commands.size(), 2) << "no primary program after a document";
    EXPECT_TRUE(server.commands[0].endsWith("'/studies/first.dcm'"));
    EXPECT_TRUE(server.commands[1].endsWith("'/studies/second.dcm'"));

    CommandServer urls;
    const QString scheme = TSServer::privateURLScheme();
    EXPECT_FALSE(urls.handleGetURLEvent(""));
    EXPECT_FALSE(urls.handleGetURLEvent(scheme + ":open"));
    EXPECT_FALSE(urls.handleGetURLEvent(scheme.toUpper() + "://open"));
    EXPECT_FALSE(urls.handleGetURLEvent("no scheme at all"));
    EXPECT_FALSE(urls.primaryTaskScheduled()) << "refused URLs start nothing";
    EXPECT_TRUE(urls.handleGetURLEvent("https://pacs.example/study/7"));
    EXPECT_TRUE(urls.primaryTaskScheduled());
    EXPECT_TRUE(urls.gotLaunchEvent());
    urls.TSServer::completeStartup();
    runPendingEvents();
    ASSERT_EQ(urls.commands.size(), 1);
    EXPECT_EQ(urls.commands[0], urls.urlCommandForBottle("https://pacs.example/study/7", ""));
}

// A client of a launch-notify socket, as the started program is: connects, sends the bytes
// and, unless told to stay, closes.
class NotifyClient {
public:
    NotifyClient(const QString& path, const QByteArray& bytes, bool stay = false) {
        sock_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()) + 1);
        sent_ = ::connect(sock_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                write(sock_, bytes.constData(), size_t(bytes.size())) == bytes.size();
        if (!stay)
            closeNow();
    }
    ~NotifyClient() { closeNow(); }
    bool sent() const { return sent_; }

private:
    void closeNow() {
        if (sock_ >= 0)
            close(sock_);
        sock_ = -1;
    }
    int sock_ = -1;
    bool sent_ = false;
};

bool sendToSocket(const QString& path, const QByteArray& bytes) {
    return NotifyClient(path, bytes).sent();
}

QByteArray bytesOf(quint32 value) {
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}

TEST_F(Launching, ReportOfTheStartedProgramEndsItsFeedback) {
    LaunchFeedbackInfo* info = server.startLaunchNotify(server.applicationIcon());
    ASSERT_NE(info, nullptr);
    const QString path = info->socketPath();
    EXPECT_TRUE(QFileInfo(path).exists());
    struct stat folderInfo {};
    ASSERT_EQ(stat(QFile::encodeName(QFileInfo(path).path()).constData(), &folderInfo), 0);
    EXPECT_EQ(folderInfo.st_mode & 0777, 0700u) << "the socket's folder is the user's alone";
    EXPECT_EQ(info->badgeIcon().size(), QSize(32, 32));
    EXPECT_EQ(server.pendingAppLaunches().size(), 1);

    ASSERT_TRUE(sendToSocket(path, bytesOf(LaunchNotifyLaunched)));
    ASSERT_TRUE(runUntil([this] { return server.finishedCount == 1; }));
    EXPECT_TRUE(server.pendingAppLaunches().isEmpty());
    EXPECT_FALSE(QFileInfo(path).exists()) << "the socket file goes with its record";
    EXPECT_FALSE(QFileInfo(QFileInfo(path).path()).exists());
    runPendingEvents();
    EXPECT_EQ(server.finishedCount, 1) << "the timer is parked once nothing is pending";
}

TEST_F(Launching, UnexpectedReportsAreLoggedAndStillEndTheFeedback) {
    const struct {
        const char* what;
        QByteArray bytes;
        bool closeAfter;
        const char* log;
    } cases[] = {
        {"two bytes, then the end", "AB", true, "16961/0x00004241"},
        {"another value", bytesOf(290), true, "290/0x00000122"},
        {"connected, and nothing sent", "", false, "0/0x00000000"},
    };
    for (const auto& c : cases) {
        StderrCapture capture;
        QPointer<LaunchFeedbackInfo> info = server.startLaunchNotify(QIcon());
        ASSERT_NE(info, nullptr);
        NotifyClient client(info->socketPath(), c.bytes, !c.closeAfter);
        ASSERT_TRUE(client.sent()) << c.what;
        // Notified, it goes at the next tick.
        EXPECT_TRUE(
            runUntil([info] { return !info; }, LaunchFeedbackInfo::kReadTimeoutMilliseconds + 5000))
            << c.what;
        EXPECT_TRUE(capture.text().contains(
            QString("-[LaunchFeedbackInfo connectionAccepted:]: got an unexpected launch-notify "
                    "response: ") +
            c.log + "\n"))
            << c.what;
        ASSERT_TRUE(runUntil([this] { return server.pendingAppLaunches().isEmpty(); }));
    }
}

TEST_F(Launching, FeedbackWithoutReportEndsAfter802Ticks) {
    LaunchFeedbackInfo* first = server.startLaunchNotify(QIcon());
    LaunchFeedbackInfo* second = server.startLaunchNotify(QIcon());
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(sendToSocket(second->socketPath(), bytesOf(LaunchNotifyLaunched)));
    ASSERT_TRUE(runUntil([this] { return server.pendingAppLaunches().size() == 1; }))
        << "the reported one goes at the next tick";
    EXPECT_EQ(server.pendingAppLaunches().first(), first);
    server.drawnPositions.clear();

    // Ticks by hand: the one left is drawn 801 times, removed at tick 802, and the tick after
    // that finds nothing pending.
    const int counter = first->lifeCounter();
    int ticks = 0;
    while (!server.pendingAppLaunches().isEmpty() && ticks < 1000) {
        server.updateLaunchNotify();
        ++ticks;
    }
    EXPECT_EQ(ticks + counter, 802);
    EXPECT_EQ(server.drawnPositions.size() + counter, 801);
    EXPECT_TRUE(std::all_of(server.drawnPositions.begin(), server.drawnPositions.end(),
                            [](int position) { return position == 0; }));
    const int finished = server.finishedCount;
    server.updateLaunchNotify();
    EXPECT_EQ(server.finishedCount, finished + 1);
}

TEST_F(Launching, SplashShowsWhileLaunchesArePending) {
    LaunchFeedbackInfo* info = server.startLaunchNotify(QIcon());
    ASSERT_NE(info, nullptr);
    server.updateLaunchNotify();
    ASSERT_NE(server.splashController(), nullptr);
    QPointer<QWidget> splash = server.splashController()->window();
    EXPECT_TRUE(splash->isVisible());
    server.updateLaunchNotify();
    EXPECT_EQ(server.splashController()->window(), splash) << "one splash at a time";

    ASSERT_TRUE(sendToSocket(info->socketPath(), bytesOf(LaunchNotifyLaunched)));
    ASSERT_TRUE(runUntil([this] { return server.finishedCount > 0; }));
    EXPECT_EQ(server.splashController(), nullptr);
    runPendingEvents();
    EXPECT_TRUE(!splash || !splash->isVisible());

    // While the first-run splash shows, no second splash; both go when launches finish.
    TSUserDefaults::standardUserDefaults().removeObjectForKey("FirstRunVersion");
    server.processFirstRun(false);
    ASSERT_NE(server.firstRunSplashController(), nullptr);
    LaunchFeedbackInfo* later = server.startLaunchNotify(QIcon());
    server.updateLaunchNotify();
    EXPECT_EQ(server.splashController(), nullptr);
    ASSERT_TRUE(sendToSocket(later->socketPath(), bytesOf(LaunchNotifyLaunched)));
    ASSERT_TRUE(runUntil([this] { return server.firstRunSplashController() == nullptr; }));
    TSUserDefaults::standardUserDefaults().removeObjectForKey("FirstRunVersion");
}

TEST(LaunchEnvironment, ManagedBottlePaths) {
    EnvironmentGuard guard({"TS_MANAGED_BOTTLE_PATH"});
    TSUserDefaults& defaults = TSUserDefaults::standardUserDefaults();
    TSServer base;
    const struct {
        const char* what;
        const char* variable; // nullptr: unset
        QVariant stored;      // invalid: the registered default (an empty array)
        QString expected;
    } cases[] = {
        {"nothing", nullptr, QVariant(), QString()},
        {"two folders", nullptr, QStringList{"/srv/a", "/srv/b"}, "/srv/a:/srv/b"},
        {"one string", nullptr, QString("/srv/c"), "/srv/c"},
        {"an empty string", nullptr, QString(""), QString()},
        {"the variable wins", "/env/d", QStringList{"/srv/a"}, "/env/d"},
    };
    for (const auto& c : cases) {
        if (c.variable)
            qputenv("TS_MANAGED_BOTTLE_PATH", c.variable);
        else
            qunsetenv("TS_MANAGED_BOTTLE_PATH");
        if (c.stored.isValid())
            defaults.setObject(c.stored, "ManagedBottleDirs");
        else
            defaults.removeObjectForKey("ManagedBottleDirs");
        EXPECT_EQ(base.managedBottlePath(), c.expected) << c.what;
        EXPECT_EQ(base.managedBottlePath().isNull(), c.expected.isNull()) << c.what;
    }
    defaults.removeObjectForKey("ManagedBottleDirs");
    qunsetenv("TS_MANAGED_BOTTLE_PATH");

    // The product's own bottles come first, through a link to the product root's "support".
    TSServerOEM product;
    const QString link = TSServer::getAppSupportDir() + "/BuiltinBottles";
    const QString support = productRoot() + "/support";
    QFile::remove(link);
    EXPECT_EQ(product.managedBottlePath(), link);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), support);
    defaults.setObject(QStringList{"/srv/a"}, "ManagedBottleDirs");
    EXPECT_EQ(product.managedBottlePath(), link + ":/srv/a");

    // A link to elsewhere (an older product root) is replaced; a real folder is kept.
    QFile::remove(link);
    ASSERT_TRUE(QFile::link("/nonexistent/support", link));
    EXPECT_EQ(product.managedBottlePath(), link + ":/srv/a");
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), support);
    QFile::remove(link);
    ASSERT_TRUE(QDir().mkpath(link));
    EXPECT_EQ(product.managedBottlePath(), "/srv/a");
    QDir(link).removeRecursively();
    defaults.removeObjectForKey("ManagedBottleDirs");
}

TEST_F(Launching, ADefaultBottleThatCannotBeMadeIsReported) {
    // The test's product root is the build's, but no managed bottle folder is known.
    EnvironmentGuard guard({"TS_MANAGED_BOTTLE_PATH"});
    AlertCatcher alerts;
    server.completeStartup();
    EXPECT_NE(server.firstRunSplashController(), nullptr) << "the splash shows meanwhile";
    ASSERT_TRUE(runUntil([this] { return server.startAppOp()->isStarted(); }))
        << "start-up completes all the same";
    EXPECT_EQ(alerts.texts,
              (QStringList{"The default bottle could not be set up.",
                           QString::fromUtf8("There is no bottle named \u201cdefault\u201d, "
                                             "and none to make it from."),
                           "OK"}));
    EXPECT_TRUE(server.menusEnabled());
    EXPECT_TRUE(runUntil([this] { return server.firstRunSplashController() == nullptr; }))
        << "with nothing launched, the splash does not stay";
}

TEST_F(Launching, DisabledWineIntegrationStartsNoLoaderService) {
    const QString report = folder.filePath("report");
    const QString command =
        QStringLiteral("printf %s \"${TS_WINEWRAPPER_ALT_LOADER_SOCKET-<unset>}\" >%1")
            .arg(stringQuotedForBash(report));
    TSUserDefaults::standardUserDefaults().setObject(true, "DisableWineIntegration");
    LaunchServer disabled;
    disabled.forkExecCommand(command);
    ASSERT_TRUE(runUntil([&disabled] { return disabled.tasksInProgress().isEmpty(); }));
    EXPECT_EQ(readFile(report), "<unset>");
    EXPECT_EQ(disabled.wineLoader(), nullptr);
    TSUserDefaults::standardUserDefaults().removeObjectForKey("DisableWineIntegration");
}

// Sets a key of GNOME's proxy settings from another process, as the desktop's own tools do.
void setDesktopProxy(const char* schema, const char* key, const char* value) {
    QProcess gsettings;
    gsettings.start("gsettings", {"set", schema, key, value});
    ASSERT_TRUE(gsettings.waitForFinished(30000));
    ASSERT_EQ(gsettings.exitCode(), 0) << gsettings.readAllStandardError().toStdString();
}

TEST(LaunchEnvironment, DesktopProxySettingIsFollowed) {
    ASSERT_EQ(qgetenv("GSETTINGS_BACKEND"), "keyfile") << "the test keeps its settings in a file";
    EnvironmentGuard guard({"http_proxy"});
    setDesktopProxy("org.gnome.system.proxy", "mode", "manual");
    setDesktopProxy("org.gnome.system.proxy.http", "host", "proxy.example");
    setDesktopProxy("org.gnome.system.proxy.http", "port", "3128");
    TSServer server;
    server.beginMonitoringSystemConfigurationProxy();
    EXPECT_EQ(qEnvironmentVariable("http_proxy"), "http://proxy.example:3128/");

    auto proxyBecomes = [](const char* value) {
        return runUntil([value] {
            return value ? qEnvironmentVariable("http_proxy") == value
                         : !qEnvironmentVariableIsSet("http_proxy");
        });
    };
    // Changes while the host runs.
    setDesktopProxy("org.gnome.system.proxy.http", "port", "8080");
    EXPECT_TRUE(proxyBecomes("http://proxy.example:8080/"));
    setDesktopProxy("org.gnome.system.proxy.http", "host", "");
    EXPECT_TRUE(proxyBecomes(nullptr)) << "enabled with an empty host";
    setDesktopProxy("org.gnome.system.proxy.http", "host", "other.example");
    EXPECT_TRUE(proxyBecomes("http://other.example:8080/"));
    setDesktopProxy("org.gnome.system.proxy", "mode", "none");
    EXPECT_TRUE(proxyBecomes(nullptr));
    setDesktopProxy("org.gnome.system.proxy", "mode", "auto");
    runPendingEvents();
    EXPECT_FALSE(qEnvironmentVariableIsSet("http_proxy")) << "only a manual proxy is one";
}

TEST(LaunchEnvironment, WithoutADesktopSettingTheInheritedProxyStays) {
    const QString inherited = "http://inherited.example:3128/";
    QTemporaryDir noSchemas;
    const struct {
        const char* what;
        QStringList environment;
        QString expected;
    } cases[] = {
        {"no proxy schema installed", {"XDG_DATA_DIRS=" + noSchemas.path()}, inherited},
        {"settings only in memory", {"GSETTINGS_BACKEND=memory"}, inherited},
        {"GNOME's setting says none", {}, "<unset>"},
    };
    setDesktopProxy("org.gnome.system.proxy", "mode", "none");
    for (const auto& c : cases) {
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("http_proxy", inherited);
        for (const QString& entry : c.environment)
            environment.insert(entry.section('=', 0, 0), entry.section('=', 1));
        probe.setProcessEnvironment(environment);
        probe.start(PROXY_PROBE, {QStringLiteral(HOST_BUNDLE_DIR)});
        ASSERT_TRUE(probe.waitForFinished(30000)) << c.what;
        EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), c.expected)
            << c.what << "\n"
            << probe.readAllStandardError().toStdString();
    }
}

// The quit path, with a delegate that answers as told.
class AnsweringServer : public TSServer {
public:
    TerminateReply applicationShouldTerminate() override {
        ++questions;
        return answer;
    }
    TerminateReply answer = TerminateCancel;
    int questions = 0;
};

TEST(Quitting, CancelledAndDeferredQuitsLeaveTheHostRunning) {
    TSApplication* application = TSApplication::sharedApplication();
    AnsweringServer server;
    application->setDelegate(&server);

    application->terminate();
    application->terminate();
    EXPECT_EQ(server.questions, 0) << "the delegate is asked at the next turn";
    runPendingEvents();
    EXPECT_EQ(server.questions, 1) << "requests of one turn ask once";
    EXPECT_FALSE(application->isTerminating());

    server.answer = TSServer::TerminateLater;
    application->terminate();
    runPendingEvents();
    EXPECT_EQ(server.questions, 2);
    EXPECT_FALSE(application->isTerminating());
    server.replyToApplicationShouldTerminateTrampoline(false);
    EXPECT_FALSE(application->isTerminating());
    EXPECT_FALSE(server.quitting());

    // And it can be asked again.
    application->terminate();
    runPendingEvents();
    EXPECT_EQ(server.questions, 3);
    application->setDelegate(nullptr);
}

TEST(Quitting, TerminationSignalsTakeTheQuitPath) {
    TSApplication* application = TSApplication::sharedApplication();
    AnsweringServer server;
    application->setDelegate(&server);
    for (int signal : {SIGTERM, SIGINT}) {
        const int asked = server.questions;
        ASSERT_EQ(raise(signal), 0);
        EXPECT_TRUE(runUntil([&] { return server.questions == asked + 1; })) << signal;
        EXPECT_FALSE(application->isTerminating()) << "the delegate refused";
    }
    application->setDelegate(nullptr);
}

// The delegate, with its deferred answer to the application recorded instead of given.
class QuitRecorder : public TSServer {
public:
    QList<bool> replies;

protected:
    void replyToApplicationShouldTerminate(bool shouldTerminate) override {
        replies << shouldTerminate;
    }
};

TEST(Quitting, ASecondRequestWhileQuittingWaits) {
    QuitRecorder server;
    EXPECT_EQ(server.applicationShouldTerminate(), TSServer::TerminateLater)
        << "the bottles are shut down first";
    EXPECT_TRUE(server.quitting());
    EXPECT_EQ(server.applicationShouldTerminate(), TSServer::TerminateLater);
    ASSERT_TRUE(runUntil([&server] { return !server.replies.isEmpty(); }));
    EXPECT_EQ(server.replies, QList<bool>{true}) << "one shutdown, and it completed";
    EXPECT_FALSE(server.quitting());
}

// The hook object of a Windows program running inside the host decides about quitting.
class QuittingWineController : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE int applicationShouldTerminate() { return TSServer::TerminateCancel; }
};

TEST(Quitting, TheWineControllerDecidesWhenItRunsInside) {
    TSApplication* application = TSApplication::sharedApplication();
    QuittingWineController controller;
    application->setWineController(&controller);
    QuitRecorder server;
    EXPECT_EQ(server.applicationShouldTerminate(), TSServer::TerminateCancel);
    EXPECT_FALSE(server.quitting());
    runPendingEvents();
    EXPECT_TRUE(server.replies.isEmpty()) << "no shutdown was started";
    application->setWineController(nullptr);
}

} // namespace

#include "LaunchTests.moc"
