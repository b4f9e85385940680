// The helper server of this test process, reached as other processes reach it: through its
// socket, by a process that speaks something else, and by real MacHost processes started a
// second time. The tests run in order: the first ones before start-up has completed.
#include "BottleCollection.h"
#include "HostTestSupport.h"
#include "StringAdditions.h"
#include "TSApplication.h"
#include "TSServer.h"
#include "TSSetupLib.h"
#include "helperServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QMainWindow>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

QString machost() {
    return QStringLiteral(HOST_BUNDLE_DIR "/Contents/MacOS/MacHost");
}

using RecordingServer = CommandRecorder<TSServer>;

// Sends one request line and reads the reply line, running the main loop meanwhile (this
// process is also the server); the reply, or an empty object when none came.
QJsonObject ask(QLocalSocket& socket, const QByteArray& line) {
    socket.write(line + '\n');
    socket.flush();
    if (!runUntil([&socket] { return socket.canReadLine(); }, 10000))
        return {};
    return QJsonDocument::fromJson(socket.readLine()).object();
}

QJsonObject call(const QJsonArray& request) {
    QLocalSocket socket;
    socket.connectToServer(helperServer::socketPath());
    if (!socket.waitForConnected(5000))
        return {};
    return ask(socket, QJsonDocument(request).toJson(QJsonDocument::Compact));
}

QJsonValue result(const QJsonArray& request) {
    const QJsonObject reply = call(request);
    EXPECT_TRUE(reply.contains("result")) << QJsonDocument(reply).toJson().toStdString();
    return reply.value("result");
}

struct HostRun {
    int status = -1;
    QString error;
};

// Runs MacHost with the arguments while this process answers as the running host.
HostRun runSecondHost(const QStringList& arguments, const QString& folder = QString()) {
    QProcess host;
    host.setWorkingDirectory(folder);
    host.start(machost(), arguments);
    if (!host.waitForStarted(10000))
        return {};
    runUntil([&host] { return host.state() == QProcess::NotRunning; }, 60000);
    if (host.state() != QProcess::NotRunning) {
        host.kill();
        host.waitForFinished();
        return {};
    }
    return {host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1,
            QString::fromLocal8Bit(host.readAllStandardError())};
}

class HelperServer : public testing::Test {
protected:
    static void SetUpTestSuite() {
        bottles = new QTemporaryDir;
        QDir().mkpath(bottles->filePath("Work/drive_c"));
        qputenv("TS_BOTTLE_PATH", QFile::encodeName(bottles->path()));
        qunsetenv("TS_MANAGED_BOTTLE_PATH");
    }
    static void TearDownTestSuite() {
        delete bottles;
        bottles = nullptr;
    }
    static QTemporaryDir* bottles;
};
QTemporaryDir* HelperServer::bottles = nullptr;

TEST_F(HelperServer, BeforeStartUpHasCompletedNothingIsReady) {
    helperServer* server = helperServer::defaultHelperServer();
    ASSERT_TRUE(server->isRegistered());
    EXPECT_FALSE(server->isServerReady());
    EXPECT_EQ(result({"isServerReady"}), QJsonValue(false));
    EXPECT_EQ(result({"getEnvironmentForXConnection"}), QJsonValue());
    for (const char* bottle : {"Work", "Nowhere"}) {
        EXPECT_FALSE(server->isServerReadyForBottle(bottle)) << bottle;
        EXPECT_EQ(result({"isServerReadyForBottle:", bottle}), QJsonValue(false)) << bottle;
    }
}

TEST_F(HelperServer, IsReachableOnlyByTheUser) {
    const QString path = helperServer::socketPath();
    EXPECT_EQ(path, qEnvironmentVariable("XDG_RUNTIME_DIR") +
                        "/example.tessera.halcyonimaging.HelperServer");
    struct stat status {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 077, 0u) << "the socket is the user's alone";

    // Without a private run-time folder, the socket goes to a folder of the user's own.
    QTemporaryDir open;
    ASSERT_TRUE(open.isValid());
    chmod(QFile::encodeName(open.path()).constData(), 0777);
    const QString fallback =
        QStringLiteral("%1/example.tessera.halcyonimaging-%2").arg(QDir::tempPath()).arg(geteuid());
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    for (const QString& value : {QString(), open.path(), QStringLiteral("relative")}) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(value));
        EXPECT_EQ(helperServer::socketPath(),
                  fallback + "/example.tessera.halcyonimaging.HelperServer")
            << value.toStdString();
        ASSERT_EQ(lstat(QFile::encodeName(fallback).constData(), &status), 0);
        EXPECT_TRUE(S_ISDIR(status.st_mode));
        EXPECT_EQ(status.st_mode & 077, 0u);
    }
    qputenv("XDG_RUNTIME_DIR", runtime);
}

