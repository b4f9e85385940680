// The bottle collection over bottle folders of the test's own, through the real scripting
// layer: the order of the list, lookups, the default bottle, the model's signals, the sorted
// and filtered views, and information loaded on a worker thread.
#include "BottleCollection.h"
#include "BottleSortFilterModel.h"
#include "HostTestSupport.h"
#include "TSSetupLib.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QThread>

#include <thread>

#include <gtest/gtest.h>

namespace {

void setEnv(const QString& name, const QString& value) {
    TSSetupLib::tsSetupClass().call("setEnvValue_forKey_", {value, name});
}

void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// Bottle folders of the test's own, known to the scripting layer through the environment.
class Collection : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        bottles = folder.filePath("Bottles");
        managed = folder.filePath("Managed");
        QDir().mkpath(bottles);
        QDir().mkpath(managed);
        setEnv("TS_BOTTLE_PATH", bottles);
        setEnv("TS_MANAGED_BOTTLE_PATH", managed);
        collection = BottleCollection::sharedCollection();
        ASSERT_NE(collection, nullptr);
    }
    void TearDown() override {
        TSSetupLib::tsSetupClass().call("unsetEnvValueForKey_", {"TS_MANAGED_BOTTLE_PATH"});
    }
    void makeBottle(const QString& root, const QString& name, const QByteArray& settings = "") {
        QDir().mkpath(root + '/' + name + "/drive_c");
        writeFile(root + '/' + name + "/halcyon_bottle.conf", "[Bottle]\n" + settings);
    }
    QStringList names() const {
        QStringList list;
        for (const TSPyObject& bottle : collection->bottleList())
            list << bottle.valueForKey("name").toString();
        return list;
    }
    QString nameOf(const TSPyObject& bottle) const {
        return bottle.isNull() ? QStringLiteral("<none>") : bottle.valueForKey("name").toString();
    }

    QTemporaryDir folder;
    QString bottles;
    QString managed;
    BottleCollection* collection = nullptr;
};

TEST_F(Collection, IsOneForTheProcess) {
    EXPECT_EQ(BottleCollection::sharedCollection(), collection);
    EXPECT_FALSE(collection->isEmpty());
}

TEST_F(Collection, ListsTheDefaultFirstThenTheOthersByName) {
    const struct {
        const char* what;
        QList<QPair<QString, QByteArray>> bottles;
        QStringList expected;
    } cases[] = {
        {"no default", {{"zulu", ""}, {"Alpha", ""}, {"beta", ""}}, {"Alpha", "beta", "zulu"}},
        {"the default is listed once, first",
         {{"zulu", ""}, {"Mid", "Default = yes\n"}, {"alpha", ""}},
         {"Mid", "alpha", "zulu"}},
        {"names that differ only in case are both listed",
         {{"Work", ""}, {"work", ""}, {"Archive", ""}},
         {"Archive", "Work", "work"}},
    };
    for (const auto& c : cases) {
        QDir(bottles).removeRecursively();
        QDir().mkpath(bottles);
        for (const auto& [name, settings] : c.bottles)
            makeBottle(bottles, name, settings);
        collection->populateBottleList();
        EXPECT_EQ(names(), c.expected) << c.what;
    }
    // The later of two names that match without regard to case wins.
    EXPECT_EQ(collection->indexOfBottleWithName("WORK"), 2);
    EXPECT_EQ(collection->indexOfBottleWithName("nothing"), -1);
    EXPECT_EQ(collection->indexOfBottleWithName(QString()), -1);
    EXPECT_EQ(nameOf(collection->bottleWithName("archive")), "Archive");
    EXPECT_TRUE(collection->bottleWithName("nothing").isNull());
}

TEST_F(Collection, UniqueNamesAndRemoval) {
    makeBottle(bottles, "Work");
    makeBottle(bottles, "work-2");
    collection->populateBottleList();
    EXPECT_EQ(collection->getUniqueBottleName("Work"), "Work-3");
    EXPECT_EQ(collection->getUniqueBottleName("Fresh"), "Fresh");

    QSignalSpy removed(collection, &QAbstractItemModel::rowsRemoved);
    collection->removeBottleFromList("WORK-2");
    EXPECT_EQ(names(), QStringList{"Work"});
    EXPECT_EQ(removed.size(), 1);
    collection->removeBottleFromList("missing");
    EXPECT_EQ(removed.size(), 1);
}

TEST_F(Collection, TheDefaultMovesAndCanBeCleared) {
    makeBottle(bottles, "Work", "Default = yes\n");
    makeBottle(bottles, "Archive");
    collection->populateBottleList();
    const TSPyObject work = collection->bottleWithName("Work");
    const TSPyObject archive = collection->bottleWithName("Archive");
    EXPECT_EQ(nameOf(collection->getDefaultBottle()), "Work");

    QSignalSpy changed(collection, &QAbstractItemModel::dataChanged);
    collection->toggleDefault(archive);
    EXPECT_EQ(nameOf(collection->getDefaultBottle()), "Archive");
    EXPECT_EQ(work.valueForKey("is_default"), QVariant(false));
    EXPECT_EQ(archive.valueForKey("is_default"), QVariant(true));
    EXPECT_GE(changed.size(), 2) << "both rows are shown anew";
    const int archiveRow = collection->indexOfBottleWithName("Archive");
    EXPECT_TRUE(collection->index(archiveRow).data(BottleCollection::IsDefaultRole).toBool());

    collection->setDefault(archive); // already the default: nothing changes
    EXPECT_EQ(nameOf(collection->getDefaultBottle()), "Archive");
    collection->toggleDefault(archive);
    EXPECT_TRUE(collection->getDefaultBottle().isNull()) << "no bottle is the default now";
    EXPECT_EQ(archive.valueForKey("is_default"), QVariant(false));
    collection->setDefault(work);
    EXPECT_EQ(nameOf(collection->getDefaultBottle()), "Work");
}

