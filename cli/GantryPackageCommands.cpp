// The gantry subcommands that change packages and files: they resolve the names on the command
// line, run the shared package commands, and print what came back. The manager's questions are
// answered by the --yes flag.
#include "cli/GantryContext.h"

#include "gantry/db/PackageCommands.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace quillory::cli {

namespace {

void PrintStatus(CPackage& package) {
    package.ComputeStatus();
    const String status = package.StatusText();
    std::printf("%s: %s\n", package.name.c_str(), status.empty() ? "Active" : status.c_str());
}

// Resolves every name first, so that one unknown name changes nothing at all.
std::optional<HandleArray<CPackage>> FindPackages(CFileDatabase& database, const Args& names) {
    if (names.empty()) {
        std::fputs("quillory-cli: name at least one package\n", stderr);
        return std::nullopt;
    }
    HandleArray<CPackage> found;
    for (const String& name : names) {
        Handle<CPackage> package = FindPackage(database, name);
        if (!package)
            return std::nullopt;
        if (std::find(found.begin(), found.end(), package) == found.end())
            found.push_back(package);
    }
    return found;
}

// Changes one package at a time and prints each one's new status.
template <typename Change> int ChangeEach(const HandleArray<CPackage>& packages, Change change) {
    for (const auto& package : packages) {
        change(package);
        PrintStatus(*package);
    }
    return 0;
}

// A refusal or an unanswered question; true when the command may not go on.
bool Stopped(const CommandResult& result, bool firstQuestionOnly = false) {
    if (result.status == CommandStatus::Refused) {
        std::fprintf(stderr, "quillory-cli: %s\n", result.reason.c_str());
        return true;
    }
    if (result.status != CommandStatus::NeedsConfirmation)
        return false;
    for (const String& question : result.questions) {
        std::fprintf(stderr, "%s\n", question.c_str());
        if (firstQuestionOnly)
            break;
    }
    std::fputs("quillory-cli: give --yes to go ahead\n", stderr);
    return true;
}

// The one node a file command acts on: a single match, else the only version in `wanted`.
// Null with an error when the path names a folder or several versions fit.
Handle<CFileNode> PickVersion(const HandleArray<CFileNode>& nodes, const String& path,
                              uint16_t wanted) {
    for (const auto& node : nodes) {
        if (node->IsFolder()) {
            std::fprintf(stderr, "quillory-cli: %s is a folder\n", path.c_str());
            return nullptr;
        }
    }
    if (nodes.size() == 1)
        return nodes.front();
    HandleArray<CFileNode> fitting;
    for (const auto& node : nodes)
        if (node->status == wanted)
            fitting.push_back(node);
    if (fitting.size() == 1)
        return fitting.front();
    if (fitting.empty())
        return nodes.front(); // nothing to change; the caller says so
    std::fprintf(stderr, "quillory-cli: %s has several versions; name one by its disk name:\n",
                 path.c_str());
    for (const auto& node : fitting)
        std::fprintf(stderr, "  %s\n", node->diskName.c_str());
    return nullptr;
}

// Calls `pick` with the nodes at each path; false, said on stderr, when no path is given, one is
// unknown or `pick` refuses one.
template <typename Pick> bool EachPath(CFileDatabase& database, const Args& paths, Pick pick) {
    if (paths.empty()) {
        std::fputs("quillory-cli: name at least one path\n", stderr);
        return false;
    }
    for (const String& path : paths) {
        HandleArray<CFileNode> nodes = FindNodes(database, path);
        if (nodes.empty() || !pick(path, nodes))
            return false;
    }
    return true;
}

bool PickVersions(CFileDatabase& database, const Args& paths, uint16_t wanted,
                  HandleArray<CFileNode>& out) {
    return EachPath(database, paths, [&](const String& path, const HandleArray<CFileNode>& nodes) {
        Handle<CFileNode> node = PickVersion(nodes, path, wanted);
        if (node)
            out.push_back(node);
        return node != nullptr;
    });
}

// Prints each file's disk name, or why it stayed.
int PrintFileResults(const HandleArray<CFileNode>& nodes, const CommandResult& result) {
    int exitCode = 0;
    for (size_t i = 0; i < nodes.size() && i < result.items.size(); ++i) {
        const CommandItem& item = result.items[i];
        if (item.outcome != ItemOutcome::Failed) {
            std::printf("%s: %s\n", item.subject.c_str(), nodes[i]->diskName.c_str());
            continue;
        }
        std::fprintf(stderr, "quillory-cli: %s stays %s\n", item.subject.c_str(),
                     item.missing ? "missing" : "as it was");
        exitCode = 1;
    }
    return exitCode;
}

// Every node at each path; a file path with several versions must name one by disk name.
bool FindMembers(CFileDatabase& database, const Args& paths, HandleArray<CFileNode>& out) {
    return EachPath(database, paths, [&](const String& path, const HandleArray<CFileNode>& nodes) {
        if (nodes.size() > 1) {
            std::fprintf(stderr,
                         "quillory-cli: %s has several versions; name one by its disk name\n",
                         path.c_str());
            return false;
        }
        out.push_back(nodes.front());
        return true;
    });
}

// The nodes of `package` at each path; false, said on stderr, when a path holds none of them.
bool FindHeld(CFileDatabase& database, const CPackage& package, const Args& paths,
              HandleArray<CFileNode>& held) {
    return EachPath(database, paths, [&](const String& path, const HandleArray<CFileNode>& nodes) {
        const size_t before = held.size();
        for (const auto& node : nodes)
            if (package.IndexOf(node.get()) >= 0)
                held.push_back(node);
        if (held.size() == before)
            std::fprintf(stderr, "quillory-cli: %s is not in %s\n", path.c_str(),
                         package.name.c_str());
        return held.size() != before;
    });
}

Args PathsAfterPackage(const GantryArgs& args) {
    return Args(args.words.begin() + 1, args.words.end());
}

// The package bind and unbind name first; null, said on stderr, when it cannot hold members.
Handle<CPackage> MemberPackage(CFileDatabase& database, const Args& words, const char* change) {
    if (words.empty()) {
        std::fputs("quillory-cli: name a package and at least one path\n", stderr);
        return nullptr;
    }
    Handle<CPackage> package = FindPackage(database, words.front());
    if (package && CPackageCommands(database).IsPseudoPackage(*package)) {
        std::fprintf(stderr, "quillory-cli: nothing can be %s %s\n", change, package->name.c_str());
        return nullptr;
    }
    return package;
}

} // namespace

