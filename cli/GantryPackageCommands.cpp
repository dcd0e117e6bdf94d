// The gantry subcommands that change packages and files, with the manager's confirmations as
// the --yes flag and its refusals as errors.
#include "cli/GantryContext.h"

#include "common/AsciiCase.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace quillory::cli {

namespace {

constexpr const char* kWhiteSpace = " \t\r\n\v\f";

// Resolves every name first, so that one unknown name changes nothing at all.
bool FindPackages(const CFileDatabase& database, const Args& names, HandleArray<CPackage>& out) {
    if (names.empty()) {
        std::fputs("quillory-cli: name at least one package\n", stderr);
        return false;
    }
    for (const String& name : names) {
        Handle<CPackage> package = FindPackage(database, name);
        if (!package)
            return false;
        if (std::find(out.begin(), out.end(), package) == out.end())
            out.push_back(package);
    }
    return true;
}

bool RefusePseudo(const CFileDatabase& database, const HandleArray<CPackage>& packages,
                  const char* verb) {
    for (const auto& package : packages) {
        if (IsPseudoPackage(database, *package)) {
            std::fprintf(stderr, "quillory-cli: %s cannot be %s\n", package->name.c_str(), verb);
            return true;
        }
    }
    return false;
}

// Asks the manager's questions by refusing until --yes is given.
bool Confirmed(bool yes, std::initializer_list<String> questions) {
    if (yes)
        return true;
    for (const String& question : questions)
        std::fprintf(stderr, "%s\n", question.c_str());
    std::fputs("quillory-cli: give --yes to go ahead\n", stderr);
    return false;
}

void PrintStatus(CPackage& package) {
    package.ComputeStatus();
    const String status = package.StatusText();
    std::printf("%s: %s\n", package.name.c_str(), status.empty() ? "Active" : status.c_str());
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

bool PickVersions(const CFileDatabase& database, const Args& paths, uint16_t wanted,
                  HandleArray<CFileNode>& out) {
    if (paths.empty()) {
        std::fputs("quillory-cli: name at least one path\n", stderr);
        return false;
    }
    for (const String& path : paths) {
        HandleArray<CFileNode> nodes = FindNodes(database, path);
        if (nodes.empty())
            return false;
        Handle<CFileNode> node = PickVersion(nodes, path, wanted);
        if (!node)
            return false;
        out.push_back(node);
    }
    return true;
}

using FileAction = void (CFileDatabase::*)(CFileNode&);

int ChangeFiles(GantryContext& context, const Args& paths, uint16_t from, uint16_t to,
                FileAction action) {
    HandleArray<CFileNode> nodes;
    if (!PickVersions(context.database, paths, from, nodes))
        return 2;
    int result = 0;
    for (const auto& node : nodes) {
        const String path = node->RelativePath();
        if (node->status == from)
            (context.database.*action)(*node);
        if (node->status == to) {
            std::printf("%s: %s\n", path.c_str(), node->diskName.c_str());
        } else {
            std::fprintf(stderr, "quillory-cli: %s stays %s\n", path.c_str(),
                         node->status == NS_MISSING ? "missing" : "as it was");
            result = 1;
        }
    }
    return result;
}

// Every node at each path; a file path with several versions must name one by disk name.
bool FindMembers(const CFileDatabase& database, const Args& paths, HandleArray<CFileNode>& out) {
    if (paths.empty()) {
        std::fputs("quillory-cli: name at least one path\n", stderr);
        return false;
    }
    for (const String& path : paths) {
        HandleArray<CFileNode> nodes = FindNodes(database, path);
        if (nodes.empty())
            return false;
        if (nodes.size() > 1) {
            std::fprintf(stderr,
                         "quillory-cli: %s has several versions; name one by its disk name\n",
                         path.c_str());
            return false;
        }
        out.push_back(nodes.front());
    }
    return true;
}

} // namespace

int RunGantryActivate(GantryContext& context, const Args& args) {
    HandleArray<CPackage> packages;
    if (!FindPackages(context.database, args, packages))
        return 2;
    for (const auto& package : packages) {
        context.database.ActivatePackage(*package);
        PrintStatus(*package);
    }
    return 0;
}

int RunGantryDeactivate(GantryContext& context, const Args& arguments) {
    Args args = arguments;
    const bool yes = TakeFlag(args, "--yes");
    HandleArray<CPackage> packages;
    if (!FindPackages(context.database, args, packages))
        return 2;
    for (const auto& package : packages) {
        const bool risky =
            package == context.database.coreFiles || package == context.database.unknownFiles;
        if (risky && !Confirmed(yes, {"Deactivating " + package->name +
                                      " could harm your IVL installation. Are you sure?"}))
            return 2;
    }
    for (const auto& package : packages) {
        context.database.DeactivatePackage(*package);
        PrintStatus(*package);
    }
    return 0;
}

int RunGantryUninstall(GantryContext& context, const Args& arguments) {
    Args args = arguments;
    const bool yes = TakeFlag(args, "--yes");
    HandleArray<CPackage> packages;
    if (!FindPackages(context.database, args, packages) ||
        RefusePseudo(context.database, packages, "uninstalled"))
        return 2;
    if (!Confirmed(yes, {"Are you sure you want to uninstall these package(s)?",
                         "Files might be deleted. Are you absolutely sure?"}))
        return 2;
    int result = 0;
    for (const auto& package : packages) {
        if (context.database.UninstallPackage(package)) {
            std::printf("%s: uninstalled\n", package->name.c_str());
        } else {
            std::fprintf(stderr, "quillory-cli: %s stays: not everything could be deleted\n",
                         package->name.c_str());
            result = 1;
        }
    }
    context.database.CleanUpAfterUninstall();
    return result;
}

int RunGantryDissolve(GantryContext& context, const Args& arguments) {
    Args args = arguments;
    const bool yes = TakeFlag(args, "--yes");
    HandleArray<CPackage> packages;
    if (!FindPackages(context.database, args, packages) ||
        RefusePseudo(context.database, packages, "dissolved"))
        return 2;
    if (!Confirmed(yes, {"Are you sure you want to dissolve these package(s)?"}))
        return 2;
    for (const auto& package : packages) {
        context.database.DissolvePackage(package);
        std::printf("%s: dissolved\n", package->name.c_str());
    }
    return 0;
}

int RunGantryActivateFile(GantryContext& context, const Args& args) {
    return ChangeFiles(context, args, NS_INACTIVE, NS_ACTIVE, &CFileDatabase::ActivateFile);
}

int RunGantryDeactivateFile(GantryContext& context, const Args& args) {
    return ChangeFiles(context, args, NS_ACTIVE, NS_INACTIVE, &CFileDatabase::DeactivateFile);
}

int RunGantryCreate(GantryContext& context, const Args& arguments) {
    Args args = arguments;
    String homePage;
    bool hasHome = false;
    if (!TakeOption(args, "--home", homePage, hasHome))
        return 2;
    if (args.size() > 1) {
        std::fprintf(stderr, "quillory-cli: unexpected '%s'\n", args[1].c_str());
        return 2;
    }
    String name = args.empty() ? String() : args.front();
    const size_t first = name.find_first_not_of(kWhiteSpace);
    name = first == String::npos
               ? String()
               : name.substr(first, name.find_last_not_of(kWhiteSpace) - first + 1);
    if (name.empty()) {
        std::fputs("You need to specify a name\n", stderr);
        return 2;
    }
    for (const auto& package : context.database.packages) {
        if (EqualsNoCase(package->name, name)) {
            std::fputs("A package with this name already exists\n", stderr);
            return 2;
        }
    }
    auto package = std::make_shared<CPackage>();
    package->name = name;
    package->homePage = homePage;
    context.database.packages.push_back(package);
    std::printf("%s: created\n", name.c_str());
    return 0;
}

int RunGantryBind(GantryContext& context, const Args& args) {
    if (args.empty()) {
        std::fputs("quillory-cli: name a package and at least one path\n", stderr);
        return 2;
    }
    Handle<CPackage> package = FindPackage(context.database, args.front());
    if (!package)
        return 2;
    if (IsPseudoPackage(context.database, *package)) {
        std::fprintf(stderr, "quillory-cli: nothing can be bound to %s\n", package->name.c_str());
        return 2;
    }
    HandleArray<CFileNode> nodes;
    if (!FindMembers(context.database, Args(args.begin() + 1, args.end()), nodes))
        return 2;
    for (const auto& node : nodes) {
        // Listing a node twice would count it twice and make it look shared with itself.
        if (package->IndexOf(node.get()) >= 0) {
            std::printf("%s: already in %s\n", node->RelativePath().c_str(), package->name.c_str());
            continue;
        }
        package->AddMember(node);
        context.database.UnbindFromUnknown(*node);
        std::printf("%s: bound to %s\n", node->RelativePath().c_str(), package->name.c_str());
    }
    return 0;
}

int RunGantryUnbind(GantryContext& context, const Args& args) {
    if (args.empty()) {
        std::fputs("quillory-cli: name a package and at least one path\n", stderr);
        return 2;
    }
    Handle<CPackage> package = FindPackage(context.database, args.front());
    if (!package)
        return 2;
    if (IsPseudoPackage(context.database, *package)) {
        std::fprintf(stderr, "quillory-cli: nothing can be unbound from %s\n",
                     package->name.c_str());
        return 2;
    }
    HandleArray<CFileNode> held;
    for (auto path = args.begin() + 1; path != args.end(); ++path) {
        HandleArray<CFileNode> nodes = FindNodes(context.database, *path);
        if (nodes.empty())
            return 2;
        const size_t before = held.size();
        for (const auto& node : nodes)
            if (package->IndexOf(node.get()) >= 0)
                held.push_back(node);
        if (held.size() == before) {
            std::fprintf(stderr, "quillory-cli: %s is not in %s\n", path->c_str(),
                         package->name.c_str());
            return 2;
        }
    }
    if (held.empty()) {
        std::fputs("quillory-cli: name at least one path\n", stderr);
        return 2;
    }
    for (const auto& node : held) {
        context.database.UnbindMember(*package, *node);
        std::printf("%s: unbound from %s\n", node->RelativePath().c_str(), package->name.c_str());
    }
    return 0;
}

} // namespace quillory::cli
