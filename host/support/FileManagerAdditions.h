// Additions to the host's file handling: directories, file identity, display strings,
// temporary names, bookmarks, making trees writable, pruning empty folders, the Trash, and
// the few file operations the host performs, which report their errors to a delegate.
// File identity is always the pair (device, inode), never the text of a path.
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QVariantMap>

// Told about a failed file operation; answers whether the operation goes on with the items
// that are left. The default answers stop it.
class TSFileManagerDelegate {
public:
    virtual ~TSFileManagerDelegate() = default;
    virtual bool shouldProceedAfterErrorCopyingItem(const QString& error, const QString& source,
                                                    const QString& destination);
    virtual bool shouldProceedAfterErrorLinkingItem(const QString& error, const QString& source,
                                                    const QString& destination);
    virtual bool shouldProceedAfterErrorMovingItem(const QString& error, const QString& source,
                                                   const QString& destination);
    virtual bool shouldProceedAfterErrorRemovingItem(const QString& error, const QString& item);
};

class TSFileManager {
public:
    // A new file manager, every time; the host takes its file manager from ts_fileManager.
    static TSFileManager ts_fileManagerWithDelegate(TSFileManagerDelegate* delegate);
    static TSFileManager ts_fileManager() { return ts_fileManagerWithDelegate(nullptr); }

    // The user's and the system's standard folders, built once.
    static const QSet<QString>& systemPaths();

    TSFileManagerDelegate* delegate() const { return delegate_; }

    // The attribute of the permissions (an integer) in an attributes dictionary.
    static constexpr const char* kPosixPermissions = "NSFilePosixPermissions";

    // Whether the directory exists afterwards. A standard folder is made for the user alone
    // (0700) unless the attributes give its permissions.
    bool createDirectoryAtPath(const QString& path, const QVariantMap& attributes,
                               bool recursively) const;
    bool isSameFile(const QString& path, const QString& otherPath) const;
    // The path's folders from the user's home on, as "jose ▹ Documents ▹ study.dcm".
    QString getDisplayStringForPath(const QString& path) const;
    // A path in the temporary folder that no file has yet (the template's trailing six X
    // characters replaced), or a null string.
    QString temporaryPathFromTemplate(const QString& fileNameTemplate) const;

    // A bookmark finds a file again by its place (relative to the home folder) and identity.
    QByteArray bookmarkDataFromPath(const QString& path) const;
    // The file's path, or a null string; stale when it was found renamed in its folder.
    QString pathFromBookmarkData(const QByteArray& data, bool* stale = nullptr) const;

    // Adds the owner's write permission to the item (and everything below it); true when
    // nothing failed.
    bool makeWritableAtPath(const QString& path, bool recursively) const;
    // Removes the folder when it is empty (or holds only ".DS_Store"), and so on upwards,
    // never the stop folder or anything outside it.
    void removeFolderIfEmpty(const QString& folder, const QString& stop) const;

    // The Trash that serves the file (made when missing), or a null string.
    QString trashForFile(const QString& path) const;
    bool isFileInTrash(const QString& path) const;
    // Whether the file lies in the directory (or is it); the directory may be a link.
    bool isFileInDirectory(const QString& file, const QString& directory) const;

    // Copies the item (a folder with everything in it); there is no quarantine to clear.
    bool copyAndClearQuarantineItemAtPath(const QString& source, const QString& destination,
                                          QString* error = nullptr) const;
    void clearQuarantine(const QString& path) const;

    // The file operations of the host; the delegate hears of each failure, and errno gives
    // its reason.
    bool copyItemAtPath(const QString& source, const QString& destination,
                        QString* error = nullptr) const;
    bool moveItemAtPath(const QString& source, const QString& destination,
                        QString* error = nullptr) const;
    bool removeItemAtPath(const QString& path, QString* error = nullptr) const;
    bool createSymbolicLinkAtPath(const QString& path, const QString& destination,
                                  QString* error = nullptr) const;

private:
    explicit TSFileManager(TSFileManagerDelegate* delegate) : delegate_(delegate) {}

    TSFileManagerDelegate* delegate_;
};
