// The file-system additions on a small real tree per test, in a temporary folder: links,
// folders reached through links, unwritable entries, the freedesktop.org Trash (also on
// another file system, /dev/shm), bookmarks, and the offer to move the product.
#include "FileManagerAdditions.h"
#include "MoveApplication.h"
#include "SymlinksAndAliases.h"
#include "TSUserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cstdio>
#include <ostream>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

// Readable failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& string, std::ostream* stream) {
    *stream << '"' << string.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

void writeFile(const QString& path, const QByteArray& content = "content") {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void link(const QString& destination, const QString& path) {
    ASSERT_EQ(
        symlink(QFile::encodeName(destination).constData(), QFile::encodeName(path).constData()), 0)
        << path.toStdString();
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

// Captures what is written to standard error (the system log's copy) while it lives.
class LogCapture {
public:
    LogCapture() {
        std::fflush(stderr);
        file_.open();
        saved_ = dup(STDERR_FILENO);
        dup2(file_.handle(), STDERR_FILENO);
    }
    ~LogCapture() { restore(); }
    QString text() {
        restore();
        file_.seek(0);
        return QString::fromUtf8(file_.readAll());
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
    }
    QTemporaryFile file_;
    int saved_ = -1;
};

class FileSystem : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QString path(const QString& relative) const { return folder.filePath(relative); }

    QTemporaryDir folder;
    const TSFileManager files = TSFileManager::ts_fileManager();
};

TEST_F(FileSystem, CreatesDirectories) {
    writeFile(path("file"), "kept");
    const struct {
        const char* what;
        QString target;
        bool recursively;
        bool result;
    } cases[] = {
        {"nested, recursively", path("a/b/c"), true, true},
        {"an existing folder", path("a/b"), true, true},
        {"a regular file is in the way", path("file"), true, false},
        {"below a regular file", path("file/sub"), true, false},
        {"a missing parent, not recursively", path("x/y"), false, false},
        {"one level", path("one"), false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(files.createDirectoryAtPath(c.target, {}, c.recursively), c.result) << c.what;
        if (c.result) {
            EXPECT_TRUE(QFileInfo(c.target).isDir()) << c.what;
        }
    }
    EXPECT_EQ(readFile(path("file")), "kept");

    // Given permissions are set exactly, whatever the umask.
    const mode_t mask = umask(022);
    EXPECT_TRUE(files.createDirectoryAtPath(path("shared"),
                                            {{TSFileManager::kPosixPermissions, 0775}}, false));
    EXPECT_EQ(modeOf(path("shared")), 0775u);
    umask(mask);

    // A standard folder (the user's data folder here) is the user's alone, and no ".localized".
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    ASSERT_TRUE(TSFileManager::systemPaths().contains(data));
    QDir(data).removeRecursively();
    EXPECT_TRUE(files.createDirectoryAtPath(data, {}, true));
    EXPECT_EQ(modeOf(data), 0700u);
    EXPECT_EQ(QDir(data).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
    for (auto location : {QStandardPaths::DocumentsLocation, QStandardPaths::DownloadLocation,
                          QStandardPaths::DesktopLocation, QStandardPaths::GenericCacheLocation})
        EXPECT_TRUE(TSFileManager::systemPaths().contains(
            QDir::cleanPath(QStandardPaths::writableLocation(location))));
    EXPECT_TRUE(TSFileManager::systemPaths().contains(QDir::homePath()));
}

TEST_F(FileSystem, FileIdentityIsDeviceAndInode) {
    writeFile(path("original"));
    writeFile(path("other"));
    ASSERT_EQ(::link(QFile::encodeName(path("original")).constData(),
                     QFile::encodeName(path("hard")).constData()),
              0);
    link(path("original"), path("soft"));
    QDir().mkpath(path("dir"));
    EXPECT_TRUE(files.isSameFile(path("original"), path("hard")));
    EXPECT_TRUE(files.isSameFile(path("soft"), path("original")));
    EXPECT_TRUE(files.isSameFile(path("dir/../original"), path("original")));
    EXPECT_FALSE(files.isSameFile(path("original"), path("other")));
    EXPECT_FALSE(files.isSameFile(path("original"), path("missing")));
    EXPECT_FALSE(files.isSameFile(QString(), path("original")));
}

TEST_F(FileSystem, DisplayStringsStartAtTheUsersHome) {
    const passwd* account = getpwuid(getuid());
    ASSERT_NE(account, nullptr);
    const QString login = QString::fromLocal8Bit(account->pw_name);
    const QString arrow = QString::fromUtf8(" \xe2\x96\xb9 ");
    EXPECT_EQ(files.getDisplayStringForPath(QDir::homePath() + "/Documents/study.dcm"),
              login + arrow + "Documents" + arrow + "study.dcm");
    EXPECT_EQ(files.getDisplayStringForPath(QDir::homePath()), login);
    EXPECT_EQ(files.getDisplayStringForPath("/opt/halcyon/x"),
              "/" + arrow + "opt" + arrow + "halcyon" + arrow + "x");
}

TEST_F(FileSystem, TemporaryNamesAreFreshAndMakeNoFile) {
    const QString first = files.temporaryPathFromTemplate("tsrun.XXXXXX");
    const QString second = files.temporaryPathFromTemplate("tsrun.XXXXXX");
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(first.startsWith(QDir::tempPath() + "/tsrun."));
    EXPECT_EQ(first.size(), (QDir::tempPath() + "/tsrun.XXXXXX").size());
    EXPECT_NE(first, second);
    EXPECT_FALSE(QFileInfo::exists(first)) << "no file is made";
    EXPECT_TRUE(files.temporaryPathFromTemplate("tsrun.XXXXX").isNull()) << "five X";
    EXPECT_TRUE(files.temporaryPathFromTemplate("tsrun").isNull());
}

// The home folder of the test: bookmarks record paths relative to it.
class Bookmarks : public FileSystem {
protected:
    void SetUp() override {
        FileSystem::SetUp();
        savedHome = qgetenv("HOME");
        QDir().mkpath(path("home/Studies"));
        qputenv("HOME", QFile::encodeName(path("home")));
    }
    void TearDown() override { qputenv("HOME", savedHome); }
    QByteArray savedHome;
};

TEST_F(Bookmarks, FindTheFileAgainOrSayItIsGone) {
    const QString study = path("home/Studies/chest.dcm");
    writeFile(study);
    const QByteArray bookmark = files.bookmarkDataFromPath(study);
    ASSERT_FALSE(bookmark.isEmpty());
    bool stale = true;
    EXPECT_EQ(files.pathFromBookmarkData(bookmark, &stale), study);
    EXPECT_FALSE(stale);

    // Renamed in its folder: found, and stale.
    ASSERT_TRUE(QFile::rename(study, path("home/Studies/chest-2024.dcm")));
    EXPECT_EQ(files.pathFromBookmarkData(bookmark, &stale), path("home/Studies/chest-2024.dcm"));
    EXPECT_TRUE(stale);
    // The home folder itself moved: the place is taken from the new home.
    ASSERT_TRUE(QDir().rename(path("home"), path("moved-home")));
    qputenv("HOME", QFile::encodeName(path("moved-home")));
    EXPECT_EQ(files.pathFromBookmarkData(bookmark, &stale),
              path("moved-home/Studies/chest-2024.dcm"));
    // Moved to another folder, or replaced by another file of the name: gone.
    QDir().mkpath(path("moved-home/Archive"));
    ASSERT_TRUE(QFile::rename(path("moved-home/Studies/chest-2024.dcm"),
                              path("moved-home/Archive/chest.dcm")));
    EXPECT_TRUE(files.pathFromBookmarkData(bookmark, &stale).isNull());
    writeFile(path("moved-home/Studies/chest.dcm"), "another file");
    EXPECT_TRUE(files.pathFromBookmarkData(bookmark).isNull());

    EXPECT_TRUE(files.pathFromBookmarkData(QByteArray()).isNull());
    EXPECT_TRUE(files.pathFromBookmarkData("not a bookmark").isNull());
    EXPECT_TRUE(files.bookmarkDataFromPath(path("missing")).isEmpty());
}

TEST_F(Bookmarks, AFileInTheTrashResolvesToNothing) {
    const QString study = path("home/Studies/head.dcm");
    writeFile(study);
    const QString trash = files.trashForFile(study);
    ASSERT_FALSE(trash.isNull());
    writeFile(trash + "/files/old.dcm");
    const QByteArray inTrash = files.bookmarkDataFromPath(trash + "/files/old.dcm");
    ASSERT_FALSE(inTrash.isEmpty());
    EXPECT_TRUE(files.pathFromBookmarkData(inTrash).isNull());

    const QByteArray bookmark = files.bookmarkDataFromPath(study);
    ASSERT_TRUE(Trash(study));
    EXPECT_TRUE(files.pathFromBookmarkData(bookmark).isNull());
    QDir(trash).removeRecursively();
}

TEST_F(FileSystem, MakesTreesWritable) {
    writeFile(path("tree/a/b/file"));
    writeFile(path("tree/top"));
    link("top", path("tree/link"));
    for (const char* entry : {"tree/a/b/file", "tree/top"})
        QFile::setPermissions(path(entry), QFile::ReadOwner);
    for (const char* entry : {"tree/a/b", "tree/a", "tree"})
        ASSERT_EQ(chmod(QFile::encodeName(path(entry)).constData(), 0555), 0);

    LogCapture log;
    EXPECT_TRUE(files.makeWritableAtPath(path("tree"), true));
    EXPECT_EQ(log.text(), "");
    for (const char* entry : {"tree", "tree/a", "tree/a/b"})
        EXPECT_EQ(modeOf(path(entry)), 0755u) << entry;
    for (const char* entry : {"tree/a/b/file", "tree/top"})
        EXPECT_EQ(modeOf(path(entry)), 0600u) << entry;

    // Not recursively: the item alone.
    writeFile(path("single/inner"));
    chmod(QFile::encodeName(path("single/inner")).constData(), 0444);
    chmod(QFile::encodeName(path("single")).constData(), 0555);
    EXPECT_TRUE(files.makeWritableAtPath(path("single"), false));
    EXPECT_EQ(modeOf(path("single")), 0755u);
    EXPECT_EQ(modeOf(path("single/inner")), 0444u);

    LogCapture missing;
    EXPECT_FALSE(files.makeWritableAtPath(path("missing"), true));
    EXPECT_EQ(missing.text(), "-[NSFileManager(TesseraAdditions) makeWritableAtPath:recursively:]: "
                              "Could not obtain file attributes for " +
                                  path("missing") + ": No such file or directory\n");
}

TEST_F(FileSystem, EntriesThatCannotBeMadeWritableAreLoggedOnce) {
    // Another user's files: only root can make them, and root could change them all.
    if (getuid() != 0)
        GTEST_SKIP() << "making files of another user needs root";
    const QString tree = path("tree");
    writeFile(tree + "/root-owned-1");
    writeFile(tree + "/root-owned-2");
    writeFile(tree + "/own");
    for (const char* name : {"root-owned-1", "root-owned-2", "own"})
        chmod(QFile::encodeName(tree + '/' + name).constData(), 0444);
    const uid_t nobody = 65534;
    ASSERT_EQ(chown(QFile::encodeName(tree).constData(), nobody, nobody), 0);
    ASSERT_EQ(chown(QFile::encodeName(tree + "/own").constData(), nobody, nobody), 0);
    chmod(QFile::encodeName(folder.path()).constData(), 0755);

    QProcess probe;
    probe.start("setpriv",
                {"--reuid=65534", "--regid=65534", "--clear-groups", MAKE_WRITABLE_PROBE, tree});
    ASSERT_TRUE(probe.waitForFinished(30000));
    const QString log = QString::fromUtf8(probe.readAllStandardError());
    EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()), "NO\n") << log.toStdString();
    EXPECT_EQ(log.count("Could not change file attributes for"), 1) << log.toStdString();
    EXPECT_TRUE(log.contains(": Operation not permitted\n")) << log.toStdString();
    EXPECT_EQ(modeOf(tree + "/own"), 0644u) << "the walk goes on to the end";
}

TEST_F(FileSystem, EmptyFoldersArePrunedUpToTheStopFolder) {
    QDir().mkpath(path("stop/a/b"));
    writeFile(path("stop/a/.DS_Store"));
    files.removeFolderIfEmpty(path("stop/a/b"), path("stop"));
    EXPECT_FALSE(QFileInfo::exists(path("stop/a")));
    EXPECT_TRUE(QFileInfo(path("stop")).isDir()) << "the stop folder stays";

    QDir().mkpath(path("stop/kept/c"));
    writeFile(path("stop/kept/notes.txt"));
    files.removeFolderIfEmpty(path("stop/kept/c"), path("stop"));
    EXPECT_FALSE(QFileInfo::exists(path("stop/kept/c")));
    EXPECT_TRUE(QFileInfo::exists(path("stop/kept")));

    QDir().mkpath(path("outside/d"));
    files.removeFolderIfEmpty(path("outside/d"), path("stop"));
    EXPECT_TRUE(QFileInfo::exists(path("outside/d"))) << "not within the stop folder";
    QDir().mkpath(path("empty-stop"));
    files.removeFolderIfEmpty(path("empty-stop"), path("empty-stop"));
    EXPECT_TRUE(QFileInfo::exists(path("empty-stop")));
}

TEST_F(FileSystem, FilesInFoldersByIdentity) {
    writeFile(path("real/sub/file"));
    link(path("real"), path("through-link"));
    EXPECT_TRUE(files.isFileInDirectory(path("real/sub/file"), path("real")));
    EXPECT_TRUE(files.isFileInDirectory(path("real"), path("real"))) << "a folder lies in itself";
    EXPECT_TRUE(files.isFileInDirectory(path("real/sub/file"), path("through-link")))
        << "a folder given through a link";
    EXPECT_TRUE(files.isFileInDirectory(path("through-link/sub/file"), path("real")));
    EXPECT_FALSE(files.isFileInDirectory(path("real"), path("real/sub")));
    EXPECT_FALSE(files.isFileInDirectory(path("real/sub/file"), path("missing")));
    EXPECT_FALSE(files.isFileInDirectory(path("missing/file"), path("real")));
    EXPECT_FALSE(files.isFileInDirectory(QString(), path("real")));

    EXPECT_TRUE(PathIsWithinPath(path("real/sub/file"), path("real")));
    EXPECT_TRUE(PathIsWithinPath(path("real"), path("real")));
    EXPECT_TRUE(PathIsWithinPath(path("through-link/sub"), path("real")));
    EXPECT_FALSE(PathIsWithinPath(path("real"), path("real/sub")));
    EXPECT_FALSE(PathIsWithinPath(path("other/sub"), path("real")));
}

TEST_F(FileSystem, TheTrashOfTheFilesFileSystem) {
    const uid_t uid = getuid();
    writeFile(path("report.txt"));
    const QString home =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
    EXPECT_EQ(files.trashForFile(path("report.txt")), home);
    EXPECT_TRUE(QFileInfo(home + "/files").isDir() && QFileInfo(home + "/info").isDir());
    EXPECT_FALSE(files.isFileInTrash(path("report.txt")));

    ASSERT_TRUE(Trash(path("report.txt")));
    EXPECT_FALSE(QFileInfo::exists(path("report.txt")));
    EXPECT_EQ(readFile(home + "/files/report.txt"), "content");
    EXPECT_TRUE(
        readFile(home + "/info/report.txt.trashinfo").contains("Path=" + path("report.txt")));
    EXPECT_TRUE(files.isFileInTrash(home + "/files/report.txt"));

    LogCapture log;
    EXPECT_FALSE(Trash(path("missing")));
    EXPECT_EQ(log.text(), "ERROR -- Could not trash '" + path("missing") + "'\n");
    EXPECT_TRUE(files.trashForFile(QString()).isNull());

    // Another file system: the Trash in its top folder.
    if (!QFileInfo("/dev/shm").isWritable())
        GTEST_SKIP() << "no /dev/shm to write to";
    QTemporaryDir other("/dev/shm/ts-trash-test-XXXXXX");
    ASSERT_TRUE(other.isValid());
    const QString elsewhere = other.filePath("scan.dcm");
    writeFile(elsewhere);
    const QString topTrash = QStringLiteral("/dev/shm/.Trash-%1").arg(uid);
    const bool existed = QFileInfo::exists(topTrash);
    EXPECT_EQ(files.trashForFile(elsewhere), topTrash);
    EXPECT_EQ(modeOf(topTrash), 0700u);
    EXPECT_FALSE(files.isFileInTrash(elsewhere));
    EXPECT_TRUE(files.isFileInTrash(topTrash + "/files"));
    if (!existed)
        QDir(topTrash).removeRecursively();
}

TEST_F(FileSystem, CopiesWithoutQuarantine) {
    writeFile(path("bundle/Contents/MacOS/program"), "program");
    link("program", path("bundle/Contents/MacOS/alias"));
    QString error;
    EXPECT_TRUE(files.copyAndClearQuarantineItemAtPath(path("bundle"), path("copy"), &error))
        << error.toStdString();
    EXPECT_EQ(readFile(path("copy/Contents/MacOS/program")), "program");
    EXPECT_EQ(QFileInfo(path("copy/Contents/MacOS/alias")).symLinkTarget(),
              path("copy/Contents/MacOS/program"));
    EXPECT_FALSE(files.copyAndClearQuarantineItemAtPath(path("bundle"), path("copy"), &error));
    EXPECT_EQ(error, "File exists");
    files.clearQuarantine(path("copy")); // nothing to clear here, and nothing breaks
    EXPECT_TRUE(QFileInfo::exists(path("copy/Contents/MacOS/program")));
}

// Records what the file manager's delegate is told.
class RecordingDelegate : public TSFileManagerDelegate {
public:
    bool shouldProceedAfterErrorRemovingItem(const QString& error, const QString& item) override {
        removals << item + ": " + error;
        return proceed;
    }
    bool shouldProceedAfterErrorCopyingItem(const QString& error, const QString& source,
                                            const QString&) override {
        copies << source + ": " + error;
        return false;
    }
    bool proceed = false;
    QStringList removals;
    QStringList copies;
};

TEST_F(FileSystem, FileOperationsTellTheirDelegate) {
    RecordingDelegate delegate;
    const TSFileManager told = TSFileManager::ts_fileManagerWithDelegate(&delegate);
    EXPECT_EQ(told.delegate(), &delegate);
    EXPECT_EQ(TSFileManager::ts_fileManager().delegate(), nullptr);

    writeFile(path("tree/a/file"));
    writeFile(path("tree/b"));
    EXPECT_TRUE(told.removeItemAtPath(path("tree")));
    EXPECT_FALSE(QFileInfo::exists(path("tree")));
    EXPECT_FALSE(told.removeItemAtPath(path("tree")));
    EXPECT_EQ(delegate.removals, QStringList{path("tree") + ": No such file or directory"});

    writeFile(path("source"));
    writeFile(path("target"));
    EXPECT_FALSE(told.copyItemAtPath(path("source"), path("target")));
    EXPECT_EQ(delegate.copies, QStringList{path("source") + ": File exists"});

    EXPECT_TRUE(told.createSymbolicLinkAtPath(path("link"), path("source")));
    EXPECT_EQ(QFileInfo(path("link")).symLinkTarget(), path("source"));
    EXPECT_TRUE(told.moveItemAtPath(path("link"), path("moved-link")));
    EXPECT_TRUE(QFileInfo(path("moved-link")).isSymLink());
}

TEST_F(FileSystem, LinksResolve) {
    writeFile(path("real/file"));
    link(path("real/file"), path("absolute"));
    link("real/file", path("relative"));
    link("relative", path("chain"));
    link("cycle-b", path("cycle-a"));
    link("cycle-a", path("cycle-b"));
    link("nowhere", path("dangling"));
    link("real", path("folder-link"));
    link("../real/file", path("real/up-and-back"));

    const struct {
        const char* what;
        QString link;
        QString conditional; // null: no link
        QString iterative;   // null: nothing
    } cases[] = {
        {"absolute", path("absolute"), path("real/file"), path("real/file")},
        {"relative", path("relative"), path("real/file"), path("real/file")},
        {"a chain", path("chain"), path("relative"), path("real/file")},
        {"a cycle", path("cycle-a"), path("cycle-b"), QString()},
        {"dangling", path("dangling"), path("nowhere"), QString()},
        {"a folder", path("folder-link"), path("real"), path("real")},
        {"relative with ..", path("real/up-and-back"), path("real/file"), path("real/file")},
        {"no link", path("real/file"), QString(), path("real/file")},
        {"missing", path("missing"), QString(), QString()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(stringByConditionallyResolvingSymlink(c.link), c.conditional) << c.what;
        EXPECT_EQ(stringByConditionallyResolvingSymlink(c.link).isNull(), c.conditional.isNull())
            << c.what;
        EXPECT_EQ(stringByResolvingSymlink(c.link), c.conditional.isNull() ? c.link : c.conditional)
            << c.what;
        EXPECT_EQ(stringByIterativelyResolvingSymlinkOrAlias(c.link), c.iterative) << c.what;
        EXPECT_EQ(stringByIterativelyResolvingSymlinkOrAlias(c.link).isNull(), c.iterative.isNull())
            << c.what;
        // Linux has no aliases.
        EXPECT_TRUE(stringByConditionallyResolvingAlias(c.link).isNull()) << c.what;
        EXPECT_EQ(stringByResolvingAlias(c.link), c.link) << c.what;
    }

    // The whole path, every component.
    const QString real = QFileInfo(folder.path()).canonicalFilePath();
    EXPECT_EQ(stringByResolvingSymlinksAndAliases(path("folder-link/file")), real + "/real/file");
    EXPECT_EQ(stringByResolvingSymlinksAndAliases(path("chain")), real + "/real/file");
    EXPECT_EQ(stringByResolvingSymlinksAndAliases(path("folder-link/../chain")),
              real + "/real/file")
        << "standardised first";
    EXPECT_TRUE(stringByResolvingSymlinksAndAliases(path("cycle-a/x")).isNull());
    EXPECT_TRUE(stringByResolvingSymlinksAndAliases(path("dangling")).isNull());
    EXPECT_TRUE(stringByResolvingSymlinksAndAliases("relative/path").isNull());
}

TEST(Images, ReadOnlyImageMountsAreFound) {
    const QByteArray mounts =
        "22 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "40 22 7:0 / /media/Halcyon\\040Imaging ro,nosuid,nodev - iso9660 /dev/loop0 ro\n"
        "41 22 0:52 / /tmp/.mount_HalcyAbc ro,nosuid,nodev - fuse.Halcyon.AppImage "
        "Halcyon.AppImage ro,user_id=1000\n"
        "42 22 7:1 / /mnt/writable rw,relatime - ext4 /dev/loop1 rw\n"
        "43 22 0:60 / /mnt/squash ro,relatime - squashfs /srv/images/product.sqfs ro\n";
    const struct {
        quint64 device;
        QString mountPoint;
    } cases[] = {
        {makedev(254, 1), QString()},
        {makedev(7, 0), "/media/Halcyon Imaging"},
        {makedev(0, 52), "/tmp/.mount_HalcyAbc"},
        {makedev(7, 1), QString()},
        {makedev(0, 60), "/mnt/squash"},
        {makedev(9, 9), QString()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TSImageMountPointForDevice(mounts, c.device), c.mountPoint) << c.device;
        EXPECT_EQ(TSImageMountPointForDevice(mounts, c.device).isNull(), c.mountPoint.isNull());
    }
    QString mountPoint = "untouched";
    EXPECT_FALSE(IsLaunchedFromDMG(&mountPoint)) << "the tests run from the build folder";
    EXPECT_EQ(mountPoint, "untouched");
}

// The routine on folders of the test's own, with the user's answers given and the ways out of
// the process recorded.
class MoveToApplications : public FileSystem {
protected:
    void SetUp() override {
        FileSystem::SetUp();
        TSUserDefaults::standardUserDefaults().removeObjectForKey(kSuppress);
        mover.bundlePath = path("Downloads/Halcyon Imaging.app");
        mover.applicationsFolder = path("home/Applications");
        mover.downloadsFolder = path("Downloads");
        writeFile(mover.bundlePath + "/Contents/MacOS/MacHost", "new version");
        mover.ask = [this](const QString& message, const QString& informative, bool* suppress) {
            questions << message << informative;
            *suppress = tickSuppress;
            return answer;
        };
        mover.showFailure = [this](const QString& message) { failures << message; };
        mover.isRunningFrom = [this](const QString& bundle) { return bundle == runningBundle; };
        mover.relaunch = [this](const QString& bundle, bool wait) {
            relaunches << QStringLiteral("%1 %2").arg(bundle, wait ? "after exit" : "now");
        };
    }
    void TearDown() override {
        TSUserDefaults::standardUserDefaults().removeObjectForKey(kSuppress);
    }
    QString destination() const { return mover.applicationsFolder + "/Halcyon Imaging.app"; }

    const QString kSuppress = "moveToApplicationsFolderAlertSuppress";
    TSApplicationMover mover;
    bool answer = true;
    bool tickSuppress = false;
    QString runningBundle;
    QStringList questions;
    QStringList failures;
    QStringList relaunches;
};

TEST_F(MoveToApplications, MovesOutOfDownloadsAndStartsAgain) {
    LogCapture log;
    EXPECT_TRUE(mover.moveIfNecessary());
    EXPECT_EQ(questions, (QStringList{"Move to Applications folder in your Home folder?",
                                      "I can move myself to the Applications folder if you'd "
                                      "like. This will keep your Downloads folder uncluttered."}));
    EXPECT_EQ(readFile(destination() + "/Contents/MacOS/MacHost"), "new version");
    EXPECT_FALSE(QFileInfo::exists(mover.bundlePath));
    EXPECT_EQ(relaunches, QStringList{destination() + " after exit"});
    EXPECT_TRUE(log.text().contains("INFO -- Moving myself to the Applications folder\n"));
    EXPECT_TRUE(failures.isEmpty());
}

TEST_F(MoveToApplications, AsksOnlyWhereItShould) {
    const struct {
        const char* what;
        QString bundle;
    } cases[] = {
        {"not in Downloads", path("elsewhere/Halcyon Imaging.app")},
        {"an Applications folder in the path", path("Downloads/Applications/Halcyon Imaging.app")},
        {"a Steam folder", path("Downloads/steamapps/Halcyon Imaging.app")},
        {"already in the Applications folder", path("home/Applications/Halcyon Imaging.app")},
    };
    for (const auto& c : cases) {
        writeFile(c.bundle + "/Contents/MacOS/MacHost");
        mover.bundlePath = c.bundle;
        EXPECT_FALSE(mover.moveIfNecessary()) << c.what;
        EXPECT_TRUE(questions.isEmpty()) << c.what;
    }
}

TEST_F(MoveToApplications, DeclinedOrSuppressed) {
    answer = false;
    tickSuppress = true;
    EXPECT_FALSE(mover.moveIfNecessary());
    EXPECT_EQ(questions.size(), 2);
    EXPECT_TRUE(QFileInfo::exists(mover.bundlePath));
    EXPECT_FALSE(QFileInfo::exists(mover.applicationsFolder)) << "nothing is made for a no";
    EXPECT_TRUE(TSUserDefaults::standardUserDefaults().boolForKey(kSuppress));
    questions.clear();
    answer = true;
    EXPECT_FALSE(mover.moveIfNecessary());
    EXPECT_TRUE(questions.isEmpty()) << "not asked again";
}

TEST_F(MoveToApplications, AnOlderCopyIsReplacedOrTheRunningOneTakesOver) {
    writeFile(destination() + "/Contents/MacOS/MacHost", "old version");
    runningBundle = destination();
    LogCapture switching;
    EXPECT_TRUE(mover.moveIfNecessary());
    EXPECT_TRUE(switching.text().contains("INFO -- Switching to an already running version\n"));
    EXPECT_EQ(relaunches, QStringList{destination() + " now"});
    EXPECT_EQ(readFile(destination() + "/Contents/MacOS/MacHost"), "old version");

    relaunches.clear();
    runningBundle.clear();
    EXPECT_TRUE(mover.moveIfNecessary());
    EXPECT_EQ(readFile(destination() + "/Contents/MacOS/MacHost"), "new version");
    const QString trash = files.trashForFile(destination());
    EXPECT_EQ(readFile(trash + "/files/Halcyon Imaging.app/Contents/MacOS/MacHost"), "old version");
    EXPECT_EQ(relaunches, QStringList{destination() + " after exit"});
    QDir(trash).removeRecursively();
}

TEST_F(MoveToApplications, FailuresLeaveTheProductWhereItIs) {
    writeFile(path("home"), "a file where the home folder should be");
    EXPECT_FALSE(mover.moveIfNecessary());
    EXPECT_EQ(failures, QStringList{"Could not move to Applications folder"});
    EXPECT_TRUE(QFileInfo::exists(mover.bundlePath + "/Contents/MacOS/MacHost"));
    EXPECT_TRUE(relaunches.isEmpty());
}

TEST_F(MoveToApplications, FromAnotherFileSystemItIsCopied) {
    if (!QFileInfo("/dev/shm").isWritable())
        GTEST_SKIP() << "no /dev/shm to write to";
    QTemporaryDir downloads("/dev/shm/ts-downloads-XXXXXX");
    ASSERT_TRUE(downloads.isValid());
    mover.downloadsFolder = downloads.path();
    mover.bundlePath = downloads.filePath("Halcyon Imaging.app");
    writeFile(mover.bundlePath + "/Contents/MacOS/MacHost", "from the other disk");
    const QString topTrash = QStringLiteral("/dev/shm/.Trash-%1").arg(getuid());
    const bool trashExisted = QFileInfo::exists(topTrash);

    LogCapture log;
    EXPECT_TRUE(mover.moveIfNecessary());
    EXPECT_TRUE(log.text().contains("INFO -- Not moving '" + mover.bundlePath + "' to '" +
                                    destination() + "' on different file system\n"));
    EXPECT_EQ(readFile(destination() + "/Contents/MacOS/MacHost"), "from the other disk");
    EXPECT_FALSE(QFileInfo::exists(mover.bundlePath)) << "the copied source goes to the Trash";
    EXPECT_EQ(relaunches, QStringList{destination() + " after exit"});
    if (!trashExisted)
        QDir(topTrash).removeRecursively();
}

} // namespace
