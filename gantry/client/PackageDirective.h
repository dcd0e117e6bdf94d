#pragma once
// One line of a package description: which archive entries go where in the game folder.

#include "common/Types.h"

#include <cstdint>

namespace quillory {

enum class DirectiveKind : uint32_t {
    Install = 0,     // entries matching the pattern go to the target
    InstallPath = 1, // entries matching the pattern go under their own archive path
    Extract = 2,     // as Install
    ExtractPath = 3, // as InstallPath
    Ignore = 4,      // entries matching the pattern are skipped
};

struct PackageDirective {
    DirectiveKind kind = DirectiveKind::Ignore;
    String pattern; // wildcard over the entry path, '\' as separator
    String target;  // Install and Extract only; a target ending in '\' is a folder
};

} // namespace quillory
