#include "SelectBottleController.h"

#include "BottleCollection.h"
#include "BottleSortFilterModel.h"

#include "ui_SelectBottleView.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QSortFilterProxyModel>

namespace {

SelectBottleController::FileTypesProvider& fileTypesProvider() {
    static SelectBottleController::FileTypesProvider provider;
    return provider;
}

// The panel's files, through the chooser's rule.
class PanelFilter : public QSortFilterProxyModel {
public:
    PanelFilter(SelectBottleController* chooser, QObject* parent)
        : QSortFilterProxyModel(parent), chooser_(chooser) {}

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files)
            return true;
        return chooser_->panelShouldShowFilename(
            files->filePath(files->index(sourceRow, 0, sourceParent)));
    }

private:
    SelectBottleController* chooser_;
};

} // namespace

SelectBottleController::SelectBottleController(QObject* parent)
    : TSViewController(nullptr, parent) {
    setRepresentedObject(QVariant::fromValue<QObject*>(BottleCollection::sharedCollection()));
}

SelectBottleController::~SelectBottleController() = default;

const QStringList& SelectBottleController::builtInExtensions() {
    static const QStringList extensions = {QStringLiteral("exe"), QStringLiteral("inf"),
                                           QStringLiteral("tsarchive"), QStringLiteral("lnk")};
    return extensions;
}

void SelectBottleController::setFileTypesProvider(FileTypesProvider provider) {
    fileTypesProvider() = std::move(provider);
}

QWidget* SelectBottleController::loadView() {
    auto* view = new QWidget;
    Ui::SelectBottleView form;
    form.setupUi(view);
    bottles_ = form.bottles;
    sorted_ = new BottleSortFilterModel(this);
    sorted_->setSourceModel(BottleCollection::sharedCollection());
    bottles_->setModel(sorted_);
    connect(bottles_, &QComboBox::currentIndexChanged, this,
            &SelectBottleController::selectionChanged);
    // The first notification at once: the first bottle (the default) is chosen.
    bottles_->setCurrentIndex(sorted_->rowCount() > 0 ? 0 : -1);
    selectionChanged();
    return view;
}

void SelectBottleController::selectionChanged() {
    const QModelIndex current = sorted_->index(bottles_->currentIndex(), 0);
    setSelectedBottle(current.isValid()
                          ? current.data(BottleCollection::BottleRole).value<TSPyObject>()
                          : TSPyObject());
}

void SelectBottleController::setSelectedBottle(const TSPyObject& bottle) {
    if (bottle == selectedBottle_)
        return;
    selectedBottle_ = bottle;
    cachedAllowedFileTypes_.reset();
    if (panelFilter_)
        panelFilter_->invalidate();
}

QStringList SelectBottleController::allowedFileTypes() {
    if (!cachedAllowedFileTypes_) {
        QStringList types = builtInExtensions();
        if (fileTypesProvider())
            types << fileTypesProvider()(selectedBottle_);
        cachedAllowedFileTypes_ = types;
    }
    return *cachedAllowedFileTypes_;
}

bool SelectBottleController::panelShouldShowFilename(const QString& path) {
    const QFileInfo file(path);
    if (file.isDir())
        return true;
    const QString extension = file.suffix();
    for (const QString& allowed : allowedFileTypes()) {
        if (allowed.compare(extension, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void SelectBottleController::attachToFileDialog(QFileDialog* dialog) {
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    panelFilter_ = new PanelFilter(this, dialog);
    dialog->setProxyModel(panelFilter_);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
        grid->addWidget(view(), grid->rowCount(), 0, 1, grid->columnCount());
}
