// The host server's user-facing half: launch events and their bottle, the recent items and
// their menu, the Open panel, the bottles' file types from their association databases (also
// from a real bottle's registry), the main menu's home, and the file-manager answers. The
// real scripting layer reads the databases; bottles live in a folder of each test's own.
#include "BottleCollection.h"
#include "FileManagerAdditions.h"
#include "HostTestSupport.h"
#include "StringAdditions.h"
#include "TSApplication.h"
#include "TSServerOEM.h"
#include "TSSetupLib.h"
#include "TSUserDefaults.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes = "x") {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

using RecordingServer = CommandRecorder<TSServer>;

QString tsstart() {
    return stringQuotedForBash(TSApplication::sharedApplication()->tesseraRoot() + "/bin/tsstart");
}

// Bottles of the test's own, seen by the scripting layer and the collection.
void useBottleFolder(const QString& folder) {
    TSSetupLib::tsSetupClass().call("setEnvValue_forKey_", {folder, "TS_BOTTLE_PATH"});
    TSSetupLib::tsSetupClass().call("unsetEnvValueForKey_", {"TS_MANAGED_BOTTLE_PATH"});
    BottleCollection::sharedCollection()->populateBottleList();
}

// --- launch events ---------------------------------------------------------------------------

TEST(LaunchEvents, CommandLinesBecomeEventsWithTheirBottle) {
    const QString here = QDir::currentPath();
    using E = TSLaunchEvent;
    const struct {
        QStringList arguments;
        QList<TSLaunchEvent> events;
    } cases[] = {
        {{}, {}},
        {{"a.exe", "https://pacs.example/s?id=1"},
         {{E::OpenDocument, here + "/a.exe", ""}, {E::GetURL, "https://pacs.example/s?id=1", ""}}},
        {{"--bottle", "Work", "/d/b.msi"}, {{E::OpenDocument, "/d/b.msi", "Work"}}},
        {{"/d/b.msi", "--bottle=Dr O'Brien"}, {{E::OpenDocument, "/d/b.msi", "Dr O'Brien"}}},
        {{"file:///d/with%20space.lnk"}, {{E::OpenDocument, "/d/with space.lnk", ""}}},
        {{"--", "--bottle", "-x"},
         {{E::OpenDocument, here + "/--bottle", ""}, {E::OpenDocument, here + "/-x", ""}}},
        {{"", "C:\\studies\\x.dcm"}, {{E::OpenDocument, here + "/C:\\studies\\x.dcm", ""}}},
    };
    for (const auto& c : cases) {
        QList<TSLaunchEvent> events = {{E::GetURL, "left over", ""}};
        QString error;
        ASSERT_TRUE(TSApplication::parseLaunchArguments(c.arguments, &events, &error))
            << c.arguments.join(' ').toStdString() << ": " << error.toStdString();
        EXPECT_EQ(events, c.events) << c.arguments.join(' ').toStdString();
    }
    for (const QStringList& bad : {QStringList{"--bottle"}, QStringList{"a", "--bottle", ""},
                                   QStringList{"--bottle="}, QStringList{"--verbose", "a"}}) {
        QList<TSLaunchEvent> events;
        QString error;
        EXPECT_FALSE(TSApplication::parseLaunchArguments(bad, &events, &error))
            << bad.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(LaunchEvents, DocumentsAndUrlsOpenInTheEventsBottle) {
    TSApplication* application = TSApplication::sharedApplication();
    RecordingServer server;
    application->setDelegate(&server);
    EXPECT_TRUE(application->deliverLaunchEvent({TSLaunchEvent::OpenDocument, "/d/a.bat", "Work"}));
    EXPECT_TRUE(application->deliverLaunchEvent({TSLaunchEvent::GetURL, "https://x.example/", ""}));
    EXPECT_TRUE(application->deliverLaunchEvent({TSLaunchEvent::OpenDocument, "/d/b.bat", ""}));
    EXPECT_FALSE(application->deliverLaunchEvent(
        {TSLaunchEvent::GetURL, TSServer::privateURLScheme() + ":x", "Work"}));
    EXPECT_EQ(application->currentLaunchEvent(), nullptr);
    server.TSServer::completeStartup();
    runPendingEvents();
    EXPECT_EQ(server.commands,
              (QStringList{tsstart() + " --bottle 'Work' --wait-children --enable-alt-loader "
                                       "macdrv --untrusted '/d/a.bat'",
                           server.urlCommandForBottle("https://x.example/", ""),
                           tsstart() + " --bottle default --wait-children --enable-alt-loader "
                                       "macdrv --untrusted '/d/b.bat'"}));
    application->setDelegate(nullptr);
}

// --- recent items ----------------------------------------------------------------------------

class RecentItems : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        defaults().removeObjectForKey("RecentItems");
        defaults().removeObjectForKey("RecentItemsCount");
        for (const char* name : {"a.bat", "b.bat", "c.bat", "d.bat", "e.bat"})
            ASSERT_TRUE(writeFile(path(name)));
    }
    void TearDown() override {
        defaults().removeObjectForKey("RecentItems");
        defaults().removeObjectForKey("RecentItemsCount");
    }
    static TSUserDefaults& defaults() { return TSUserDefaults::standardUserDefaults(); }
    QString path(const QString& name) const { return folder.filePath(name); }
    // The titles of the Open Recent submenu; "-" for a separator.
    static QStringList titles(TSServer& server) {
        QStringList result;
        for (QAction* item : server.openRecent()->actions())
            result << (item->isSeparator() ? QStringLiteral("-") : item->text());
        return result;
    }
    static QStringList storedBottles() {
        QStringList result;
        for (const QVariant& entry : defaults().arrayForKey("RecentItems"))
            result << entry.toMap().value("bottle", "<none>").toString();
        return result;
    }

    QTemporaryDir folder;
    RecordingServer server;
};

