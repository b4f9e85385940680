#include "BottleSortFilterModel.h"

#include "BottleCollection.h"

BottleSortFilterModel::BottleSortFilterModel(QObject* parent) : QSortFilterProxyModel(parent) {
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(true);
    sort(0);
}

void BottleSortFilterModel::setOnlyBottlesThatCanRunCommands(bool only) {
    onlyCanRun_ = only;
    invalidateFilter();
}

bool BottleSortFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const bool leftDefault = left.data(BottleCollection::IsDefaultRole).toBool();
    const bool rightDefault = right.data(BottleCollection::IsDefaultRole).toBool();
    if (leftDefault != rightDefault)
        return leftDefault;
    return collator_.compare(left.data(BottleCollection::DisplayNameRole).toString(),
                             right.data(BottleCollection::DisplayNameRole).toString()) < 0;
}

bool BottleSortFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (!onlyCanRun_)
        return true;
    return sourceModel()
        ->index(sourceRow, 0, sourceParent)
        .data(BottleCollection::CanRunCommandsRole)
        .toBool();
}
