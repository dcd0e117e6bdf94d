#include "cli/GantryContext.h"

#include "gantry/db/PackageCommands.h"
#include "platform/FileSystem.h"
#include "watch/core/SettingsFile.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace quillory::cli {

String PasswordFor(const GantryContext& context, const GantryArgs& args, const String& address) {
    if (args.password)
        return *args.password;
    const String path = context.dataFolder.empty()
                            ? String(SETTINGS_FILE)
                            : platform::NativePath(context.dataFolder) + "/" + SETTINGS_FILE;
    const Handle<ServerEntry> entry = FindEntry(LoadSettings(path), address);
    return entry ? entry->password : String();
}

bool SaveDatabase(CFileDatabase& database) {
    if (const DatabaseResult saved = database.Save(); !saved) {
        std::fprintf(stderr, "quillory-cli: could not save %s: %s\n", saved.path.c_str(),
                     saved.what.c_str());
        return false;
    }
    return true;
}

bool SaveIfChanged(GantryContext& context) {
    if (context.database.ChangeCount() == context.loadedChangeCount)
        return true;
    return SaveDatabase(context.database);
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

String AbsoluteFolder(const String& given) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(platform::NativePath(given), error);
    String folder = (error ? std::filesystem::path(given) : absolute).lexically_normal().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace quillory::cli
