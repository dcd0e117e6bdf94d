#pragma once
// How this copy of the program was installed, which decides whether it may upgrade itself.

#include "common/Types.h"

namespace quillory {

enum class InstallKind {
    // The system's package manager owns the files: the program file or its folder is not ours
    // to write, or it lies under /usr. An upgrade is left to the package manager.
    PACKAGE_MANAGER,
    // A copy the user unpacked into a folder of their own: it upgrades itself.
    UNPACKED,
};

// The kind of the installation whose program file is `programPath` (a native path).
InstallKind DetectInstallKind(const String& programPath);

} // namespace quillory
