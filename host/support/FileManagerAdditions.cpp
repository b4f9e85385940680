#include "FileManagerAdditions.h"

#include "TSLog.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>

#include <fts.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kMakeWritable =
    "-[NSFileManager(TesseraAdditions) makeWritableAtPath:recursively:]";

// What identifies a file: its device and inode.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
};

std::optional<FileIdentity> identityOf(const QString& path, bool followLinks = true) {
    struct stat info {};
    const QByteArray name = QFile::encodeName(path);
    if ((followLinks ? stat(name.constData(), &info) : lstat(name.constData(), &info)) != 0)
        return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The folder that holds the path ("/" for "/").
QString parentOf(const QString& path) {
    const QString parent = QFileInfo(path).path();
    return parent.isEmpty() ? QStringLiteral("/") : parent;
}

QString homeTrash() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Trash"));
}

// The mount point of the file system that holds the item.
QString mountPointOf(const QString& path) {
    QString current = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    std::optional<FileIdentity> identity = identityOf(current, false);
    while (!identity && current != QLatin1String("/")) {
        current = parentOf(current);
        identity = identityOf(current, false);
    }
    if (!identity)
        return QStringLiteral("/");
    while (current != QLatin1String("/")) {
        const QString parent = parentOf(current);
        const std::optional<FileIdentity> parentIdentity = identityOf(parent);
        if (!parentIdentity || parentIdentity->device != identity->device)
            break;
        current = parent;
    }
    return current;
}

// A Trash folder with its "files" and "info" folders, made for the user alone when missing.
bool makeTrashFolder(const QString& trash) {
    if (!QDir().mkpath(parentOf(trash)))
        return false;
    for (const QString& folder :
         {trash, trash + QStringLiteral("/files"), trash + QStringLiteral("/info")}) {
        const QByteArray name = QFile::encodeName(folder);
        if (mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        struct stat info {};
        if (lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
            return false;
    }
    return true;
}

// The Trash folders of a file system's top folder, in the order the freedesktop.org Trash
// specification tries them: an administrator's shared ".Trash" (a sticky folder, no link)
// holding one per user, then the user's own ".Trash-UID".
QStringList topFolderTrashes(const QString& topFolder) {
    const QString uid = QString::number(getuid());
    QStringList trashes;
    const QString shared = QDir(topFolder).filePath(QStringLiteral(".Trash"));
    struct stat info {};
    if (lstat(QFile::encodeName(shared).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
        (info.st_mode & S_ISVTX))
        trashes << shared + '/' + uid;
    trashes << QDir(topFolder).filePath(QStringLiteral(".Trash-") + uid);
    return trashes;
}

// The identity of the item, or of the nearest folder above it that exists.
std::optional<FileIdentity> existingIdentityOf(const QString& path) {
    QString current = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    std::optional<FileIdentity> identity = identityOf(current, false);
    while (!identity && current != QLatin1String("/")) {
        current = parentOf(current);
        identity = identityOf(current);
    }
    return identity;
}

bool sameDeviceAsHomeTrash(const QString& path) {
    const std::optional<FileIdentity> item = existingIdentityOf(path);
    const std::optional<FileIdentity> home = existingIdentityOf(homeTrash());
    return item && home && item->device == home->device;
}

} // namespace

bool TSFileManagerDelegate::shouldProceedAfterErrorCopyingItem(const QString&, const QString&,
                                                               const QString&) {
    return false;
}
bool TSFileManagerDelegate::shouldProceedAfterErrorLinkingItem(const QString&, const QString&,
                                                               const QString&) {
    return false;
}
bool TSFileManagerDelegate::shouldProceedAfterErrorMovingItem(const QString&, const QString&,
                                                              const QString&) {
    return false;
}
bool TSFileManagerDelegate::shouldProceedAfterErrorRemovingItem(const QString&, const QString&) {
    return false;
}

TSFileManager TSFileManager::ts_fileManagerWithDelegate(TSFileManagerDelegate* delegate) {
    return TSFileManager(delegate);
}

const QSet<QString>& TSFileManager::systemPaths() {
    // The standard folders of this system for the sixteen the host knows: applications (all
    // four kinds, and all applications: the desktop's application folders and
    // ~/Applications), library and all libraries (the data folders), user home directories
    // (the home folder), documentation, documents, desktop, caches, application support (the
    // data folders again) and downloads. Developer folders and core services do not exist
    // here. No ".localized" files: they mean nothing on Linux.
    static const QSet<QString> paths = [] {
        QSet<QString> set;
        const QString home = QDir::homePath();
        auto add = [&set](const QStringList& folders) {
            for (const QString& folder : folders) {
                if (!folder.isEmpty())
                    set.insert(QDir::cleanPath(folder));
            }
        };
        add(QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation));
        add({home + QStringLiteral("/Applications")});
        add(QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation));
        add({home, QStringLiteral("/usr/share/doc")});
        add(QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation));
        add(QStandardPaths::standardLocations(QStandardPaths::DesktopLocation));
        add(QStandardPaths::standardLocations(QStandardPaths::GenericCacheLocation));
        add(QStandardPaths::standardLocations(QStandardPaths::DownloadLocation));
        return set;
    }();
    return paths;
}

