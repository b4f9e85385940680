// The Run Command window: the argument list tsstart gets, the log names, the presets and the
// channel field's formatter as tables, the completion rule in every order of its events, and
// real runs in a real bottle (one Wine prefix made for the suite) through the product's tsstart.
#include "BottleCollection.h"
#include "CommonLoggingPresets.h"
#include "DebugChannelFormatter.h"
#include "HostTestSupport.h"
#include "RunCommandController.h"
#include "StringAdditions.h"
#include "TSServer.h"
#include "TSSetupLib.h"
#include "WindowAdditions.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>

#include <algorithm>
#include <array>

#include <gtest/gtest.h>

namespace {

using Request = RunCommandController::Request;

QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(RunCommandArguments, FollowTheBottleLogChannelsAndCommand) {
    const struct {
        const char* label;
        Request request;
        QStringList expected;
    } cases[] = {
        {"no bottle: the default one",
         {"", "", false, "", "notepad.exe"},
         {"--bottle", "default", "--new-console", "--", "notepad.exe"}},
        {"a quoted Windows path and one more word: its folder is the working folder",
         {"B", "", false, "", R"("C:\Program Files\App\app.exe" /x)"},
         {"--bottle", "B", "--new-console", "--workdir", R"(C:\Program Files\App)", "--",
          R"(C:\Program Files\App\app.exe)", "/x"}},
        {"a log file opened by the window: Wine writes to standard error",
         {"B", "/tmp/a.tslog.partial", true, "+tid,+file", "cmd /c exit 3"},
         {"--bottle", "B", "--new-console", "--verbose", "--ts-log", "-", "--debugmsg",
          "+tid,+file", "--", "cmd", "/c", "exit", "3"}},
        {"a log file the window could not open: tsstart writes it",
         {"B", "/tmp/a.tslog.partial", false, "", "cmd"},
         {"--bottle", "B", "--new-console", "--verbose", "--ts-log", "/tmp/a.tslog.partial", "--",
          "cmd"}},
        {"no command", {"", "", false, "", ""}, {"--bottle", "default", "--new-console", "--"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunCommandController::argumentsFor(c.request), c.expected) << c.label;
}

TEST(RunCommandArguments, ChannelsGoOnlyWithALogFile) {
    RunCommandController controller;
    controller.setCommand("cmd");
    controller.setExtraLogOptions("+tid, +seh");
    EXPECT_EQ(controller.currentRequest().channels, "");
    controller.setKeepLogFile(true);
    EXPECT_EQ(controller.currentRequest().channels, "") << "no log file chosen yet";
    controller.setLogFilePath("/tmp/a.tslog");
    EXPECT_EQ(controller.currentRequest().channels, "+tid,+seh");
    EXPECT_EQ(controller.currentRequest().bottleName, "") << "no bottle selected";
}

TEST(RunCommandLog, TemporaryAndFinalNamesAvoidExistingFiles) {
    QTemporaryDir folder;
    const QString wanted = folder.filePath("a.tslog");
    EXPECT_EQ(RunCommandController::temporaryLogName(wanted), wanted + ".partial");
    touch(wanted + ".partial");
    EXPECT_EQ(RunCommandController::temporaryLogName(wanted), folder.filePath("a 2.tslog.partial"));
    touch(folder.filePath("a 2.tslog.partial"));
    EXPECT_EQ(RunCommandController::temporaryLogName(wanted), folder.filePath("a 3.tslog.partial"));

    EXPECT_EQ(RunCommandController::finalLogName(wanted), wanted);
    touch(wanted);
    EXPECT_EQ(RunCommandController::finalLogName(wanted), folder.filePath("a 2.tslog"));
    EXPECT_EQ(RunCommandController::finalLogName(folder.filePath("plain")),
              folder.filePath("plain"));
    touch(folder.filePath("plain"));
    EXPECT_EQ(RunCommandController::finalLogName(folder.filePath("plain")),
              folder.filePath("plain 2"));
}

TEST(RunCommandChannels, PresetsAddWhatIsMissing) {
    const QStringList fonts = CommonLoggingPresets().value("Fonts");
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"+tid,+seh", "+tid,+seh,+font"}, {"", "+tid,+font"},
        {"+tid,+font", "+tid,+font"},     {" +tid, +seh,\n", "+tid,+seh,+font"},
        {"+font", "+font,+tid"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunCommandController::channelsWithPreset(c.before, fonts), c.after) << c.before;

    RunCommandController controller;
    controller.setExtraLogOptions("+tid,+seh");
    controller.addLoggingChannels(fonts);
    EXPECT_EQ(controller.extraLogOptions(), "+tid,+seh,+font");
    controller.clearLoggingChannels();
    EXPECT_EQ(controller.extraLogOptions(), "");
}

TEST(RunCommandChannels, ElevenPresetsBeginningWithTid) {
    const auto& presets = CommonLoggingPresets();
    EXPECT_EQ(presets.size(), 11);
    for (auto preset = presets.begin(); preset != presets.end(); ++preset)
        EXPECT_EQ(preset.value().value(0), "+tid") << preset.key().toStdString();
    EXPECT_EQ(presets.value("File Access"), QStringList({"+tid", "+ntdll", "+file"}));
    EXPECT_EQ(presets.value("Sound (verbose)").size(), 14);
}

TEST(RunCommandWindow, PresetMenuSortedWithToolTipsAndControlsFollowTheState) {
    RunCommandController controller;
    QWidget* window = controller.window();
    auto* presets = window->findChild<QToolButton*>("channelPresets");
    ASSERT_NE(presets, nullptr);
    ASSERT_NE(presets->menu(), nullptr);
    QStringList titles;
    for (QAction* item : presets->menu()->actions())
        titles << item->text().trimmed();
    QStringList sorted = titles;
    std::sort(sorted.begin(), sorted.end(), localizedStandardLessThan);
    EXPECT_EQ(titles.size(), 11);
    EXPECT_EQ(titles, sorted);
    const QAction* fileAccess = presets->menu()->actions().at(titles.indexOf("File Access"));
    EXPECT_EQ(fileAccess->toolTip(), "+file,+ntdll,+tid");
    EXPECT_EQ(fileAccess->data().toStringList(), QStringList({"+file", "+ntdll", "+tid"}));

    auto* run = window->findChild<QPushButton*>("run");
    auto* channels = window->findChild<QLineEdit*>("extraLogOptions");
    EXPECT_FALSE(run->isEnabled()) << "nothing to run";
    EXPECT_FALSE(channels->isEnabled()) << "no log file";
    controller.setCommand("notepad");
    controller.setKeepLogFile(true);
    EXPECT_TRUE(run->isEnabled());
    EXPECT_TRUE(channels->isEnabled());
    EXPECT_TRUE(controller.enableLoggingChannelsControls());
}

TEST(RunCommandWindow, CommandsAreDecomposedAndFilesQuoted) {
    RunCommandController controller;
    QSignalSpy canRun(&controller, &RunCommandController::canRunChanged);
    controller.setCommand(QString::fromUtf8("caf\xc3\xa9.exe"));
    EXPECT_EQ(controller.command(), QString::fromUtf8("cafe\xcc\x81.exe"));
    EXPECT_TRUE(controller.canRun());
    EXPECT_EQ(canRun.count(), 1);

    std::unique_ptr<RunCommandController> file(
        RunCommandController::initWithFileToRun("/tmp/My App/setup.exe"));
    EXPECT_EQ(file->command(), "\"/tmp/My App/setup.exe\"");
}

TEST(RunCommandWindow, TheFileMenuOpensAWindowThatLivesUntilItCloses) {
    TSServer server;
    QAction* item = nullptr;
    for (QAction* action : server.mainMenu()->findChildren<QAction*>())
        if (action->text() == "Run Command…")
            item = action;
    ASSERT_NE(item, nullptr);
    item->trigger();
    QWidget* window = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == "RunCommand" && widget->isVisible())
            window = widget;
    ASSERT_NE(window, nullptr);
    QPointer<RunCommandController> controller =
        qobject_cast<RunCommandController*>(ts_windowDelegate(window));
    ASSERT_FALSE(controller.isNull());
    window->close();
    EXPECT_TRUE(runUntil([&] { return controller.isNull(); }, 5000)) << "the window stays";
}

TEST(DebugChannelFormatter, SanitizesSeparatorsAndCharacters) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"+tid  +seh\n+file", "+tid,+seh,+file"},
        {"+tid;+seh", "+tid+seh"},
        {"+tid,,,+seh", "+tid,+seh"},
        {"+tid, ;,+seh", "+tid,,+seh"}, // removing ";" can leave a new pair, which stays
        {"warn+all,-heap_1", "warn+all,-heap_1"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DebugChannelFormatter::sanitizedString(c.in), c.out) << c.in;
}