TEST_F(RecentItems, ReopeningMovesToTheFrontAndAnotherBottleAddsAnEntry) {
    server.runClientInBottle(path("a.bat"), "");
    server.runClientInBottle(path("b.bat"), "");
    EXPECT_EQ(titles(server), (QStringList{"b.bat", "a.bat", "-", "Clear"}));
    server.runClientInBottle(path("a.bat"), "");
    EXPECT_EQ(titles(server), (QStringList{"a.bat", "b.bat", "-", "Clear"}));
    server.runClientInBottle(path("b.bat"), "Work");
    server.runClientInBottle(QDir(folder.path() + "/./").filePath("a.bat"), "");
    EXPECT_EQ(titles(server), (QStringList{"a.bat", "b.bat (Work)", "b.bat", "-", "Clear"}));
    EXPECT_EQ(storedBottles(), (QStringList{"<none>", "Work", "<none>"}));

    // Folders and files that are not there are no recent items.
    server.addToRecentItems(folder.path(), "");
    server.addToRecentItems(path("missing.bat"), "");
    EXPECT_EQ(defaults().arrayForKey("RecentItems").size(), 3);

    CommandRecorder<TSServerOEM> oem;
    EXPECT_EQ(oem.makeBottleTaggedName("b.bat", "Work"), "b.bat");
    oem.updateRecentItemsMenu();
    EXPECT_EQ(titles(oem), (QStringList{"a.bat", "b.bat", "b.bat", "-", "Clear"}))
        << "the product shows no bottle names";
}

TEST_F(RecentItems, TheCountBoundsTheMenuAndTheStoredList) {
    for (const char* name : {"a.bat", "b.bat", "c.bat", "d.bat", "e.bat"})
        server.addToRecentItems(path(name), "");
    ASSERT_EQ(defaults().arrayForKey("RecentItems").size(), 5);
    defaults().setObject(3, "RecentItemsCount");
    server.updateRecentItemsMenu();
    EXPECT_EQ(titles(server), (QStringList{"e.bat", "d.bat", "c.bat", "-", "Clear"}));
    EXPECT_EQ(defaults().arrayForKey("RecentItems").size(), 3);
    server.addToRecentItems(path("a.bat"), "");
    EXPECT_EQ(titles(server), (QStringList{"a.bat", "e.bat", "d.bat", "-", "Clear"}));
}