bool TSFileManager::createDirectoryAtPath(const QString& path, const QVariantMap& attributes,
                                          bool recursively) const {
    QVariantMap effective = attributes;
    const QString key = QString::fromLatin1(kPosixPermissions);
    if (systemPaths().contains(QDir::cleanPath(path)) && !effective.contains(key))
        effective.insert(key, 0700);
    if (recursively) {
        const QFileInfo existing(path);
        if (existing.exists() || existing.isSymLink())
            return existing.isDir();
        if (!createDirectoryAtPath(parentOf(path), attributes, true))
            return false;
    }
    const QByteArray name = QFile::encodeName(path);
    const bool permissionsGiven = effective.contains(key);
    const mode_t mode = permissionsGiven ? mode_t(effective.value(key).toUInt() & 07777) : 0777;
    if (mkdir(name.constData(), mode) != 0)
        return false;
    // mkdir leaves out what the umask removes; given permissions are meant exactly.
    if (permissionsGiven)
        chmod(name.constData(), mode);
    return true;
}

bool TSFileManager::isSameFile(const QString& path, const QString& otherPath) const {
    if (path.isNull() || otherPath.isNull())
        return false;
    const std::optional<FileIdentity> first = identityOf(path);
    const std::optional<FileIdentity> second = identityOf(otherPath);
    return first && second && *first == *second;
}

QString TSFileManager::getDisplayStringForPath(const QString& path) const {
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList components = absolute.split('/', Qt::SkipEmptyParts);
    components.prepend(QStringLiteral("/"));
    QStringList home = QDir::cleanPath(QDir::homePath()).split('/', Qt::SkipEmptyParts);
    home.prepend(QStringLiteral("/"));
    if (components.size() >= home.size() && components.mid(0, home.size()) == home) {
        const passwd* account = getpwuid(getuid());
        const QString login =
            account && account->pw_name ? QString::fromLocal8Bit(account->pw_name) : home.last();
        components = QStringList{login} + components.mid(home.size());
    }
    return components.join(QString::fromUtf8(" \xe2\x96\xb9 "));
}

QString TSFileManager::temporaryPathFromTemplate(const QString& fileNameTemplate) const {
    // As mktemp(3) does it: the last six characters must be "X".
    if (!fileNameTemplate.endsWith(QLatin1String("XXXXXX")))
        return QString();
    static const char characters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const QString stem = QDir(QDir::tempPath()).filePath(fileNameTemplate.chopped(6));
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString candidate = stem;
        for (int i = 0; i < 6; ++i)
            candidate += QChar::fromLatin1(
                characters[QRandomGenerator::system()->bounded(int(sizeof characters - 1))]);
        struct stat info {};
        if (lstat(QFile::encodeName(candidate).constData(), &info) != 0 && errno == ENOENT)
            return candidate;
    }
    return QString();
}

namespace {
const char kBookmarkMagic[] = "TSBookmark1";
} // namespace

QByteArray TSFileManager::bookmarkDataFromPath(const QString& path) const {
    // A bookmark records the path (relative to the home folder when it lies there) and the
    // file's device and inode.
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const std::optional<FileIdentity> identity = identityOf(absolute);
    if (!identity)
        return QByteArray();
    const QDir home(QDir::homePath());
    const QString relative = home.relativeFilePath(absolute);
    const bool inHome =
        !relative.startsWith(QLatin1String("../")) && relative != QLatin1String("..");
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
    stream << QByteArray(kBookmarkMagic) << inHome << (inHome ? relative : absolute)
           << quint64(identity->device) << quint64(identity->inode);
    return data;
}

