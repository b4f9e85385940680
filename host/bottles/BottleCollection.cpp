#include "BottleCollection.h"

#include "TSApplication.h"
#include "TSInternalInconsistency.h"
#include "TSLog.h"
#include "TSSetupLib.h"

#include <QCollator>
#include <QCoreApplication>
#include <QLocale>
#include <QMessageBox>
#include <QMutexLocker>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <mutex>
#include <thread>

namespace {

std::mutex g_instanceMutex;
BottleCollection* g_instance = nullptr;
std::atomic<bool> g_creationFailed{false};

bool onMainThread() {
    const QCoreApplication* application = QCoreApplication::instance();
    return !application || QThread::currentThread() == application->thread();
}

void requireMainThread() {
    if (!onMainThread())
        throw TSInternalInconsistency(
            QStringLiteral("Main thread method or function called on non-main thread"));
}

QString localized(const char* text) {
    return QCoreApplication::translate("BottleCollection", text);
}

void showCreationFailure() {
    const QString product = QStringLiteral("Halcyon Imaging");
    QMessageBox alert;
    alert.setIcon(QMessageBox::Critical);
    alert.setText(localized("Failed to initialize"));
    alert.setInformativeText(
        localized("%1$@ is unable to initialize a critical component. Without this, %1$@ is "
                  "unable to run, and will now exit.\n")
            .replace(QLatin1String("%1$@"), product));
    alert.setDefaultButton(alert.addButton(localized("OK"), QMessageBox::AcceptRole));
    alert.exec();
    if (TSApplication* application = TSApplication::sharedApplication())
        application->terminate();
}

// Localised comparison without regard to case, as the list is sorted.
bool localizedCaseInsensitiveLess(const QString& left, const QString& right) {
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator.compare(left, right) < 0;
}

} // namespace

BottleCollection* BottleCollection::sharedCollection() {
    if (g_creationFailed)
        return nullptr;
    {
        std::lock_guard<std::mutex> lock(g_instanceMutex);
        if (!g_instance) {
            // Made once and never freed: it lives as long as the process.
            auto* collection = new BottleCollection;
            if (collection->init())
                g_instance = collection;
            else
                delete collection;
        }
    }
    if (g_instance)
        return g_instance;
    g_creationFailed = true;
    showCreationFailure();
    return nullptr;
}

BottleCollection::BottleCollection() {
    // Its signals and queued calls belong to the main thread, whoever asked first.
    if (QCoreApplication::instance())
        moveToThread(QCoreApplication::instance()->thread());
    bottleList_.reserve(4);
}

bool BottleCollection::init() {
    const TSPyObject configuration = TSSetupLib::tesseraConfigClass();
    if (configuration.isNull() || TSSetupLib::bottleQueryClass().isNull() ||
        TSSetupLib::bottleWrapperClass().isNull())
        return false;
    configurationSettings_ = configuration.call("tesseraConfigSettings").value<TSPyObject>();
    populateBottleList();
    cancelShutdown_ = false;
    forceShutdown_ = false;
    return true;
}

// --- the model ------------------------------------------------------------------------------

int BottleCollection::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : countOfBottleList();
}