TEST_F(RecentItems, UnresolvableEntriesStayStoredButAreNotShown) {
    for (const char* name : {"a.bat", "b.bat", "c.bat", "d.bat"})
        server.addToRecentItems(path(name), "");
    ASSERT_TRUE(QFile::remove(path("c.bat")));
    ASSERT_TRUE(QFile::remove(path("a.bat")));
    server.updateRecentItemsMenu();
    EXPECT_EQ(titles(server), (QStringList{"d.bat", "b.bat", "-", "Clear"}));
    EXPECT_EQ(defaults().arrayForKey("RecentItems").size(), 4) << "kept while there is room";

    // Over the bound, the last unresolvable entries go first.
    defaults().setObject(3, "RecentItemsCount");
    server.updateRecentItemsMenu();
    EXPECT_EQ(titles(server), (QStringList{"d.bat", "b.bat", "-", "Clear"}));
    const QVariantList stored = defaults().arrayForKey("RecentItems");
    ASSERT_EQ(stored.size(), 3);
    const TSFileManager files = TSFileManager::ts_fileManager();
    EXPECT_EQ(files.pathFromBookmarkData(stored[0].toMap()["bookmark"].toByteArray()),
              path("d.bat"));
    EXPECT_TRUE(files.pathFromBookmarkData(stored[1].toMap()["bookmark"].toByteArray()).isNull())
        << "c.bat stays, a.bat went";

    // A renamed file is found again, and its entry gets a fresh bookmark.
    ASSERT_TRUE(QFile::rename(path("b.bat"), path("renamed.bat")));
    server.updateRecentItemsMenu();
    EXPECT_EQ(titles(server), (QStringList{"d.bat", "renamed.bat", "-", "Clear"}));
    bool stale = true;
    EXPECT_EQ(
        files.pathFromBookmarkData(
            defaults().arrayForKey("RecentItems")[2].toMap()["bookmark"].toByteArray(), &stale),
        path("renamed.bat"));
    EXPECT_FALSE(stale);
}

TEST_F(RecentItems, ChoosingClearingAndAnEmptyList) {
    server.setMenusEnabled(true);
    server.updateRecentItemsMenu();
    ASSERT_EQ(titles(server), QStringList{"Clear"});
    EXPECT_FALSE(server.validateMenuItem(server.openRecent()->actions()[0]))
        << "a lone Clear has no action";
    Q_EMIT server.openRecent()->aboutToShow();
    EXPECT_FALSE(server.openRecent()->actions()[0]->isEnabled());

    server.addToRecentItems(path("a.bat"), "Work");
    server.addToRecentItems(path("b.bat"), "");
    Q_EMIT server.openRecent()->aboutToShow();
    for (QAction* item : server.openRecent()->actions())
        EXPECT_TRUE(item->isSeparator() || item->isEnabled()) << item->text().toStdString();

    server.commands.clear();
    server.openRecent()->actions()[1]->trigger();
    ASSERT_EQ(server.commands.size(), 1);
    EXPECT_TRUE(server.commands[0].contains("--bottle 'Work'"));
    EXPECT_TRUE(server.commands[0].endsWith(stringQuotedForBash(path("a.bat"))));
    EXPECT_EQ(titles(server), (QStringList{"a.bat (Work)", "b.bat", "-", "Clear"}));

    // A file gone since the menu was built starts nothing, and leaves the menu.
    ASSERT_TRUE(QFile::remove(path("b.bat")));
    server.commands.clear();
    server.openRecent()->actions()[1]->trigger();
    EXPECT_TRUE(server.commands.isEmpty());
    EXPECT_EQ(titles(server), (QStringList{"a.bat (Work)", "-", "Clear"}));

    server.openRecent()->actions().last()->trigger();
    EXPECT_EQ(titles(server), QStringList{"Clear"});
    EXPECT_FALSE(defaults().objectForKey("RecentItems").toList().size());
}

