// The bottle chooser of the Open panel: the files the chosen bottle can open, in a real
// (non-native) file dialog on a folder of the test's own.
#include "BottleCollection.h"
#include "HostTestSupport.h"
#include "SelectBottleController.h"
#include "TSSetupLib.h"

#include <QAbstractProxyModel>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void setEnv(const QString& name, const QString& value) {
    TSSetupLib::tsSetupClass().call("setEnvValue_forKey_", {value, name});
}

class Chooser : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        const QString bottles = folder.filePath("Bottles");
        for (const char* name : {"Viewer", "Office"})
            QDir().mkpath(bottles + '/' + name + "/drive_c");
        QFile settings(bottles + "/Viewer/halcyon_bottle.conf");
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[Bottle]\nDefault = yes\n");
        settings.close();
        setEnv("TS_BOTTLE_PATH", bottles);
        BottleCollection::sharedCollection()->populateBottleList();
        // The host server's answer: what each bottle's programs open.
        SelectBottleController::setFileTypesProvider([](const TSPyObject& bottle) {
            const QString name =
                bottle.isNull() ? QString() : bottle.valueForKey("name").toString();
            return name == "Viewer"   ? QStringList{"dcm"}
                   : name == "Office" ? QStringList{"doc"}
                                      : QStringList{};
        });
        files = folder.filePath("files");
        QDir().mkpath(files + "/studies");
        for (const char* name : {"APP.EXE", "setup.inf", "scan.dcm", "letter.doc", "notes.txt"}) {
            QFile file(files + '/' + name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }
    void TearDown() override { SelectBottleController::setFileTypesProvider(nullptr); }

    QTemporaryDir folder;
    QString files;
};

TEST_F(Chooser, ShowsFoldersAndWhatTheBottleOpens) {
    SelectBottleController chooser;
    chooser.view();
    ASSERT_FALSE(chooser.selectedBottle().isNull());
    EXPECT_EQ(chooser.selectedBottle().valueForKey("name").toString(), "Viewer")
        << "the default bottle comes first";
    EXPECT_EQ(chooser.allowedFileTypes(), (QStringList{"exe", "inf", "tsarchive", "lnk", "dcm"}));
    const struct {
        const char* name;
        bool shown;
    } cases[] = {{"APP.EXE", true},     {"setup.inf", true},  {"scan.dcm", true},
                 {"letter.doc", false}, {"notes.txt", false}, {"studies", true}};
    for (const auto& c : cases)
        EXPECT_EQ(chooser.panelShouldShowFilename(files + '/' + c.name), c.shown) << c.name;

    chooser.setSelectedBottle(TSPyObject());
    EXPECT_EQ(chooser.allowedFileTypes(), SelectBottleController::builtInExtensions())
        << "no bottle: the built-in extensions";
}

TEST_F(Chooser, TheOpenPanelIsFilteredAnewWhenTheBottleChanges) {
    QFileDialog dialog;
    SelectBottleController chooser;
    chooser.attachToFileDialog(&dialog);
    auto* combo = chooser.view()->findChild<QComboBox*>();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(chooser.view()->parentWidget(), &dialog) << "the chooser is part of the panel";

    QAbstractProxyModel* filter = dialog.proxyModel();
    ASSERT_NE(filter, nullptr);
    auto* model = qobject_cast<QFileSystemModel*>(filter->sourceModel());
    ASSERT_NE(model, nullptr);
    dialog.setDirectory(files);
    const QModelIndex folderIndex = model->index(files);
    ASSERT_TRUE(runUntil([&] { return model->rowCount(folderIndex) == 6; }));
    auto shown = [&] {
        QStringList names;
        const QModelIndex parent = filter->mapFromSource(folderIndex);
        for (int i = 0; i < filter->rowCount(parent); ++i)
            names << filter->index(i, 0, parent).data().toString();
        names.sort(Qt::CaseInsensitive);
        return names;
    };
    EXPECT_EQ(shown(), (QStringList{"APP.EXE", "scan.dcm", "setup.inf", "studies"}));
    combo->setCurrentIndex(1);
    EXPECT_EQ(chooser.selectedBottle().valueForKey("name").toString(), "Office");
    EXPECT_EQ(shown(), (QStringList{"APP.EXE", "letter.doc", "setup.inf", "studies"}));
}

} // namespace
