#include "gantry/ui/GantryViewModel.h"

#include "ui/TextConversion.h"

#include <algorithm>
#include <array>
#include <unordered_map>
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

void CGantryViewModel::ShowOffered(std::vector<OfferedRow> rows) {
    beginResetModel();
    view_ = VIEW_SERVER;
    offered_ = std::move(rows);
    packages_.clear();
    files_.clear();
    endResetModel();
}

void CGantryViewModel::ShowPackages(std::vector<PackageRow> rows) {
    beginResetModel();
    view_ = VIEW_PACKAGES;
    packages_ = std::move(rows);
    offered_.clear();
    files_.clear();
    endResetModel();
}

void CGantryViewModel::ShowFiles(std::vector<FileRow> rows) {
    beginResetModel();
    view_ = VIEW_FILES;
    files_ = std::move(rows);
    offered_.clear();
    packages_.clear();
    endResetModel();
}

// A row is known by its object and the package it is listed under, which survive the sort.
CGantryViewModel::RowKey CGantryViewModel::KeyOf(int row) const {
    const size_t r = size_t(row);
    if (view_ == VIEW_FILES)
        return {files_[r].node.get(), files_[r].package.get()};
    if (view_ == VIEW_SERVER)
        return {offered_[r].package.get(), nullptr};
    return {packages_[r].package.get(), nullptr};
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
    // The selection follows its rows through the move.
    const QModelIndexList before = persistentIndexList();
    std::vector<RowKey> keys;
    keys.reserve(size_t(before.size()));
    for (const QModelIndex& index : before)
        keys.push_back(KeyOf(index.row()));
    const bool sorted =
        view_ == VIEW_FILES ? SortFileRows(files_, column) : SortPackageRows(packages_, column);
    QModelIndexList after;
    if (!before.isEmpty()) {
        std::unordered_map<RowKey, int, RowKeyHash> rows;
        rows.reserve(size_t(rowCount()));
        for (int row = 0; row < rowCount(); ++row)
            rows.emplace(KeyOf(row), row);
        for (qsizetype i = 0; i < before.size(); ++i) {
            const auto found = rows.find(keys[size_t(i)]);
            after.push_back(found == rows.end() ? QModelIndex()
                                                : index(found->second, before[i].column()));
        }
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
    switch (view_) {
    case VIEW_SERVER:
        return int(offered_.size());
    case VIEW_PACKAGES:
        return int(packages_.size());
    default:
        return int(files_.size());
    }
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
    const size_t r = size_t(row);
    switch (view_) {
    case VIEW_SERVER: {
        const OfferedRow& o = offered_[r];
        const String* texts[] = {&o.name, &o.priorityText, &o.statusText, &o.zipSizeText,
                                 &o.action};
        return texts[column];
    }
    case VIEW_PACKAGES: {
        const PackageRow& p = packages_[r];
        const String* texts[] = {&p.name,         &p.statusText,  &p.sizeText,
                                 &p.filesFolders, &p.installDate, &p.shared};
        return texts[column];
    }
    default: {
        const FileRow& f = files_[r];
        const String* texts[] = {&f.name,     &f.statusText, &f.folderPath,
                                 &f.sizeText, &f.crcText,    &f.packageName};
        return texts[column];
    }
    }
}

int CGantryViewModel::IconOf(int row) const {
    const size_t r = size_t(row);
    switch (view_) {
    case VIEW_SERVER:
        return offered_[r].icon;
    case VIEW_PACKAGES:
        return packages_[r].icon;
    default:
        return files_[r].icon;
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
