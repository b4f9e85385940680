// The scripting layer in the real embedded interpreter, reached the way the host reaches it.
#include "TSPyObject.h"
#include "TSSetupLib.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <thread>

#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

void setEnv(const QString& name, const QString& value) {
    TSSetupLib::tsSetupClass().call("setEnvValue_forKey_", {value, name});
}

// What a child process sees of a variable ("<unset>" when it is not set).
QString childSees(const char* name) {
    QProcess child;
    child.start("/bin/sh", {"-c", QStringLiteral("printf %s \"${%1-<unset>}\"").arg(name)});
    child.waitForFinished(30000);
    return QString::fromUtf8(child.readAllStandardOutput());
}

void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A bottle folder and a managed bottle folder of the test's own, made known to the layer
// through the environment as the host does it.
class BottleFolders : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        bottles = folder.filePath("Bottles");
        managed = folder.filePath("Managed");
        QDir().mkpath(bottles);
        QDir().mkpath(managed);
        setEnv("TS_BOTTLE_PATH", bottles);
        setEnv("TS_MANAGED_BOTTLE_PATH", managed);
    }
    void TearDown() override {
        TSSetupLib::tsSetupClass().call("unsetEnvValueForKey_", {"TS_MANAGED_BOTTLE_PATH"});
    }
    void makeBottle(const QString& root, const QString& name, const QByteArray& settings) {
        QDir().mkpath(root + '/' + name + "/drive_c");
        if (!settings.isEmpty())
            writeFile(root + '/' + name + "/halcyon_bottle.conf", "[Bottle]\n" + settings);
    }
    TSPyObject bottle(const QString& name) {
        return TSSetupLib::bottleWrapperClass().call("initWithName_", {name}).value<TSPyObject>();
    }

    QTemporaryDir folder;
    QString bottles;
    QString managed;
};

} // namespace

