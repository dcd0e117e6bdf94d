#include "watch/ExecutableCheck.h"

#include "watch/core/GameFolderLookup.h"

namespace quillory::ui {

bool CExecutableCheck::HasGameExecutable(const String& folder) {
    return quillory::HasGameExecutable(folder);
}

String CExecutableCheck::CheckGameFolder(const String& stored) {
    return HasGameExecutable(stored) ? stored : String();
}

} // namespace quillory::ui
