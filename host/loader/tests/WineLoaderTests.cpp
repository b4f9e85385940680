#include "TSLog.h"
#include "WineLoader.h"
#include "WineLoaderClientConnection.h"
#include "WineLoaderTestClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>
#include <mutex>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

const std::string kHandleConnection = "-[WineLoaderClientConnection handleConnection]";
const std::string kReadBuffer = "-[WineLoaderClientConnection readLengthPrefixedBuffer:]";

std::string bytes(const void* data, size_t size) {
    return std::string(static_cast<const char*>(data), size);
}
std::string u32(uint32_t value) {
    return bytes(&value, sizeof(value));
}
std::string u64(uint64_t value) {
    return bytes(&value, sizeof(value));
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// What the process writes to standard error meanwhile: the system log's copy of each line.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        file_ = std::tmpfile();
        dup2(fileno(file_), STDERR_FILENO);
    }
    ~StderrCapture() {
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        std::fclose(file_);
    }
    // The loader's lines so far.
    std::vector<std::string> loaderLines() const {
        std::string text;
        char buffer[4096];
        for (off_t offset = 0;;) {
            const ssize_t n = pread(fileno(file_), buffer, sizeof(buffer), offset);
            if (n <= 0)
                break;
            text.append(buffer, size_t(n));
            offset += n;
        }
        std::vector<std::string> lines;
        for (const std::string& line : splitLines(text))
            if (line.find("WineLoader") != std::string::npos || line.rfind("Failed", 0) == 0)
                lines.push_back(line);
        return lines;
    }

private:
    int saved_ = -1;
    std::FILE* file_ = nullptr;
};

// Expected lines; one ending in "*" only needs to begin with what precedes it.
void expectLines(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
    ASSERT_EQ(actual.size(), expected.size()) << testing::PrintToString(actual);
    for (size_t i = 0; i < expected.size(); ++i) {
        if (!expected[i].empty() && expected[i].back() == '*')
            EXPECT_EQ(actual[i].rfind(expected[i].substr(0, expected[i].size() - 1), 0), 0u)
                << actual[i];
        else
            EXPECT_EQ(actual[i], expected[i]);
    }
}