QVariant BottleCollection::data(const QModelIndex& index, int role) const {
    QMutexLocker lock(&listMutex_);
    if (!index.isValid() || index.row() >= bottleList_.size())
        return QVariant();
    const Entry& entry = bottleList_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return entry.status.isEmpty()
                   ? entry.displayName
                   : QStringLiteral("%1 \u2014 %2").arg(entry.displayName, entry.status);
    case NameRole:
        return entry.name;
    case DisplayNameRole:
        return entry.displayName;
    case IsDefaultRole:
        return entry.isDefault;
    case IsManagedRole:
        return entry.isManaged;
    case UpToDateRole:
        return entry.upToDate;
    case CanRunCommandsRole:
        return entry.canRunCommands;
    case SystemDriveRole:
        return entry.systemDrive;
    case WinePrefixRole:
        return entry.winePrefix;
    case StatusRole:
        return entry.status;
    case BottleRole:
        return QVariant::fromValue(entry.bottle);
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> BottleCollection::roleNames() const {
    return {{Qt::DisplayRole, "display"},
            {NameRole, "name"},
            {DisplayNameRole, "display_name"},
            {IsDefaultRole, "is_default"},
            {IsManagedRole, "is_managed"},
            {UpToDateRole, "up_to_date"},
            {CanRunCommandsRole, "can_run_commands"},
            {SystemDriveRole, "system_drive"},
            {WinePrefixRole, "wine_prefix"},
            {StatusRole, "status"},
            {BottleRole, "bottle"}};
}

BottleCollection::Entry BottleCollection::entryFor(const TSPyObject& bottle) {
    Entry entry;
    entry.bottle = bottle;
    entry.name = bottle.valueForKey("name").toString();
    entry.displayName = bottle.valueForKey("display_name").toString();
    entry.systemDrive = bottle.valueForKey("system_drive").toString();
    entry.winePrefix = bottle.valueForKey("wine_prefix").toString();
    entry.status = bottle.valueForKey("status").toString();
    entry.isDefault = bottle.valueForKey("is_default").toBool();
    entry.isManaged = bottle.valueForKey("is_managed").toBool();
    entry.upToDate = bottle.valueForKey("up_to_date").toBool();
    entry.canRunCommands = bottle.valueForKey("can_run_commands").toBool();
    return entry;
}

void BottleCollection::refreshBottle(const TSPyObject& bottle) {
    const Entry fresh = entryFor(bottle);
    int row = -1;
    {
        QMutexLocker lock(&listMutex_);
        for (int i = 0; i < bottleList_.size(); ++i) {
            if (bottleList_[i].bottle == bottle) {
                bottleList_[i] = fresh;
                row = i;
            }
        }
    }
    if (row >= 0)
        Q_EMIT dataChanged(index(row), index(row));
}

// --- the list ---------------------------------------------------------------------------------

QList<TSPyObject> BottleCollection::bottleList() const {
    QMutexLocker lock(&listMutex_);
    QList<TSPyObject> bottles;
    for (const Entry& entry : bottleList_)
        bottles.append(entry.bottle);
    return bottles;
}

int BottleCollection::countOfBottleList() const {
    QMutexLocker lock(&listMutex_);
    return int(bottleList_.size());
}

TSPyObject BottleCollection::objectInBottleListAtIndex(int index) const {
    QMutexLocker lock(&listMutex_);
    return index >= 0 && index < bottleList_.size() ? bottleList_.at(index).bottle : TSPyObject();
}

void BottleCollection::insertObjectInBottleListAtIndex(const TSPyObject& bottle, int index) {
    const Entry entry = entryFor(bottle);
    const int row = std::clamp(index, 0, countOfBottleList());
    beginInsertRows(QModelIndex(), row, row);
    {
        QMutexLocker lock(&listMutex_);
        bottleList_.insert(row, entry);
    }
    endInsertRows();
}

void BottleCollection::removeObjectFromBottleListAtIndex(int index) {
    if (index < 0 || index >= countOfBottleList())
        return;
    beginRemoveRows(QModelIndex(), index, index);
    {
        QMutexLocker lock(&listMutex_);
        bottleList_.removeAt(index);
    }
    endRemoveRows();
}

void BottleCollection::removeBottleListAtIndexes(QList<int> indexes) {
    std::sort(indexes.begin(), indexes.end(), std::greater<int>());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    // Runs of neighbouring rows go at once, from the end, so the other indexes stay valid.
    qsizetype i = 0;
    while (i < indexes.size()) {
        const int last = indexes[i];
        int first = last;
        while (i + 1 < indexes.size() && indexes[i + 1] == first - 1)
            first = indexes[++i];
        ++i;
        if (first < 0 || last >= countOfBottleList())
            continue;
        beginRemoveRows(QModelIndex(), first, last);
        {
            QMutexLocker lock(&listMutex_);
            bottleList_.remove(first, last - first + 1);
        }
        endRemoveRows();
    }
}

void BottleCollection::populateBottleList() {
    QList<int> all;
    for (int i = 0; i < countOfBottleList(); ++i)
        all.append(i);
    removeBottleListAtIndexes(all);

    const TSPyObject query = TSSetupLib::bottleQueryClass();
    const QString defaultName = query.call("defaultBottle").toString();
    if (!defaultName.isEmpty())
        addBottleToListByName(defaultName);

    QStringList names = query.call("bottles").toStringList();
    std::stable_sort(names.begin(), names.end(), localizedCaseInsensitiveLess);
    for (const QString& name : names) {
        bool listed = false;
        for (const TSPyObject& bottle : bottleList())
            listed = listed || bottle.valueForKey("name").toString() == name;
        if (!listed)
            addBottleToListByName(name);
    }
}

void BottleCollection::addBottleToListByName(const QString& name) {
    const TSPyObject bottle =
        TSSetupLib::bottleWrapperClass().call("initWithName_", {name}).value<TSPyObject>();
    if (!bottle.isNull())
        addBottleObjToList(bottle);
}

bool BottleCollection::addBottleObjToList(const TSPyObject& bottle) {
    insertObjectInBottleListAtIndex(bottle, countOfBottleList());
    return true;
}

int BottleCollection::indexOfBottleWithName(const QString& name) const {
    if (name.isNull())
        return -1;
    QMutexLocker lock(&listMutex_);
    for (int i = int(bottleList_.size()) - 1; i >= 0; --i) {
        if (bottleList_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

TSPyObject BottleCollection::bottleWithName(const QString& name) const {
    return objectInBottleListAtIndex(indexOfBottleWithName(name));
}

void BottleCollection::removeBottleFromList(const QString& name) {
    const int index = indexOfBottleWithName(name);
    if (index >= 0)
        removeObjectFromBottleListAtIndex(index);
}

TSPyObject BottleCollection::getDefaultBottle() const {
    const QString name = TSSetupLib::bottleQueryClass().call("defaultBottle").toString();
    QMutexLocker lock(&listMutex_);
    for (const Entry& entry : bottleList_) {
        if (entry.name == name)
            return entry.bottle;
    }
    return TSPyObject();
}

QList<TSPyObject> BottleCollection::managedBottlesNeedingUpdate() const {
    QList<TSPyObject> bottles;
    for (const TSPyObject& bottle : bottleList()) {
        if (bottle.valueForKey("is_managed").toBool() && !bottle.valueForKey("up_to_date").toBool())
            bottles.append(bottle);
    }
    return bottles;
}

QString BottleCollection::getUniqueBottleName(const QString& name) const {
    if (bottleWithName(name).isNull())
        return name;
    for (int number = 2;; ++number) {
        const QString candidate = QStringLiteral("%1-%2").arg(name).arg(number);
        if (bottleWithName(candidate).isNull())
            return candidate;
    }
}

// --- the default ------------------------------------------------------------------------------

void BottleCollection::toggleDefault(const TSPyObject& bottle) {
    const TSPyObject current = getDefaultBottle();
    const bool makeDefault = !(bottle == current);
    if (makeDefault && !current.isNull()) {
        TSPyObject(current).setValueForKey(false, "is_default");
        refreshBottle(current);
    }
    TSSetupLib::bottleManagementClass().call("setBottle_isDefault_",
                                             {bottle.valueForKey("name"), makeDefault});
    TSPyObject(bottle).setValueForKey(makeDefault, "is_default");
    refreshBottle(bottle);
}

void BottleCollection::setDefault(const TSPyObject& bottle) {
    if (!(bottle == getDefaultBottle()))
        toggleDefault(bottle);
}

// --- per-bottle work --------------------------------------------------------------------------

void BottleCollection::callOnMainThread(const TSPyObject& bottle, const char* method,
                                        const QVariantList& args, bool wait) {
    const QByteArray name(method);
    auto call = [this, bottle, name, args] {
        bottle.call(name.constData(), args);
        refreshBottle(bottle);
    };
    if (onMainThread())
        call();
    else
        QMetaObject::invokeMethod(this, call,
                                  wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void BottleCollection::loadApplicationsForBottle(const TSPyObject& bottle) {
    callOnMainThread(bottle, "preLoadInstalledApplications", {}, true);
    bottle.call("loadInstalledApplications");
    callOnMainThread(bottle, "postLoadInstalledApplications", {}, false);
}

void BottleCollection::loadInfoForBottle(const TSPyObject& bottle) {
    loadApplicationsForBottle(bottle);
    callOnMainThread(bottle, "preLoadIsCSMTDisabled", {}, true);
    bottle.call("loadIsCSMTDisabled");
    callOnMainThread(bottle, "postLoadIsCSMTDisabled", {}, true);
    callOnMainThread(bottle, "preLoadIsHighResolution", {}, true);
    bottle.call("loadIsHighResolution");
    callOnMainThread(bottle, "postLoadIsHighResolution", {}, true);
}

void BottleCollection::postBottleLoadedNotification(const TSPyObject& bottle) {
    QMetaObject::invokeMethod(
        this,
        [this, bottle] {
            refreshBottle(bottle);
            Q_EMIT BottleLoadedInfo(bottle);
        },
        onMainThread() ? Qt::DirectConnection : Qt::QueuedConnection);
}

void BottleCollection::resetBottle(const TSPyObject& bottle, bool didPreQuit) {
    requireMainThread();
    if (!didPreQuit)
        callOnMainThread(bottle, "preQuit", {}, false);
    QPointer<BottleCollection> self(this);
    QThreadPool::globalInstance()->start([self, bottle] {
        const QVariant result = bottle.call("doQuit");
        if (self)
            QMetaObject::invokeMethod(self, [self, bottle, result] {
                self->callOnMainThread(bottle, "postQuit_", {result}, false);
                self->callOnMainThread(bottle, "cancelShutdown", {}, false);
            });
    });
}

void BottleCollection::killBottle(const TSPyObject& bottle) {
    requireMainThread();
    callOnMainThread(bottle, "preForceQuit", {}, false);
    QPointer<BottleCollection> self(this);
    QThreadPool::globalInstance()->start([self, bottle] {
        const QVariant result = bottle.call("doForceQuit");
        if (self)
            QMetaObject::invokeMethod(self, [self, bottle, result] {
                self->callOnMainThread(bottle, "postForceQuit_", {result}, false);
                self->callOnMainThread(bottle, "cancelShutdown", {}, false);
            });
    });
}

bool BottleCollection::deleteBottle(const QString& bottle, QString* errorString) {
    const QVariantList reply =
        TSSetupLib::bottleManagementClass().call("deleteBottle_", {bottle}).toList();
    if (errorString)
        *errorString = reply.value(1).toString();
    return reply.value(0).toBool();
}

bool BottleCollection::doWineEject(const QString& bottle) {
    return TSSetupLib::bottleManagementClass().call("wineEjectForBottle_", {bottle}).toBool();
}

QVariant BottleCollection::getWineReportingState() const {
    bool ok = false;
    const QVariant state = configurationSettings_.valueForKey("ReportWineUsage", &ok);
    return ok ? state : QVariant();
}

void BottleCollection::setWineReportingState(const QVariant& state) {
    TSSetupLib::tesseraConfigClass().call("setReportWineUsage_", {state});
}

// --- shutdown ---------------------------------------------------------------------------------

void BottleCollection::shutdownAllBottles(QObject* object, const char* method) {
    TSLog("Shutting down all bottles.\n");
    shutdownCallbackObject_ = object;
    shutdownCallbackSelector_ = method;
    std::thread([this] { runShutdownWalk(); }).detach();
}

void BottleCollection::runShutdownWalk() {
    for (const TSPyObject& bottle : bottleList()) {
        callOnMainThread(bottle, "preQuit", {}, false);
        const QVariant result = bottle.call("doQuit");
        callOnMainThread(bottle, "postQuit_", {result}, false);
        if (!result.toBool() || cancelShutdown_) {
            if (forceShutdown_) {
                TSLog("Forcing shutdown.\n");
            } else {
                TSLog("Canceling shutdown.\n");
                cancelShutdown_ = true;
            }
            break;
        }
        if (forceShutdown_) {
            TSLog("Forcing shutdown.\n");
            break;
        }
    }
    if (forceShutdown_ && !cancelShutdown_) {
        forceShutdown_ = false;
        killAllBottles();
    }
    const bool completed = !cancelShutdown_;
    // The flags are clear before the answer goes out, so that a shutdown the answer starts
    // begins clean.
    if (!completed) {
        QMetaObject::invokeMethod(this, [this] { cancelShutdownStatus(); });
        forceShutdown_ = false;
        cancelShutdown_ = false;
    }
    QPointer<QObject> callback = shutdownCallbackObject_;
    const QByteArray method = shutdownCallbackSelector_;
    QMetaObject::invokeMethod(this, [callback, method, completed] {
        if (callback)
            QMetaObject::invokeMethod(callback, method.constData(), Qt::DirectConnection,
                                      Q_ARG(bool, completed));
    });
}

void BottleCollection::cancelShutdownStatus() {
    for (const TSPyObject& bottle : bottleList())
        callOnMainThread(bottle, "cancelShutdown", {}, false);
}

void BottleCollection::killAllBottles() {
    for (const TSPyObject& bottle : bottleList()) {
        if (cancelShutdown_)
            return;
        callOnMainThread(bottle, "preForceQuit", {}, false);
        const QVariant result = bottle.call("doForceQuit");
        callOnMainThread(bottle, "postForceQuit_", {result}, false);
    }
}