TEST(ScriptingLayer, AllTwelveClassesAreRegistered) {
    ASSERT_TRUE(TSSetupLib::initialize());
    const QList<QPair<TSPyObject, QString>> classes = {
        {TSSetupLib::bottleQueryClass(), "BottleQuery"},
        {TSSetupLib::bottleManagementClass(), "BottleManagement"},
        {TSSetupLib::tsSetupClass(), "TSSetup"},
        {TSSetupLib::tesseraConfigClass(), "TesseraConfig"},
        {TSSetupLib::appDetectorClass(), "AppDetector"},
        {TSSetupLib::cdDetectorClass(), "CDDetector"},
        {TSSetupLib::quillProfilesClass(), "QuillProfiles"},
        {TSSetupLib::installTaskClass(), "InstallTask"},
        {TSSetupLib::tsAiEngineClass(), "Engine"},
        {TSSetupLib::tsUtilsClass(), "TSUtils"},
        {TSSetupLib::tsMenuClass(), "TSMenu"},
        {TSSetupLib::bottleWrapperClass(), "BottleWrapper"},
    };
    for (const auto& [cls, name] : classes) {
        ASSERT_FALSE(cls.isNull()) << name.toStdString();
        EXPECT_TRUE(cls.typeName().endsWith(name)) << cls.typeName().toStdString();
    }
    // The classes the host never calls can be made all the same.
    bool ok = false;
    const QVariant engine = TSSetupLib::tsAiEngineClass().call("__call__", {}, &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(engine.canConvert<TSPyObject>());
}

TEST(ScriptingLayer, EnvironmentChangesReachChildProcesses) {
    setEnv("TS_TEST_VALUE", u("caf\xc3\xa9 and spaces"));
    EXPECT_EQ(qEnvironmentVariable("TS_TEST_VALUE"), u("caf\xc3\xa9 and spaces"));
    EXPECT_EQ(childSees("TS_TEST_VALUE"), u("caf\xc3\xa9 and spaces"));

    TSSetupLib::tsSetupClass().call("unsetEnvValueForKey_", {"TS_TEST_VALUE"});
    EXPECT_FALSE(qEnvironmentVariableIsSet("TS_TEST_VALUE"));
    EXPECT_EQ(childSees("TS_TEST_VALUE"), "<unset>");

    // A name that is no variable name is refused, and the host goes on.
    bool ok = true;
    TSSetupLib::tsSetupClass().call("setEnvValue_forKey_", {"x", "A=B"}, &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(qEnvironmentVariableIsSet("A"));
}

TEST(ScriptingLayer, WindowsCommandLineRules) {
    const struct {
        const char* commandLine;
        QStringList words;
    } cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"notepad.exe", {"notepad.exe"}},
        {"  a   b\tc  ", {"a", "b", "c"}},
        {R"("C:\Program Files\App\app.exe" /x)", {R"(C:\Program Files\App\app.exe)", "/x"}},
        {R"(a"b c"d)", {"ab cd"}},
        {R"("")", {""}},
        {R"(a "" b)", {"a", "", "b"}},
        {R"(C:\dir\ \\server\share)", {R"(C:\dir\)", R"(\\server\share)"}},
        {R"(a\\\"b)", {R"(a\"b)"}},    // 3 backslashes: one backslash, literal quote
        {R"(a\\"b c")", {R"(a\b c)"}}, // 2 backslashes: one backslash, quote groups
        {R"(a\\\\"b")", {R"(a\\b)"}},  // 4 backslashes: two backslashes
        {R"(\"quoted\")", {R"("quoted")"}},
        {R"("say ""hi""" now)", {R"(say "hi")", "now"}}, // doubled quote inside quotes
        {R"("unterminated arg)", {"unterminated arg"}},
        {"caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac", {u("caf\xc3\xa9"), u("\xe6\x97\xa5\xe6\x9c\xac")}},
    };
    const TSPyObject utils = TSSetupLib::tsUtilsClass();
    for (const auto& c : cases) {
        const QVariant words = utils.call("cmdLineToArgv_", {u(c.commandLine)});
        EXPECT_EQ(words.toStringList(), c.words) << c.commandLine;
    }
}

TEST(ScriptingLayer, DirectoryOfWindowsAndUnixPaths) {
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {
        {R"(C:\Program Files\App\app.exe)", R"(C:\Program Files\App)"},
        {R"(C:\app.exe)", R"(C:\)"},
        {R"(C:\)", R"(C:\)"},
        {"C:app.exe", "C:"},
        {"/usr/local/bin/wine", "/usr/local/bin"},
        {"/usr/local/bin/", "/usr/local"},
        {"/wine", "/"},
        {"/", "/"},
        {"app.exe", ""},
        {"", ""},
        {R"(\\server\share\file.txt)", R"(\\server\share)"},
        {R"(dir\\sub//file)", R"(dir\\sub)"},
    };
    const TSPyObject utils = TSSetupLib::tsUtilsClass();
    for (const auto& c : cases)
        EXPECT_EQ(utils.call("dirname_", {u(c.path)}).toString(), u(c.folder)) << c.path;
}

TEST(ScriptingLayer, ProductSettingsKeepReportWineUsage) {
    const TSPyObject config = TSSetupLib::tesseraConfigClass();
    auto reportWineUsage = [&config] {
        const TSPyObject settings = config.call("tesseraConfigSettings").value<TSPyObject>();
        bool ok = false;
        const QVariant value = settings.valueForKey("ReportWineUsage", &ok);
        EXPECT_TRUE(ok);
        return value;
    };
    EXPECT_FALSE(reportWineUsage().isValid()) << "never chosen";
    config.call("setReportWineUsage_", {true});
    EXPECT_EQ(reportWineUsage(), QVariant(true));
    config.call("setReportWineUsage_", {false});
    EXPECT_EQ(reportWineUsage(), QVariant(false));
    EXPECT_TRUE(
        QFile::exists(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                      "/Halcyon Imaging/tessera.conf"));
}

TEST_F(BottleFolders, QueryListsBottlesAndTheDefault) {
    makeBottle(bottles, "Work", "DisplayName = Daily work\nDefault = yes\n");
    makeBottle(bottles, "archive", "");
    makeBottle(bottles, "Fresh", "DisplayName = Fresh\n");
    writeFile(bottles + "/Fresh/system.reg", "WINE REGISTRY Version 2\n");
    QDir().mkpath(bottles + "/notes");          // a folder, but no bottle
    writeFile(bottles + "/readme.txt", "text"); // a file
    makeBottle(managed, "Published", "DisplayName = Published\n");
    makeBottle(managed, "Work", ""); // hidden by the user's own "Work"

    const TSPyObject query = TSSetupLib::bottleQueryClass();
    EXPECT_EQ(query.call("bottles").toStringList(),
              (QStringList{"Fresh", "Work", "archive", "Published"}));
    EXPECT_EQ(query.call("defaultBottle").toString(), "Work");

    const TSPyObject work = bottle("Work");
    ASSERT_FALSE(work.isNull());
    EXPECT_EQ(work.valueForKey("name").toString(), "Work");
    EXPECT_EQ(work.valueForKey("display_name").toString(), "Daily work");
    EXPECT_EQ(work.valueForKey("is_default"), QVariant(true));
    EXPECT_EQ(work.valueForKey("is_managed"), QVariant(false));
    EXPECT_EQ(work.valueForKey("up_to_date"), QVariant(false)) << "Wine never set it up";
    EXPECT_EQ(work.valueForKey("can_run_commands"), QVariant(true));
    EXPECT_EQ(work.valueForKey("system_drive").toString(), bottles + "/Work/drive_c");
    EXPECT_EQ(work.valueForKey("wine_prefix").toString(), bottles + "/Work");
    EXPECT_EQ(work.valueForKey("is_running"), QVariant(false));

    EXPECT_EQ(bottle("Fresh").valueForKey("up_to_date"), QVariant(true));
    EXPECT_EQ(bottle("archive").valueForKey("display_name").toString(), "archive");
    EXPECT_EQ(bottle("Published").valueForKey("is_managed"), QVariant(true));
    for (const char* name : {"notes", "missing", "..", "../Bottles/Work", ""})
        EXPECT_TRUE(bottle(u(name)).isNull()) << name;

    // "is_default" is settable on the object.
    TSPyObject changed = work;
    EXPECT_TRUE(changed.setValueForKey(false, "is_default"));
    EXPECT_EQ(work.valueForKey("is_default"), QVariant(false));
}

TEST_F(BottleFolders, ManagementMovesTheDefaultAndDeletes) {
    makeBottle(bottles, "Work", "Default = yes\n");
    makeBottle(bottles, "archive", "");
    makeBottle(managed, "Published", "");
    const TSPyObject query = TSSetupLib::bottleQueryClass();
    const TSPyObject management = TSSetupLib::bottleManagementClass();

    management.call("setBottle_isDefault_", {"archive", true});
    EXPECT_EQ(query.call("defaultBottle").toString(), "archive");
    EXPECT_EQ(bottle("Work").valueForKey("is_default"), QVariant(false)) << "one default only";
    management.call("setBottle_isDefault_", {"archive", false});
    EXPECT_FALSE(query.call("defaultBottle").isValid()) << "no default bottle now";

    const QVariantList deleted = management.call("deleteBottle_", {"archive"}).toList();
    ASSERT_EQ(deleted.size(), 2);
    EXPECT_EQ(deleted[0], QVariant(true));
    EXPECT_EQ(deleted[1].toString(), "");
    EXPECT_FALSE(QFileInfo::exists(bottles + "/archive"));

    for (const char* name : {"Published", "missing"}) {
        const QVariantList refused = management.call("deleteBottle_", {u(name)}).toList();
        ASSERT_EQ(refused.size(), 2);
        EXPECT_EQ(refused[0], QVariant(false)) << name;
        EXPECT_FALSE(refused[1].toString().isEmpty()) << name;
    }
    EXPECT_TRUE(QFileInfo::exists(managed + "/Published"));
    EXPECT_EQ(management.call("wineEjectForBottle_", {"missing"}), QVariant(false));
}

TEST_F(BottleFolders, InformationLoadsOnAWorkerThread) {
    makeBottle(bottles, "Work", "");
    writeFile(bottles + "/Work/user.reg", "WINE REGISTRY Version 2\n"
                                          "[Software\\\\Wine\\\\Direct3D] 1700000000\n"
                                          "\"csmt\"=dword:00000000\n\n"
                                          "[Software\\\\Wine\\\\Mac Driver] 1700000000\n"
                                          "\"RetinaMode\"=\"y\"\n");
    writeFile(bottles + "/Work/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/"
                        "Halcyon/Workstation.lnk",
              "L");
    writeFile(bottles + "/Work/drive_c/users/me/AppData/Roaming/Microsoft/Windows/Start Menu/"
                        "Programs/Notes.lnk",
              "L");
    const TSPyObject work = bottle("Work");
    EXPECT_EQ(work.valueForKey("is_csmt_disabled"), QVariant(false));

    work.call("preLoadIsCSMTDisabled");
    std::thread worker([&work] {
        work.call("loadIsCSMTDisabled");
        work.call("loadIsHighResolution");
        work.call("loadInstalledApplications");
    });
    worker.join();
    work.call("postLoadIsCSMTDisabled");
    EXPECT_EQ(work.valueForKey("is_csmt_disabled"), QVariant(true));
    EXPECT_EQ(work.valueForKey("is_high_resolution"), QVariant(true));
    EXPECT_EQ(work.valueForKey("installed_applications").toStringList(),
              (QStringList{"Notes", "Workstation"}));
}

// Wine's programs replaced by stand-ins on the path: wineboot records how it was run and
// does what STANDIN_WINEBOOT says ("make" a prefix, "fail", or "nothing").
class BottleSetUp : public BottleFolders {
protected:
    void SetUp() override {
        BottleFolders::SetUp();
        const QString bin = folder.filePath("bin");
        record = folder.filePath("wineboot-runs");
        writeFile(
            bin + "/wineboot",
            "#!/bin/sh\n"
            "printf '%s|%s|%s\\n' \"$*\" \"$WINEDEBUG\" \"$WINEDLLOVERRIDES\" "
            ">>\"$STANDIN_RECORD\"\n"
            "case $STANDIN_WINEBOOT in\n"
            "make) mkdir -p \"$WINEPREFIX/drive_c/windows\" && : >\"$WINEPREFIX/system.reg\" ;;\n"
            "fail) exit 1 ;;\n"
            "esac\n");
        writeFile(bin + "/wineserver", "#!/bin/sh\nexit 0\n");
        for (const char* name : {"wineboot", "wineserver"})
            QFile::setPermissions(bin + '/' + name, QFile::ReadOwner | QFile::ExeOwner);
        savedPath = qEnvironmentVariable("PATH");
        setEnv("PATH", bin + ':' + savedPath);
        setEnv("STANDIN_RECORD", record);
        setEnv("STANDIN_WINEBOOT", "make");

        // The managed "default" bottle as the product ships it.
        loaderFolder = "/default/drive_c/Program Files/Halcyon Imaging";
        writeFile(managed + loaderFolder + "/SkiffApp64.exe", "MZ loader");
        QFile::setPermissions(managed + loaderFolder + "/SkiffApp64.exe", QFile::ReadOwner);
        writeFile(managed + loaderFolder + "/ClientLoaderData.txt", "mac=true\r\n");
        writeFile(managed + loaderFolder + "/TillerConfig.txt", "pacs.example:80\r\n");
    }
    void TearDown() override {
        setEnv("PATH", savedPath);
        BottleFolders::TearDown();
    }
    QVariantList setUp(const QString& name = "default") {
        return TSSetupLib::bottleManagementClass()
            .call("setUpBottleFromManagedBottle_", {name})
            .toList();
    }
    QString readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QStringList hiddenEntries() {
        return QDir(bottles)
            .entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot)
            .filter(QRegularExpression("^\\."));
    }

    QString record;
    QString savedPath;
    QString loaderFolder;
};

TEST_F(BottleSetUp, NewBottleIsAWinePrefixWithTheManagedFiles) {
    writeFile(bottles + "/.default.partial-old/system.reg", ""); // left by an interrupted start
    EXPECT_EQ(setUp(), (QVariantList{true, ""}));
    EXPECT_TRUE(QFileInfo(bottles + "/default/system.reg").isFile());
    EXPECT_EQ(readFile(bottles + loaderFolder + "/SkiffApp64.exe"), "MZ loader");
    EXPECT_EQ(readFile(bottles + loaderFolder + "/TillerConfig.txt"), "pacs.example:80\r\n");
    EXPECT_TRUE(QFileInfo(bottles + loaderFolder + "/SkiffApp64.exe").isWritable())
        << "the loader must be able to update itself";
    EXPECT_EQ(QFileInfo(bottles + loaderFolder + "/SkiffApp64.exe").lastModified(),
              QFileInfo(managed + loaderFolder + "/SkiffApp64.exe").lastModified());
    EXPECT_EQ(hiddenEntries(), QStringList()) << "no half-made bottle is left";
    // Made without dialogs and without desktop menu entries.
    EXPECT_EQ(readFile(record), "--init|-all|mscoree,mshtml=;winemenubuilder.exe=d\n");
    EXPECT_EQ(TSSetupLib::bottleQueryClass().call("defaultBottle").toString(), "default");
    EXPECT_EQ(TSSetupLib::bottleQueryClass().call("bottles").toStringList(),
              QStringList{"default"});
}

TEST_F(BottleSetUp, LaterStartsOnlyAddWhatIsMissing) {
    ASSERT_EQ(setUp(), (QVariantList{true, ""}));
    writeFile(bottles + loaderFolder + "/TillerConfig.txt", "the user's own servers");
    writeFile(bottles + loaderFolder + "/Skiff.log", "the loader's log");
    QFile::remove(bottles + loaderFolder + "/ClientLoaderData.txt");
    writeFile(managed + loaderFolder + "/site-notes.txt", "added by the site");

    EXPECT_EQ(setUp(), (QVariantList{true, ""}));
    EXPECT_EQ(readFile(bottles + loaderFolder + "/TillerConfig.txt"), "the user's own servers");
    EXPECT_EQ(readFile(bottles + loaderFolder + "/Skiff.log"), "the loader's log");
    EXPECT_EQ(readFile(bottles + loaderFolder + "/ClientLoaderData.txt"), "mac=true\r\n");
    EXPECT_EQ(readFile(bottles + loaderFolder + "/site-notes.txt"), "added by the site");
    EXPECT_EQ(readFile(record).count('\n'), 1) << "the bottle is not made again";
}

TEST_F(BottleSetUp, FailuresSayWhatFailedAndLeaveNoBottle) {
    const struct {
        const char* wineboot;
        const char* message;
    } cases[] = {
        {"fail", "The bottle \u201cdefault\u201d could not be made: wineboot ended with status 1."},
        {"nothing",
         "The bottle \u201cdefault\u201d could not be made: Wine did not finish making it."},
    };
    for (const auto& c : cases) {
        setEnv("STANDIN_WINEBOOT", c.wineboot);
        EXPECT_EQ(setUp(), (QVariantList{false, QString::fromUtf8(c.message)})) << c.wineboot;
        EXPECT_FALSE(QFileInfo::exists(bottles + "/default")) << c.wineboot;
        EXPECT_EQ(hiddenEntries(), QStringList()) << c.wineboot;
    }
    QDir(managed + "/default").removeRecursively();
    EXPECT_EQ(setUp(), (QVariantList{false, u("There is no bottle named \u201cdefault\u201d, and "
                                              "none to make it from.")}));
    EXPECT_EQ(setUp(".."), (QVariantList{false, u("\u201c..\u201d is not a bottle name.")}));
    // A bottle of the user's own needs no template.
    makeBottle(bottles, "default", "");
    EXPECT_EQ(setUp(), (QVariantList{true, ""}));
}

TEST_F(BottleSetUp, TheBottleNamedDefaultIsTheDefaultUnlessAnotherIsMarked) {
    const TSPyObject query = TSSetupLib::bottleQueryClass();
    makeBottle(bottles, "Work", "");
    QDir(managed + "/default").removeRecursively();
    EXPECT_FALSE(query.call("defaultBottle").isValid());
    makeBottle(managed, "default", "");
    EXPECT_EQ(query.call("defaultBottle").toString(), "default") << "the managed one";
    ASSERT_EQ(setUp(), (QVariantList{true, ""}));
    EXPECT_EQ(query.call("defaultBottle").toString(), "default");
    makeBottle(bottles, "Work", "Default = yes\n");
    EXPECT_EQ(query.call("defaultBottle").toString(), "Work");
}
