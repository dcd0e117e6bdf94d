// Placeholder until the query engine lands; replaced by the real query and watch commands.
#include "cli/Commands.h"

#include <cstdio>

namespace quillory::cli {

int RunQuery(const Args&) {
    std::fputs("quillory-cli: query is not built yet\n", stderr);
    return 2;
}

int RunWatch(const Args&) {
    std::fputs("quillory-cli: watch is not built yet\n", stderr);
    return 2;
}

} // namespace quillory::cli