TEST_F(RecentItems, TheListOutlivesTheHost) {
    {
        RecordingServer earlier;
        earlier.runClientInBottle(path("a.bat"), "Work");
        earlier.runClientInBottle(path("b.bat"), "");
    }
    // A new host reads what the earlier one stored, from the settings file.
    RecordingServer later;
    later.TSServer::completeStartup();
    EXPECT_EQ(titles(later), (QStringList{"b.bat", "a.bat (Work)", "-", "Clear"}));
}

// --- the menu's home, the Open panel, the license --------------------------------------------

TEST(MainMenu, TheMainWindowCarriesTheMenu) {
    RecordingServer server;
    QMainWindow* window = server.mainWindow();
    EXPECT_EQ(window->menuBar(), server.mainMenu());
    QStringList items;
    for (QAction* menu : server.mainMenu()->actions())
        for (QAction* item : menu->menu()->actions())
            if (!item->isSeparator())
                items << item->text();
    EXPECT_EQ(items, (QStringList{"About %@", "Quit %@", "Open…", "Open Recent", "Run Command…",
                                  "License", "%@ System Information"}));
    server.showMainWindow();
    EXPECT_TRUE(window->isVisible());
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(TSApplication::sharedApplication()->isTerminating()) << "closing is not quitting";
    // The tray, where the desktop has one, offers the same items.
    if (server.trayIcon()) {
        const QList<QAction*> offered = server.trayIcon()->contextMenu()->actions();
        EXPECT_TRUE(offered.contains(server.openRecent()->menuAction()));
    }
}

// Takes the place of the desktop's opener of files.
class FileOpener : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void open(const QUrl& url) { opened << url; }
    QList<QUrl> opened;
};

TEST(MainMenu, LicenseOpensWithTheDesktopsApplication) {
    FileOpener opener;
    QDesktopServices::setUrlHandler("file", &opener, "open");
    RecordingServer server;
    server.showLicense();
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(opener.opened.size(), 1);
    const QString license = opener.opened[0].toLocalFile();
    EXPECT_EQ(license, TSApplication::sharedApplication()->tesseraRoot() + "/license.txt");
    EXPECT_TRUE(QFileInfo(license).isFile());
}

// The hook object of a Windows program running inside the host.
class ReopenController : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE bool applicationShouldHandleReopen(bool hasVisibleWindows) {
        asked << hasVisibleWindows;
        return false;
    }
    QList<bool> asked;
};

TEST(MainMenu, TheWineControllerDecidesAboutReopening) {
    RecordingServer server;
    TSApplication* application = TSApplication::sharedApplication();
    EXPECT_TRUE(server.applicationShouldHandleReopen(false));
    QObject plain;
    application->setWineController(&plain);
    EXPECT_TRUE(server.applicationShouldHandleReopen(false)) << "a controller without an answer";
    ReopenController controller;
    application->setWineController(&controller);
    EXPECT_FALSE(server.applicationShouldHandleReopen(true));
    EXPECT_EQ(controller.asked, QList<bool>{true});
    application->setWineController(nullptr);
}

class OpenPanel : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(writeFile(folder.filePath("Bottles/Work/drive_c/x")));
        ASSERT_TRUE(writeFile(folder.filePath("docs/first.bat")));
        ASSERT_TRUE(writeFile(folder.filePath("docs/second.BAT")));
        useBottleFolder(folder.filePath("Bottles"));
    }
    QFileDialog* panel() {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(window); dialog && dialog->isVisible())
                return dialog;
        return nullptr;
    }
    QTemporaryDir folder;
    RecordingServer server;
};

