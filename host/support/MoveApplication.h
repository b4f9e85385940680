// The start-up offer to move the product out of the Downloads folder into the user's
// Applications folder, and the helpers it shares with the rest of the host.
#pragma once

#include <QString>

#include <functional>

// Offers the move when the product runs from the user's Downloads folder; a moved product
// starts again from its new place and this process exits. Called once while the
// application finishes launching.
void PFMoveToApplicationsFolderIfNecessary();

// Whether the product runs from a read-only image (the mount of an AppImage or of an ISO
// image); its mount point in mountPoint when asked for.
bool IsLaunchedFromDMG(QString* mountPoint = nullptr);
// The mount point of the image that holds the device, from the text of /proc/self/mountinfo;
// null when that mount is no read-only image.
QString TSImageMountPointForDevice(const QByteArray& mountInfo, quint64 device);

// Whether the path lies in the folder (or names it), by file identity.
bool PathIsWithinPath(const QString& path, const QString& folder);
// Moves the item to the Trash; false (logged) when it cannot.
bool Trash(const QString& path);

// What the routine works on and how it talks to the user; the real one is the running
// product's. The hooks are the only ways out of the process.
struct TSApplicationMover {
    QString bundlePath;
    QString applicationsFolder;
    QString downloadsFolder;
    // Asks whether to move; sets *suppress when the user ticked "do not ask again".
    std::function<bool(const QString& message, const QString& informative, bool* suppress)> ask;
    std::function<void(const QString& message)> showFailure;
    // Whether a running program was started from the bundle at that path.
    std::function<bool(const QString& bundle)> isRunningFrom;
    // Starts the bundle at that path (once this process has gone, when asked to wait); this
    // process then exits.
    std::function<void(const QString& bundle, bool waitForThisProcess)> relaunch;

    static TSApplicationMover forRunningProduct();
    // The routine itself; false when it did not move the product.
    bool moveIfNecessary() const;

private:
    bool move(const QString& destination) const;
};