TEST(DebugChannelFormatter, TypingAndPastingKeepTheFieldAndTheCaretSensible) {
    const struct {
        const char* label;
        const char* original;
        int originalLocation, originalLength;
        const char* proposed;
        int proposedLocation, proposedLength;
        bool accepted;
        const char* result;
        int location, length;
    } cases[] = {
        {"typing an allowed character", "+ti", 3, 0, "+tid", 4, 0, true, "+tid", 4, 0},
        {"a blank becomes a comma", "+tid", 4, 0, "+tid ", 5, 0, false, "+tid,", 5, 0},
        {"a second comma is dropped", "+tid,", 5, 0, "+tid,,", 6, 0, false, "+tid,", 5, 0},
        {"a disallowed character vanishes", "+tid", 4, 0, "+tid;", 5, 0, false, "+tid", 4, 0},
        {"pasting a comma, a blank and +relay after +tid and a comma", "+tid,", 5, 0,
         "+tid,, +relay", 13, 0, false, "+tid,+relay", 11, 0},
        {"pasting selected text: the sanitised insertion stays selected", "+tid,", 5, 0,
         "+tid, +seh", 5, 5, false, "+tid,+seh", 5, 4},
        {"typing in the middle keeps the caret behind the typed text", "+tid,+seh", 4, 0,
         "+tid ,+seh", 5, 0, false, "+tid,+seh", 4, 0},
        {"a selection replaced by nothing allowed comes back selected", "+tid,+seh", 5, 4, "+tid,;",
         6, 0, false, "+tid,+seh", 5, 4},
        {"deleting stays as it is", "+tid,+seh", 9, 0, "+tid,+se", 8, 0, true, "+tid,+se", 8, 0},
    };
    for (const auto& c : cases) {
        QString text = c.proposed;
        int location = c.proposedLocation, length = c.proposedLength;
        const bool accepted = DebugChannelFormatter::isPartialStringValid(
            &text, &location, &length, c.original, c.originalLocation, c.originalLength);
        EXPECT_EQ(accepted, c.accepted) << c.label;
        EXPECT_EQ(text, c.result) << c.label;
        EXPECT_EQ(location, c.location) << c.label;
        EXPECT_EQ(length, c.length) << c.label;
    }
}

