// Placeholder until the database lands; replaced by the real gantry commands.
#include "cli/Commands.h"

#include <cstdio>

namespace quillory::cli {

int RunGantry(const Args&) {
    std::fputs("quillory-cli: gantry is not built yet\n", stderr);
    return 2;
}

} // namespace quillory::cli
