#include "cli/GantryContext.h"

#include "gantry/db/PackageCommands.h"

#include <cstdio>
#include <unistd.h>

namespace quillory::cli {

bool SaveIfChanged(GantryContext& context) {
    if (context.database.ChangeCount() == context.loadedChangeCount)
        return true;
    if (const DatabaseResult saved = context.database.Save(); !saved) {
        std::fprintf(stderr, "quillory-cli: could not save %s: %s\n", saved.path.c_str(),
                     saved.what.c_str());
        return false;
    }
    return true;
}

Handle<CPackage> FindPackage(CFileDatabase& database, const String& name) {
    Handle<CPackage> package = CPackageCommands(database).FindPackage(name);
    if (!package)
        std::fprintf(stderr, "quillory-cli: no package named \"%s\"\n", name.c_str());
    return package;
}

HandleArray<CFileNode> FindNodes(CFileDatabase& database, const String& path) {
    HandleArray<CFileNode> found = CPackageCommands(database).FindNodes(path);
    if (found.empty())
        std::fprintf(stderr, "quillory-cli: no file or folder \"%s\" in the database\n",
                     path.c_str());
    return found;
}

void WaitShowingProgress(const std::function<bool(std::chrono::milliseconds)>& waitFor,
                         const std::function<String()>& text, const char* verb) {
    constexpr auto kProgressPeriod = std::chrono::milliseconds(200);
    if (!::isatty(STDERR_FILENO)) {
        while (!waitFor(std::chrono::hours(1))) {
        }
        return;
    }
    while (!waitFor(kProgressPeriod)) {
        std::fprintf(stderr, "\r\033[K%s %s", verb, text().c_str());
        std::fflush(stderr);
    }
    std::fputs("\r\033[K", stderr);
}

bool TakeFlag(Args& args, const char* flag) {
    bool present = false;
    for (auto it = args.begin(); it != args.end();) {
        if (*it == flag) {
            present = true;
            it = args.erase(it);
        } else {
            ++it;
        }
    }
    return present;
}

bool TakeOption(Args& args, const char* name, String& value, bool& present) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it != name)
            continue;
        if (it + 1 == args.end()) {
            std::fprintf(stderr, "quillory-cli: %s needs a value\n", name);
            return false;
        }
        value = *(it + 1);
        present = true;
        args.erase(it, it + 2);
        return true;
    }
    return true;
}

} // namespace quillory::cli
