#pragma once
// A named set of files and folders of the installation, or an offered package of a Gantry server.

#include "common/FileTime.h"
#include "common/Types.h"
#include "gantry/db/FileNode.h"

#include <cstdint>

namespace quillory {

enum PackageStatus : uint32_t {
    PS_INACTIVE = 0,
    PS_INACTIVE_MISSING = 1,
    PS_ACTIVE = 2,
    PS_MISSING = 3,
    PS_PARTIAL = 4,
    PS_NO_FILES = 5,
    PS_PARTIAL_MISSING = 6,
};

enum OfferedStatus : uint32_t {
    OS_INSTALLED = 10,
    OS_PATH_DIFFERS = 11,
    OS_MISSING = 12,
    OS_NOT_INSTALLED = 13,
};

class CPackage {
public:
    CPackage();
    virtual ~CPackage();

    uint32_t fileCount = 0;
    uint32_t folderCount = 0;
    uint32_t sharedCount = 0;
    uint64_t totalSize = 0;
    uint32_t status = 0;
    uint8_t allFilesActive = 0;
    String name;
    String homePage;
    String text3;
    String text4;
    uint32_t priority = 0;
    FileTime installed = 0; // creation time unless loaded
    HandleArray<CFileNode> members;
    Handle<CFileNode> describedRoot;
    uint32_t archiveSize = 0;
    String archivePath;
    HandleArray<CFileNode> described;
    uint8_t needsDownload = 0;

    // Appends a member and raises its bindCount.
    void AddMember(const Handle<CFileNode>& node);
    // Position of the node in `members`, or -1.
    int IndexOf(const CFileNode* node) const;
    // Drops the member at `index` and lowers its bindCount; an index outside the list does nothing.
    void RemoveAt(int index);

    void ComputeStatus();
    String StatusText() const;
    String OfferedStatusText() const;
    // Kilobytes of `totalSize`, rounded up.
    String SizeText() const;
    // Short local date, one space, local time.
    String InstallDateText() const;
};

} // namespace quillory
