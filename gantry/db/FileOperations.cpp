// Operations on the game folder through the database: activating, deactivating, uninstalling,
// dissolving and unbinding.
#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/Walk.h"

#include <vector>

namespace quillory {

namespace {

constexpr uint16_t kPseudoFlags = NF_CORE | NF_UNKNOWN_FILE | NF_UNKNOWN_ADDON;

// One path segment that cannot climb out of its folder.
bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("\\/") == std::string_view::npos;
}

// The names from the root down to the node must stay inside the game folder, whatever a
// database file read from disk may hold.
bool HasPlainPath(const CFileNode& node) {
    for (const CFileNode* n = &node; n->parent; n = n->parent) {
        std::string_view name = n->name;
        if (n->IsFolder() && name.ends_with('\\'))
            name.remove_suffix(1);
        if (!IsPlainName(name))
            return false;
        if (!n->IsFolder() && !IsPlainName(n->diskName))
            return false;
    }
    return true;
}

bool IsActivatableFile(const CFileNode& node, uint16_t status) {
    return !node.IsFolder() && node.status == status && node.parent && HasPlainPath(node);
}

bool IsPseudo(const CFileDatabase& db, const CPackage& package) {
    return &package == db.coreFiles.get() || &package == db.unknownFiles.get() ||
           &package == db.unknownAddons.get();
}

void RemoveFromList(CFileDatabase& db, const CPackage& package) {
    for (auto it = db.packages.begin(); it != db.packages.end(); ++it) {
        if (it->get() == &package) {
            db.packages.erase(it);
            return;
        }
    }
}

// A node that nothing holds goes back to a pseudo-package. A pseudo-package flag on such a
// node is left over from a scan that dropped it and holds nothing, so it does not stop that.
void ClassifyUnheld(CFileDatabase& db, const Handle<CFileNode>& node) {
    if (node->bindCount != 0)
        return;
    node->flags &= static_cast<uint16_t>(~kPseudoFlags);
    db.Classify(node->RelativePath(), node);
}

// Nothing may carry a deletion mark except what this uninstall marks itself.
void ClearDeleteMarks(CFileNode& folder) {
    for (const auto& child : folder.children) {
        child->flags &= static_cast<uint16_t>(~NF_DELETE);
        ClearDeleteMarks(*child);
    }
}

bool RenameToActive(CFileNode& node) {
    const String folder = node.FolderPath();
    if (platform::RenamePath(folder + node.diskName, folder + node.name) != platform::FsResult::Ok)
        return false;
    node.status = NS_ACTIVE;
    node.diskName = node.name;
    return true;
}

// Whether `diskName` is the only entry of the folder that holds `name` in any letter case; a
// file the database does not know would still block the name after the known one moved aside.
bool OnlyHolderOfName(const String& folder, const String& name, const String& diskName) {
    bool onlyHolder = true;
    const platform::WalkResult result =
        platform::Walk(folder, name, [&](const platform::WalkEntry& entry) {
            onlyHolder = entry.name == diskName;
            return onlyHolder;
        });
    return result != platform::WalkResult::Failed && onlyHolder;
}

} // namespace

void CFileDatabase::DeactivateFile(CFileNode& node) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (!IsActivatableFile(node, NS_ACTIVE))
        return;
    const String folder = node.FolderPath();
    const String inactiveName = node.InactiveName();
    if (platform::RenamePath(folder + node.diskName, folder + inactiveName) !=
        platform::FsResult::Ok)
        return;
    node.status = NS_INACTIVE;
    node.diskName = inactiveName;
}

void CFileDatabase::ActivateFile(CFileNode& node) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (!IsActivatableFile(node, NS_INACTIVE))
        return;
    const String folder = node.FolderPath();
    const platform::FsResult result =
        platform::RenamePath(folder + node.diskName, folder + node.name);
    if (result == platform::FsResult::Ok) {
        node.status = NS_ACTIVE;
        node.diskName = node.name;
        return;
    }
    if (result != platform::FsResult::AlreadyExists)
        return;
    // Another version holds the active name: step it aside, if the database knows it.
    for (const auto& sibling : node.parent->children) {
        if (sibling.get() == &node || sibling->IsFolder() || sibling->status != NS_ACTIVE ||
            !EqualsNoCase(sibling->name, node.name))
            continue;
        if (!OnlyHolderOfName(folder, node.name, sibling->diskName))
            return;
        DeactivateFile(*sibling);
        if (sibling->status != NS_INACTIVE)
            return;
        // Put the other version back rather than leave the game without either.
        if (!RenameToActive(node))
            RenameToActive(*sibling);
        return;
    }
}

void CFileDatabase::DeactivatePackage(CPackage& package) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    // An offered package's members hold empty slots for its folders and its missing files.
    for (const auto& member : package.members)
        if (member)
            DeactivateFile(*member);
}

void CFileDatabase::ActivatePackage(CPackage& package) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    for (const auto& member : package.members)
        if (member)
            ActivateFile(*member);
}

int CFileDatabase::DeleteMarked(CFileNode& folder) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    int count = 0;
    for (const auto& child : folder.children) {
        if (child->IsFolder())
            count += DeleteMarked(*child);
        if (!(child->flags & NF_DELETE))
            continue;
        child->flags &= static_cast<uint16_t>(~NF_DELETE);
        if (!HasPlainPath(*child))
            continue;
        platform::FsResult result;
        if (child->IsFolder()) {
            const String name = child->name.substr(0, child->name.size() - 1);
            result = platform::RemoveEmptyDirectory(folder.AbsolutePath() + name);
        } else {
            result = platform::RemoveFile(folder.AbsolutePath() + child->diskName);
        }
        if (result == platform::FsResult::Ok) {
            child->status = NS_MISSING;
            ++count;
        }
    }
    return count;
}

bool CFileDatabase::UninstallPackage(const Handle<CPackage>& package) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (!package || IsPseudo(*this, *package) || !root)
        return false;
    ClearDeleteMarks(*root);
    int marked = 0;
    for (size_t i = package->members.size(); i-- > 0;) {
        CFileNode& member = *package->members[i];
        if (member.bindCount != 1 || member.status == NS_MISSING)
            continue;
        member.flags |= NF_DELETE;
        ++marked;
    }
    const int removed = DeleteMarked(*root);
    if (removed != marked)
        return false;
    for (size_t i = package->members.size(); i-- > 0;)
        package->RemoveAt(static_cast<int>(i));
    RemoveFromList(*this, *package);
    return true;
}

void CFileDatabase::DissolvePackage(const Handle<CPackage>& package) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (!package || IsPseudo(*this, *package))
        return;
    for (size_t i = package->members.size(); i-- > 0;) {
        const Handle<CFileNode> member = package->members[i];
        package->RemoveAt(static_cast<int>(i));
        if (member->status != NS_MISSING)
            ClassifyUnheld(*this, member);
    }
    RemoveFromList(*this, *package);
}

void CFileDatabase::UnbindMember(CPackage& package, CFileNode& node) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (IsPseudo(*this, package))
        return;
    const int index = package.IndexOf(&node);
    if (index < 0)
        return;
    const Handle<CFileNode> held = package.members[static_cast<size_t>(index)];
    package.RemoveAt(index);
    ClassifyUnheld(*this, held);
}

void CFileDatabase::CleanUpAfterUninstall() {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (root)
        root->Prune();
    LocateAddonFolders();
    CollectModFolders();
}

} // namespace quillory
