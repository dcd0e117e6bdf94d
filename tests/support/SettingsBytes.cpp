#include "tests/support/SettingsBytes.h"

#include <cstdint>

namespace quillory::test {

std::string SettingsBytes(const std::vector<SavedEntry>& entries, const std::string& gameFolder) {
    std::string b;
    auto u32 = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(char((v >> (8 * i)) & 0xFF));
    };
    auto text = [&b](const std::string& t) {
        b += t;
        b.push_back('\0');
    };
    b.push_back('\0');
    u32(2);
    u32(uint32_t(entries.size()));
    for (const SavedEntry& e : entries) {
        text(e.address);
        text(e.password);
        text(e.description);
        text(e.parameters);
        b.push_back(e.automaticMods ? '\1' : '\0');
    }
    u32(0);
    text(gameFolder);
    return b;
}

} // namespace quillory::test
