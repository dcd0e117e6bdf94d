#include "gantry/db/PackageCommands.h"

#include "common/AsciiCase.h"

#include <algorithm>
#include <memory>

namespace quillory {

namespace {

constexpr const char* kWhiteSpace = " \t\r\n\v\f";

String WithBackslashes(String path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    while (!path.empty() && path.front() == '\\')
        path.erase(0, 1);
    return path;
}

// The children of `folder` named `segment`: folders when `wantFolders`, else files by disk
// name (one version) or, failing that, by active name (every version).
void MatchSegment(const CFileNode& folder, const String& segment, bool last,
                  HandleArray<CFileNode>& found, const CFileNode*& next) {
    const String folderName = segment + "\\";
    for (const auto& child : folder.children) {
        if (!child->IsFolder() || !EqualsNoCase(child->name, folderName))
            continue;
        if (last)
            found.push_back(child);
        else if (!next)
            next = child.get();
    }
}

void MatchFile(const CFileNode& folder, const String& segment, HandleArray<CFileNode>& found) {
    for (const auto& child : folder.children)
        if (!child->IsFolder() && EqualsNoCase(child->diskName, segment))
            found.push_back(child);
    if (found.size() == 1)
        return;
    found.clear();
    for (const auto& child : folder.children)
        if (!child->IsFolder() && EqualsNoCase(child->name, segment))
            found.push_back(child);
}

} // namespace

Handle<CPackage> CPackageCommands::FindPackage(const String& name) const {
    Handle<CPackage> folded;
    int foldedCount = 0;
    for (const auto& package : db_.Packages()) {
        if (package->name == name)
            return package;
        if (EqualsNoCase(package->name, name)) {
            folded = package;
            ++foldedCount;
        }
    }
    return foldedCount == 1 ? folded : nullptr;
}

bool CPackageCommands::IsPseudoPackage(const CPackage& package) const {
    return &package == db_.CoreFiles().get() || &package == db_.UnknownFiles().get() ||
           &package == db_.UnknownAddons().get();
}

HandleArray<CFileNode> CPackageCommands::FindNodes(const String& path) const {
    HandleArray<CFileNode> found;
    const String rel = WithBackslashes(path);
    const CFileNode* folder = db_.Root().get();
    size_t start = 0;
    while (folder && start < rel.size()) {
        const size_t cut = rel.find('\\', start);
        const bool last = cut == String::npos || cut + 1 == rel.size();
        const String segment = rel.substr(start, cut == String::npos ? String::npos : cut - start);
        const CFileNode* next = nullptr;
        MatchSegment(*folder, segment, last, found, next);
        if (last && cut == String::npos && found.empty())
            MatchFile(*folder, segment, found);
        if (last)
            break;
        folder = next;
        start = cut + 1;
    }
    return found;
}

std::vector<BindTarget> CPackageCommands::BindTargets() const {
    std::vector<BindTarget> targets;
    for (const auto& package : db_.Packages()) {
        if (targets.size() == BIND_TARGET_LIMIT)
            break;
        targets.push_back({package, !IsPseudoPackage(*package)});
    }
    return targets;
}

String CPackageCommands::FolderToOpen(const CFileNode& node) {
    return node.IsFolder() ? node.AbsolutePath() : node.FolderPath();
}

String CPackageCommands::TrimName(const String& name) {
    const size_t first = name.find_first_not_of(kWhiteSpace);
    if (first == String::npos)
        return String();
    return name.substr(first, name.find_last_not_of(kWhiteSpace) - first + 1);
}

CommandResult CPackageCommands::CheckName(const String& name, const CPackage* self,
                                          bool emptyAllowed) const {
    if (name.empty() && !emptyAllowed)
        return CommandResult::Refuse(NAME_MISSING_TEXT);
    for (const auto& package : db_.Packages())
        if (package.get() != self && EqualsNoCase(package->name, name))
            return CommandResult::Refuse(NAME_TAKEN_TEXT);
    return CommandResult();
}

CommandResult CPackageCommands::CreatePackage(const String& enteredName, const String& homePage,
                                              Handle<CPackage>* created) {
    const String name = TrimName(enteredName);
    CommandResult result = CheckName(name, nullptr, false);
    if (!result.IsDone())
        return result;
    auto package = std::make_shared<CPackage>();
    package->name = name;
    package->homePage = homePage;
    db_.AddPackage(package);
    db_.MarkChanged();
    result.Add({name, ItemOutcome::Changed, false, {}});
    if (created)
        *created = package;
    return result;
}

CommandResult CPackageCommands::EditPackage(const Handle<CPackage>& package,
                                            const String& enteredName, const String& homePage) {
    if (!package || IsPseudoPackage(*package))
        return CommandResult::Refuse((package ? package->name : String()) + " cannot be edited");
    const String name = TrimName(enteredName);
    CommandResult result = CheckName(name, package.get(), true);
    if (!result.IsDone())
        return result;
    if (package->name != name || package->homePage != homePage) {
        package->name = name;
        package->homePage = homePage;
        db_.MarkChanged();
    }
    result.Add({name, ItemOutcome::Changed, false, {}});
    return result;
}

CommandResult CPackageCommands::Bind(const Handle<CPackage>& target,
                                     const HandleArray<CFileNode>& nodes) {
    if (!target || IsPseudoPackage(*target))
        return CommandResult::Refuse("nothing can be bound to " +
                                     (target ? target->name : String()));
    CommandResult result;
    for (const auto& node : nodes) {
        // Listing a node twice would count it twice and make it look shared with itself, so an
        // uninstall would never delete it.
        if (target->IndexOf(node.get()) >= 0) {
            result.Add({node->RelativePath(), ItemOutcome::Unchanged, false, {}});
            continue;
        }
        target->AddMember(node);
        db_.UnbindFromUnknown(*node);
        db_.MarkChanged();
        result.Add({node->RelativePath(), ItemOutcome::Changed, false, {}});
    }
    return result;
}

CommandResult CPackageCommands::BindListed(const Handle<CPackage>& target,
                                           const std::vector<ListedNode>& rows) {
    HandleArray<CFileNode> nodes;
    for (const ListedNode& row : rows)
        if (row.node && row.package && row.package->IndexOf(row.node.get()) >= 0)
            nodes.push_back(row.node);
    return Bind(target, nodes);
}

CommandResult CPackageCommands::Unbind(const Handle<CPackage>& package,
                                       const HandleArray<CFileNode>& nodes) {
    if (!package || IsPseudoPackage(*package))
        return CommandResult::Refuse("nothing can be unbound from " +
                                     (package ? package->name : String()));
    CommandResult result;
    for (const auto& node : nodes) {
        const bool unbound = db_.UnbindMember(*package, *node);
        result.Add({node->RelativePath(),
                    unbound ? ItemOutcome::Changed : ItemOutcome::Unchanged,
                    false,
                    {}});
    }
    return result;
}

CommandResult CPackageCommands::UnbindListed(const std::vector<ListedNode>& rows) {
    CommandResult result;
    for (const ListedNode& row : rows) {
        if (!row.node || !row.package)
            continue;
        const bool unbound = db_.UnbindMember(*row.package, *row.node);
        result.Add({row.node->RelativePath(),
                    unbound ? ItemOutcome::Changed : ItemOutcome::Unchanged,
                    false,
                    {}});
    }
    return result;
}

CommandResult CPackageCommands::ChangeFiles(const HandleArray<CFileNode>& nodes,
                                            FileAction action) {
    CommandResult result;
    for (const auto& node : nodes) {
        const uint16_t before = node->status;
        const platform::FsResult fs = (db_.*action)(*node);
        CommandItem item{node->RelativePath(), ItemOutcome::Changed, false, {}};
        if (fs != platform::FsResult::Ok) {
            item.outcome = ItemOutcome::Failed;
            item.missing = fs == platform::FsResult::FileNotFound;
            item.error = uint32_t(fs);
        } else if (node->status == before) {
            item.outcome = ItemOutcome::Unchanged;
        }
        result.Add(std::move(item));
    }
    return result;
}

CommandResult CPackageCommands::ActivateFiles(const HandleArray<CFileNode>& nodes) {
    return ChangeFiles(nodes, &CFileDatabase::ActivateFile);
}

CommandResult CPackageCommands::DeactivateFiles(const HandleArray<CFileNode>& nodes) {
    return ChangeFiles(nodes, &CFileDatabase::DeactivateFile);
}

CommandResult CPackageCommands::ActivatePackages(const HandleArray<CPackage>& packages) {
    CommandResult result;
    for (const auto& package : packages) {
        const size_t stayed = db_.ActivatePackage(*package);
        result.Add(
            {package->name, stayed == 0 ? ItemOutcome::Changed : ItemOutcome::Failed, false, {}});
    }
    return result;
}

std::vector<String>
CPackageCommands::DeactivateQuestions(const HandleArray<CPackage>& packages) const {
    std::vector<String> questions;
    for (const auto& package : packages)
        if (package == db_.CoreFiles() || package == db_.UnknownFiles())
            questions.push_back("Deactivating " + package->name +
                                " could harm your IVL installation. Are you sure?");
    return questions;
}

CommandResult CPackageCommands::DeactivatePackages(const HandleArray<CPackage>& packages,
                                                   bool confirmed) {
    if (!confirmed) {
        std::vector<String> questions = DeactivateQuestions(packages);
        if (!questions.empty())
            return CommandResult::Ask(std::move(questions));
    }
    CommandResult result;
    for (const auto& package : packages) {
        const size_t stayed = db_.DeactivatePackage(*package);
        result.Add(
            {package->name, stayed == 0 ? ItemOutcome::Changed : ItemOutcome::Failed, false, {}});
    }
    return result;
}

CommandResult CPackageCommands::RefusePseudo(const HandleArray<CPackage>& packages,
                                             const char* verb) const {
    for (const auto& package : packages)
        if (IsPseudoPackage(*package))
            return CommandResult::Refuse(package->name + " cannot be " + verb);
    return CommandResult();
}

CommandResult CPackageCommands::DissolvePackages(const HandleArray<CPackage>& packages,
                                                 bool confirmed) {
    CommandResult result = RefusePseudo(packages, "dissolved");
    if (!result.IsDone())
        return result;
    if (!confirmed)
        return CommandResult::Ask({"Are you sure you want to dissolve these package(s)?"});
    for (const auto& package : packages) {
        const bool dissolved = db_.DissolvePackage(package);
        result.Add(
            {package->name, dissolved ? ItemOutcome::Changed : ItemOutcome::Unchanged, false, {}});
    }
    return result;
}

CommandResult CPackageCommands::UninstallPackages(const HandleArray<CPackage>& packages,
                                                  bool confirmed) {
    CommandResult result = RefusePseudo(packages, "uninstalled");
    if (!result.IsDone())
        return result;
    if (!confirmed)
        return CommandResult::Ask({"Are you sure you want to uninstall these package(s)?",
                                   "Files might be deleted. Are you absolutely sure?"});
    for (const auto& package : packages) {
        CommandItem item{package->name, ItemOutcome::Changed, false, {}};
        if (!db_.UninstallPackage(package, &item.paths))
            item.outcome = ItemOutcome::Failed;
        result.Add(std::move(item));
    }
    db_.CleanUpAfterUninstall();
    return result;
}

HandleArray<CPackage> CPackageCommands::WithoutPseudo(const HandleArray<CPackage>& packages) const {
    HandleArray<CPackage> real;
    for (const auto& package : packages)
        if (!IsPseudoPackage(*package))
            real.push_back(package);
    return real;
}

void CPackageCommands::SetDownloadFlags(const HandleArray<CPackage>& offered, bool flag) {
    for (const auto& package : offered)
        package->needsDownload = flag ? 1 : 0;
}

void CPackageCommands::ToggleDownloadFlags(const HandleArray<CPackage>& offered) {
    for (const auto& package : offered)
        package->needsDownload = package->needsDownload ? 0 : 1;
}

void CPackageCommands::AfterDownload() {
    db_.LocateAddonFolders();
    db_.CollectModFolders();
}

} // namespace quillory
