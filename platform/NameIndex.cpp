#include "platform/NameIndex.h"

#include "common/AsciiCase.h"

#include <algorithm>
#include <dirent.h>

namespace quillory::platform {

namespace {

struct FolderAndName {
    std::string folder; // with its final '/', or empty
    std::string name;
};

FolderAndName Split(std::string_view path) {
    std::string native(path);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    const size_t slash = native.rfind('/');
    if (slash == std::string::npos)
        return {"", native};
    return {native.substr(0, slash + 1), native.substr(slash + 1)};
}

} // namespace

CNameIndex::Names* CNameIndex::Listed(const std::string& folder) {
    auto known = folders_.find(folder);
    if (known != folders_.end())
        return &known->second;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return nullptr; // not kept: the folder may be made later
    Names names;
    while (const dirent* entry = ::readdir(dir))
        names[LowerAscii(entry->d_name)].emplace_back(entry->d_name);
    ::closedir(dir);
    return &folders_.emplace(folder, std::move(names)).first->second;
}

std::optional<std::string> CNameIndex::Find(const std::string& folder, std::string_view name) {
    Names* names = Listed(folder);
    if (!names)
        return std::nullopt;
    auto found = names->find(LowerAscii(name));
    if (found == names->end() || found->second.empty())
        return std::nullopt;
    return found->second.front();
}

std::vector<std::string> CNameIndex::FindAll(const std::string& folder, std::string_view name) {
    Names* names = Listed(folder);
    if (!names)
        return {};
    auto found = names->find(LowerAscii(name));
    return found == names->end() ? std::vector<std::string>() : found->second;
}

void CNameIndex::Added(std::string_view path) {
    FolderAndName split = Split(path);
    auto known = folders_.find(split.folder);
    if (known == folders_.end())
        return; // read whole when first needed
    std::vector<std::string>& holders = known->second[LowerAscii(split.name)];
    if (std::find(holders.begin(), holders.end(), split.name) == holders.end())
        holders.push_back(split.name);
}

void CNameIndex::Removed(std::string_view path) {
    FolderAndName split = Split(path);
    // A removed folder takes its listing with it.
    folders_.erase(split.folder + split.name + "/");
    auto known = folders_.find(split.folder);
    if (known == folders_.end())
        return;
    auto holders = known->second.find(LowerAscii(split.name));
    if (holders == known->second.end())
        return;
    std::erase(holders->second, split.name);
}

} // namespace quillory::platform
