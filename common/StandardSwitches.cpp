#include "common/StandardSwitches.h"

#include "common/Version.h"

namespace quillory {

bool IsHelpSwitch(std::string_view word) {
    return word == "--help";
}

bool IsVersionSwitch(std::string_view word) {
    return word == "--version";
}

void PrintVersion(std::FILE* out, const char* program) {
    std::fprintf(out, "%s %s\n", program, PROGRAM_VERSION);
}

} // namespace quillory