TEST_F(HelperServer, AnswersItsFourMethodsOnceReady) {
    qputenv("PYTHONPATH", "/somewhere");
    RecordingServer server;
    server.TSServer::completeStartup();
    ASSERT_TRUE(runUntil([] { return helperServer::defaultHelperServer()->isServerReady(); }));
    EXPECT_EQ(result({"isServerReady"}), QJsonValue(true));

    const QJsonObject environment = result({"getEnvironmentForXConnection"}).toObject();
    EXPECT_EQ(environment.value("TS_ROOT").toString(),
              TSApplication::sharedApplication()->tesseraRoot());
    EXPECT_FALSE(environment.contains("PYTHONPATH"));
    EXPECT_EQ(environment.value("HOME").toString(), qEnvironmentVariable("HOME"));
    qunsetenv("PYTHONPATH");

    const struct {
        const char* bottle;
        bool ready;
    } bottles[] = {{"Work", true}, {"work", true}, {"Nowhere", false}, {"", false}};
    for (const auto& b : bottles)
        EXPECT_EQ(result({"isServerReadyForBottle:", b.bottle}), QJsonValue(b.ready)) << b.bottle;

    // Windows come to the front; a minimised one is restored.
    QWidget window;
    window.showMinimized();
    runPendingEvents();
    EXPECT_EQ(result({"raiseWindowsWithTag:", 7}), QJsonValue());
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

TEST_F(HelperServer, RefusesAnythingElseAndHangsUp) {
    const QByteArray requests[] = {
        "HELLO",
        "GET / HTTP/1.0",
        "[]",
        "{\"method\":\"isServerReady\"}",
        "[\"isServerReady\",1]",
        "[\"isServerReadyForBottle:\"]",
        "[\"isServerReadyForBottle:\",7]",
        "[\"raiseWindowsWithTag:\",\"front\"]",
        "[\"odoc\",\"relative/a.bat\",\"\"]",
        "[\"odoc\",\"/a.bat\"]",
        "[\"terminate\"]",
        "[\"setIsReady\"]",
    };
    for (const QByteArray& request : requests) {
        QLocalSocket socket;
        socket.connectToServer(helperServer::socketPath());
        ASSERT_TRUE(socket.waitForConnected(5000));
        const QJsonObject reply = ask(socket, request);
        EXPECT_EQ(reply.value("error").toString(), "unknown request") << request.toStdString();
        EXPECT_TRUE(
            runUntil([&socket] { return socket.state() == QLocalSocket::UnconnectedState; }, 5000))
            << request.toStdString() << ": the connection stays open";
    }

    // A line without end is no request either.
    QLocalSocket socket;
    socket.connectToServer(helperServer::socketPath());
    ASSERT_TRUE(socket.waitForConnected(5000));
    socket.write(QByteArray(70 * 1024, '['));
    socket.flush();
    ASSERT_TRUE(runUntil([&socket] { return socket.canReadLine(); }, 10000));
    EXPECT_EQ(QJsonDocument::fromJson(socket.readLine()).object().value("error").toString(),
              "request too long");
    EXPECT_TRUE(
        runUntil([&socket] { return socket.state() == QLocalSocket::UnconnectedState; }, 5000));

    // Several requests on one connection are answered in turn.
    QLocalSocket kept;
    kept.connectToServer(helperServer::socketPath());
    ASSERT_TRUE(kept.waitForConnected(5000));
    EXPECT_EQ(ask(kept, "[\"isServerReady\"]").value("result"), QJsonValue(true));
    EXPECT_EQ(ask(kept, "[\"isServerReadyForBottle:\",\"Work\"]").value("result"),
              QJsonValue(true));
}

TEST_F(HelperServer, ASecondMacHostHandsItsDocumentsAndUrlsOver) {
    TSApplication* application = TSApplication::sharedApplication();
    RecordingServer server;
    application->setDelegate(&server);
    server.TSServer::completeStartup();
    runPendingEvents();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString document = folder.filePath("it's here.bat");

    const QString tsstart = stringQuotedForBash(application->tesseraRoot() + "/bin/tsstart");
    const struct {
        QStringList arguments;
        QStringList commands;
    } cases[] = {
        {{"--bottle", "Work", document, "https://pacs.example/study?id=7", "relative.lnk"},
         {tsstart + " --bottle 'Work' --wait-children --enable-alt-loader macdrv --untrusted " +
              stringQuotedForBash(document),
          server.urlCommandForBottle("https://pacs.example/study?id=7", "Work"),
          tsstart + " --bottle 'Work' --wait-children --enable-alt-loader macdrv --untrusted " +
              stringQuotedForBash(folder.filePath("relative.lnk"))}},
        {{"file://" + QUrl::toPercentEncoding(document, "/")},
         {tsstart + " --bottle default --wait-children --enable-alt-loader macdrv --untrusted " +
          stringQuotedForBash(document)}},
        // Accepted, and not handed on.
        {{TSServer::privateURLScheme().toUpper() + "://open"}, {}},
    };
    for (const auto& c : cases) {
        server.commands.clear();
        const HostRun run = runSecondHost(c.arguments, folder.path());
        EXPECT_EQ(run.status, 0) << run.error.toStdString();
        runPendingEvents();
        EXPECT_EQ(server.commands, c.commands) << c.arguments.join(' ').toStdString();
    }

    // Nothing to hand over: the running host's windows come to the front.
    server.mainWindow()->hide();
    const HostRun raise = runSecondHost({});
    EXPECT_EQ(raise.status, 0) << raise.error.toStdString();
    EXPECT_TRUE(server.mainWindow()->isVisible());

    // A command line the second start cannot understand hands nothing over.
    server.commands.clear();
    const HostRun bad = runSecondHost({"--bottle"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.error.contains("--bottle needs the name of a bottle"))
        << bad.error.toStdString();
    runPendingEvents();
    EXPECT_TRUE(server.commands.isEmpty());
    application->setDelegate(nullptr);
}

} // namespace
