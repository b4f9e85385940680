#include "MoveApplication.h"

#include "FileManagerAdditions.h"
#include "StringAdditions.h"
#include "TSLog.h"
#include "TSUserDefaults.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

#include <cstdlib>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const char* const kSuppressKey = "moveToApplicationsFolderAlertSuppress";

QString localized(const char* text) {
    return QCoreApplication::translate("MoveApplication", text);
}

QByteArray utf8(const QString& text) {
    return text.toUtf8();
}

// "\040" and the like in the fields of /proc/self/mountinfo.
QString unescapeMountField(const QByteArray& field) {
    QByteArray result;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int value = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                result.append(char(value));
                i += 3;
                continue;
            }
        }
        result.append(field[i]);
    }
    return QFile::decodeName(result);
}

bool isImageMount(const QByteArray& fileSystem, const QByteArray& source) {
    static const QList<QByteArray> imageFileSystems = {"iso9660", "udf", "squashfs", "erofs",
                                                       "cramfs"};
    if (source.startsWith("/dev/loop") || imageFileSystems.contains(fileSystem))
        return true;
    // An AppImage mounts itself through FUSE under its own name.
    return fileSystem.startsWith("fuse") &&
           (source.toLower().contains(".appimage") || fileSystem.toLower().contains(".appimage"));
}

bool sameFileSystem(const QString& path, const QString& otherPath) {
    struct stat first {};
    struct stat second {};
    return stat(QFile::encodeName(path).constData(), &first) == 0 &&
           stat(QFile::encodeName(otherPath).constData(), &second) == 0 &&
           first.st_dev == second.st_dev;
}

QString bundleName(const QString& bundle) {
    return QFileInfo(QDir::cleanPath(bundle)).fileName();
}

QString programOf(const QString& bundle) {
    return bundle + QStringLiteral("/Contents/MacOS/") +
           QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

} // namespace

QString TSImageMountPointForDevice(const QByteArray& mountInfo, quint64 device) {
    for (const QByteArray& line : mountInfo.split('\n')) {
        // ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (fields.size() < 6 || separator < 6 || separator + 2 >= fields.size())
            continue;
        const QList<QByteArray> numbers = fields[2].split(':');
        if (numbers.size() != 2)
            continue;
        const quint64 mountDevice = makedev(numbers[0].toUInt(), numbers[1].toUInt());
        if (mountDevice != device)
            continue;
        const bool readOnly = fields[5].split(',').contains("ro");
        if (readOnly && isImageMount(fields[separator + 1], fields[separator + 2]))
            return unescapeMountField(fields[4]);
        return QString();
    }
    return QString();
}

bool IsLaunchedFromDMG(QString* mountPoint) {
    // A Mac disk image is, here, a read-only image mounted from a loop device or by FUSE.
    const QString bundle =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../.."));
    struct stat info {};
    if (stat(QFile::encodeName(bundle).constData(), &info) != 0)
        return false;
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return false;
    const QString point = TSImageMountPointForDevice(mounts.readAll(), info.st_dev);
    if (point.isNull())
        return false;
    if (mountPoint)
        *mountPoint = point;
    return true;
}

bool PathIsWithinPath(const QString& path, const QString& folder) {
    const QStringList components = QDir::cleanPath(path).split('/');
    const QStringList folderComponents = QDir::cleanPath(folder).split('/');
    if (components.size() < folderComponents.size())
        return false;
    QString leading = components.mid(0, folderComponents.size()).join('/');
    if (leading.isEmpty())
        leading = QStringLiteral("/");
    return TSFileManager::ts_fileManager().isSameFile(leading, folder);
}

bool Trash(const QString& path) {
    // The freedesktop.org Trash, with the item's ".trashinfo".
    if (QFile::moveToTrash(path))
        return true;
    TSSystemLog("ERROR -- Could not trash '%s'", utf8(path).constData());
    return false;
}

