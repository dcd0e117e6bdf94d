#include "tests/support/ScratchFolder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace quillory::test {

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillory-XXXXXX").string();
    if (mkdtemp(pattern.data()))
        path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ec);
}

std::string ScratchFolder::WithSlash() const {
    return path_.string() + "/";
}

std::string ScratchFolder::operator/(const std::string& relative) const {
    return (path_ / relative).string();
}

bool WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::error_code ec;
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool ReadFileBytes(const std::filesystem::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

} // namespace quillory::test