std::string pathOf(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

class WineLoaderServiceTest : public testing::Test {
protected:
    void SetUp() override {
        // The system log may keep a descriptor from its first line on; open it before counting.
        TSSystemLog("wine loader test: %s",
                    testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(emptyRoot_.isValid());
    }
    std::unique_ptr<WineLoader> start(const QString& root) {
        std::unique_ptr<WineLoader> loader(WineLoader::initWithTesseraRoot(root));
        EXPECT_TRUE(loader);
        return loader;
    }
    QTemporaryDir emptyRoot_;
};

struct RefusalCase {
    const char* name;
    WireRequest request;
    int descriptors;
    std::vector<std::string> lines;
    const char* root = nullptr; // default: a root without Wine's library
};

std::vector<RefusalCase> refusalCases() {
    const std::string typeRun = u32(WineLoaderRequestTypeRun);
    auto with = [](auto change) {
        WireRequest request;
        change(request);
        return request;
    };
    return {
        {"nothing sent",
         with([](WireRequest& r) { r.raw = ""; }),
         0,
         {kHandleConnection + ": reading request type failed; errno 0"}},
        {"unknown type",
         with([](WireRequest& r) { r.type = 0x12345678; }),
         4,
         {kHandleConnection + ": unknown request type 0x12345678"}},
        {"closed after the type",
         with([&](WireRequest& r) { r.raw = typeRun; }),
         0,
         {kReadBuffer + ": reading length failed; errno 0",
          kHandleConnection + ": reading working directory failed"}},
        {"field cut short",
         with([&](WireRequest& r) { r.raw = typeRun + u64(100) + "/tmp/short"; }),
         0,
         {kReadBuffer + ": reading buffer failed; errno 0",
          kHandleConnection + ": reading working directory failed"}},
        {"length beyond memory",
         with([&](WireRequest& r) { r.raw = typeRun + u64(1ull << 63); }),
         0,
         {kReadBuffer + ": failed to allocate buffer of length 9223372036854775808",
          kHandleConnection + ": reading working directory failed"}},
        {"working directory with two zero bytes",
         with([](WireRequest& r) { r.workingDirectory = "abc\0\0"s; }),
         4,
         {kHandleConnection + ": working directory is not a single null-terminated string"}},
        {"working directory without zero byte",
         with([](WireRequest& r) { r.workingDirectory = "abc"; }),
         4,
         {kHandleConnection + ": working directory is not a single null-terminated string"}},
        {"environment cut short",
         with([&](WireRequest& r) { r.raw = typeRun + u64(0) + u64(8) + "A=1"; }),
         0,
         {kReadBuffer + ": reading buffer failed; errno 0",
          kHandleConnection + ": reading environment failed"}},
        {"environment without zero byte",
         with([](WireRequest& r) { r.environment = "A=1\0B=2"s; }),
         4,
         {kHandleConnection + ": environment is not null-terminated"}},
        {"arguments missing",
         with([&](WireRequest& r) { r.raw = typeRun + u64(0) + u64(0); }),
         0,
         {kReadBuffer + ": reading length failed; errno 0",
          kHandleConnection + ": reading args failed"}},
        {"no arguments",
         with([](WireRequest& r) { r.arguments = ""; }),
         4,
         {kHandleConnection + ": args list is empty"}},
        {"arguments without zero byte",
         with([](WireRequest& r) { r.arguments = "a\0b"s; }),
         4,
         {kHandleConnection + ": args is not null-terminated"}},
        {"no descriptor message",
         WireRequest{},
         0,
         {kHandleConnection + ": failed to receive file descriptors; errno 0"}},
        {"data byte without descriptors",
         with([](WireRequest& r) { r.raw = EncodeRequestFields(r) + "x"; }),
         0,
         {kHandleConnection + ": failed to receive file descriptors"}},
        {"three descriptors",
         WireRequest{},
         3,
         {kHandleConnection + ": failed to receive file descriptors"}},
        {"six descriptors",
         WireRequest{},
         6,
         {kHandleConnection + ": failed to receive file descriptors"}},
        {"extraneous data",
         with([](WireRequest& r) { r.extraByte = true; }),
         4,
         {kHandleConnection + ": got extraneous data instead of EOF"}},
        // Well-formed requests: refused only because the root lacks Wine's library or its
        // entry point.
        {"four descriptors, no library", WireRequest{}, 4, {"Failed to load *"}},
        {"five descriptors, empty fields, no library",
         with([](WireRequest& r) {
             r.environment = "";
             r.arguments = "\0"s;
         }),
         5,
         {"Failed to load *"}},
        {"library without wine_init",
         WireRequest{},
         4,
         {"Failed to find symbol 'wine_init' in " STANDIN_NOINIT_ROOT "/lib64/libwine.so.1: *"},
         STANDIN_NOINIT_ROOT},
    };
}

// Every refusal: its log lines, no response, the connection closed, and no descriptor of the
// request left open. The one service stays up throughout.
TEST_F(WineLoaderServiceTest, RefusesMalformedAndUnloadableRequestsAndClosesEverything) {
    auto loader = start(emptyRoot_.path());
    auto noInitLoader = start(QStringLiteral(STANDIN_NOINIT_ROOT));
    ASSERT_TRUE(loader && noInitLoader);
    const std::string socket = pathOf(loader->socketPath());
    for (RefusalCase& refusal : refusalCases()) {
        SCOPED_TRACE(refusal.name);
        StderrCapture capture;
        const int before = CountOpenDescriptors();
        PipeSet pipes;
        refusal.request.descriptors = pipes.ends(refusal.descriptors);
        const WireOutcome outcome = SendWireRequest(
            refusal.root ? pathOf(noInitLoader->socketPath()) : socket, refusal.request);
        pipes.closeAll();
        EXPECT_TRUE(outcome.connected);
        EXPECT_FALSE(outcome.response);
        EXPECT_TRUE(outcome.closed);
        expectLines(capture.loaderLines(), refusal.lines);
        EXPECT_EQ(CountOpenDescriptors(), before);
    }
    EXPECT_FALSE(loader->socketPath().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(loader->socketPath()));
}

// A 32-bit client: the notification on the connection's thread, no log line, no response.
TEST_F(WineLoaderServiceTest, NotifiesWrongArchitecture) {
    auto loader = start(emptyRoot_.path());
    ASSERT_TRUE(loader);
    std::mutex mutex;
    std::vector<std::pair<WineLoader*, QVariantMap>> notifications;
    bool onMainThread = false;
    QObject::connect(
        loader.get(), &WineLoader::WineLoaderRejectedRequestForWrongArchitectureNotification,
        loader.get(),
        [&](WineLoader* object, const QVariantMap& userInfo) {
            std::lock_guard lock(mutex);
            notifications.emplace_back(object, userInfo);
            onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        },
        Qt::DirectConnection);
    StderrCapture capture;
    const int before = CountOpenDescriptors();
    WireRequest request;
    request.raw = u32(WineLoaderRequestTypeI386);
    const WireOutcome outcome = SendWireRequest(pathOf(loader->socketPath()), request);
    EXPECT_FALSE(outcome.response);
    EXPECT_TRUE(outcome.closed);
    EXPECT_TRUE(capture.loaderLines().empty());
    EXPECT_EQ(CountOpenDescriptors(), before);
    std::lock_guard lock(mutex);
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].first, loader.get());
    EXPECT_EQ(notifications[0].second,
              (QVariantMap{{"WineLoaderRequestedArchitectureKey", QStringLiteral("i386")}}));
    EXPECT_FALSE(onMainThread);
}

