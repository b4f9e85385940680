// Shutting real bottles down: three Wine prefixes (one made for the run, and copies of it),
// each running a program of ours that ends when asked, refuses to end its session, or hangs.
// The collection's walk, its two flags through the shutdown window's buttons, single-bottle
// kills, and the host's quit request.
#include "BottleCollection.h"
#include "HostTestSupport.h"
#include "ShutdownController.h"
#include "TSApplication.h"
#include "TSServer.h"
#include "TSSetupLib.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <memory>

#include <dlfcn.h>

#include <gtest/gtest.h>

namespace {

void setEnv(const QString& name, const QString& value) {
    TSSetupLib::tsSetupClass().call("setEnvValue_forKey_", {value, name});
}

QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The walk's answer.
class ShutdownReceiver : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void shutdownEnded(bool completed) { results << completed; }
    QList<bool> results;
};

// A polite shutdown of a bottle ends within this bound (the scripting layer's QUIT_TIMEOUT),
// a forced one within as much again; the waits below allow a margin on top.
constexpr int kQuitBoundMs = 10000;
constexpr int kMarginMs = 20000;

const char* const kBottles[] = {"A", "B", "C"};

class BottleShutdown : public testing::Test {
protected:
    static void SetUpTestSuite() {
        root = new QTemporaryDir;
        ASSERT_TRUE(root->isValid());
        display = startVirtualDisplayIfNone(":97");
        // One prefix for the run, made the way the host makes bottles, and copies of it.
        const QString made = root->filePath("Bottles/A");
        ASSERT_TRUE(makeWinePrefix(made));
        ASSERT_TRUE(QFile::copy(SESSION_PROGRAM, made + "/drive_c/SessionProgram.exe"));
        for (const char* copy : {"B", "C"})
            ASSERT_EQ(
                QProcess::execute("cp", {"-a", made, root->filePath(QString("Bottles/") + copy)}),
                0);
    }
    static void TearDownTestSuite() {
        for (const char* name : kBottles)
            killBottleProcesses(name);
        delete root;
        root = nullptr;
        endVirtualDisplay(display);
    }

    void SetUp() override {
        setEnv("TS_BOTTLE_PATH", root->filePath("Bottles"));
        TSSetupLib::tsSetupClass().call("unsetEnvValueForKey_", {"TS_MANAGED_BOTTLE_PATH"});
        collection = BottleCollection::sharedCollection();
        ASSERT_NE(collection, nullptr);
        collection->populateBottleList();
        ASSERT_EQ(collection->rowCount(), 3);
        for (const char* name : kBottles)
            QFile::remove(recordOf(name));
    }
    void TearDown() override {
        for (const char* name : kBottles)
            killBottleProcesses(name);
        for (const char* name : kBottles)
            EXPECT_FALSE(running(name)) << "a Wine process of " << name << " is left";
        programs.clear();
    }

    static QString prefixOf(const QString& bottle) { return root->filePath("Bottles/" + bottle); }
    static QString recordOf(const QString& bottle) {
        return prefixOf(bottle) + "/drive_c/session-program.txt";
    }
    static void killBottleProcesses(const QString& bottle) {
        QProcess kill;
        kill.setProcessEnvironment(wineEnvironment(prefixOf(bottle)));
        kill.start("sh", {"-c", "wineserver -k; wineserver -w"});
        kill.waitForFinished(30000);
    }

    // Starts the program in the bottle and waits until it runs.
    void start(const QString& bottle, const QString& mode) {
        auto program = std::make_unique<QProcess>();
        program->setProcessEnvironment(wineEnvironment(prefixOf(bottle)));
        program->setStandardInputFile(QProcess::nullDevice());
        program->setStandardOutputFile(QProcess::nullDevice());
        program->setStandardErrorFile(QProcess::nullDevice());
        program->start("wine", {"C:/SessionProgram.exe", mode});
        ASSERT_TRUE(program->waitForStarted());
        ASSERT_TRUE(runUntil([&] { return readFile(recordOf(bottle)).contains("command="); }))
            << bottle.toStdString() << " " << mode.toStdString();
        // A window needs a moment to be there for the end of the session.
        QThread::msleep(1500);
        programs.push_back(std::move(program));
    }
    bool running(const QString& bottle) const {
        return TSSetupLib::bottleWrapperClass()
            .call("initWithName_", {bottle})
            .value<TSPyObject>()
            .valueForKey("is_running")
            .toBool();
    }
    QString statusOf(const QString& bottle) const {
        return collection->index(collection->indexOfBottleWithName(bottle))
            .data(BottleCollection::StatusRole)
            .toString();
    }
    bool walk(ShutdownReceiver& receiver, int waitMs, const std::function<void()>& meanwhile = {}) {
        collection->shutdownAllBottles(&receiver, "shutdownEnded");
        if (meanwhile)
            meanwhile();
        return runUntil([&receiver] { return !receiver.results.isEmpty(); }, waitMs);
    }

