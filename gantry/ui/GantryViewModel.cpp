#include "gantry/ui/GantryViewModel.h"

#include "ui/TextConversion.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace quillory::ui {

namespace {

struct RowKeyHash {
    size_t operator()(const std::pair<const void*, const void*>& key) const {
        return std::hash<const void*>()(key.first) * 31 + std::hash<const void*>()(key.second);
    }
};

// How a column's texts are kept: file names and numbers as they are, package names in
// Windows-1252 as the servers send them, paths with the database's "\\" between their parts.
enum class Kept { LOCAL, SERVER, PATH };

struct Column {
    const char* title;
    int width;
    bool right;
    Kept kept = Kept::LOCAL;
};

// Room for the widest view; a narrower one leaves the rest empty.
constexpr size_t kMostColumns = std::max({size_t(OC_COUNT), size_t(PC_COUNT), size_t(FC_COUNT)});
using Columns = std::array<Column, kMostColumns>;

constexpr Columns kServerColumns = {{{"Package", 200, false, Kept::SERVER},
                                     {"Priority", 80, false},
                                     {"Status", 100, false},
                                     {"Zip size", 80, true},
                                     {"Action", 120, false}}};
constexpr Columns kPackageColumns = {{{"Package", 150, false, Kept::SERVER},
                                      {"Status", 80, false},
                                      {"Size", 80, true},
                                      {"Files/Folders", 70, true},
                                      {"Install date", 150, false},
                                      {"Shared", 50, true}}};
constexpr Columns kFileColumns = {{{"File", 100, false, Kept::PATH},
                                   {"Status", 70, false},
                                   {"Path", 120, false, Kept::PATH},
                                   {"Size", 70, true},
                                   {"CRC32", 70, false},
                                   {"Package", 100, false, Kept::SERVER}}};

const Columns& ColumnsOf(int view) {
    switch (view) {
    case CGantryViewModel::VIEW_SERVER:
        return kServerColumns;
    case CGantryViewModel::VIEW_PACKAGES:
        return kPackageColumns;
    default:
        return kFileColumns;
    }
}

} // namespace

CGantryViewModel::CGantryViewModel(QObject* parent) : QAbstractTableModel(parent) {}

void CGantryViewModel::Reset(int view, size_t rows) {
    view_ = view;
    order_ = FillOrder(rows);
    // Rows of a view not shown are let go; those of the view shown are kept for its refill.
    if (view != VIEW_SERVER)
        std::vector<OfferedRow>().swap(offered_);
    if (view != VIEW_PACKAGES)
        std::vector<PackageRow>().swap(packages_);
    if (view != VIEW_FILES)
        std::vector<FileRow>().swap(files_);
}

void CGantryViewModel::ShowOffered(std::vector<OfferedRow> rows) {
    beginResetModel();
    offered_ = std::move(rows);
    Reset(VIEW_SERVER, offered_.size());
    endResetModel();
}

void CGantryViewModel::ShowPackages(std::vector<PackageRow> rows) {
    beginResetModel();
    packages_ = std::move(rows);
    Reset(VIEW_PACKAGES, packages_.size());
    endResetModel();
}

void CGantryViewModel::ShowFiles(std::vector<FileRow> rows) {
    beginResetModel();
    files_ = std::move(rows);
    Reset(VIEW_FILES, files_.size());
    endResetModel();
}

void CGantryViewModel::ShowFiles(const CFileDatabase& db, const CPackage* filter) {
    beginResetModel();
    FillFileRows(db, filter, files_);
    Reset(VIEW_FILES, files_.size());
    endResetModel();
}

// A row is known by its object and the package it is listed under, which survive the sort.
CGantryViewModel::RowKey CGantryViewModel::KeyOf(int row) const {
    if (view_ == VIEW_FILES) {
        const FileRow& file = FileAt(row);
        return {file.node.get(), file.package.get()};
    }
    if (view_ == VIEW_SERVER)
        return {OfferedAt(row).package.get(), nullptr};
    return {PackageAt(row).package.get(), nullptr};
}

