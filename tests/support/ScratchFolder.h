#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it.

#include <filesystem>
#include <string>

namespace quillory::test {

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The folder with a trailing separator, as the game folder is kept.
    std::string WithSlash() const;
    std::string operator/(const std::string& relative) const;

private:
    std::filesystem::path path_;
};

// Writes `bytes` to `path`, creating its folders; false on failure.
bool WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);
// Reads a whole file; false when it cannot be opened.
bool ReadFileBytes(const std::filesystem::path& path, std::string& bytes);

} // namespace quillory::test