TEST(DebugChannelFormatter, KeepsALineEditWellFormed) {
    QLineEdit field;
    DebugChannelFormatter formatter;
    formatter.attachTo(&field);
    field.setFocus();
    field.insert("+tid");
    field.insert(" ");
    field.insert(";+seh");
    EXPECT_EQ(field.text(), "+tid,+seh");
    EXPECT_EQ(field.cursorPosition(), 9);
}

TEST(CommandCompletion, CompletesOnceAfterAllThreeEventsInAnyOrder) {
    std::array<int, 3> order = {0, 1, 2};
    do {
        int completions = 0;
        CommandCompletion completion([&completions] { ++completions; });
        for (size_t step = 0; step < order.size(); ++step) {
            EXPECT_EQ(completions, 0) << "completed before its last event";
            switch (order[step]) {
            case 0:
                completion.outputRead("out");
                break;
            case 1:
                completion.errorRead("err");
                break;
            default:
                completion.terminated();
                break;
            }
        }
        EXPECT_EQ(completions, 1);
        completion.terminated();
        completion.outputRead("again");
        EXPECT_EQ(completions, 1) << "completed twice";
        EXPECT_EQ(completion.output(), "out");
        EXPECT_EQ(completion.error(), "err");
    } while (std::next_permutation(order.begin(), order.end()));
}