// The socket lives in a folder of its own that only this user may enter; the service's end
// removes both.
TEST_F(WineLoaderServiceTest, SocketInPrivateFolderRemovedWithTheService) {
    auto loader = start(emptyRoot_.path());
    ASSERT_TRUE(loader);
    const QString path = loader->socketPath();
    const QString folder = QFileInfo(path).path();
    EXPECT_EQ(QFileInfo(folder).path(), QDir::tempPath());
    struct stat status {};
    ASSERT_EQ(stat(pathOf(folder).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    ASSERT_EQ(stat(pathOf(path).c_str(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(loader->tesseraRoot(), emptyRoot_.path());
    loader.reset();
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_FALSE(QFileInfo::exists(folder));
}

// A socket path too long for the address: no service, and nothing left behind.
TEST_F(WineLoaderServiceTest, TemporaryNameTooLong) {
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QString deep = base.path() + QLatin1Char('/') + QString(110, QLatin1Char('d'));
    ASSERT_TRUE(QDir().mkpath(deep));
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(deep));
    std::unique_ptr<WineLoader> loader(WineLoader::initWithTesseraRoot(emptyRoot_.path()));
    qputenv("TMPDIR", saved);
    if (saved.isNull())
        qunsetenv("TMPDIR");
    EXPECT_FALSE(loader);
    EXPECT_TRUE(QDir(deep).isEmpty());
}

// A client of another user is refused even when it can reach the socket.
TEST_F(WineLoaderServiceTest, RefusesAnotherUser) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run a client as another user";
    auto loader = start(emptyRoot_.path());
    ASSERT_TRUE(loader);
    const std::string path = pathOf(loader->socketPath());
    // Open the way to the socket, as a careless set-up might.
    ASSERT_EQ(chmod(pathOf(QFileInfo(loader->socketPath()).path()).c_str(), 0755), 0);
    ASSERT_EQ(chmod(path.c_str(), 0777), 0);
    StderrCapture capture;
    PipeSet pipes;
    WireRequest request;
    request.descriptors = pipes.ends(4);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        const WireOutcome outcome = SendWireRequest(path, request);
        _exit(!outcome.connected ? 4 : outcome.response ? 5 : outcome.closed ? 0 : 6);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    expectLines(capture.loaderLines(),
                {kHandleConnection +
                 ": refusing connection from user id 65534; this process runs as user id 0"});
}

// ---- Hand-over, in a host process of its own -------------------------------------------------

// The host program of the tests, running the service for a product root.
class LoaderHost {
public:
    explicit LoaderHost(const QString& root, const QString& workingDirectory) {
        process_.setWorkingDirectory(workingDirectory);
        process_.start(QStringLiteral(WINE_LOADER_HOST), {root});
        if (process_.waitForStarted() && process_.waitForReadyRead(30000))
            socketPath_ = process_.readLine().trimmed().toStdString();
    }
    const std::string& socketPath() const { return socketPath_; }
    // Waits for the host's end, first asking it to quit unless a hand-over ends it; answers
    // the exit code.
    int finish(bool askToQuit = true) {
        if (askToQuit)
            process_.closeWriteChannel();
        const bool finished = process_.waitForFinished(60000);
        if (!finished) {
            process_.kill();
            process_.waitForFinished();
        }
        output_ += process_.readAllStandardOutput().toStdString();
        error_ += process_.readAllStandardError().toStdString();
        return finished && process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    const std::string& output() const { return output_; }
    const std::string& error() const { return error_; }

private:
    QProcess process_;
    std::string socketPath_;
    std::string output_;
    std::string error_;
};

std::string readToEnd(int fd) {
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(fd, buffer, sizeof(buffer))) > 0;)
        text.append(buffer, size_t(n));
    return text;
}

struct Record {
    std::vector<std::string> lines;
    std::vector<std::string> all(const std::string& key) const {
        std::vector<std::string> values;
        for (const std::string& line : lines)
            if (line.rfind(key + "=", 0) == 0)
                values.push_back(line.substr(key.size() + 1));
        return values;
    }
    std::string one(const std::string& key) const {
        const auto values = all(key);
        return values.size() == 1 ? values[0] : "<" + std::to_string(values.size()) + " values>";
    }
};

Record readRecord(const QString& folder) {
    QFile file(folder + QStringLiteral("/standin-wine.record"));
    Record record;
    if (file.open(QIODevice::ReadOnly))
        record.lines = splitLines(file.readAll().toStdString());
    return record;
}

// Descriptors the client hands over: stdin, stdout, stderr, the server connection and the
// optional wait-child pipe; the test keeps the other ends.
struct HandedDescriptors {
    explicit HandedDescriptors(bool waitPipe) {
        stdinPipe = pipes.add();
        stdoutPipe = pipes.add();
        stderrPipe = pipes.add();
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, server);
        list = {stdinPipe.first, stdoutPipe.second, stderrPipe.second, server[1]};
        if (waitPipe) {
            waitChild = pipes.add();
            list.push_back(waitChild.second);
        }
    }
    ~HandedDescriptors() {
        close(server[0]);
        close(server[1]);
    }
    PipeSet pipes;
    std::pair<int, int> stdinPipe, stdoutPipe, stderrPipe, waitChild{-1, -1};
    int server[2] = {-1, -1};
    std::vector<int> list;
};

struct HandOverCase {
    const char* name;
    const char* root;
    bool sendWorkingDirectory;
    std::string environment;
    std::string arguments;
    bool waitPipe;
    std::vector<std::string> argv;     // "<root>" stands for the product root
    std::vector<std::string> environ_; // before the two descriptor variables
    bool reserves;
};

TEST(WineLoaderHandOverTest, HandsTheProcessOverToWine) {
    const std::vector<HandOverCase> cases = {
        {"default loader, working directory, dropped names",
         STANDIN_ROOT,
         true,
         "FOO=bar\0TS_ALT_LOADER_SOCKET=/tmp/x\0TS_ALT_LOADER_SOCKETS=y\0"
         "WINE_WAIT_CHILD_PIPE=7\0WINE_WAIT_CHILD=kept\0"s,
         "\0prog.exe\0\0"s,
         false,
         {"<root>/bin/wineloader64", "prog.exe", ""},
         {"FOO=bar", "WINE_WAIT_CHILD=kept"},
         true},
        {"WINELOADER, wait-child pipe, no working directory",
         STANDIN_ROOT,
         false,
         "WINELOADER=/opt/wine/wineloader64\0"s,
         "\0x.exe\0"s,
         true,
         {"/opt/wine/wineloader64", "x.exe"},
         {"WINELOADER=/opt/wine/wineloader64"},
         true},
        {"empty environment, loader given",
         STANDIN_ROOT,
         false,
         "",
         "/usr/bin/wl\0a b\0"s,
         false,
         {"/usr/bin/wl", "a b"},
         {},
         true},
        {"library without mmap entry points",
         STANDIN_NOMMAP_ROOT,
         true,
         "",
         "\0"s,
         true,
         {"<root>/bin/wineloader64"},
         {},
         false},
    };
    for (const HandOverCase& test : cases) {
        SCOPED_TRACE(test.name);
        QTemporaryDir hostFolder, workFolder;
        ASSERT_TRUE(hostFolder.isValid() && workFolder.isValid());
        LoaderHost host(QString::fromUtf8(test.root), hostFolder.path());
        ASSERT_FALSE(host.socketPath().empty());

        HandedDescriptors handed(test.waitPipe);
        WireRequest request;
        if (test.sendWorkingDirectory)
            request.workingDirectory = pathOf(workFolder.path()) + '\0';
        request.environment = test.environment;
        request.arguments = test.arguments;
        request.descriptors = handed.list;
        const WireOutcome outcome = SendWireRequest(host.socketPath(), request);
        EXPECT_EQ(outcome.response, std::optional<uint32_t>(WineLoaderResponseProceed));
        EXPECT_TRUE(outcome.closed);
        EXPECT_EQ(host.finish(false), 0) << host.error();
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(host.socketPath())));
        EXPECT_FALSE(
            QFileInfo::exists(QFileInfo(QString::fromStdString(host.socketPath())).path()));

        const QString cwd = test.sendWorkingDirectory ? workFolder.path() : hostFolder.path();
        const Record record = readRecord(cwd);
        ASSERT_FALSE(record.lines.empty());
        std::vector<std::string> argv;
        for (std::string arg : test.argv) {
            if (arg.rfind("<root>", 0) == 0)
                arg = test.root + arg.substr(6);
            argv.push_back(arg);
        }
        EXPECT_EQ(record.all("arg"), argv);
        EXPECT_EQ(record.one("argc"), std::to_string(argv.size()));
        EXPECT_EQ(record.one("argv-terminated"), "1");
        EXPECT_EQ(record.one("cwd"), pathOf(cwd));

        // The server connection's and the wait-child pipe's numbers, as Wine finds them.
        std::vector<std::string> environment = test.environ_;
        const std::vector<std::string> received = record.all("env");
        std::string serverNumber, waitNumber;
        for (const std::string& entry : received) {
            if (entry.rfind("WINESERVERSOCKET=", 0) == 0)
                serverNumber = entry.substr(17);
            if (entry.rfind("WINE_WAIT_CHILD_PIPE=", 0) == 0)
                waitNumber = entry.substr(21);
        }
        ASSERT_FALSE(serverNumber.empty());
        environment.push_back("WINESERVERSOCKET=" + serverNumber);
        if (test.waitPipe)
            environment.push_back("WINE_WAIT_CHILD_PIPE=" + waitNumber);
        EXPECT_EQ(received, environment);

        EXPECT_EQ(record.one("fd0"), DescriptorTarget(handed.stdinPipe.first));
        EXPECT_EQ(record.one("fd1"), DescriptorTarget(handed.stdoutPipe.second));
        EXPECT_EQ(record.one("fd2"), DescriptorTarget(handed.stderrPipe.second));
        EXPECT_EQ(record.one("server"), DescriptorTarget(handed.server[1]) + " cloexec=1");
        EXPECT_EQ(record.one("waitpipe"),
                  test.waitPipe ? DescriptorTarget(handed.waitChild.second) + " cloexec=0"
                                : "unset");
        if (test.reserves) {
            EXPECT_EQ(record.all("mmap"),
                      (std::vector<std::string>{"0x11000 0x3fff0000 prot=0 flags=0x4010",
                                                "0x7f000000 0x3000000 prot=0 flags=0x4010"}));
            EXPECT_EQ(record.all("reserved"),
                      (std::vector<std::string>{"0x11000 0x3fff0000", "0x7f000000 0x3000000"}));
        } else {
            EXPECT_TRUE(record.all("mmap").empty());
            EXPECT_NE(host.error().find("Failed to find mmap symbols in " + std::string(test.root) +
                                        "/lib64/libwine.so.1: "),
                      std::string::npos)
                << host.error();
        }
        EXPECT_EQ(record.one("leaks"), "0");
    }
}

