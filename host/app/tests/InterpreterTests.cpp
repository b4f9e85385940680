// Start-up of the scripting layer in a probe process per case, with a bundle of the case's
// own: the build's scripting layer, with one file replaced or left out.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ProbeResult {
    QString output;
    QString errors;
    int exitCode = -1;
};

bool copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QFileInfo& entry :
         QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + '/' + entry.fileName();
        if (entry.isDir() ? !copyFolder(entry.filePath(), target)
                          : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

class ProbeBundle {
public:
    ProbeBundle() {
        bundle = folder.filePath("Halcyon Imaging.app");
        resources = bundle + "/Contents/Resources";
        EXPECT_TRUE(copyFolder(QStringLiteral(HOST_RESOURCES_DIR), resources));
        QDir().mkpath(bundle + "/Contents/SharedSupport/halcyonimaging");
    }
    void replace(const QString& relativePath, const QByteArray& content) {
        QFile::remove(resources + '/' + relativePath);
        QFile file(resources + '/' + relativePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    ProbeResult run() {
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TS_BOTTLE_PATH", folder.filePath("Bottles"));
        probe.setProcessEnvironment(environment);
        probe.start(QStringLiteral(INTERPRETER_PROBE), {bundle});
        EXPECT_TRUE(probe.waitForFinished(120000));
        return {QString::fromUtf8(probe.readAllStandardOutput()),
                QString::fromUtf8(probe.readAllStandardError()), probe.exitCode()};
    }
    QString marker() const { return folder.filePath("main-script-ran"); }

    QTemporaryDir folder;
    QString bundle;
    QString resources;
};

} // namespace

TEST(InterpreterStartup, RealScriptingLayerStarts) {
    ProbeBundle bundle;
    const ProbeResult result = bundle.run();
    EXPECT_EQ(result.output, "READY yes\n") << result.errors.toStdString();
    EXPECT_EQ(result.exitCode, 0);
}

TEST(InterpreterStartup, FailuresAreReportedAndEndTheApplication) {
    const struct {
        const char* what;
        const char* file;    // replaced file, relative to the resources
        const char* content; // "" removes nothing but empties the file
        const char* alert;   // the expected informative text's middle part, or none
        const char* log;     // the expected system-log line, or none
    } cases[] = {
        {"base script exits with an error", "libtssetupbase.py", "import sys\nsys.exit(3)\n",
         "Failed to run Python script '%1/libtssetupbase.py'.  See console for errors.", nullptr},
        {"base script raises", "libtssetupbase.py", "raise RuntimeError('broken base')\n",
         "Failed to run Python script '%1/libtssetupbase.py'.  See console for errors.", nullptr},
        {"main script raises", "libtssetup-v3.py", "raise ValueError('broken main')\n",
         "Failed to run Python script '%1/libtssetup-v3.py'.  See console for errors.", nullptr},
        {"no tsutils module", "Python/tsutils.py", nullptr,
         "Failed to import tsutils module into Python.  See console for errors.", nullptr},
        {"BottleWrapper missing", "libtssetup-v3.py",
         "import tsbridge, tsbottles, tscommandline, tsconfig, tsenvironment, tsextras\n"
         "for cls in (tsbottles.BottleQuery, tsbottles.BottleManagement,\n"
         "            tsenvironment.TSSetup, tsconfig.TesseraConfig, tsextras.AppDetector,\n"
         "            tsextras.CDDetector, tsextras.QuillProfiles, tsextras.InstallTask,\n"
         "            tsextras.Engine, tscommandline.TSUtils, tsextras.TSMenu):\n"
         "    tsbridge.register_class(cls.__name__, cls)\n",
         nullptr, "Unable to load the BottleWrapper class.\n"},
        {"TSSetup and later classes missing", "libtssetup-v3.py",
         "import tsbridge, tsbottles\n"
         "tsbridge.register_class('BottleQuery', tsbottles.BottleQuery)\n"
         "tsbridge.register_class('BottleManagement', tsbottles.BottleManagement)\n"
         "tsbridge.register_class('BottleWrapper', tsbottles.BottleWrapper)\n",
         nullptr, "Unable to load the TSSetup class.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ProbeBundle bundle;
        if (c.content)
            bundle.replace(c.file, c.content);
        else
            QFile::remove(bundle.resources + '/' + c.file);
        // The main script leaves a mark when it runs.
        if (QString::fromLatin1(c.file) != "libtssetup-v3.py") {
            QFile main(bundle.resources + "/libtssetup-v3.py");
            ASSERT_TRUE(main.open(QIODevice::Append));
            main.write(QStringLiteral("\nopen(%1, 'w').close()\n")
                           .arg("'" + bundle.marker() + "'")
                           .toUtf8());
        }
        const ProbeResult result = bundle.run();
        EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
        if (c.alert) {
            const QString informative =
                "Tessera is unable to initialize a critical component.\n\n" +
                QString::fromLatin1(c.alert).arg(bundle.resources) +
                "\n\nThe program will now exit.";
            EXPECT_EQ(result.output, "ALERT Initialization Failure\nINFORMATIVE " + informative +
                                         "\nBUTTON OK\nREADY no\nTERMINATED\n")
                << result.errors.toStdString();
            EXPECT_FALSE(QFile::exists(bundle.marker())) << "the main script did not run";
        } else {
            EXPECT_EQ(result.output, "READY no\nTERMINATED\n");
            EXPECT_TRUE(result.errors.contains(QString::fromLatin1(c.log)))
                << result.errors.toStdString();
            EXPECT_EQ(result.errors.count("Unable to load the"), 1)
                << "lookups stop at the first missing class";
        }
    }
}
