// The bottles in the order the windows show them: the default bottle first, then by display
// name (localised, without regard to case); optionally only those that can run commands.
#pragma once

#include <QCollator>
#include <QSortFilterProxyModel>

class BottleSortFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit BottleSortFilterModel(QObject* parent = nullptr);

    // "can_run_commands != FALSE"
    void setOnlyBottlesThatCanRunCommands(bool only);
    bool onlyBottlesThatCanRunCommands() const { return onlyCanRun_; }

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    bool onlyCanRun_ = false;
    QCollator collator_;
};
