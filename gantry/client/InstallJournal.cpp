#include "gantry/client/InstallJournal.h"

#include "platform/FileSystem.h"

#include <algorithm>

namespace quillory {

void CInstallJournal::Created(const Handle<CFileNode>& node) {
    createdOrder_.push_back(node);
    created_.insert(node.get());
}

void CInstallJournal::Touched(const Handle<CFileNode>& node) {
    if (IsCreated(node.get()) || !touched_.insert(node.get()).second)
        return;
    before_.push_back({node, node->status, node->flags, node->diskName, node->modified});
}

void CInstallJournal::Written(const Handle<CFileNode>& node) {
    Touched(node);
    written_.push_back(node);
}

void CInstallJournal::FolderMade(const Handle<CFileNode>& node) {
    Touched(node);
    foldersMade_.push_back(node);
}

void CInstallJournal::CoreAdded(const Handle<CFileNode>& node) {
    coreAdded_.push_back(node);
}

void CInstallJournal::Unbound(const Handle<CPackage>& from, const Handle<CFileNode>& node,
                              int index) {
    Touched(node);
    unbound_.push_back({from, node, index});
}

void CInstallJournal::Undo(CFileDatabase& db, const Handle<CPackage>& package,
                           platform::CNameIndex& names, std::vector<String>& notRestored) {
    RemoveWrittenFiles(names, notRestored);
    // Files that were inactive give the active names back first; then the files this install
    // stepped aside can take them again.
    RenameBack(NS_INACTIVE, names, notRestored);
    RenameBack(NS_ACTIVE, names, notRestored);
    RemoveMadeFolders(names, notRestored);
    RestoreDatabase(db, package);
}

void CInstallJournal::RemoveWrittenFiles(platform::CNameIndex& names,
                                         std::vector<String>& notRestored) {
    for (auto it = written_.rbegin(); it != written_.rend(); ++it) {
        const CFileNode& node = **it;
        if (node.status == NS_MISSING)
            continue; // a copy that failed is removed where it failed
        // Wherever it is now: activation may have renamed it.
        if (platform::RemoveFile(node.FolderPath() + node.diskName, &names) !=
            platform::FsResult::Ok)
            notRestored.push_back(node.RelativePath());
    }
}

void CInstallJournal::RenameBack(uint16_t status, platform::CNameIndex& names,
                                 std::vector<String>& notRestored) {
    for (auto it = before_.rbegin(); it != before_.rend(); ++it) {
        CFileNode& node = *it->node;
        if (node.IsFolder() || it->status != status || node.status == NS_MISSING ||
            node.diskName == it->diskName)
            continue;
        const String folder = node.FolderPath();
        if (platform::RenamePath(folder + node.diskName, folder + it->diskName, &names) !=
            platform::FsResult::Ok)
            notRestored.push_back(node.RelativePath());
    }
}

void CInstallJournal::RemoveMadeFolders(platform::CNameIndex& names,
                                        std::vector<String>& notRestored) {
    // Made top-down, so removed bottom-up.
    for (auto it = foldersMade_.rbegin(); it != foldersMade_.rend(); ++it) {
        String path = (*it)->AbsolutePath();
        path.pop_back(); // without its trailing '\'
        if (platform::RemoveEmptyDirectory(path, &names) != platform::FsResult::Ok)
            notRestored.push_back((*it)->RelativePath());
    }
}

void CInstallJournal::RestoreDatabase(CFileDatabase& db, const Handle<CPackage>& package) {
    if (package) {
        for (size_t i = package->members.size(); i-- > 0;)
            package->RemoveAt(static_cast<int>(i));
        db.RemovePackage(*package);
    }
    // Appended in this order, so each is the last member when its turn comes.
    for (auto it = coreAdded_.rbegin(); it != coreAdded_.rend(); ++it) {
        HandleArray<CFileNode>& members = db.CoreFiles()->members;
        if (!members.empty() && members.back() == *it)
            db.CoreFiles()->RemoveAt(static_cast<int>(members.size() - 1));
    }
    for (auto it = unbound_.rbegin(); it != unbound_.rend(); ++it) {
        HandleArray<CFileNode>& members = it->from->members;
        const size_t at = std::min(static_cast<size_t>(it->index), members.size());
        members.insert(members.begin() + static_cast<std::ptrdiff_t>(at), it->node);
        ++it->node->bindCount;
    }
    for (const NodeBefore& before : before_) {
        before.node->status = before.status;
        before.node->flags = before.flags;
        before.node->diskName = before.diskName;
        before.node->modified = before.modified;
    }
    // Appended to their folders in this order, so each is its folder's last child in turn.
    for (auto it = createdOrder_.rbegin(); it != createdOrder_.rend(); ++it) {
        CFileNode* parent = (*it)->parent;
        if (parent && !parent->children.empty() && parent->children.back() == *it)
            parent->RemoveChildAt(parent->children.size() - 1);
    }
    db.MarkChanged();
}

} // namespace quillory
