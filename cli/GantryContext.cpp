#include "cli/GantryContext.h"

#include "common/AsciiCase.h"

#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace quillory::cli {

namespace {

// FNV-1a over the bytes of each field.
class CStamp {
public:
    void Add(const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) {
            value_ ^= bytes[i];
            value_ *= 0x100000001B3ULL;
        }
    }
    template <typename T> void AddValue(T value) { Add(&value, sizeof value); }
    void AddText(const String& text) {
        AddValue(text.size());
        Add(text.data(), text.size());
    }
    uint64_t Value() const { return value_; }

private:
    uint64_t value_ = 0xCBF29CE484222325ULL;
};

String WithBackslashes(String path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    while (!path.empty() && path.front() == '\\')
        path.erase(0, 1);
    return path;
}

} // namespace

uint64_t DatabaseStamp(const CFileDatabase& database) {
    CStamp stamp;
    std::vector<CFileNode*> nodes;
    if (database.root)
        database.root->CollectPointers(nodes);
    std::unordered_map<const CFileNode*, uint64_t> numbers;
    for (const CFileNode* node : nodes) {
        numbers.emplace(node, numbers.size());
        stamp.AddText(node->name);
        stamp.AddText(node->diskName);
        stamp.AddValue(node->status);
        stamp.AddValue(node->flags);
        stamp.AddValue(node->bindCount);
        stamp.AddValue(node->size);
        stamp.AddValue(node->crc);
        stamp.AddValue(node->modified);
        stamp.AddValue(node->children.size());
    }
    stamp.AddValue(database.packages.size());
    for (const auto& package : database.packages) {
        stamp.AddText(package->name);
        stamp.AddText(package->homePage);
        stamp.AddText(package->text3);
        stamp.AddText(package->text4);
        stamp.AddValue(package->installed);
        stamp.AddValue(package->members.size());
        for (const auto& member : package->members) {
            auto found = numbers.find(member.get());
            stamp.AddValue(found == numbers.end() ? ~uint64_t(0) : found->second);
        }
    }
    return stamp.Value();
}

bool SaveIfChanged(GantryContext& context) {
    if (DatabaseStamp(context.database) == context.loadedStamp)
        return true;
    if (!context.database.Save()) {
        std::fprintf(stderr, "quillory-cli: cannot write %s\n",
                     context.database.DatabasePath().c_str());
        return false;
    }
    return true;
}

bool IsPseudoPackage(const CFileDatabase& database, const CPackage& package) {
    return &package == database.coreFiles.get() || &package == database.unknownFiles.get() ||
           &package == database.unknownAddons.get();
}

Handle<CPackage> FindPackage(const CFileDatabase& database, const String& name) {
    Handle<CPackage> folded;
    int foldedCount = 0;
    for (const auto& package : database.packages) {
        if (package->name == name)
            return package;
        if (EqualsNoCase(package->name, name)) {
            folded = package;
            ++foldedCount;
        }
    }
    if (foldedCount == 1)
        return folded;
    std::fprintf(stderr, "quillory-cli: no package named \"%s\"\n", name.c_str());
    return nullptr;
}

HandleArray<CFileNode> FindNodes(const CFileDatabase& database, const String& path) {
    HandleArray<CFileNode> found;
    const String rel = WithBackslashes(path);
    const CFileNode* folder = database.root.get();
    size_t start = 0;
    while (folder && start < rel.size()) {
        const size_t cut = rel.find('\\', start);
        const bool last = cut == String::npos || cut + 1 == rel.size();
        const String segment = rel.substr(start, cut == String::npos ? String::npos : cut - start);
        const String folderName = segment + "\\";
        const CFileNode* next = nullptr;
        for (const auto& child : folder->children) {
            if (child->IsFolder() && EqualsNoCase(child->name, folderName)) {
                if (last)
                    found.push_back(child);
                else if (!next)
                    next = child.get();
            }
        }
        if (last && cut == String::npos && found.empty()) {
            // A disk name picks one version; an active name gives them all.
            for (const auto& child : folder->children)
                if (!child->IsFolder() && EqualsNoCase(child->diskName, segment))
                    found.push_back(child);
            if (found.size() != 1) {
                found.clear();
                for (const auto& child : folder->children)
                    if (!child->IsFolder() && EqualsNoCase(child->name, segment))
                        found.push_back(child);
            }
        }
        if (last)
            break;
        folder = next;
        start = cut + 1;
    }
    if (found.empty())
        std::fprintf(stderr, "quillory-cli: no file or folder \"%s\" in the database\n",
                     path.c_str());
    return found;
}

bool TakeFlag(Args& args, const char* flag) {
    bool present = false;
    for (auto it = args.begin(); it != args.end();) {
        if (*it == flag) {
            present = true;
            it = args.erase(it);
        } else {
            ++it;
        }
    }
    return present;
}

bool TakeOption(Args& args, const char* name, String& value, bool& present) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it != name)
            continue;
        if (it + 1 == args.end()) {
            std::fprintf(stderr, "quillory-cli: %s needs a value\n", name);
            return false;
        }
        value = *(it + 1);
        present = true;
        args.erase(it, it + 2);
        return true;
    }
    return true;
}

} // namespace quillory::cli