int RunGantryActivate(GantryContext& context, const GantryArgs& args) {
    const auto packages = FindPackages(context.database, args.words);
    if (!packages)
        return 2;
    CPackageCommands commands(context.database);
    return ChangeEach(*packages,
                      [&](const auto& package) { commands.ActivatePackages({package}); });
}

int RunGantryDeactivate(GantryContext& context, const GantryArgs& args) {
    const auto packages = FindPackages(context.database, args.words);
    if (!packages)
        return 2;
    CPackageCommands commands(context.database);
    const std::vector<String> questions = commands.DeactivateQuestions(*packages);
    if (!args.yes && !questions.empty() && Stopped(CommandResult::Ask(questions), true))
        return 2;
    return ChangeEach(*packages,
                      [&](const auto& package) { commands.DeactivatePackages({package}, true); });
}

int RunGantryUninstall(GantryContext& context, const GantryArgs& args) {
    const auto packages = FindPackages(context.database, args.words);
    if (!packages)
        return 2;
    const CommandResult result =
        CPackageCommands(context.database).UninstallPackages(*packages, args.yes);
    if (Stopped(result))
        return 2;
    for (const CommandItem& item : result.items) {
        if (item.outcome != ItemOutcome::Failed)
            std::printf("%s: uninstalled\n", item.subject.c_str());
        else
            std::fprintf(stderr, "quillory-cli: %s stays: not everything could be deleted\n",
                         item.subject.c_str());
    }
    return result.status == CommandStatus::PartlyFailed ? 1 : 0;
}

int RunGantryDissolve(GantryContext& context, const GantryArgs& args) {
    const auto packages = FindPackages(context.database, args.words);
    if (!packages)
        return 2;
    const CommandResult result =
        CPackageCommands(context.database).DissolvePackages(*packages, args.yes);
    if (Stopped(result))
        return 2;
    for (const CommandItem& item : result.items)
        std::printf("%s: dissolved\n", item.subject.c_str());
    return 0;
}

int RunGantryActivateFile(GantryContext& context, const GantryArgs& args) {
    HandleArray<CFileNode> nodes;
    if (!PickVersions(context.database, args.words, NS_INACTIVE, nodes))
        return 2;
    return PrintFileResults(nodes, CPackageCommands(context.database).ActivateFiles(nodes));
}

int RunGantryDeactivateFile(GantryContext& context, const GantryArgs& args) {
    HandleArray<CFileNode> nodes;
    if (!PickVersions(context.database, args.words, NS_ACTIVE, nodes))
        return 2;
    return PrintFileResults(nodes, CPackageCommands(context.database).DeactivateFiles(nodes));
}

int RunGantryCreate(GantryContext& context, const GantryArgs& args) {
    const String& homePage = args.home;
    const String name = args.words.empty() ? String() : args.words.front();
    const CommandResult result = CPackageCommands(context.database).CreatePackage(name, homePage);
    if (result.status == CommandStatus::Refused) {
        std::fprintf(stderr, "%s\n", result.reason.c_str());
        return 2;
    }
    std::printf("%s: created\n", result.items.front().subject.c_str());
    return 0;
}

int RunGantryBind(GantryContext& context, const GantryArgs& args) {
    Handle<CPackage> package = MemberPackage(context.database, args.words, "bound to");
    HandleArray<CFileNode> nodes;
    if (!package || !FindMembers(context.database, PathsAfterPackage(args), nodes))
        return 2;
    CPackageCommands commands(context.database);
    const CommandResult result = commands.Bind(package, nodes);
    if (Stopped(result))
        return 2;
    for (const CommandItem& item : result.items)
        std::printf("%s: %s %s\n", item.subject.c_str(),
                    item.outcome == ItemOutcome::Changed ? "bound to" : "already in",
                    package->name.c_str());
    return 0;
}

int RunGantryUnbind(GantryContext& context, const GantryArgs& args) {
    Handle<CPackage> package = MemberPackage(context.database, args.words, "unbound from");
    HandleArray<CFileNode> held;
    if (!package || !FindHeld(context.database, *package, PathsAfterPackage(args), held))
        return 2;
    CPackageCommands commands(context.database);
    const CommandResult result = commands.Unbind(package, held);
    if (Stopped(result))
        return 2;
    for (const CommandItem& item : result.items)
        std::printf("%s: unbound from %s\n", item.subject.c_str(), package->name.c_str());
    return 0;
}

} // namespace quillory::cli