// Real runs in a bottle of the suite's own, through the product's tsstart.
class RunCommandInABottle : public testing::Test {
protected:
    static void SetUpTestSuite() {
        root = new QTemporaryDir;
        ASSERT_TRUE(root->isValid());
        display = startVirtualDisplayIfNone(":96");
        ASSERT_TRUE(makeWinePrefix(root->filePath("Bottles/Runner")));
    }
    static void TearDownTestSuite() {
        QProcess::execute(
            "sh", {"-c", "WINEPREFIX=\"$0\" wineserver -k", root->filePath("Bottles/Runner")});
        delete root;
        root = nullptr;
        endVirtualDisplay(display);
    }
    void SetUp() override {
        TSSetupLib::tsSetupClass().call("setEnvValue_forKey_",
                                        {root->filePath("Bottles"), "TS_BOTTLE_PATH"});
        TSSetupLib::tsSetupClass().call("unsetEnvValueForKey_", {"TS_MANAGED_BOTTLE_PATH"});
        BottleCollection* collection = BottleCollection::sharedCollection();
        ASSERT_NE(collection, nullptr);
        collection->populateBottleList();
        controller = std::make_unique<RunCommandController>();
        controller->window();
        controller->setSelectedBottle(collection->bottleWithName("Runner"));
        ASSERT_EQ(controller->selectedBottleIndexes().size(), 1) << "the bottle is not offered";
    }
    // Runs the window's command and waits for its end; the command's status.
    int run() {
        QSignalSpy completed(controller.get(), &RunCommandController::commandCompleted);
        controller->runCommand();
        EXPECT_TRUE(controller->commandRunning());
        EXPECT_TRUE(runUntil([&] { return completed.count() > 0; }, 120000));
        EXPECT_FALSE(controller->commandRunning());
        return completed.isEmpty() ? -1 : completed.first().first().toInt();
    }

    static QTemporaryDir* root;
    static QProcess* display;
    std::unique_ptr<RunCommandController> controller;
};

QTemporaryDir* RunCommandInABottle::root = nullptr;
QProcess* RunCommandInABottle::display = nullptr;

// The command runs in a console of its own (--new-console), so what it prints stays there;
// the sheet gives its status.
TEST_F(RunCommandInABottle, AFailingCommandShowsItsStatus) {
    controller->setCommand("cmd /c exit 3");
    EXPECT_EQ(run(), 3);
    QMessageBox* sheet = controller->resultsSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->text(), "Command results");
    EXPECT_EQ(sheet->informativeText(), "The command cmd /c exit 3 returned 3.");
    EXPECT_EQ(sheet->findChild<QPlainTextEdit*>("failAlertTextView"), nullptr)
        << "a detail text without output";
}

// tsstart's own error text comes back as the command's, unwrapped.
TEST_F(RunCommandInABottle, AProgramThatIsNotThereShowsTheErrorText) {
    controller->setCommand(R"("C:\no such folder\app.exe" /x)");
    EXPECT_EQ(run(), 127);
    QMessageBox* sheet = controller->resultsSheet();
    ASSERT_NE(sheet, nullptr);
    auto* detail = sheet->findChild<QPlainTextEdit*>("failAlertTextView");
    ASSERT_NE(detail, nullptr);
    EXPECT_TRUE(detail->toPlainText().startsWith("Command error text:\ntsstart: cannot find"))
        << detail->toPlainText().toStdString();
    EXPECT_EQ(detail->lineWrapMode(), QPlainTextEdit::NoWrap);
}

TEST_F(RunCommandInABottle, FileAccessChannelsGoToTheFinalLog) {
    const QString wanted = root->filePath("runs/file access.tslog");
    QDir().mkpath(root->filePath("runs"));
    controller->setCommand("cmd /c exit 0");
    controller->setKeepLogFile(true);
    controller->setLogFilePath(wanted);
    controller->addLoggingChannels(CommonLoggingPresets().value("File Access"));
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(controller->resultsSheet(), nullptr) << "a sheet after success";
    const QString log = readFile(wanted);
    EXPECT_TRUE(log.startsWith("Running command: cmd /c exit 0\nBottle: Runner\n"
                               "Debug channels: +tid,+ntdll,+file\n\nHalcyon Imaging "))
        << log.left(300).toStdString();
    EXPECT_TRUE(log.contains("trace:file")) << "no +file output in the log";
    EXPECT_FALSE(QFile::exists(wanted + ".partial"));

    // A second run while the log's name is taken ends in "file access 2.tslog".
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(readFile(root->filePath("runs/file access 2.tslog")).contains("trace:file"));
}

TEST_F(RunCommandInABottle, ASecondRunLeavesTheFirstRunning) {
    controller->setCommand("cmd /c ping -n 3 127.0.0.1 >nul&exit 5");
    QSignalSpy completed(controller.get(), &RunCommandController::commandCompleted);
    controller->runCommand();
    controller->setCommand("cmd /c exit 6");
    controller->runCommand();
    ASSERT_TRUE(runUntil([&] { return completed.count() == 2; }, 120000));
    QList<int> statuses = {completed.at(0).first().toInt(), completed.at(1).first().toInt()};
    std::sort(statuses.begin(), statuses.end());
    EXPECT_EQ(statuses, QList<int>({5, 6}));
    EXPECT_FALSE(controller->commandRunning());
}

} // namespace
