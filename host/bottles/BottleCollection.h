// The one list of the bottles the host knows, as a list model: filled from the scripting
// layer's bottle query, it hands the bottles to the windows that let the user choose one,
// answers lookups by name, marks the default bottle, loads per-bottle information on worker
// threads, and shuts every bottle down when the application quits. Rows change only through
// the indexed operations, so every view sees each change; views read the few properties kept
// in the rows, never the interpreter.
#pragma once

#include "TSPyObject.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <atomic>

class BottleCollection : public QAbstractListModel {
    Q_OBJECT
public:
    // What a row shows; refreshed whenever its bottle reports or changes.
    enum Role {
        NameRole = Qt::UserRole + 1,
        DisplayNameRole,
        IsDefaultRole,
        IsManagedRole,
        UpToDateRole,
        CanRunCommandsRole,
        SystemDriveRole,
        WinePrefixRole,
        StatusRole,
        BottleRole, // the bottle object itself (TSPyObject)
    };

    // The single instance, made on first use; none once making it has failed (the user was
    // told, and the application asked to terminate).
    static BottleCollection* sharedCollection();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The list, through its indexed operations only.
    QList<TSPyObject> bottleList() const;
    int countOfBottleList() const;
    TSPyObject objectInBottleListAtIndex(int index) const;
    void insertObjectInBottleListAtIndex(const TSPyObject& bottle, int index);
    void removeObjectFromBottleListAtIndex(int index);
    // Removes the rows of the indexes (any order, duplicates allowed).
    void removeBottleListAtIndexes(QList<int> indexes);

    void populateBottleList();
    void addBottleToListByName(const QString& name);
    bool addBottleObjToList(const TSPyObject& bottle);
    // The last bottle whose name matches without regard to case, or -1.
    int indexOfBottleWithName(const QString& name) const;
    TSPyObject bottleWithName(const QString& name) const;
    void removeBottleFromList(const QString& name);
    TSPyObject getDefaultBottle() const;
    QList<TSPyObject> managedBottlesNeedingUpdate() const;
    bool isEmpty() const { return false; }
    QString getUniqueBottleName(const QString& name) const;

    void toggleDefault(const TSPyObject& bottle);
    void setDefault(const TSPyObject& bottle);

    // On a worker thread: the bottle's information, its steps before and after on the main
    // thread.
    void loadInfoForBottle(const TSPyObject& bottle);
    void loadApplicationsForBottle(const TSPyObject& bottle);
    void postBottleLoadedNotification(const TSPyObject& bottle);

    // One bottle, politely or by force; the slow step runs on a worker. Main thread only.
    void resetBottle(const TSPyObject& bottle, bool didPreQuit = false);
    void killBottle(const TSPyObject& bottle);
    bool deleteBottle(const QString& bottle, QString* errorString = nullptr);
    bool doWineEject(const QString& bottle);

    QVariant getWineReportingState() const;
    void setWineReportingState(const QVariant& state);

    // Shuts every bottle down on a thread of its own and returns at once; then calls the
    // object's invokable method of that name on the main thread with true (all shut down)
    // or false (cancelled).
    void shutdownAllBottles(QObject* object, const char* method);
    bool cancelShutdown() const { return cancelShutdown_; }
    void setCancelShutdown(bool cancel) { cancelShutdown_ = cancel; }
    bool forceShutdown() const { return forceShutdown_; }
    void setForceShutdown(bool force) { forceShutdown_ = force; }
    void cancelShutdownStatus();
    void killAllBottles();

Q_SIGNALS:
    // The bottle's information has been loaded.
    void BottleLoadedInfo(const TSPyObject& bottle);

private:
    struct Entry {
        TSPyObject bottle;
        QString name;
        QString displayName;
        QString systemDrive;
        QString winePrefix;
        QString status;
        bool isDefault = false;
        bool isManaged = false;
        bool upToDate = true;
        bool canRunCommands = false;
    };

    BottleCollection();
    bool init();
    static Entry entryFor(const TSPyObject& bottle);
    // Reads the bottle's properties again into its row.
    void refreshBottle(const TSPyObject& bottle);
    // Calls the bottle's method on the main thread, and refreshes its row.
    void callOnMainThread(const TSPyObject& bottle, const char* method, const QVariantList& args,
                          bool wait);
    void runShutdownWalk();

    mutable QMutex listMutex_;
    QList<Entry> bottleList_;
    TSPyObject configurationSettings_;
    QPointer<QObject> shutdownCallbackObject_;
    QByteArray shutdownCallbackSelector_;
    std::atomic<bool> cancelShutdown_{false};
    std::atomic<bool> forceShutdown_{false};
};
