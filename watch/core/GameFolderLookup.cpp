#include "watch/core/GameFolderLookup.h"

#include "platform/FileSystem.h"
#include "platform/WineRegistry.h"
#include "watch/core/GameLauncher.h"

namespace quillory {

namespace {

bool IsFile(const String& path) {
    auto attributes = platform::GetAttributes(path);
    return attributes && !attributes->directory;
}

} // namespace

String WithTrailingSeparator(const String& folder) {
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\')
        return folder;
    return ExecutablePath(folder, String());
}

bool HasGameExecutable(const String& folder) {
    if (folder.empty())
        return false;
    return IsFile(ExecutablePath(folder, EXE_IRONVALE)) ||
           IsFile(ExecutablePath(folder, EXE_UPRISING));
}

String GameFolderFromRegistry(const String& winePrefix) {
    for (const char* key : {REGISTRY_KEY_IRONVALE, REGISTRY_KEY_UPRISING}) {
        auto value = platform::ReadLocalMachineValue(winePrefix, key, REGISTRY_VALUE_MAIN);
        if (!value)
            continue;
        auto folder = platform::MapWindowsPath(winePrefix, *value);
        if (folder && HasGameExecutable(*folder))
            return WithTrailingSeparator(*folder);
    }
    return String();
}

} // namespace quillory
