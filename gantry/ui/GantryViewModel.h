#pragma once
// The manager's one list, over the rows of the view shown: offered packages, installed
// packages or files. Rows come filled from the core with their texts and sort keys, so data()
// and sorting never walk the tree.

#include "gantry/db/ViewRows.h"
#include "gantry/ui/GantryIcons.h"

#include <QAbstractTableModel>

#include <utility>
#include <vector>

namespace quillory::ui {

class CGantryViewModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum View { VIEW_SERVER = 0, VIEW_PACKAGES = 1, VIEW_FILES = 2 };

    explicit CGantryViewModel(QObject* parent = nullptr);

    void ShowOffered(std::vector<OfferedRow> rows);
    void ShowPackages(std::vector<PackageRow> rows);
    void ShowFiles(std::vector<FileRow> rows);
    int CurrentView() const { return view_; }

    // Sorts as the manager does (one direction per column); false for a column that does not.
    bool SortBy(int column);

    const std::vector<OfferedRow>& OfferedRows() const { return offered_; }
    const std::vector<PackageRow>& PackageRows() const { return packages_; }
    const std::vector<FileRow>& FileRows() const { return files_; }

    // Column width in pixels of the current view.
    int ColumnWidth(int column) const;

    // What names a row across refills of its view: its object and the package it is listed
    // under.
    using RowKey = std::pair<const void*, const void*>;
    std::vector<RowKey> KeysOf(const std::vector<int>& rows) const;
    // The rows, in the order of the current rows, that carry one of `keys`.
    std::vector<int> RowsOf(const std::vector<RowKey>& keys) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    RowKey KeyOf(int row) const;
    const String* Text(int row, int column) const;
    int IconOf(int row) const;
    bool RightAligned(int column) const;

    int view_ = VIEW_PACKAGES;
    std::vector<OfferedRow> offered_;
    std::vector<PackageRow> packages_;
    std::vector<FileRow> files_;
    CGantryIcons icons_;
};

} // namespace quillory::ui
