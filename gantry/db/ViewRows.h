#pragma once
// The rows of the Gantry manager's three views (offered packages, installed packages, files),
// with their shown texts and raw sort keys computed once per refill. Rows hold shared handles,
// so a prune or an uninstall never leaves one pointing at a freed node. The manager window's
// models and `quillory-cli gantry` print from the same rows.

#include "common/FileTime.h"
#include "common/Types.h"
#include "gantry/db/FileDatabase.h"

#include <cstdint>
#include <vector>

namespace quillory {

struct OfferedRow {
    Handle<CPackage> package;
    String name;
    String priorityText;
    String statusText;
    String zipSizeText;
    String action; // "Download" when flagged
    int icon = 0;
};

struct PackageRow {
    Handle<CPackage> package;
    String name;
    String statusText;
    String sizeText;
    String filesFolders;
    String installDate;
    String shared;
    uint32_t status = 0;
    uint64_t totalSize = 0;
    uint32_t fileCount = 0;
    uint32_t folderCount = 0;
    uint32_t sharedCount = 0;
    FileTime installed = 0;
    int icon = 0;
};

struct FileRow {
    Handle<CFileNode> node;
    Handle<CPackage> package; // the package the row is listed under
    String name;
    String statusText;
    String folderPath;
    String sizeText;
    String crcText;
    String packageName;
    bool folder = false;
    uint16_t status = 0;
    uint32_t size = 0;
    uint32_t crc = 0;
    int icon = 0;
};

// The server view: what the offered list holds, compared with the database.
struct OfferedView {
    std::vector<OfferedRow> rows;
    uint64_t bytesToDownload = 0; // archive sizes of the flagged packages
    bool anyFlagged = false;
};

enum FileColumn { FC_FILE, FC_STATUS, FC_PATH, FC_SIZE, FC_CRC, FC_PACKAGE, FC_COUNT };
enum PackageColumn { PC_PACKAGE, PC_STATUS, PC_SIZE, PC_FILES, PC_DATE, PC_SHARED, PC_COUNT };
enum OfferedColumn { OC_PACKAGE, OC_PRIORITY, OC_STATUS, OC_ZIP_SIZE, OC_ACTION, OC_COUNT };

// Compares every offered package with the database and builds its row.
OfferedView FillOfferedView(CFileDatabase& db);
// Computes every package's status and builds its row, in list order.
std::vector<PackageRow> FillPackageRows(const CFileDatabase& db);
// The members of `filter`, or of every package in list order when it is null; a node held by
// several packages gives one row per package.
std::vector<FileRow> FillFileRows(const CFileDatabase& db, const CPackage* filter);
// The same into `rows`, whose rows and texts are written over in place: a refill of a view of
// as many rows allocates next to nothing.
void FillFileRows(const CFileDatabase& db, const CPackage* filter, std::vector<FileRow>& rows);

// The order of rows shown is kept apart from the rows: `order` holds positions into `rows`, and
// a sort rearranges only the positions, stably, by a column as the manager does (always one
// direction per column). False (order untouched) for a column that does not sort.
bool SortFileOrder(const std::vector<FileRow>& rows, int column, std::vector<uint32_t>& order);
bool SortPackageOrder(const std::vector<PackageRow>& rows, int column,
                      std::vector<uint32_t>& order);
// 0, 1, 2, ... `count` - 1: rows in the order they were filled.
std::vector<uint32_t> FillOrder(size_t count);

// The rows themselves rearranged, for a caller that has no use for a separate order. False
// (rows untouched) for a column that does not sort.
bool SortFileRows(std::vector<FileRow>& rows, int column);
bool SortPackageRows(std::vector<PackageRow>& rows, int column);

// "Optional" for 0-3, "Recommended" for 4-6, "Required" from 7 on.
String PriorityText(uint32_t priority);
// Hundredths of a megabyte of 10,485 bytes, with "," between thousands: "117.74 MB".
String MegabyteText(uint64_t bytes);

} // namespace quillory
