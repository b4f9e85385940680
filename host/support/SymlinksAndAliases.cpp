#include "SymlinksAndAliases.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cstdlib>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool lstatOf(const QString& path, struct stat* info) {
    return lstat(QFile::encodeName(path).constData(), info) == 0;
}

} // namespace

QString stringByConditionallyResolvingSymlink(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = readlink(name.constData(), buffer.data(), buffer.size());
        if (length < 0)
            return QString();
        if (size_t(length) < buffer.size()) {
            const QString destination = QFile::decodeName(QByteArray(buffer.data(), int(length)));
            if (destination.startsWith('/'))
                return destination;
            return QDir::cleanPath(QFileInfo(path).path() + '/' + destination);
        }
        buffer.resize(buffer.size() * 2);
    }
}

QString stringByConditionallyResolvingAlias(const QString&) {
    // Finder aliases do not exist on Linux.
    return QString();
}

QString stringByResolvingSymlink(const QString& path) {
    const QString destination = stringByConditionallyResolvingSymlink(path);
    return destination.isNull() ? path : destination;
}

QString stringByResolvingAlias(const QString& path) {
    const QString target = stringByConditionallyResolvingAlias(path);
    return target.isNull() ? path : target;
}

QString stringByIterativelyResolvingSymlinkOrAlias(const QString& path) {
    QString current = path;
    struct stat info {};
    if (!lstatOf(current, &info))
        return QString();
    // A link met a second time means the links form a cycle.
    QSet<QPair<quint64, quint64>> visited;
    for (;;) {
        if (S_ISLNK(info.st_mode)) {
            const QPair<quint64, quint64> identity(info.st_dev, info.st_ino);
            if (visited.contains(identity))
                return QString();
            visited.insert(identity);
            current = stringByConditionallyResolvingSymlink(current);
        } else if (S_ISDIR(info.st_mode)) {
            return current;
        } else {
            const QString target = stringByConditionallyResolvingAlias(current);
            if (target.isNull())
                return current;
            current = target;
        }
        if (current.isNull() || !lstatOf(current, &info))
            return QString();
    }
}

QString stringByResolvingSymlinksAndAliases(const QString& path) {
    const QString standard = QDir::cleanPath(path);
    if (!standard.startsWith('/'))
        return QString();
    // With no aliases to resolve, the C library's realpath does the whole walk: every link of
    // every component, a cycle (ELOOP) and a missing part both ending in none.
    char* resolved = realpath(QFile::encodeName(standard).constData(), nullptr);
    if (!resolved)
        return QString();
    const QString result = QFile::decodeName(resolved);
    std::free(resolved);
    return result;
}