// wine_init returning: its error on the handed-over standard error, after the response; the
// host goes on running, no longer listening, and ends without leaks.
TEST(WineLoaderHandOverTest, WineInitFailureGoesToStandardError) {
    QTemporaryDir hostFolder;
    ASSERT_TRUE(hostFolder.isValid());
    LoaderHost host(QStringLiteral(STANDIN_ROOT), hostFolder.path());
    ASSERT_FALSE(host.socketPath().empty());
    HandedDescriptors handed(true);
    WireRequest request;
    request.environment = "STANDIN_WINE_INIT_ERROR=no such bottle\0"s;
    request.descriptors = handed.list;
    const WireOutcome outcome = SendWireRequest(host.socketPath(), request);
    EXPECT_EQ(outcome.response, std::optional<uint32_t>(WineLoaderResponseProceed));
    EXPECT_FALSE(SendWireRequest(host.socketPath(), WireRequest{}).connected);

    // The host's clean-up closes the wait-child pipe last; then it may quit.
    handed.pipes.closeOne(handed.stderrPipe.second);
    handed.pipes.closeOne(handed.waitChild.second);
    EXPECT_EQ(readToEnd(handed.waitChild.first), "");
    EXPECT_EQ(host.finish(), 0) << host.error();
    EXPECT_EQ(readToEnd(handed.stderrPipe.first),
              kHandleConnection + ": wine_init failed: no such bottle\n");
    EXPECT_EQ(readRecord(hostFolder.path()).one("leaks"), "0");
}

