#include "gantry/db/ViewRows.h"

#include "common/AsciiCase.h"
#include "common/NumberText.h"

#include <algorithm>
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

FileRow MakeFileRow(const Handle<CFileNode>& node, const Handle<CPackage>& package,
                    CFolderPaths& folders) {
    FileRow row;
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
    return row;
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

std::vector<uint32_t> Positions(size_t count) {
    std::vector<uint32_t> order(count);
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    return order;
}

// Sorts positions rather than the rows themselves, which are heavy to move.
template <typename Row, typename Less> void SortRows(std::vector<Row>& rows, Less less) {
    std::vector<uint32_t> order = Positions(rows.size());
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return less(rows[a], rows[b]); });
    ApplyOrder(rows, order);
}

// Sorts by a text key made once per row. Comparing compact keys side by side, instead of
// reaching into 100,000 large rows in random order, keeps the sort in the cache.
template <typename Row, typename KeyOf> void SortRowsByKey(std::vector<Row>& rows, KeyOf keyOf) {
    std::vector<String> keys;
    keys.reserve(rows.size());
    for (const Row& row : rows)
        keys.push_back(keyOf(row));
    std::vector<uint32_t> order = Positions(rows.size());
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
    ApplyOrder(rows, order);
}

// Folders first, then the name ignoring case: the order of the File column.
String FileNameKey(const FileRow& row) {
    String key(1, row.folder ? '0' : '1');
    key += LowerAscii(row.name);
    return key;
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
    CFolderPaths folders;
    // One reservation for all packages: growing per package would move every row made so far
    // once per package.
    size_t count = 0;
    for (const auto& package : db.Packages())
        if (!filter || package.get() == filter)
            count += package->members.size();
    rows.reserve(count);
    for (const auto& package : db.Packages()) {
        if (filter && package.get() != filter)
            continue;
        for (const auto& node : package->members)
            if (node)
                rows.push_back(MakeFileRow(node, package, folders));
    }
    return rows;
}

bool SortFileRows(std::vector<FileRow>& rows, int column) {
    switch (column) {
    case FC_FILE:
        SortRowsByKey(rows, FileNameKey);
        return true;
    case FC_STATUS:
        SortRows(rows, [](const FileRow& a, const FileRow& b) { return a.status > b.status; });
        return true;
    case FC_PATH:
        SortRowsByKey(rows, [](const FileRow& row) { return LowerAscii(row.folderPath); });
        return true;
    case FC_SIZE:
        SortRows(rows, [](const FileRow& a, const FileRow& b) { return a.size > b.size; });
        return true;
    case FC_CRC:
        SortRows(rows, [](const FileRow& a, const FileRow& b) { return a.crc < b.crc; });
        return true;
    default:
        return false;
    }
}

bool SortPackageRows(std::vector<PackageRow>& rows, int column) {
    switch (column) {
    case PC_PACKAGE:
        SortRows(rows, [](const PackageRow& a, const PackageRow& b) {
            return CompareNoCase(a.name, b.name) < 0;
        });
        return true;
    case PC_STATUS:
        SortRows(rows,
                 [](const PackageRow& a, const PackageRow& b) { return a.status < b.status; });
        return true;
    case PC_SIZE:
        SortRows(rows, [](const PackageRow& a, const PackageRow& b) {
            return a.totalSize > b.totalSize;
        });
        return true;
    case PC_FILES:
        SortRows(rows, [](const PackageRow& a, const PackageRow& b) {
            if (a.fileCount != b.fileCount)
                return a.fileCount > b.fileCount;
            return a.folderCount > b.folderCount;
        });
        return true;
    case PC_DATE:
        SortRows(rows, [](const PackageRow& a, const PackageRow& b) {
            return a.installed > b.installed;
        });
        return true;
    case PC_SHARED:
        SortRows(rows, [](const PackageRow& a, const PackageRow& b) {
            return a.sharedCount > b.sharedCount;
        });
        return true;
    default:
        return false;
    }
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
