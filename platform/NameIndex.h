#pragma once
// The names of the folders one command works in, each folder read once and then kept up to date
// by the operations made through the index. Finding a name in another letter case would
// otherwise read the whole folder for every file an install writes or activates.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillory::platform {

class CNameIndex final {
public:
    CNameIndex() = default;
    CNameIndex(const CNameIndex&) = delete;
    CNameIndex& operator=(const CNameIndex&) = delete;

    // The first entry of `folder` (native, with its final '/', empty for the current directory)
    // whose name equals `name` ignoring ASCII case, in the order the folder listed them.
    std::optional<std::string> Find(const std::string& folder, std::string_view name);
    // Every entry of `folder` whose name equals `name` ignoring case; empty when none does.
    std::vector<std::string> FindAll(const std::string& folder, std::string_view name);

    // An entry made or removed at the native path `path` by this command.
    void Added(std::string_view path);
    void Removed(std::string_view path);

private:
    // Folded name -> the names on disk that fold to it, in listing order.
    using Names = std::unordered_map<std::string, std::vector<std::string>>;

    Names* Listed(const std::string& folder);

    std::unordered_map<std::string, Names> folders_;
};

} // namespace quillory::platform