TSApplicationMover TSApplicationMover::forRunningProduct() {
    TSApplicationMover mover;
    mover.bundlePath =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../.."));
    mover.applicationsFolder = QDir::homePath() + QStringLiteral("/Applications");
    mover.downloadsFolder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    mover.ask = [](const QString& message, const QString& informative, bool* suppress) {
        QMessageBox alert;
        alert.setText(message);
        alert.setInformativeText(informative);
        QPushButton* move =
            alert.addButton(localized("Move to Applications Folder"), QMessageBox::AcceptRole);
        QPushButton* stay = alert.addButton(localized("Do Not Move"), QMessageBox::RejectRole);
        alert.setDefaultButton(move);
        alert.setEscapeButton(stay);
        alert.setCheckBox(new QCheckBox(localized("Do not show this message again")));
        QApplication::setActiveWindow(&alert);
        alert.exec();
        *suppress = alert.checkBox()->isChecked();
        return alert.clickedButton() == move;
    };
    mover.showFailure = [](const QString& message) {
        QMessageBox alert;
        alert.setIcon(QMessageBox::Warning);
        alert.setText(message);
        alert.exec();
    };
    mover.isRunningFrom = [](const QString& bundle) {
        // A process of this user whose program lies in that bundle.
        for (const QString& process : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool isNumber = false;
            if (process.toLongLong(&isNumber) == getpid() || !isNumber)
                continue;
            const QString program =
                QFileInfo(QStringLiteral("/proc/%1/exe").arg(process)).symLinkTarget();
            if (!program.isEmpty() && PathIsWithinPath(program, bundle))
                return true;
        }
        return false;
    };
    mover.relaunch = [](const QString& bundle, bool waitForThisProcess) {
        const QString program = stringQuotedForBash(programOf(bundle));
        const QString script =
            waitForThisProcess
                ? QStringLiteral("(while /bin/kill -0 %1 2>/dev/null; do sleep 0.1; done; %2) &")
                      .arg(getpid())
                      .arg(program)
                : QStringLiteral("(%1) &").arg(program);
        QProcess::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
        std::exit(0);
    };
    return mover;
}

bool TSApplicationMover::moveIfNecessary() const {
    if (TSUserDefaults::standardUserDefaults().boolForKey(QString::fromLatin1(kSuppressKey)))
        return false;
    const QStringList components = QDir::cleanPath(bundlePath).split('/', Qt::SkipEmptyParts);
    if (components.contains(QStringLiteral("Applications")) ||
        components.contains(QStringLiteral("SteamApps"), Qt::CaseInsensitive))
        return false;
    QStringList applicationsFolders{applicationsFolder};
    applicationsFolders << QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    for (const QString& folder : applicationsFolders) {
        if (PathIsWithinPath(bundlePath, folder))
            return false;
    }
    // Linux has no habit of moving programs: the offer is made only to a product that still
    // runs from where it was downloaded.
    if (downloadsFolder.isEmpty() || !PathIsWithinPath(bundlePath, downloadsFolder))
        return false;

    bool suppress = false;
    const bool accepted =
        ask(localized("Move to Applications folder in your Home folder?"),
            localized("I can move myself to the Applications folder if you'd like.") + ' ' +
                localized("This will keep your Downloads folder uncluttered."),
            &suppress);
    if (suppress)
        TSUserDefaults::standardUserDefaults().setObject(true, QString::fromLatin1(kSuppressKey));
    if (!accepted)
        return false;
    const QString destination = applicationsFolder + '/' + bundleName(bundlePath);
    if (move(destination))
        return true;
    showFailure(localized("Could not move to Applications folder"));
    return false;
}

bool TSApplicationMover::move(const QString& destination) const {
    TSSystemLog("INFO -- Moving myself to the Applications folder");
    const TSFileManager files = TSFileManager::ts_fileManager();
    // No administrator's rights on Linux: the folder must be the user's to write.
    if (!files.createDirectoryAtPath(applicationsFolder, {}, true) ||
        access(QFile::encodeName(applicationsFolder).constData(), W_OK) != 0)
        return false;
    const QFileInfo existing(destination);
    if (existing.exists() || existing.isSymLink()) {
        if (isRunningFrom(destination)) {
            TSSystemLog("INFO -- Switching to an already running version");
            relaunch(destination, false);
            return true;
        }
        if (!Trash(destination))
            return false;
    }

    bool copied = false;
    QString error;
    bool moved = false;
    if (sameFileSystem(bundlePath, applicationsFolder)) {
        moved = files.moveItemAtPath(bundlePath, destination, &error);
        if (!moved)
            TSSystemLog("WARNING -- Could not move '%s' to '%s' (%s)", utf8(bundlePath).constData(),
                        utf8(destination).constData(), utf8(error).constData());
    } else {
        TSSystemLog("INFO -- Not moving '%s' to '%s' on different file system",
                    utf8(bundlePath).constData(), utf8(destination).constData());
    }
    if (!moved) {
        if (!files.copyAndClearQuarantineItemAtPath(bundlePath, destination, &error)) {
            TSSystemLog("ERROR -- Could not copy '%s' to '%s' (%d)", utf8(bundlePath).constData(),
                        utf8(destination).constData(), errno);
            TSSystemLog("ERROR -- Could not copy myself to %s", utf8(destination).constData());
            return false;
        }
        copied = true;
    }
    files.clearQuarantine(destination);
    if (copied && !IsLaunchedFromDMG() && !Trash(bundlePath))
        TSSystemLog("WARNING -- Could not delete application after moving it to Applications "
                    "folder");
    // An image mounted for an AppImage goes when its program ends; nothing to detach here.
    relaunch(destination, true);
    return true;
}

void PFMoveToApplicationsFolderIfNecessary() {
    TSApplicationMover::forRunningProduct().moveIfNecessary();
}