QString TSFileManager::pathFromBookmarkData(const QByteArray& data, bool* stale) const {
    if (data.isEmpty())
        return QString();
    QDataStream stream(data);
    QByteArray magic;
    bool inHome = false;
    QString recorded;
    quint64 device = 0;
    quint64 inode = 0;
    stream >> magic >> inHome >> recorded >> device >> inode;
    if (stream.status() != QDataStream::Ok || magic != kBookmarkMagic || recorded.isEmpty())
        return QString();
    const FileIdentity wanted{dev_t(device), ino_t(inode)};
    const QString path = inHome ? QDir(QDir::homePath()).filePath(recorded) : recorded;

    // The file where it was; else renamed or moved within its folder (stale).
    QString found;
    bool renamed = false;
    if (identityOf(path) == wanted) {
        found = path;
    } else {
        const QDir folder(parentOf(path));
        for (const QString& entry : folder.entryList(QDir::AllEntries | QDir::Hidden |
                                                     QDir::System | QDir::NoDotAndDotDot)) {
            if (identityOf(folder.filePath(entry)) == wanted) {
                found = folder.filePath(entry);
                renamed = true;
                break;
            }
        }
    }
    if (found.isNull() || isFileInTrash(found))
        return QString();
    if (stale)
        *stale = renamed;
    return found;
}

bool TSFileManager::makeWritableAtPath(const QString& path, bool recursively) const {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (lstat(name.constData(), &info) != 0) {
        TSSystemLog("%s: Could not obtain file attributes for %s: %s\n", kMakeWritable,
                    name.constData(), errorText(errno).toUtf8().constData());
        return false;
    }
    // A link has no permissions of its own on Linux: it is left as it is.
    if (!S_ISLNK(info.st_mode) && !(info.st_mode & S_IWUSR) &&
        chmod(name.constData(), (info.st_mode & 07777) | S_IWUSR) != 0) {
        TSSystemLog("%s: Could not change file attributes for %s: %s\n", kMakeWritable,
                    name.constData(), errorText(errno).toUtf8().constData());
        return false;
    }
    if (!recursively || !S_ISDIR(info.st_mode))
        return true;

    // fts keeps only the folders on the way down: constant memory for any number of entries.
    char* roots[] = {const_cast<char*>(name.constData()), nullptr};
    FTS* walk = fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr);
    if (!walk) {
        TSSystemLog("%s: Could not make directory enumerator for %s\n", kMakeWritable,
                    name.constData());
        return false;
    }
    bool succeeded = true;
    auto fail = [&succeeded](const char* entry, int error) {
        if (succeeded)
            TSSystemLog("%s: Could not change file attributes for %s: %s\n", kMakeWritable, entry,
                        errorText(error).toUtf8().constData());
        succeeded = false;
    };
    while (FTSENT* entry = fts_read(walk)) {
        if (entry->fts_level == 0)
            continue;
        switch (entry->fts_info) {
        case FTS_D:
        case FTS_F:
        case FTS_DEFAULT:
            if (!(entry->fts_statp->st_mode & S_IWUSR) &&
                chmod(entry->fts_accpath, (entry->fts_statp->st_mode & 07777) | S_IWUSR) != 0)
                fail(entry->fts_path, errno);
            break;
        case FTS_DNR:
        case FTS_ERR:
        case FTS_NS:
            fail(entry->fts_path, entry->fts_errno);
            break;
        default: // links, and folders on the way back up
            break;
        }
    }
    fts_close(walk);
    return succeeded;
}

void TSFileManager::removeFolderIfEmpty(const QString& folder, const QString& stop) const {
    QString current = folder;
    while (isFileInDirectory(current, stop) && !isSameFile(current, stop)) {
        QDir directory(current);
        if (!directory.exists())
            return;
        const QStringList entries = directory.entryList(QDir::AllEntries | QDir::Hidden |
                                                        QDir::System | QDir::NoDotAndDotDot);
        const bool empty = entries.isEmpty() || (entries.size() == 1 &&
                                                 entries.first().compare(QLatin1String(".DS_Store"),
                                                                         Qt::CaseInsensitive) == 0);
        if (!empty)
            return;
        if (!entries.isEmpty() && !QFile::remove(directory.filePath(entries.first())))
            return;
        if (rmdir(QFile::encodeName(current).constData()) != 0)
            return;
        current = parentOf(current);
    }
}

QString TSFileManager::trashForFile(const QString& path) const {
    // The freedesktop.org Trash: the home Trash for files on its file system, else one in the
    // top folder of the file's own file system.
    if (path.isNull())
        return QString();
    if (sameDeviceAsHomeTrash(path))
        return makeTrashFolder(homeTrash()) ? homeTrash() : QString();
    const QString topFolder = mountPointOf(path);
    for (const QString& trash : topFolderTrashes(topFolder)) {
        if (makeTrashFolder(trash))
            return trash;
    }
    return QString();
}

bool TSFileManager::isFileInTrash(const QString& path) const {
    if (path.isNull())
        return false;
    QStringList trashes{homeTrash()};
    trashes << topFolderTrashes(mountPointOf(path));
    for (const QString& trash : trashes) {
        if (QFileInfo(trash).isDir() && isFileInDirectory(path, trash))
            return true;
    }
    return false;
}

