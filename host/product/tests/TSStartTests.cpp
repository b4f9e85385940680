// The product's start tool, run as a program: its options, bottles and targets, with a
// stand-in for the system's Wine that records how it was started.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

void writeFile(const QString& path, const QByteArray& content = QByteArray()) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

struct Outcome {
    int status = -1;
    QString output;
    QString errors;
    QString record;
};

// A bottle folder and a managed bottle folder, and the stand-in Wine first on the path:
//   Bottles/Work      a prefix holding the loader and a document
//   Bottles/Fresh     a folder Wine has not set up yet
//   Managed/Shared    a managed prefix
//   Managed/Template  a managed bottle that is only a template
class StartTool : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        bin = folder.filePath("bin");
        QDir().mkpath(bin);
        for (const char* name : {"wine", "wineserver"})
            ASSERT_TRUE(QFile::copy(STANDIN_WINE, bin + '/' + name));
        work = folder.filePath("Bottles/Work");
        writeFile(work + "/system.reg");
        loaderFolder = work + "/drive_c/Program Files/Halcyon Imaging";
        writeFile(loaderFolder + "/SkiffApp64.exe", "MZ");
        writeFile(loaderFolder + "/notes.txt", "notes");
        QDir().mkpath(folder.filePath("Bottles/Fresh"));
        QDir().mkpath(work + "/dosdevices");
        ASSERT_EQ(symlink("../drive_c", QFile::encodeName(work + "/dosdevices/c:").constData()), 0);
        writeFile(folder.filePath("Managed/Shared/system.reg"));
        QDir().mkpath(folder.filePath("Managed/Template/drive_c"));
        record = folder.filePath("record.txt");
    }

    Outcome run(const QStringList& arguments, const QStringList& environment = {},
                const QString& workingDirectory = QString()) {
        QFile::remove(record);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", bin + ":/usr/bin:/bin");
        env.insert("TS_BOTTLE_PATH", folder.filePath("Bottles"));
        env.insert("TS_MANAGED_BOTTLE_PATH", "/nonexistent:" + folder.filePath("Managed"));
        env.insert("STANDIN_RECORD", record);
        env.remove("WINEDLLOVERRIDES");
        env.remove("TS_LAUNCH_NOTIFY_SOCKET");
        for (const QString& entry : environment)
            env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(workingDirectory.isEmpty() ? folder.path() : workingDirectory);
        process.start(TSSTART, arguments);
        Outcome result;
        if (!process.waitForFinished(30000))
            return result;
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.output = QString::fromUtf8(process.readAllStandardOutput());
        result.errors = QString::fromUtf8(process.readAllStandardError());
        result.record = readFile(record);
        return result;
    }

    QTemporaryDir folder;
    QString bin;
    QString work;
    QString loaderFolder;
    QString record;
};

TEST_F(StartTool, ProgramsDocumentsAndUrls) {
    const QString loaderWords[] = {"C:/Program", "Files/Halcyon", "Imaging/SkiffApp64.exe"};
    const struct {
        const char* what;
        QStringList arguments;
        QString wineArguments;
        QString workingDirectory;
    } cases[] = {
        {"the primary command: a Windows path split at its blanks",
         {"--enable-alt-loader", "macdrv", "--bottle", "Work", loaderWords[0], loaderWords[1],
          loaderWords[2]},
         "[C:/Program Files/Halcyon Imaging/SkiffApp64.exe]",
         loaderFolder},
        {"the remaining words are the program's arguments",
         {"--bottle", "Work", loaderWords[0], loaderWords[1], loaderWords[2], "-x", "two words"},
         "[C:/Program Files/Halcyon Imaging/SkiffApp64.exe] [-x] [two words]",
         loaderFolder},
        {"letters in any case and no \".exe\", as Windows finds it",
         {"--bottle", "Work", "c:\\PROGRAM FILES\\halcyon imaging\\skiffapp64"},
         "[c:\\PROGRAM FILES\\halcyon imaging\\skiffapp64.exe]",
         loaderFolder},
        {"a Windows document opens through Wine's start",
         {"--bottle", "Work", "C:\\Program Files\\Halcyon Imaging\\notes.txt"},
         "[start] [/unix] [" + loaderFolder + "/notes.txt]",
         loaderFolder},
        {"a Unix document, with --untrusted",
         {"--bottle", "Work", "--untrusted", "--wait-children", loaderFolder + "/notes.txt"},
         "[start] [/unix] [" + loaderFolder + "/notes.txt]",
         loaderFolder},
        {"a Unix program runs directly",
         {"--bottle", "Work", loaderFolder + "/SkiffApp64.exe", "a"},
         "[" + loaderFolder + "/SkiffApp64.exe] [a]",
         loaderFolder},
        {"a URL after the end of the options",
         {"--bottle", "Work", "--", "https://example.org/a b?c='d'"},
         "[start] [https://example.org/a b?c='d']",
         ""},
        {"a bare program name is Wine's to find",
         {"--bottle", "Work", "cmd", "/c", "echo"},
         "[cmd] [/c] [echo]",
         ""},
        {"--workdir wins over the program's folder",
         {"--bottle", "Work", "--workdir", "/tmp", loaderWords[0], loaderWords[1], loaderWords[2]},
         "[C:/Program Files/Halcyon Imaging/SkiffApp64.exe]",
         "/tmp"},
        {"a program in a console of its own",
         {"--bottle", "Work", "--new-console", loaderFolder + "/SkiffApp64.exe"},
         "[start] [/wait] [/unix] [" + loaderFolder + "/SkiffApp64.exe]",
         loaderFolder},
        {"an option-like target after --",
         {"--bottle", "Work", "--", "--version"},
         "[--version]",
         ""},
    };
    for (const auto& c : cases) {
        const Outcome result = run(c.arguments);
        EXPECT_EQ(result.status, 0) << c.what << "\n" << result.errors.toStdString();
        EXPECT_TRUE(result.record.contains("wine: " + c.wineArguments + "\n"))
            << c.what << "\n"
            << result.record.toStdString();
        const QString cwd = c.workingDirectory.isEmpty() ? folder.path() : c.workingDirectory;
        EXPECT_TRUE(result.record.contains("cwd: " + cwd + "\n")) << c.what << "\n"
                                                                  << result.record.toStdString();
        EXPECT_TRUE(result.record.contains("WINEPREFIX: " + work + "\n")) << c.what;
    }
}