std::vector<CGantryViewModel::RowKey> CGantryViewModel::KeysOf(const std::vector<int>& rows) const {
    std::vector<RowKey> keys;
    keys.reserve(rows.size());
    for (const int row : rows)
        if (row >= 0 && row < rowCount())
            keys.push_back(KeyOf(row));
    return keys;
}

std::vector<int> CGantryViewModel::RowsOf(const std::vector<RowKey>& keys) const {
    std::vector<int> rows;
    if (keys.empty())
        return rows;
    const std::unordered_set<RowKey, RowKeyHash> wanted(keys.begin(), keys.end());
    for (int row = 0; row < rowCount(); ++row)
        if (wanted.count(KeyOf(row)) != 0)
            rows.push_back(row);
    return rows;
}

bool CGantryViewModel::SortBy(int column) {
    if (view_ == VIEW_SERVER)
        return false;
    emit layoutAboutToBeChanged();
    // The selection follows its rows through the move: each persistent index is known by the
    // position of its row, which the sort does not move.
    const QModelIndexList before = persistentIndexList();
    std::vector<uint32_t> positions;
    positions.reserve(size_t(before.size()));
    for (const QModelIndex& index : before)
        positions.push_back(order_[size_t(index.row())]);
    const bool sorted = view_ == VIEW_FILES ? SortFileOrder(files_, column, order_)
                                            : SortPackageOrder(packages_, column, order_);
    QModelIndexList after;
    if (!before.isEmpty()) {
        std::vector<int> rowAt(order_.size());
        for (size_t row = 0; row < order_.size(); ++row)
            rowAt[order_[row]] = int(row);
        for (qsizetype i = 0; i < before.size(); ++i)
            after.push_back(index(rowAt[positions[size_t(i)]], before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
    return sorted;
}

int CGantryViewModel::ColumnWidth(int column) const {
    return column >= 0 && column < columnCount() ? ColumnsOf(view_)[size_t(column)].width : 0;
}

int CGantryViewModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return int(order_.size());
}

int CGantryViewModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    switch (view_) {
    case VIEW_SERVER:
        return OC_COUNT;
    case VIEW_PACKAGES:
        return PC_COUNT;
    default:
        return FC_COUNT;
    }
}

const String* CGantryViewModel::Text(int row, int column) const {
    switch (view_) {
    case VIEW_SERVER: {
        const OfferedRow& o = OfferedAt(row);
        const String* texts[] = {&o.name, &o.priorityText, &o.statusText, &o.zipSizeText,
                                 &o.action};
        return texts[column];
    }
    case VIEW_PACKAGES: {
        const PackageRow& p = PackageAt(row);
        const String* texts[] = {&p.name,         &p.statusText,  &p.sizeText,
                                 &p.filesFolders, &p.installDate, &p.shared};
        return texts[column];
    }
    default: {
        const FileRow& f = FileAt(row);
        const String* texts[] = {&f.name,     &f.statusText, &f.folderPath,
                                 &f.sizeText, &f.crcText,    &f.packageName};
        return texts[column];
    }
    }
}

int CGantryViewModel::IconOf(int row) const {
    switch (view_) {
    case VIEW_SERVER:
        return OfferedAt(row).icon;
    case VIEW_PACKAGES:
        return PackageAt(row).icon;
    default:
        return FileAt(row).icon;
    }
}

bool CGantryViewModel::RightAligned(int column) const {
    return ColumnsOf(view_)[size_t(column)].right;
}

QVariant CGantryViewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: {
        const String& text = *Text(index.row(), index.column());
        switch (ColumnsOf(view_)[size_t(index.column())].kept) {
        case Kept::SERVER:
            return FromNetwork(text);
        case Kept::PATH:
            return ShownPath(text);
        default:
            return FromLocal(text);
        }
    }
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(icons_.Icon(IconOf(index.row()))) : QVariant();
    case Qt::TextAlignmentRole:
        return int((RightAligned(index.column()) ? Qt::AlignRight : Qt::AlignLeft) |
                   Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant CGantryViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QVariant();
    const Column& column = ColumnsOf(view_)[size_t(section)];
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(column.title);
    if (role == Qt::TextAlignmentRole)
        return int((column.right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return QVariant();
}

} // namespace quillory::ui