    static QTemporaryDir* root;
    static QProcess* display;
    BottleCollection* collection = nullptr;
    std::vector<std::unique_ptr<QProcess>> programs;
};

QTemporaryDir* BottleShutdown::root = nullptr;
QProcess* BottleShutdown::display = nullptr;

TEST_F(BottleShutdown, EveryBottleEnds) {
    start("A", "polite");
    start("C", "polite");
    StderrCapture log;
    ShutdownReceiver receiver;
    ASSERT_TRUE(walk(receiver, 3 * kQuitBoundMs + kMarginMs));
    const QString lines = log.text();
    EXPECT_EQ(receiver.results, QList<bool>{true});
    EXPECT_TRUE(lines.contains("Shutting down all bottles.\n"));
    EXPECT_FALSE(lines.contains("Canceling shutdown.\n") || lines.contains("Forcing shutdown.\n"));
    for (const char* name : {"A", "C"}) {
        EXPECT_TRUE(readFile(recordOf(name)).contains("ended with the session")) << name;
        EXPECT_FALSE(running(name)) << name;
    }
    EXPECT_FALSE(collection->cancelShutdown() || collection->forceShutdown());
}

TEST_F(BottleShutdown, ARefusingProgramCancelsAndNothingIsKilled) {
    start("A", "polite");
    start("B", "refuse");
    start("C", "polite");
    StderrCapture log;
    ShutdownReceiver receiver;
    ASSERT_TRUE(walk(receiver, kQuitBoundMs + kMarginMs));
    const QString lines = log.text();
    EXPECT_EQ(receiver.results, QList<bool>{false});
    EXPECT_TRUE(lines.contains("Canceling shutdown.\n")) << lines.toStdString();
    EXPECT_FALSE(running("A"));
    EXPECT_TRUE(readFile(recordOf("B")).contains("refused the end of the session"));
    EXPECT_TRUE(running("B")) << "nothing is killed";
    EXPECT_FALSE(readFile(recordOf("C")).contains("the end of the session")) << "never asked";
    EXPECT_TRUE(running("C"));
    // Every bottle was told the shutdown was abandoned.
    ASSERT_TRUE(runUntil([this] { return statusOf("C") == "Running"; }));
    EXPECT_EQ(statusOf("B"), "Running");
    EXPECT_EQ(statusOf("A"), "");
    EXPECT_FALSE(collection->cancelShutdown() || collection->forceShutdown());
}

TEST_F(BottleShutdown, ForcePressedWhileWaitingKillsEveryBottle) {
    start("A", "hang");
    start("B", "polite");
    start("C", "hang");
    ShutdownController window;
    window.showWindow();
    StderrCapture log;
    ShutdownReceiver receiver;
    ASSERT_TRUE(walk(receiver, kQuitBoundMs + 3 * kQuitBoundMs + kMarginMs, [&] {
        ASSERT_TRUE(runUntil([this] { return statusOf("A") == "Shutting down"; }));
        window.forceButton()->click();
    }));
    const QString lines = log.text();
    EXPECT_EQ(receiver.results, QList<bool>{true});
    EXPECT_TRUE(lines.contains("Forcing shutdown.\n")) << lines.toStdString();
    for (const char* name : kBottles)
        EXPECT_FALSE(running(name)) << name;
    EXPECT_FALSE(readFile(recordOf("B")).contains("the end of the session"))
        << "the rest were killed, not asked";
    EXPECT_FALSE(collection->forceShutdown());
}