TEST_F(StartTool, BottlesAndTheirWineEnvironment) {
    const struct {
        const char* bottle;
        QString prefix;
        const char* overrides;
    } cases[] = {
        {"Work", work, "winemenubuilder.exe=d"},
        {"Fresh", folder.filePath("Bottles/Fresh"), "winemenubuilder.exe=d;mscoree,mshtml="},
        {"Shared", folder.filePath("Managed/Shared"), "winemenubuilder.exe=d"},
    };
    for (const auto& c : cases) {
        const Outcome result = run({"--bottle", c.bottle, "cmd"});
        EXPECT_EQ(result.status, 0) << c.bottle << result.errors.toStdString();
        EXPECT_TRUE(result.record.contains("WINEPREFIX: " + c.prefix + "\n"))
            << c.bottle << "\n"
            << result.record.toStdString();
        EXPECT_TRUE(result.record.contains(QString("WINEDLLOVERRIDES: ") + c.overrides + "\n"))
            << c.bottle << "\n"
            << result.record.toStdString();
        EXPECT_TRUE(result.record.contains("WINEDEBUG: -all\n")) << c.bottle;
    }
    // Without --bottle the bottle is "default".
    QDir().mkpath(folder.filePath("Bottles/default"));
    EXPECT_TRUE(run({"cmd"}).record.contains("WINEPREFIX: " + folder.filePath("Bottles/default")));
    // Overrides of the caller's own come after the wrapper's.
    EXPECT_TRUE(run({"--bottle", "Work", "cmd"}, {"WINEDLLOVERRIDES=d3d9=n"})
                    .record.contains("WINEDLLOVERRIDES: winemenubuilder.exe=d;d3d9=n\n"));
    EXPECT_TRUE(run({"--bottle", "Work", "--debugmsg", "+relay,-heap", "cmd"})
                    .record.contains("WINEDEBUG: +relay,-heap\n"));
}

