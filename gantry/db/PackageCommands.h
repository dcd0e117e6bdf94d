#pragma once
// The commands of the Gantry manager on files and packages, shared by the manager window and
// `quillory-cli gantry`: each checks its rules, acts on the database and returns what happened.
// Nothing here asks or prints; a command that needs a question says so and is run again
// confirmed.

#include "common/Types.h"
#include "gantry/db/CommandResult.h"
#include "gantry/db/FileDatabase.h"

#include <vector>

namespace quillory {

// A file-view row's node together with the package it is listed under.
struct ListedNode {
    Handle<CFileNode> node;
    Handle<CPackage> package;
};

// One entry of the "Bind to" list.
struct BindTarget {
    Handle<CPackage> package;
    bool enabled = true; // false for the pseudo-packages
};

class CPackageCommands final {
public:
    // The "Bind to" list stops after this many packages.
    static constexpr size_t BIND_TARGET_LIMIT = 200;
    static constexpr const char* NAME_MISSING_TEXT = "You need to specify a name";
    static constexpr const char* NAME_TAKEN_TEXT = "A package with this name already exists";

    explicit CPackageCommands(CFileDatabase& db) : db_(db) {}

    // Lookups.
    // The package named `name`: exactly, else the only one that matches ignoring case.
    Handle<CPackage> FindPackage(const String& name) const;
    bool IsPseudoPackage(const CPackage& package) const;
    // The nodes at `path` (relative to the game folder, "/" or "\", letter case ignored). A final
    // name that is a file's disk name picks that version; a file's active name gives every
    // version. Empty when the database has no such path.
    HandleArray<CFileNode> FindNodes(const String& path) const;
    // The packages a file can be bound to, in list order, at most BIND_TARGET_LIMIT.
    std::vector<BindTarget> BindTargets() const;
    // The folder a file-view row opens in the desktop shell: a folder itself, a file's folder.
    static String FolderToOpen(const CFileNode& node);

    // Package names.
    static String TrimName(const String& name);
    // Refused with NAME_MISSING_TEXT for an empty (trimmed) name when `emptyAllowed` is false,
    // with NAME_TAKEN_TEXT when a package other than `self` has the name ignoring case.
    CommandResult CheckName(const String& name, const CPackage* self, bool emptyAllowed) const;
    // A new package at the end of the list; `created` gets it when given.
    CommandResult CreatePackage(const String& name, const String& homePage,
                                Handle<CPackage>* created = nullptr);
    // Renames a real package (an empty name is accepted); the pseudo-packages stay as they are.
    CommandResult EditPackage(const Handle<CPackage>& package, const String& name,
                              const String& homePage);

    // Membership.
    // Lists each node in `target` too; a node already listed there is Unchanged.
    CommandResult Bind(const Handle<CPackage>& target, const HandleArray<CFileNode>& nodes);
    // As Bind, for rows of the file view: a row whose package no longer lists its node is left.
    CommandResult BindListed(const Handle<CPackage>& target, const std::vector<ListedNode>& rows);
    // Takes each node out of `package`; refused for a pseudo-package.
    CommandResult Unbind(const Handle<CPackage>& package, const HandleArray<CFileNode>& nodes);
    // Takes each row's node out of the package it is listed under; rows of a pseudo-package, or
    // whose package no longer lists them, stay.
    CommandResult UnbindListed(const std::vector<ListedNode>& rows);

    // Activation.
    CommandResult ActivateFiles(const HandleArray<CFileNode>& nodes);
    CommandResult DeactivateFiles(const HandleArray<CFileNode>& nodes);
    CommandResult ActivatePackages(const HandleArray<CPackage>& packages);
    // Asks first for "<Core files>" and "<Unknown files>", one question each.
    CommandResult DeactivatePackages(const HandleArray<CPackage>& packages, bool confirmed);
    // The questions DeactivatePackages asks before it goes on unconfirmed.
    std::vector<String> DeactivateQuestions(const HandleArray<CPackage>& packages) const;

    // Removing packages; refused when a pseudo-package is among them, asked when not confirmed.
    CommandResult DissolvePackages(const HandleArray<CPackage>& packages, bool confirmed);
    // Afterwards the tree is pruned and the add-on and mod folders are found again.
    CommandResult UninstallPackages(const HandleArray<CPackage>& packages, bool confirmed);
    // `packages` without the pseudo-packages, which the manager's commands skip.
    HandleArray<CPackage> WithoutPseudo(const HandleArray<CPackage>& packages) const;

    // Offered packages.
    static void SetDownloadFlags(const HandleArray<CPackage>& offered, bool flag);
    static void ToggleDownloadFlags(const HandleArray<CPackage>& offered);
    // After a download run: the add-on and mod folders as the installs left them.
    void AfterDownload();

private:
    using FileAction = platform::FsResult (CFileDatabase::*)(CFileNode&);
    CommandResult ChangeFiles(const HandleArray<CFileNode>& nodes, FileAction action);
    CommandResult RefusePseudo(const HandleArray<CPackage>& packages, const char* verb) const;

    CFileDatabase& db_;
};

} // namespace quillory
