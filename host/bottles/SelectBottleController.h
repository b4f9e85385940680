// The bottle chooser of the host's Open panel: lists the bottles (the default first), and
// makes the panel show only folders and the files the chosen bottle can open; a change of
// bottle filters the panel again at once.
#pragma once

#include "TSPyObject.h"
#include "TSViewController.h"

#include <QStringList>

#include <functional>
#include <optional>

class BottleSortFilterModel;
class QComboBox;
class QFileDialog;
class QSortFilterProxyModel;

class SelectBottleController : public TSViewController {
    Q_OBJECT
public:
    explicit SelectBottleController(QObject* parent = nullptr);
    ~SelectBottleController() override;

    // The extensions every bottle opens.
    static const QStringList& builtInExtensions();
    // Where the extensions a bottle's programs open come from (the host server's answer).
    using FileTypesProvider = std::function<QStringList(const TSPyObject& bottle)>;
    static void setFileTypesProvider(FileTypesProvider provider);

    TSPyObject selectedBottle() const { return selectedBottle_; }
    void setSelectedBottle(const TSPyObject& bottle);
    QStringList allowedFileTypes();
    // Folders always; a file when its extension is one of the allowed ones, in any case.
    bool panelShouldShowFilename(const QString& path);

    // Puts the chooser into the (non-native) panel and filters its files.
    void attachToFileDialog(QFileDialog* dialog);

protected:
    QWidget* loadView() override;

private:
    void selectionChanged();

    QComboBox* bottles_ = nullptr;
    BottleSortFilterModel* sorted_ = nullptr;
    TSPyObject selectedBottle_;
    std::optional<QStringList> cachedAllowedFileTypes_;
    QSortFilterProxyModel* panelFilter_ = nullptr;
};
