// Stand-ins until the scanner lands in Scanner.cpp; that change deletes this file.
#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"

namespace quillory {

int CFileDatabase::OnEntry(int, const String&, const platform::WalkEntry*, void*) {
    return 0;
}

void CFileDatabase::LocateAddonFolders() {
    addonsFolder.reset();
    resAddonsFolder.reset();
    if (!root)
        return;
    for (const auto& child : root->children) {
        if (EqualsNoCase(child->name, "addons\\"))
            addonsFolder = child;
        if (!EqualsNoCase(child->name, "res\\"))
            continue;
        for (const auto& inner : child->children)
            if (EqualsNoCase(inner->name, "addons\\"))
                resAddonsFolder = inner;
    }
}

} // namespace quillory