// Two clients at once: exactly one is answered.
TEST(WineLoaderHandOverTest, TwoClientsOneResponse) {
    QTemporaryDir hostFolder;
    ASSERT_TRUE(hostFolder.isValid());
    LoaderHost host(QStringLiteral(STANDIN_ROOT), hostFolder.path());
    ASSERT_FALSE(host.socketPath().empty());
    HandedDescriptors first(false), second(false);
    WireRequest request;
    request.descriptors = first.list;
    const int a = StartWireRequest(host.socketPath(), request);
    request.descriptors = second.list;
    const int b = StartWireRequest(host.socketPath(), request);
    const WireOutcome outcomes[] = {FinishWireRequest(a), FinishWireRequest(b)};
    EXPECT_EQ(host.finish(false), 0);
    int responses = 0;
    for (const WireOutcome& outcome : outcomes) {
        EXPECT_TRUE(outcome.connected);
        EXPECT_TRUE(outcome.closed);
        if (outcome.response) {
            EXPECT_EQ(*outcome.response, WineLoaderResponseProceed);
            ++responses;
        }
    }
    EXPECT_EQ(responses, 1);
}

// Quitting while the service listens removes the socket file.
TEST(WineLoaderHandOverTest, QuitWhileListeningRemovesSocket) {
    QTemporaryDir hostFolder;
    ASSERT_TRUE(hostFolder.isValid());
    LoaderHost host(QStringLiteral(STANDIN_ROOT), hostFolder.path());
    ASSERT_FALSE(host.socketPath().empty());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(host.socketPath())));
    EXPECT_EQ(host.finish(), 0);
    EXPECT_EQ(host.output(), "socket file after quit: gone\n");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(host.socketPath())));
}

} // namespace
