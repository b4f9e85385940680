#include "TSTask.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Runs the event loop until the task has announced its end; counts the announcements.
struct TerminationWatch {
    explicit TerminationWatch(TSTask& task) {
        QObject::connect(&task, &TSTask::taskDidTerminate, &loop, [this, &task](TSTask* sender) {
            ++wrapperNotifications;
            EXPECT_EQ(sender, &task);
            loop.quit();
        });
        QObject::connect(task.realTask(), &QProcess::finished, &loop,
                         [this] { ++taskNotifications; });
    }
    void wait() {
        if (wrapperNotifications == 0)
            loop.exec();
    }
    QEventLoop loop;
    int wrapperNotifications = 0;
    int taskNotifications = 0;
};

// A shell that writes each of its arguments followed by a zero byte.
const QVariantList kPrintArguments = {u("-c"), u("printf '%s\\0' \"$@\""), u("sh")};

TEST(TSTask, ReplacesStringsOnly) {
    const QVariantList replaced = TSTask::argumentsWithStringsReplacedBySpecialStrings(
        {42, u("caf\xc3\xa9"), 2.5, QVariant()});
    ASSERT_EQ(replaced.size(), 4);
    EXPECT_EQ(replaced[0].metaType(), QMetaType::fromType<int>());
    EXPECT_EQ(replaced[0].toInt(), 42);
    ASSERT_EQ(replaced[1].metaType(), QMetaType::fromType<TSTaskSpecialString>());
    EXPECT_EQ(replaced[2].toDouble(), 2.5);
    EXPECT_FALSE(replaced[3].isValid());

    // Copies stay wrapped and keep the precomposed UTF-8 form.
    const QVariant copy = replaced[1];
    ASSERT_EQ(copy.metaType(), QMetaType::fromType<TSTaskSpecialString>());
    const TSTaskSpecialString special = copy.value<TSTaskSpecialString>();
    EXPECT_EQ(special.realString(), u("caf\xc3\xa9"));
    EXPECT_EQ(special.fileSystemRepresentation(), QByteArray("caf\xc3\xa9"));
}

TEST(TSTask, ChildGetsThePlainUtf8BytesAndOneNotification) {
    TSTask task;
    task.setLaunchPath(u("/bin/sh"));
    QVariantList arguments = kPrintArguments;
    arguments << u("caf\xc3\xa9") << 42 << u("cafe\xcc\x81") << u("") << u("a b") << u("$HOME");
    task.setArguments(arguments);
    EXPECT_EQ(task.arguments()[3].metaType(), QMetaType::fromType<TSTaskSpecialString>());
    EXPECT_EQ(task.arguments()[4].metaType(), QMetaType::fromType<int>());

    TerminationWatch watch(task);
    QString error;
    ASSERT_TRUE(task.launch(&error)) << error.toStdString();
    watch.wait();

    static const char expected[] = "caf\xc3\xa9\0"
                                   "42\0"
                                   "cafe\xcc\x81\0"
                                   "\0"
                                   "a b\0"
                                   "$HOME";
    EXPECT_EQ(task->readAllStandardOutput(), QByteArray(expected, sizeof expected));
    EXPECT_FALSE(task.isRunning());
    EXPECT_EQ(task.terminationStatus(), 0);
    EXPECT_EQ(task.terminationReason(), QProcess::NormalExit);

    // Later events of the process announce nothing more.
    QCoreApplication::processEvents();
    EXPECT_EQ(watch.wrapperNotifications, 1);
    EXPECT_EQ(watch.taskNotifications, 1);
}

TEST(TSTask, OperationsActOnTheWrappedProcess) {
    auto* process = new QProcess;
    TSTask task(process);
    EXPECT_EQ(task.realTask(), process);
    EXPECT_EQ(process->parent(), &task);

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    task.setLaunchPath(u("/bin/sh"));
    task.setArguments({u("-c"), u("pwd; echo to-stderr >&2; exit 3")});
    task.setCurrentDirectoryPath(folder.path());
    task->setStandardErrorFile(folder.filePath(u("stderr.txt")));
    EXPECT_EQ(process->program(), u("/bin/sh"));
    EXPECT_EQ(task.currentDirectoryPath(), folder.path());

    TerminationWatch watch(task);
    ASSERT_TRUE(task.launch());
    watch.wait();
    EXPECT_EQ(task.terminationStatus(), 3);
    EXPECT_EQ(process->exitCode(), 3);
    EXPECT_EQ(task->readAllStandardOutput().trimmed(), QFile::encodeName(folder.path()));
    QFile stderrFile(folder.filePath(u("stderr.txt")));
    ASSERT_TRUE(stderrFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(stderrFile.readAll(), QByteArray("to-stderr\n"));
}

TEST(TSTask, EndsBySignal) {
    struct Case {
        void (TSTask::*stop)();
        int signal;
    } cases[] = {{&TSTask::terminate, SIGTERM}, {&TSTask::interrupt, SIGINT}};
    for (const Case& c : cases) {
        TSTask task;
        task.setLaunchPath(u("/bin/sleep"));
        task.setArguments({u("1000")});
        TerminationWatch watch(task);
        ASSERT_TRUE(task.launch());
        EXPECT_TRUE(task.isRunning());
        EXPECT_GT(task.processIdentifier(), 0);
        (task.*c.stop)();
        watch.wait();
        EXPECT_EQ(task.terminationReason(), QProcess::CrashExit);
        EXPECT_EQ(task.terminationStatus(), c.signal);
        EXPECT_EQ(watch.wrapperNotifications, 1);
    }
}

TEST(TSTask, LaunchedTaskWithLaunchPath) {
    std::unique_ptr<TSTask> task(
        TSTask::launchedTaskWithLaunchPath(u("/usr/bin/printf"), {u("%s|%s"), u("\xc3\xa9"), 7}));
    ASSERT_TRUE(task);
    task->waitUntilExit();
    EXPECT_EQ((*task)->readAllStandardOutput(), QByteArray("\xc3\xa9|7"));

    QString error;
    EXPECT_EQ(TSTask::launchedTaskWithLaunchPath(u("/nonexistent/program"), {}, &error), nullptr);
    EXPECT_FALSE(error.isEmpty());
}

TEST(TSTask, RefusesArgumentsThatAreNeitherStringsNorNumbers) {
    TSTask task;
    task.setLaunchPath(u("/bin/true"));
    task.setArguments({u("fine"), QVariantMap{{u("key"), 1}}});
    TerminationWatch watch(task);
    QString error;
    EXPECT_FALSE(task.launch(&error));
    EXPECT_EQ(error, u("argument 1 is neither a string nor a number"));
    EXPECT_FALSE(task.isRunning());
    EXPECT_EQ(watch.wrapperNotifications, 0);
}

} // namespace
