#include "gantry/db/ViewRows.h"

#include "common/AsciiCase.h"
#include "common/NumberText.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace quillory {

namespace {

int OfferedIcon(uint32_t status) {
    switch (status) {
    case OS_INSTALLED:
        return 0;
    case OS_PATH_DIFFERS:
        return 8;
    case OS_MISSING:
        return 7;
    default:
        return 5; // not installed, or a status the server view does not know
    }
}

int PackageIcon(uint32_t status) {
    static constexpr int kIcons[] = {1, 3, 0, 2, 4, 5, 7};
    return status < std::size(kIcons) ? kIcons[status] : 5;
}

int FileIcon(const CFileNode& node) {
    if (node.IsFolder())
        return node.status == NS_MISSING ? 5 : 6;
    switch (node.status) {
    case NS_ACTIVE:
        return 0;
    case NS_INACTIVE:
        return 1;
    default:
        return 5;
    }
}

// A folder's path is shared by all of its files: built once per refill.
class CFolderPaths {
public:
    const String& Of(const CFileNode& node) {
        auto [it, added] = paths_.try_emplace(node.parent);
        if (added)
            it->second = node.RelativeFolderPath();
        return it->second;
    }

private:
    std::unordered_map<const CFileNode*, String> paths_;
};

// Writes the row over in place, so that its texts keep their memory when they fit.
void AssignFileRow(FileRow& row, const Handle<CFileNode>& node, const Handle<CPackage>& package,
                   CFolderPaths& folders) {
    row.node = node;
    row.package = package;
    row.name = node->name;
    row.statusText = node->StatusText();
    row.folderPath = folders.Of(*node);
    row.sizeText = node->SizeText();
    row.crcText = node->CrcText();
    row.packageName = package->name;
    row.folder = node->IsFolder();
    row.status = node->status;
    row.size = node->size;
    row.crc = node->crc;
    row.icon = FileIcon(*node);
}

// Moves each row once into the place `order` gives it.
template <typename Row>
void ApplyOrder(std::vector<Row>& rows, const std::vector<uint32_t>& order) {
    std::vector<Row> sorted;
    sorted.reserve(rows.size());
    for (uint32_t i : order)
        sorted.push_back(std::move(rows[i]));
    rows = std::move(sorted);
}

// A position with its key beside it: the sort compares and moves these small pairs in
// sequence, and never reaches into the large rows.
template <typename Key> struct Keyed {
    Key key;
    uint32_t row;
};

// Stably sorts `order` by a key made once per row; `less` compares two keys.
template <typename Row, typename KeyOf, typename Less>
void SortOrderByKey(const std::vector<Row>& rows, std::vector<uint32_t>& order, KeyOf keyOf,
                    Less less) {
    using Key = decltype(keyOf(rows.front()));
    std::vector<Keyed<Key>> keyed;
    keyed.reserve(order.size());
    for (const uint32_t row : order)
        keyed.push_back({keyOf(rows[row]), row});
    std::stable_sort(keyed.begin(), keyed.end(), [&less](const Keyed<Key>& a, const Keyed<Key>& b) {
        return less(a.key, b.key);
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        order[i] = keyed[i].row;
}

template <typename Row, typename KeyOf>
void SortOrderAscending(const std::vector<Row>& rows, std::vector<uint32_t>& order, KeyOf keyOf) {
    SortOrderByKey(rows, order, keyOf, [](auto a, auto b) { return a < b; });
}

template <typename Row, typename KeyOf>
void SortOrderDescending(const std::vector<Row>& rows, std::vector<uint32_t>& order, KeyOf keyOf) {
    SortOrderByKey(rows, order, keyOf, [](auto a, auto b) { return a > b; });
}

// Lower-case texts of every row laid end to end in one block, so that comparing them walks
// memory that sits together instead of a heap string per row.
class CTextKeys {
public:
    template <typename TextOf> CTextKeys(size_t rows, TextOf textOf) {
        starts_.reserve(rows + 1);
        for (size_t row = 0; row < rows; ++row) {
            starts_.push_back(uint32_t(text_.size()));
            textOf(row, text_);
        }
        starts_.push_back(uint32_t(text_.size()));
        for (char& c : text_)
            c = ToLowerAscii(c);
    }
    std::string_view Of(uint32_t row) const {
        return std::string_view(text_).substr(starts_[row], starts_[row + 1] - starts_[row]);
    }

private:
    std::string text_;
    std::vector<uint32_t> starts_;
};

// Folders first, then the name ignoring case: the order of the File column.
void SortByFileName(const std::vector<FileRow>& rows, std::vector<uint32_t>& order) {
    const CTextKeys keys(rows.size(), [&rows](size_t row, std::string& text) {
        text += rows[row].folder ? '0' : '1';
        text += rows[row].name;
    });
    SortOrderAscending(rows, order, [&keys, &rows](const FileRow& row) {
        return keys.Of(uint32_t(&row - rows.data()));
    });
}

// A folder's files share its path: the distinct paths are ranked once, and the rows sorted by
// their path's rank.
void SortByFolderPath(const std::vector<FileRow>& rows, std::vector<uint32_t>& order) {
    std::unordered_map<std::string_view, uint32_t> rankOf;
    std::vector<std::string_view> paths;
    for (const FileRow& row : rows)
        if (rankOf.try_emplace(row.folderPath, 0).second)
            paths.push_back(row.folderPath);
    const CTextKeys keys(paths.size(), [&paths](size_t i, std::string& text) { text += paths[i]; });
    std::vector<uint32_t> byPath = FillOrder(paths.size());
    std::stable_sort(byPath.begin(), byPath.end(),
                     [&keys](uint32_t a, uint32_t b) { return keys.Of(a) < keys.Of(b); });
    // Paths equal but for letter case share a rank, as they compare equal.
    uint32_t rank = 0;
    for (size_t i = 0; i < byPath.size(); ++i) {
        if (i > 0 && keys.Of(byPath[i]) != keys.Of(byPath[i - 1]))
            ++rank;
        rankOf[paths[byPath[i]]] = rank;
    }
    SortOrderAscending(rows, order,
                       [&rankOf](const FileRow& row) { return rankOf.at(row.folderPath); });
}

} // namespace

OfferedView FillOfferedView(CFileDatabase& db) {
    OfferedView view;
    for (const auto& package : db.OfferedPackages()) {
        db.CompareWithDatabase(*package);
        OfferedRow row;
        row.package = package;
        row.name = package->name;
        row.priorityText = PriorityText(package->priority);
        row.statusText = package->OfferedStatusText();
        row.zipSizeText = CFileNode::SizeTextOf(package->archiveSize);
        if (package->needsDownload) {
            row.action = "Download";
            view.bytesToDownload += package->archiveSize;
            view.anyFlagged = true;
        }
        row.icon = OfferedIcon(package->status);
        view.rows.push_back(std::move(row));
    }
    return view;
}

std::vector<PackageRow> FillPackageRows(const CFileDatabase& db) {
    std::vector<PackageRow> rows;
    rows.reserve(db.Packages().size());
    for (const auto& package : db.Packages()) {
        package->ComputeStatus();
        PackageRow row;
        row.package = package;
        row.name = package->name;
        row.statusText = package->StatusText();
        row.sizeText = package->SizeText();
        row.filesFolders =
            std::to_string(package->fileCount) + "/" + std::to_string(package->folderCount);
        row.installDate = package->InstallDateText();
        row.shared = std::to_string(package->sharedCount);
        row.status = package->status;
        row.totalSize = package->totalSize;
        row.fileCount = package->fileCount;
        row.folderCount = package->folderCount;
        row.sharedCount = package->sharedCount;
        row.installed = package->installed;
        row.icon = PackageIcon(package->status);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<FileRow> FillFileRows(const CFileDatabase& db, const CPackage* filter) {
    std::vector<FileRow> rows;
    FillFileRows(db, filter, rows);
    return rows;
}

void FillFileRows(const CFileDatabase& db, const CPackage* filter, std::vector<FileRow>& rows) {
    // Counted first, so that the rows are sized once: growing package by package would move
    // every row made so far once per package.
    size_t count = 0;
    for (const auto& package : db.Packages())
        if (!filter || package.get() == filter)
            for (const auto& node : package->members)
                count += node ? 1 : 0;
    rows.resize(count);
    CFolderPaths folders;
    size_t next = 0;
    for (const auto& package : db.Packages()) {
        if (filter && package.get() != filter)
            continue;
        for (const auto& node : package->members)
            if (node)
                AssignFileRow(rows[next++], node, package, folders);
    }
}

std::vector<uint32_t> FillOrder(size_t count) {
    std::vector<uint32_t> order(count);
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    return order;
}

bool SortFileOrder(const std::vector<FileRow>& rows, int column, std::vector<uint32_t>& order) {
    switch (column) {
    case FC_FILE:
        SortByFileName(rows, order);
        return true;
    case FC_STATUS:
        SortOrderDescending(rows, order, [](const FileRow& row) { return row.status; });
        return true;
    case FC_PATH:
        SortByFolderPath(rows, order);
        return true;
    case FC_SIZE:
        SortOrderDescending(rows, order, [](const FileRow& row) { return row.size; });
        return true;
    case FC_CRC:
        SortOrderAscending(rows, order, [](const FileRow& row) { return row.crc; });
        return true;
    default:
        return false;
    }
}

bool SortPackageOrder(const std::vector<PackageRow>& rows, int column,
                      std::vector<uint32_t>& order) {
    switch (column) {
    case PC_PACKAGE:
        SortOrderByKey(
            rows, order, [](const PackageRow& row) { return std::string_view(row.name); },
            [](std::string_view a, std::string_view b) { return CompareNoCase(a, b) < 0; });
        return true;
    case PC_STATUS:
        SortOrderAscending(rows, order, [](const PackageRow& row) { return row.status; });
        return true;
    case PC_SIZE:
        SortOrderDescending(rows, order, [](const PackageRow& row) { return row.totalSize; });
        return true;
    case PC_FILES:
        // Files, then folders: both counts in one key.
        SortOrderDescending(rows, order, [](const PackageRow& row) {
            return (uint64_t(row.fileCount) << 32) | row.folderCount;
        });
        return true;
    case PC_DATE:
        SortOrderDescending(rows, order, [](const PackageRow& row) { return row.installed; });
        return true;
    case PC_SHARED:
        SortOrderDescending(rows, order, [](const PackageRow& row) { return row.sharedCount; });
        return true;
    default:
        return false;
    }
}

bool SortFileRows(std::vector<FileRow>& rows, int column) {
    std::vector<uint32_t> order = FillOrder(rows.size());
    if (!SortFileOrder(rows, column, order))
        return false;
    ApplyOrder(rows, order);
    return true;
}

bool SortPackageRows(std::vector<PackageRow>& rows, int column) {
    std::vector<uint32_t> order = FillOrder(rows.size());
    if (!SortPackageOrder(rows, column, order))
        return false;
    ApplyOrder(rows, order);
    return true;
}

String PriorityText(uint32_t priority) {
    if (priority <= 3)
        return "Optional";
    return priority <= 6 ? "Recommended" : "Required";
}

String MegabyteText(uint64_t bytes) {
    String text = std::to_string(bytes / 10485);
    while (text.size() < 3)
        text.insert(0, "0");
    const size_t whole = text.size() - 2;
    return GroupThousands(text.substr(0, whole)) + "." + text.substr(whole) + " MB";
}

} // namespace quillory
