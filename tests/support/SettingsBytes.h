#pragma once
// "quillory.sav" of version 2 written byte by byte, independently of the program's writer.

#include <string>
#include <vector>

namespace quillory::test {

struct SavedEntry {
    std::string address, password, description, parameters;
    bool automaticMods;
};

// Marker, version, entries, selection 0 and the game folder.
std::string SettingsBytes(const std::vector<SavedEntry>& entries, const std::string& gameFolder);

} // namespace quillory::test