TEST_F(OpenPanel, ChosenFilesOpenInTheChosenBottle) {
    server.openDocument();
    QFileDialog* dialog = panel();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isModal()) << "the panel is modeless";
    EXPECT_EQ(dialog->windowTitle(), "Open");
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Open");
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_TRUE(dialog->testOption(QFileDialog::ReadOnly)) << "no new folders";
    QLabel* message = nullptr;
    for (QLabel* label : dialog->findChildren<QLabel*>())
        if (label->text() == "If possible, the selected document will be opened in the "
                             "appropriate Windows application.\nAvailable file types may vary "
                             "depending on which bottle is selected below.")
            message = label;
    ASSERT_NE(message, nullptr);
    auto* chooser = dialog->findChild<QComboBox*>("bottles");
    ASSERT_NE(chooser, nullptr);
    EXPECT_LT(message->mapTo(dialog, QPoint()).y(), chooser->mapTo(dialog, QPoint()).y())
        << "the bottle chooser is below its message";

    dialog->setDirectory(folder.filePath("docs"));
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText("\"first.bat\" \"second.BAT\"");
    static_cast<QDialog*>(dialog)->accept(); // as the Open button does
    runPendingEvents();
    ASSERT_EQ(server.commands.size(), 2);
    EXPECT_EQ(server.commands[0], tsstart() +
                                      " --bottle 'Work' --wait-children "
                                      "--enable-alt-loader macdrv --untrusted " +
                                      stringQuotedForBash(folder.filePath("docs/first.bat")));
    EXPECT_TRUE(
        server.commands[1].endsWith(stringQuotedForBash(folder.filePath("docs/second.BAT"))));
    EXPECT_EQ(panel(), nullptr);
}

TEST_F(OpenPanel, CancellingOpensNothing) {
    server.openDocument();
    ASSERT_NE(panel(), nullptr);
    panel()->reject();
    runPendingEvents();
    EXPECT_TRUE(server.commands.isEmpty());
}

// --- file types of a bottle ------------------------------------------------------------------

QByteArray plist(const QByteArray& rootBody) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + rootBody +
           "\n</plist>\n";
}

class FileTypes : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(writeFile(folder.filePath("Bottles/Work/drive_c/x")));
        useBottleFolder(folder.filePath("Bottles"));
        bottle = BottleCollection::sharedCollection()->bottleWithName("Work");
        ASSERT_FALSE(bottle.isNull());
    }
    QString database() const {
        return folder.filePath("Bottles/Work/desktopdata/tsassoc/tsassoc_macosx.plist");
    }
    QTemporaryDir folder;
    TSPyObject bottle;
};

