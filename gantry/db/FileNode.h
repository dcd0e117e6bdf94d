#pragma once
// One folder or file of the game installation, held through shared handles.

#include "common/FileTime.h"
#include "common/Types.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace quillory {

enum NodeStatus : uint16_t {
    NS_MISSING = 0,
    NS_ACTIVE = 1,
    NS_INACTIVE = 2,
};

enum NodeFlags : uint16_t {
    NF_CORE = 0x02,          // bound to "<Core files>"
    NF_UNKNOWN_FILE = 0x04,  // bound to "<Unknown files>"
    NF_UNKNOWN_ADDON = 0x08, // bound to "<Unknown addons>"
    NF_FOLDER = 0x10,
    NF_DELETE = 0x20, // marked for deletion by an uninstall
};

// Keeps the root alive through any number of pruning passes.
constexpr uint32_t ROOT_BIND_COUNT = 0x7FFFFFFF;

class CFileNode final {
public:
    CFileNode* parent = nullptr; // not owning
    uint32_t mark = 0;           // save sequence number, or last scan pass that saw the node
    String name;                 // a folder's name ends with "\"; a file's is its active name
    String diskName;             // files: the name on disk now; empty for folders
    uint16_t status = NS_ACTIVE;
    uint16_t flags = 0;
    uint32_t bindCount = 0; // how many package member lists hold this node
    uint32_t size = 0;
    uint32_t crc = 0;
    FileTime modified = 0;
    HandleArray<CFileNode> children;

    // Written out so that a new node is not first zero-filled whole (value-initialisation of a
    // defaulted constructor) before its members are set: a load makes 100,000 of them.
    CFileNode() {}
    // A node made with its names, as a load makes them: each name is written once.
    CFileNode(std::string_view nodeName, std::string_view nodeDiskName)
        : name(nodeName), diskName(nodeDiskName) {}
    // Children that outlive their folder (held by a package or an offered list) lose their parent.
    ~CFileNode();
    CFileNode(const CFileNode&) = delete;
    CFileNode& operator=(const CFileNode&) = delete;

    bool IsFolder() const { return (flags & NF_FOLDER) != 0; }

    // Makes a child of this folder: parent set, appended to `children`.
    Handle<CFileNode> AddChild(const String& childName, uint16_t childFlags);

    // Names from the root down to this node, root included; a folder's ends with "\".
    String AbsolutePath() const;
    // AbsolutePath of the parent; empty for the root.
    String FolderPath() const;
    // Names from just below the root down to this node; empty for the root.
    String RelativePath() const;
    // RelativePath of the parent; empty for the root.
    String RelativeFolderPath() const;

    // Looks up `path` (relative to this folder); files must match size and CRC.
    Handle<CFileNode> Find(const String& path, uint32_t size, uint32_t crc,
                           bool includeMissing) const;
    // Looks for `name` among the children and grandchildren.
    Handle<CFileNode> FindNearby(const String& name, uint32_t size, uint32_t crc) const;

    // Drops unreferenced children; true while this node is still referenced.
    bool Prune();
    // Takes a child out of this folder; a holder elsewhere keeps it, detached.
    void RemoveChildAt(size_t index);
    // Every node below this one in pre-order (this node excluded).
    void CollectHandles(HandleArray<CFileNode>& list) const;
    void CollectPointers(std::vector<CFileNode*>& list) const;

    // name + "." + CrcText + ".aab".
    String InactiveName() const;
    // The active name that a name found on disk stands for.
    static String ActiveNameOf(const String& diskName);

    String StatusText() const;
    String SizeText() const;
    String CrcText() const;
    // Kilobytes rounded up, with thousands separators and " KB".
    static String SizeTextOf(uint64_t bytes);
};

} // namespace quillory
