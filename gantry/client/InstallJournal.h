#pragma once
// What one install changed, in the order it changed it, so that a failed or cancelled install
// can be undone: the files it wrote are removed, the files it renamed get their names back, the
// folders it made are removed, and the tree and the package lists are as they were.

#include "common/Types.h"
#include "gantry/db/FileDatabase.h"
#include "platform/NameIndex.h"

#include <unordered_set>
#include <vector>

namespace quillory {

class CInstallJournal final {
public:
    CInstallJournal() = default;
    CInstallJournal(const CInstallJournal&) = delete;
    CInstallJournal& operator=(const CInstallJournal&) = delete;

    // A node the install added to the tree.
    void Created(const Handle<CFileNode>& node);
    // A node that was there before, about to change (its state is kept the first time).
    void Touched(const Handle<CFileNode>& node);
    bool IsCreated(const CFileNode* node) const { return created_.count(node) != 0; }
    // A file node the install is writing to disk (found missing, or new).
    void Written(const Handle<CFileNode>& node);
    // A folder the install made on disk (new, or found missing).
    void FolderMade(const Handle<CFileNode>& node);
    // A node appended to "<Core files>".
    void CoreAdded(const Handle<CFileNode>& node);
    // A node about to be taken out of an unknown pseudo-package at `index` of its members.
    void Unbound(const Handle<CPackage>& from, const Handle<CFileNode>& node, int index);

    // Undoes everything noted and takes `package` (listed by the install) out of the database.
    // The paths that could not be put back go to `notRestored`.
    void Undo(CFileDatabase& db, const Handle<CPackage>& package, platform::CNameIndex& names,
              std::vector<String>& notRestored);

private:
    struct NodeBefore {
        Handle<CFileNode> node;
        uint16_t status;
        uint16_t flags;
        String diskName;
        FileTime modified;
    };
    struct UnboundMember {
        Handle<CPackage> from;
        Handle<CFileNode> node;
        int index;
    };

    void RemoveWrittenFiles(platform::CNameIndex& names, std::vector<String>& notRestored);
    void RenameBack(uint16_t status, platform::CNameIndex& names, std::vector<String>& notRestored);
    void RemoveMadeFolders(platform::CNameIndex& names, std::vector<String>& notRestored);
    void RestoreDatabase(CFileDatabase& db, const Handle<CPackage>& package);

    std::vector<Handle<CFileNode>> createdOrder_;
    std::unordered_set<const CFileNode*> created_;
    std::vector<NodeBefore> before_;
    std::unordered_set<const CFileNode*> touched_;
    std::vector<Handle<CFileNode>> written_;
    std::vector<Handle<CFileNode>> foldersMade_;
    std::vector<Handle<CFileNode>> coreAdded_;
    std::vector<UnboundMember> unbound_;
};

} // namespace quillory