TEST_F(Collection, EveryIndexedChangeIsSignalled) {
    makeBottle(bottles, "A");
    makeBottle(bottles, "B");
    makeBottle(bottles, "C");
    makeBottle(bottles, "D");
    QSignalSpy inserted(collection, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(collection, &QAbstractItemModel::rowsRemoved);
    collection->populateBottleList();
    EXPECT_EQ(inserted.size(), 4);
    EXPECT_EQ(collection->rowCount(), 4);
    removed.clear(); // the rows of the list before

    const TSPyObject b = collection->objectInBottleListAtIndex(1);
    collection->removeObjectFromBottleListAtIndex(1);
    EXPECT_EQ(removed.size(), 1);
    EXPECT_EQ(removed.last().at(1).toInt(), 1);
    collection->insertObjectInBottleListAtIndex(b, 0);
    EXPECT_EQ(names(), (QStringList{"B", "A", "C", "D"}));
    EXPECT_EQ(inserted.last().at(1).toInt(), 0);

    removed.clear();
    collection->removeBottleListAtIndexes({3, 0, 1});
    EXPECT_EQ(names(), QStringList{"C"});
    EXPECT_EQ(removed.size(), 2) << "rows 0-1 at once, then row 3";
    EXPECT_EQ(collection->index(0).data(Qt::DisplayRole).toString(), "C");
    EXPECT_EQ(collection->index(0).data(BottleCollection::WinePrefixRole).toString(),
              bottles + "/C");
    EXPECT_EQ(collection->index(0).data(BottleCollection::SystemDriveRole).toString(),
              bottles + "/C/drive_c");
}

TEST_F(Collection, ManagedBottlesThatNeedAnUpdate) {
    makeBottle(bottles, "Own");
    makeBottle(managed, "Published");
    makeBottle(managed, "Current");
    writeFile(managed + "/Current/system.reg", "WINE REGISTRY Version 2\n");
    collection->populateBottleList();
    QStringList needing;
    for (const TSPyObject& bottle : collection->managedBottlesNeedingUpdate())
        needing << nameOf(bottle);
    EXPECT_EQ(needing, QStringList{"Published"});
}

TEST_F(Collection, InformationLoadsOnAWorkerAndIsReported) {
    makeBottle(bottles, "Work");
    writeFile(bottles + "/Work/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/"
                        "Halcyon/Workstation.lnk",
              "L");
    collection->populateBottleList();
    const TSPyObject work = collection->bottleWithName("Work");
    QSignalSpy loaded(collection, &BottleCollection::BottleLoadedInfo);
    std::thread worker([this, work] {
        collection->loadInfoForBottle(work);
        collection->postBottleLoadedNotification(work);
    });
    // The worker waits for the steps the main thread runs.
    ASSERT_TRUE(runUntil([&loaded] { return loaded.size() == 1; }));
    worker.join();
    EXPECT_EQ(work.valueForKey("installed_applications").toStringList(),
              QStringList{"Workstation"});
    EXPECT_EQ(loaded.first().first().value<TSPyObject>(), work);
}

TEST_F(Collection, DeleteAndEjectGoToTheScriptingLayer) {
    makeBottle(bottles, "Old");
    collection->populateBottleList();
    QString error = "untouched";
    EXPECT_TRUE(collection->deleteBottle("Old", &error));
    EXPECT_EQ(error, "");
    EXPECT_FALSE(QFileInfo::exists(bottles + "/Old"));
    EXPECT_EQ(names(), QStringList{"Old"}) << "the caller removes the entry";
    EXPECT_FALSE(collection->deleteBottle("Missing", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(collection->doWineEject("Missing"));
}

TEST(BottleOrder, DefaultFirstThenByDisplayNameAndTheCommandFilter) {
    QStandardItemModel source;
    const struct {
        const char* name;
        bool isDefault;
        bool canRun;
    } rows[] = {{"zulu", false, true},
                {"Beta", false, false},
                {"Main", true, true},
                {"alpha", false, true}};
    for (const auto& row : rows) {
        auto* item = new QStandardItem;
        item->setData(QString::fromLatin1(row.name), BottleCollection::DisplayNameRole);
        item->setData(row.isDefault, BottleCollection::IsDefaultRole);
        item->setData(row.canRun, BottleCollection::CanRunCommandsRole);
        source.appendRow(item);
    }
    BottleSortFilterModel sorted;
    sorted.setSourceModel(&source);
    auto order = [&sorted] {
        QStringList names;
        for (int i = 0; i < sorted.rowCount(); ++i)
            names << sorted.index(i, 0).data(BottleCollection::DisplayNameRole).toString();
        return names;
    };
    EXPECT_EQ(order(), (QStringList{"Main", "alpha", "Beta", "zulu"}));
    sorted.setOnlyBottlesThatCanRunCommands(true);
    EXPECT_EQ(order(), (QStringList{"Main", "alpha", "zulu"}));
    source.item(3)->setData(false, BottleCollection::CanRunCommandsRole);
    EXPECT_EQ(order(), (QStringList{"Main", "zulu"})) << "a change of a row is followed";
}

} // namespace
