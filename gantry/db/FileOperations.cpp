// Operations on the game folder through the database: activating, deactivating, uninstalling,
// dissolving and unbinding.
#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/NameIndex.h"
#include "platform/Walk.h"

#include <algorithm>
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

bool IsPseudo(const CFileDatabase& db, const CPackage& package) {
    return &package == db.CoreFiles().get() || &package == db.UnknownFiles().get() ||
           &package == db.UnknownAddons().get();
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

bool RenameToActive(CFileNode& node, platform::CNameIndex* index) {
    const String folder = node.FolderPath();
    if (platform::RenamePath(folder + node.diskName, folder + node.name, index) !=
        platform::FsResult::Ok)
        return false;
    node.status = NS_ACTIVE;
    node.diskName = node.name;
    return true;
}

// Whether `diskName` is the only entry of the folder that holds `name` in any letter case; a
// file the database does not know would still block the name after the known one moved aside.
bool OnlyHolderOfName(const String& folder, const String& name, const String& diskName,
                      platform::CNameIndex* index) {
    if (index) {
        const std::vector<std::string> holders =
            index->FindAll(platform::ResolveCase(folder, index), name);
        return std::all_of(holders.begin(), holders.end(),
                           [&](const std::string& holder) { return holder == diskName; });
    }
    bool onlyHolder = true;
    const platform::WalkResult result =
        platform::Walk(folder, name, [&](const platform::WalkEntry& entry) {
            onlyHolder = entry.name == diskName;
            return onlyHolder;
        });
    return result != platform::WalkResult::Failed && onlyHolder;
}

// Why a file cannot be renamed between its names, or Ok when it can.
platform::FsResult CheckRenamable(const CFileNode& node) {
    if (node.IsFolder() || !node.parent || !HasPlainPath(node))
        return platform::FsResult::AccessDenied;
    if (node.status == NS_MISSING)
        return platform::FsResult::FileNotFound;
    return platform::FsResult::Ok;
}

} // namespace

platform::FsResult CFileDatabase::DeactivateFile(CFileNode& node) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    const platform::FsResult check = CheckRenamable(node);
    if (check != platform::FsResult::Ok || node.status == NS_INACTIVE)
        return check;
    const String folder = node.FolderPath();
    const String inactiveName = node.InactiveName();
    const platform::FsResult result =
        platform::RenamePath(folder + node.diskName, folder + inactiveName, nameIndex_);
    if (result != platform::FsResult::Ok)
        return result;
    node.status = NS_INACTIVE;
    node.diskName = inactiveName;
    MarkChanged();
    return result;
}

platform::FsResult CFileDatabase::ActivateFile(CFileNode& node) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    const platform::FsResult check = CheckRenamable(node);
    if (check != platform::FsResult::Ok || node.status == NS_ACTIVE)
        return check;
    const String folder = node.FolderPath();
    const platform::FsResult result =
        platform::RenamePath(folder + node.diskName, folder + node.name, nameIndex_);
    if (result == platform::FsResult::Ok) {
        node.status = NS_ACTIVE;
        node.diskName = node.name;
        MarkChanged();
        return result;
    }
    if (result != platform::FsResult::AlreadyExists)
        return result;
    // Another version holds the active name: step it aside, if the database knows it.
    for (const auto& sibling : node.parent->children) {
        if (sibling.get() == &node || sibling->IsFolder() || sibling->status != NS_ACTIVE ||
            !EqualsNoCase(sibling->name, node.name))
            continue;
        if (!OnlyHolderOfName(folder, node.name, sibling->diskName, nameIndex_))
            return result;
        const platform::FsResult aside = DeactivateFile(*sibling);
        if (aside != platform::FsResult::Ok)
            return aside;
        // Put the other version back rather than leave the game without either.
        if (RenameToActive(node, nameIndex_)) {
            MarkChanged();
            return platform::FsResult::Ok;
        }
        RenameToActive(*sibling, nameIndex_);
        return platform::FsResult::AccessDenied;
    }
    return result;
}

size_t CFileDatabase::DeactivatePackage(CPackage& package) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    size_t stayed = 0;
    // An offered package's members hold empty slots for its folders and its missing files;
    // folders themselves are never renamed, so they do not count as files that stayed.
    for (const auto& member : package.members)
        if (member && !member->IsFolder() && member->status == NS_ACTIVE &&
            DeactivateFile(*member) != platform::FsResult::Ok)
            ++stayed;
    return stayed;
}

size_t CFileDatabase::ActivatePackage(CPackage& package) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    size_t stayed = 0;
    for (const auto& member : package.members)
        if (member && !member->IsFolder() && member->status == NS_INACTIVE &&
            ActivateFile(*member) != platform::FsResult::Ok)
            ++stayed;
    return stayed;
}

int CFileDatabase::DeleteMarked(CFileNode& folder, std::vector<String>* notDeleted) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    int count = 0;
    for (const auto& child : folder.children) {
        if (child->IsFolder())
            count += DeleteMarked(*child, notDeleted);
        if (!(child->flags & NF_DELETE))
            continue;
        child->flags &= static_cast<uint16_t>(~NF_DELETE);
        platform::FsResult result = platform::FsResult::AccessDenied;
        if (!HasPlainPath(*child)) {
            // Never deleted: the path would leave the game folder.
        } else if (child->IsFolder()) {
            const String name = child->name.substr(0, child->name.size() - 1);
            result = platform::RemoveEmptyDirectory(folder.AbsolutePath() + name, nameIndex_);
        } else {
            result = platform::RemoveFile(folder.AbsolutePath() + child->diskName, nameIndex_);
        }
        if (result == platform::FsResult::Ok) {
            child->status = NS_MISSING;
            MarkChanged();
            ++count;
        } else if (notDeleted) {
            notDeleted->push_back(child->RelativePath());
        }
    }
    return count;
}

bool CFileDatabase::UninstallPackage(const Handle<CPackage>& package,
                                     std::vector<String>* notDeleted) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (!package || IsPseudo(*this, *package) || !root_)
        return false;
    ClearDeleteMarks(*root_);
    int marked = 0;
    for (size_t i = package->members.size(); i-- > 0;) {
        CFileNode& member = *package->members[i];
        if (member.bindCount != 1 || member.status == NS_MISSING)
            continue;
        member.flags |= NF_DELETE;
        ++marked;
    }
    const int removed = DeleteMarked(*root_, notDeleted);
    if (removed != marked)
        return false;
    for (size_t i = package->members.size(); i-- > 0;)
        package->RemoveAt(static_cast<int>(i));
    RemovePackage(*package);
    MarkChanged();
    return true;
}

bool CFileDatabase::DissolvePackage(const Handle<CPackage>& package) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (!package || IsPseudo(*this, *package))
        return false;
    for (size_t i = package->members.size(); i-- > 0;) {
        const Handle<CFileNode> member = package->members[i];
        package->RemoveAt(static_cast<int>(i));
        if (member->status != NS_MISSING)
            ClassifyUnheld(*this, member);
    }
    RemovePackage(*package);
    MarkChanged();
    return true;
}

bool CFileDatabase::UnbindMember(CPackage& package, CFileNode& node) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (IsPseudo(*this, package))
        return false;
    const int index = package.IndexOf(&node);
    if (index < 0)
        return false;
    const Handle<CFileNode> held = package.members[static_cast<size_t>(index)];
    package.RemoveAt(index);
    ClassifyUnheld(*this, held);
    MarkChanged();
    return true;
}

void CFileDatabase::CleanUpAfterUninstall() {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (root_)
        root_->Prune();
    LocateAddonFolders();
    CollectModFolders();
}

} // namespace quillory