bool TSFileManager::isFileInDirectory(const QString& file, const QString& directory) const {
    if (file.isNull() || directory.isNull())
        return false;
    const std::optional<FileIdentity> folder = identityOf(directory, false);
    if (!folder)
        return false;
    std::optional<FileIdentity> resolved;
    if (QFileInfo(directory).isSymLink())
        resolved = identityOf(directory);
    QString current = QDir::cleanPath(QFileInfo(file).absoluteFilePath());
    for (;;) {
        const std::optional<FileIdentity> identity = identityOf(current);
        if (!identity)
            return false;
        if (identity == folder || (resolved && identity == resolved))
            return true;
        if (current == QLatin1String("/"))
            return false;
        current = parentOf(current);
    }
}

bool TSFileManager::copyAndClearQuarantineItemAtPath(const QString& source,
                                                     const QString& destination,
                                                     QString* error) const {
    const bool copied = copyItemAtPath(source, destination, error);
    if (copied)
        clearQuarantine(destination);
    return copied;
}

void TSFileManager::clearQuarantine(const QString&) const {
    // Linux keeps no quarantine on downloaded files: there is nothing to clear.
}

bool TSFileManager::copyItemAtPath(const QString& source, const QString& destination,
                                   QString* error) const {
    namespace fs = std::filesystem;
    std::error_code code;
    const fs::path from(QFile::encodeName(source).toStdString());
    const fs::path to(QFile::encodeName(destination).toStdString());
    if (fs::exists(fs::symlink_status(to, code)))
        code = std::make_error_code(std::errc::file_exists);
    else
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, code);
    if (!code)
        return true;
    const QString text = QString::fromLocal8Bit(code.message().c_str());
    if (error)
        *error = text;
    if (delegate_)
        delegate_->shouldProceedAfterErrorCopyingItem(text, source, destination);
    errno = code.value();
    return false;
}

bool TSFileManager::moveItemAtPath(const QString& source, const QString& destination,
                                   QString* error) const {
    QString text;
    struct stat info {};
    if (lstat(QFile::encodeName(destination).constData(), &info) == 0) {
        text = errorText(EEXIST);
    } else if (rename(QFile::encodeName(source).constData(),
                      QFile::encodeName(destination).constData()) == 0) {
        return true;
    } else if (errno == EXDEV) {
        // Another file system: copied, then removed.
        const TSFileManager quiet(nullptr);
        if (quiet.copyItemAtPath(source, destination, &text)) {
            if (quiet.removeItemAtPath(source, &text))
                return true;
        }
    } else {
        text = errorText(errno);
    }
    if (error)
        *error = text;
    if (delegate_)
        delegate_->shouldProceedAfterErrorMovingItem(text, source, destination);
    return false;
}

bool TSFileManager::removeItemAtPath(const QString& path, QString* error) const {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (lstat(name.constData(), &info) != 0) {
        const QString text = errorText(errno);
        if (error)
            *error = text;
        if (delegate_)
            delegate_->shouldProceedAfterErrorRemovingItem(text, path);
        return false;
    }
    char* roots[] = {const_cast<char*>(name.constData()), nullptr};
    FTS* walk = fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr);
    if (!walk)
        return false;
    bool succeeded = true;
    // Everything below a folder goes before the folder; a failure asks the delegate whether
    // to go on with the rest.
    while (FTSENT* entry = fts_read(walk)) {
        int result = 0;
        switch (entry->fts_info) {
        case FTS_D:
            continue;
        case FTS_DP:
            result = rmdir(entry->fts_accpath);
            break;
        case FTS_DNR:
        case FTS_ERR:
        case FTS_NS:
            errno = entry->fts_errno;
            result = -1;
            break;
        default:
            result = unlink(entry->fts_accpath);
            break;
        }
        if (result != 0) {
            const QString text = errorText(errno);
            if (succeeded && error)
                *error = text;
            succeeded = false;
            const QString item = QFile::decodeName(entry->fts_path);
            if (!delegate_ || !delegate_->shouldProceedAfterErrorRemovingItem(text, item))
                break;
        }
    }
    fts_close(walk);
    return succeeded;
}

bool TSFileManager::createSymbolicLinkAtPath(const QString& path, const QString& destination,
                                             QString* error) const {
    if (symlink(QFile::encodeName(destination).constData(), QFile::encodeName(path).constData()) ==
        0)
        return true;
    const QString text = errorText(errno);
    if (error)
        *error = text;
    if (delegate_)
        delegate_->shouldProceedAfterErrorLinkingItem(text, destination, path);
    return false;
}