TEST_F(StartTool, RefusesWhatItCannotRun) {
    const struct {
        QStringList arguments;
        int status;
        const char* message;
    } cases[] = {
        {{"--bottle", "Nope", "cmd"}, 2, "tsstart: there is no bottle named \"Nope\"\n"},
        {{"--bottle", "Template", "cmd"}, 2, "tsstart: there is no bottle named \"Template\"\n"},
        {{"--bottle", "../Bottles/Work", "cmd"},
         2,
         "tsstart: there is no bottle named \"../Bottles/Work\"\n"},
        {{"--bottle", "", "cmd"}, 2, "tsstart: there is no bottle named \"\"\n"},
        {{"--bottle"}, 2, "tsstart: the option --bottle needs a value\n"},
        {{"--bottle", "Work", "--frobnicate", "cmd"}, 2, "tsstart: unknown option --frobnicate\n"},
        {{"--bottle", "Work"}, 2, "tsstart: no program, document or URL given\n"},
        {{"--bottle", "Work", "C:/Program", "Files/Nothing.exe"},
         127,
         "tsstart: cannot find \"C:/Program Files/Nothing.exe\" in the bottle \"Work\"\n"},
        {{"--bottle", "Work", "./missing.exe"}, 127, "tsstart: cannot find \"./missing.exe\"\n"},
        {{"--bottle", "Work", "--workdir", "/nonexistent", "cmd"},
         2,
         "tsstart: cannot change to the folder \"/nonexistent\": No such file or directory\n"},
    };
    for (const auto& c : cases) {
        const Outcome result = run(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.message;
        EXPECT_TRUE(result.errors.startsWith(QString::fromUtf8(c.message)))
            << c.message << "got: " << result.errors.toStdString();
        EXPECT_EQ(result.record, "") << c.message << "Wine must not start";
    }
}

TEST_F(StartTool, HandsBackTheExitStatusAndWaitsForTheBottle) {
    Outcome result = run({"--bottle", "Work", "cmd"}, {"STANDIN_STATUS=7"});
    EXPECT_EQ(result.status, 7);
    EXPECT_FALSE(result.record.contains("wineserver:"));

    result = run({"--bottle", "Work", "--wait-children", "cmd"}, {"STANDIN_STATUS=3"});
    EXPECT_EQ(result.status, 3) << "the program's status, not the server's";
    const qsizetype wine = result.record.indexOf("wine: [cmd]");
    const qsizetype server = result.record.indexOf("wineserver: [-w]");
    EXPECT_GE(wine, 0);
    EXPECT_GT(server, wine) << "the wait follows the program\n" << result.record.toStdString();
    EXPECT_TRUE(result.record.contains("WINEPREFIX: " + work));
}

TEST_F(StartTool, WineOutputGoesToTheLog) {
    // Without --ts-log, Wine's output is the wrapper's own.
    Outcome result = run({"--bottle", "Work", "cmd"});
    EXPECT_EQ(result.output, "output of wine\n");
    EXPECT_EQ(result.errors, "errors of wine\n");

    const QString log = folder.filePath("run.tslog");
    writeFile(log, "Running command: cmd\n");
    result = run({"--bottle", "Work", "--ts-log", log, "cmd"});
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(readFile(log), "Running command: cmd\noutput of wine\nerrors of wine\n")
        << "appended to what the log already holds";

    result = run({"--bottle", "Work", "--ts-log", "-", "cmd"});
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors, "output of wine\nerrors of wine\n");

    result =
        run({"--bottle", "Work", "--ts-log", folder.filePath("no/such/folder/x.tslog"), "cmd"});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.errors.startsWith("tsstart: cannot open the log file"))
        << result.errors.toStdString();

    result = run({"--bottle", "Work", "--verbose", "cmd"});
    EXPECT_TRUE(result.errors.startsWith("tsstart: bottle \"Work\" (" + work + "), in "))
        << result.errors.toStdString();
}

TEST_F(StartTool, CalledAsWineItFindsTheSystemsWine) {
    // The product's bin/wine is this program; it must not take itself for the system's Wine.
    const QString productBin = folder.filePath("product/bin");
    QDir().mkpath(productBin);
    ASSERT_TRUE(QFile::copy(TSSTART, productBin + "/wine"));
    QFile::setPermissions(productBin + "/wine", QFile::permissions(TSSTART));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH", productBin + ":" + bin + ":/usr/bin:/bin");
    env.insert("TS_BOTTLE_PATH", folder.filePath("Bottles"));
    env.insert("STANDIN_RECORD", record);
    process.setProcessEnvironment(env);
    process.start(productBin + "/wine", {"--bottle", "Work", "cmd"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(readFile(record).contains("wine: [cmd]"));
}

// A listening launch-notify socket, as the host makes one.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path) : path_(QFile::encodeName(path)) {
        sock_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path_.constData(), size_t(path_.size()) + 1);
        bound_ = bind(sock_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 listen(sock_, 5) == 0;
    }
    ~NotifySocket() {
        close(sock_);
        unlink(path_.constData());
    }
    bool bound() const { return bound_; }
    // The bytes of the one connection waiting, or nothing.
    QByteArray received() {
        timeval timeout{0, 100000};
        setsockopt(sock_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        const int connection = accept(sock_, nullptr, nullptr);
        if (connection < 0)
            return QByteArray();
        QByteArray bytes;
        char buffer[16];
        ssize_t count;
        while ((count = read(connection, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, count);
        close(connection);
        return bytes;
    }

private:
    QByteArray path_;
    int sock_ = -1;
    bool bound_ = false;
};

TEST_F(StartTool, TellsTheHostOnceTheWindowsProgramRuns) {
    NotifySocket notify(folder.filePath("notify"));
    ASSERT_TRUE(notify.bound());
    const QString variable = "TS_LAUNCH_NOTIFY_SOCKET=" + folder.filePath("notify");

    // Wine never got as far as the program: no report.
    EXPECT_EQ(run({"--bottle", "Work", "cmd"}, {variable, "STANDIN_STATUS=1"}).status, 1);
    EXPECT_EQ(notify.received(), QByteArray());

    // The program took its command line over: 289 in this machine's byte order.
    const Outcome result =
        run({"--bottle", "Work", "cmd"}, {variable, "STANDIN_BECOME=C:\\cmd.exe"});
    EXPECT_EQ(result.status, 0) << result.errors.toStdString();
    const unsigned launched = 289;
    EXPECT_EQ(notify.received(), QByteArray(reinterpret_cast<const char*>(&launched), 4));
}

} // namespace
