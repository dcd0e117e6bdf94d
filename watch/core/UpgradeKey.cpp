#include "watch/core/UpgradeKey.h"

#include <fstream>
#include <sstream>

namespace quillory {

String TrustedUpgradeKey(const char* keyFile) {
    if (keyFile == nullptr || *keyFile == '\0')
        return QUILLORY_UPGRADE_PUBLIC_KEY;
    std::ifstream file(keyFile, std::ios::binary);
    std::ostringstream text;
    if (!file || !(text << file.rdbuf()))
        return {};
    // A key file is two short lines; more is not a key file.
    const String read = text.str();
    return read.size() <= 4096 ? read : String();
}

} // namespace quillory