TEST_F(FileTypes, AreReadFromTheDatabaseOfTheBottle) {
    const struct {
        const char* what;
        QByteArray root;
        QStringList types;
    } cases[] = {
        {"an extension of its own, and the key's first component",
         "<dict><key>Work</key><dict><key>Description</key><string>Work</string>"
         "<key>Extension Associations/</key><dict>"
         "<key>.dcm/DicomFile</key><dict/>"
         "<key>.txt/txtfile</key><dict><key>Extension</key><string>text</string></dict>"
         "<key>/nothing</key><dict/>"
         "<key>.dcm/Viewer/open</key><dict/>"
         "</dict></dict></dict>",
         {"dcm", "text", "dcm"}},
        {"other bottles' entries are not ours; case and a missing description do not matter",
         "<dict><key>a</key><dict><key>Description</key><string>Home</string>"
         "<key>Extension Associations/</key><dict><key>.home/x</key><dict/></dict></dict>"
         "<key>b</key><dict><key>Description</key><string>WORK</string>"
         "<key>Extension Associations/</key><dict><key>.pdf/x</key><dict/></dict></dict>"
         "<key>c</key><dict>"
         "<key>Extension Associations/</key><dict><key>.lnk/x</key><dict/></dict></dict>"
         "</dict>",
         {"pdf", "lnk"}},
        {"a root that is no dictionary", "<array><string>.dcm</string></array>", {}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(writeFile(database(), plist(c.root)));
        EXPECT_EQ(TSServer::fileTypesForBottle(bottle), c.types) << c.what;
    }

    ASSERT_TRUE(QFile::remove(database()));
    EXPECT_EQ(TSServer::fileTypesForBottle(bottle), QStringList()) << "no database";
    EXPECT_EQ(TSServer::fileTypesForBottle(TSPyObject()), QStringList()) << "no bottle";

    // Reached through a link.
    ASSERT_TRUE(writeFile(folder.filePath("elsewhere.plist"),
                          plist("<dict><key>w</key><dict><key>Extension Associations/</key>"
                                "<dict><key>.msi/x</key><dict/></dict></dict></dict>")));
    ASSERT_TRUE(QFile::link(folder.filePath("elsewhere.plist"), database()));
    EXPECT_EQ(TSServer::fileTypesForBottle(bottle), QStringList{"msi"});
}

TEST_F(FileTypes, AMalformedDatabaseIsLoggedAndGivesNone) {
    ASSERT_TRUE(writeFile(database(), "<plist><dict><key>unclosed"));
    StderrCapture capture;
    EXPECT_EQ(TSServer::fileTypesForBottle(bottle), QStringList());
    const QString logged = capture.text();
    EXPECT_TRUE(logged.contains("Failed to parse tsassoc plist " + database() + ": "))
        << logged.toStdString();
}

// A bottle Wine made, with an association a Windows installer would register.
TEST(FileTypesOfARealBottle, ComeFromItsRegistry) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString prefix = folder.filePath("Bottles/Studies");
    ASSERT_TRUE(makeWinePrefix(prefix));
    QProcess reg;
    reg.setProcessEnvironment(wineEnvironment(prefix));
    reg.start("sh", {"-c", "wine reg add 'HKCU\\Software\\Classes\\.txt' /ve /d txtfile /f "
                           ">/dev/null 2>&1 && wineserver -w"});
    ASSERT_TRUE(reg.waitForFinished(120000));
    ASSERT_EQ(reg.exitCode(), 0);
    useBottleFolder(folder.filePath("Bottles"));
    const TSPyObject bottle = BottleCollection::sharedCollection()->bottleWithName("Studies");
    ASSERT_FALSE(bottle.isNull());

    const QStringList types = TSServer::fileTypesForBottle(bottle);
    EXPECT_TRUE(types.contains("txt")) << types.join(' ').toStdString();
    EXPECT_TRUE(QFileInfo::exists(prefix + "/desktopdata/tsassoc/tsassoc_macosx.plist"));
}

// --- file-manager answers --------------------------------------------------------------------

TEST(FileManagerAnswers, EachErrorIsLoggedOnceAndStopsTheOperation) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    RecordingServer server;
    const TSFileManager files = TSFileManager::ts_fileManagerWithDelegate(&server);
    const QString missing = folder.filePath("missing");
    const QString target = folder.filePath("target");
    ASSERT_TRUE(writeFile(target));
    const struct {
        std::function<bool()> operation;
        QString line;
    } cases[] = {
        {[&] { return files.copyItemAtPath(missing, folder.filePath("copy")); },
         "Error copying " + missing + " to " + folder.filePath("copy") + ": "},
        {[&] { return files.moveItemAtPath(missing, folder.filePath("moved")); },
         "Error moving " + missing + " to " + folder.filePath("moved") + ": "},
        {[&] { return files.removeItemAtPath(missing); }, "Error removing " + missing + ": "},
        {[&] { return files.createSymbolicLinkAtPath(target, missing); },
         "Error linking " + missing + " to " + target + ": "},
    };
    for (const auto& c : cases) {
        StderrCapture capture;
        EXPECT_FALSE(c.operation());
        const QString logged = capture.text();
        EXPECT_EQ(logged.count('\n'), 1) << logged.toStdString();
        EXPECT_TRUE(logged.startsWith(c.line)) << logged.toStdString();
    }
}

} // namespace

#include "ServerTests.moc"
