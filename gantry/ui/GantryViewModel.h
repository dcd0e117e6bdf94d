#pragma once
// The manager's one list, over the rows of the view shown: offered packages, installed
// packages or files. Rows come filled from the core with their texts and sort keys, so data()
// and sorting never walk the tree. The rows stay where they were filled; the order shown is a
// list of positions that a sort rearranges, and a refill of the file view writes over the rows
// in place.

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
    // Fills the file view from `db` (the members of `filter`, or of every package when null)
    // over the rows it shows now.
    void ShowFiles(const CFileDatabase& db, const CPackage* filter);
    int CurrentView() const { return view_; }

    // Sorts as the manager does (one direction per column); false for a column that does not.
    bool SortBy(int column);

    // The row shown at `row` of the current view, which must be that row's view.
    const OfferedRow& OfferedAt(int row) const { return offered_[Position(row)]; }
    const PackageRow& PackageAt(int row) const { return packages_[Position(row)]; }
    const FileRow& FileAt(int row) const { return files_[Position(row)]; }

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
    size_t Position(int row) const { return order_[size_t(row)]; }
    // Shows `view` with its rows in the order they were filled; the other views' rows go.
    void Reset(int view, size_t rows);
    RowKey KeyOf(int row) const;
    const String* Text(int row, int column) const;
    int IconOf(int row) const;
    bool RightAligned(int column) const;

    int view_ = VIEW_PACKAGES;
    std::vector<OfferedRow> offered_;
    std::vector<PackageRow> packages_;
    std::vector<FileRow> files_;
    std::vector<uint32_t> order_; // positions of the current view's rows, as shown
    CGantryIcons icons_;
};

} // namespace quillory::ui
