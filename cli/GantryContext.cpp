#include "cli/GantryContext.h"

#include "gantry/db/PackageCommands.h"

#include <cstdio>

namespace quillory::cli {

bool SaveIfChanged(GantryContext& context) {
    if (context.database.ChangeCount() == context.loadedChangeCount)
        return true;
    if (!context.database.Save()) {
        std::fprintf(stderr, "quillory-cli: cannot write %s\n",
                     context.database.DatabasePath().c_str());
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
