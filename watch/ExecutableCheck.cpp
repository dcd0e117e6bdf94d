#include "watch/ExecutableCheck.h"

#include "platform/FileSystem.h"

namespace quillory::ui {

bool CExecutableCheck::HasGameExecutable(const String& folder) {
    if (folder.empty())
        return false;
    for (const char* name : {"IRONVALE.EXE", "IRONVALEUPRISING.EXE"}) {
        const auto attributes = platform::GetAttributes(folder + name);
        if (attributes && !attributes->directory)
            return true;
    }
    return false;
}

String CExecutableCheck::CheckGameFolder(const String& stored) {
    return HasGameExecutable(stored) ? stored : String();
}

} // namespace quillory::ui