TEST_F(BottleShutdown, ForceThenCancelCancelsAndTheNextShutdownStartsClean) {
    start("A", "hang");
    start("B", "polite");
    ShutdownController window;
    StderrCapture log;
    ShutdownReceiver receiver;
    ASSERT_TRUE(walk(receiver, kQuitBoundMs + kMarginMs, [&] {
        ASSERT_TRUE(runUntil([this] { return statusOf("A") == "Shutting down"; }));
        window.forceShutdown();
        window.cancelShutdown();
    }));
    EXPECT_EQ(receiver.results, QList<bool>{false});
    EXPECT_TRUE(log.text().contains("Canceling shutdown.\n"));
    EXPECT_TRUE(running("A")) << "cancelled: nothing is killed";
    EXPECT_TRUE(running("B"));

    // One bottle by force, from the main thread.
    collection->killBottle(collection->bottleWithName("A"));
    ASSERT_TRUE(runUntil([this] { return !running("A"); }, kQuitBoundMs + kMarginMs));

    ShutdownReceiver again;
    ASSERT_TRUE(walk(again, 3 * kQuitBoundMs + kMarginMs));
    EXPECT_EQ(again.results, QList<bool>{true}) << "the flags of the cancelled one are gone";
    EXPECT_FALSE(running("B"));
}

TEST_F(BottleShutdown, AnEmptyListEndsAtOnce) {
    collection->removeBottleListAtIndexes({0, 1, 2});
    ShutdownReceiver receiver;
    ASSERT_TRUE(walk(receiver, kMarginMs));
    EXPECT_EQ(receiver.results, QList<bool>{true});
}

TEST_F(BottleShutdown, ForceQuitNeverTakesTheHostWithIt) {
    // With Wine's library in this process (as when a Windows program runs inside the host),
    // the bottle's programs are killed one by one, not through the Wine server, whose kill
    // would end every client, the host included.
    void* wine = dlopen(STANDIN_WINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(wine, nullptr) << dlerror();
    start("A", "hang");
    const TSPyObject bottle = collection->bottleWithName("A");
    bottle.call("preForceQuit");
    EXPECT_EQ(bottle.call("doForceQuit"), QVariant(true));
    EXPECT_FALSE(running("A"));
    dlclose(wine);
}

// The host's delegate, with the answer to the application recorded instead of given.
class QuitRecorder : public TSServer {
public:
    QList<bool> replies;

protected:
    void replyToApplicationShouldTerminate(bool shouldTerminate) override {
        replies << shouldTerminate;
    }
};

TEST_F(BottleShutdown, QuittingTheHostWaitsForTheBottlesAndCanBeRefused) {
    start("B", "refuse");
    QuitRecorder server;
    EXPECT_EQ(server.applicationShouldTerminate(), TSServer::TerminateLater);
    EXPECT_TRUE(server.shutdownController()->window()->isVisible()) << "the window shows";
    EXPECT_EQ(server.applicationShouldTerminate(), TSServer::TerminateLater)
        << "a second request waits for the first";
    ASSERT_TRUE(
        runUntil([&server] { return !server.replies.isEmpty(); }, kQuitBoundMs + kMarginMs));
    EXPECT_EQ(server.replies, QList<bool>{false}) << "the program refused: the host stays";
    EXPECT_FALSE(server.quitting());
    EXPECT_FALSE(server.shutdownController()->window()->isVisible());
    EXPECT_TRUE(running("B"));

    // A program that does not answer: Force ends it, and the host may quit.
    killBottleProcesses("B");
    start("B", "hang");
    server.replies.clear();
    EXPECT_EQ(server.applicationShouldTerminate(), TSServer::TerminateLater);
    ASSERT_TRUE(runUntil([this] { return statusOf("B") == "Shutting down"; }));
    server.shutdownController()->forceButton()->click();
    ASSERT_TRUE(
        runUntil([&server] { return !server.replies.isEmpty(); }, 2 * kQuitBoundMs + kMarginMs));
    EXPECT_EQ(server.replies, QList<bool>{true});
    EXPECT_FALSE(running("B"));
}

} // namespace

#include "BottleShutdownTests.moc"
