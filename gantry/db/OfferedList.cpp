// The packages a Gantry server offers, read from its description and compared with the database.
#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"

#include <algorithm>

namespace quillory {

namespace {

// Far deeper than any add-on layout; keeps the tree walks off the stack's limit.
constexpr size_t MAX_DESCRIBED_DEPTH = 512;
// Smallest package record: five empty texts, the archive size, the priority, an empty list.
constexpr size_t MIN_OFFERED_RECORD = 5 + 4 + 4 + 1;

// Reads a node list (entries ended by an empty name) into `top`; each node read takes one from
// `nodesLeft`, and the list is refused once none are left.
bool ReadDescribedTree(CMemoryStream& s, CFileNode& top, uint32_t& nodesLeft) {
    std::vector<CFileNode*> open{&top};
    while (!open.empty()) {
        String name;
        if (!ReadTextStrict(s, name))
            return false;
        if (name.empty()) {
            open.pop_back();
            continue;
        }
        if (nodesLeft == 0)
            return false;
        --nodesLeft;
        if (name.back() == '\\') {
            if (open.size() > MAX_DESCRIBED_DEPTH)
                return false;
            open.push_back(open.back()->AddChild(name, NF_FOLDER).get());
            continue;
        }
        auto file = open.back()->AddChild(name, 0);
        if (!ReadU32(s, file->size) || !ReadU32(s, file->crc))
            return false;
    }
    return true;
}

bool ReadOfferedPackage(CMemoryStream& s, CPackage& package, uint32_t& nodesLeft) {
    bool ok = ReadTextStrict(s, package.archivePath) && ReadU32(s, package.archiveSize) &&
              ReadTextStrict(s, package.name) && ReadTextStrict(s, package.homePage) &&
              ReadTextStrict(s, package.text3) && ReadTextStrict(s, package.text4) &&
              ReadU32(s, package.priority);
    if (!ok)
        return false;
    package.describedRoot = std::make_shared<CFileNode>();
    package.describedRoot->flags = 0;
    if (!ReadDescribedTree(s, *package.describedRoot, nodesLeft))
        return false;
    package.describedRoot->CollectHandles(package.described);
    return true;
}

// The text between the first and the second "\", or nothing when there are fewer than two.
bool SecondSegmentIsAddons(const String& relPath) {
    size_t first = relPath.find('\\');
    if (first == String::npos)
        return false;
    size_t second = relPath.find('\\', first + 1);
    if (second == String::npos)
        return false;
    return EqualsNoCase(std::string_view(relPath).substr(first + 1, second - first - 1), "addons");
}

const CFileNode* TopLevelAncestor(const CFileNode* node) {
    while (node->parent && node->parent->parent)
        node = node->parent;
    return node;
}

} // namespace

bool CFileDatabase::ReadOfferedList(CMemoryStream& description) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    uint32_t unused = 0;
    std::array<String, SERVER_TEXT_COUNT> texts;
    if (!ReadU32(description, unused))
        return false;
    for (auto& text : texts)
        if (!ReadTextStrict(description, text))
            return false;
    uint32_t count = 0;
    if (!ReadU32(description, count) || count > description.Remaining() / MIN_OFFERED_RECORD ||
        count > MAX_OFFERED_PACKAGES)
        return false;
    uint32_t nodesLeft = MAX_DESCRIBED_NODES;
    HandleArray<CPackage> read;
    read.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto package = std::make_shared<CPackage>();
        if (!ReadOfferedPackage(description, *package, nodesLeft))
            return false;
        read.push_back(package);
    }
    // The whole description was sound: only now does the list change.
    serverTexts_ = texts;
    for (const auto& package : read) {
        CompareWithDatabase(*package);
        package->needsDownload = package->priority > 3 && package->status > OS_PATH_DIFFERS;
        offeredPackages_.push_back(package);
    }
    return true;
}

void CFileDatabase::CompareWithDatabase(CPackage& package) {
    package.members.clear();
    package.allFilesActive = 1;
    uint32_t total = 0, found = 0, moved = 0;
    for (const auto& node : package.described) {
        if (node->IsFolder()) {
            package.members.push_back(nullptr);
            continue;
        }
        ++total;
        String relPath = node->RelativePath();
        auto match = FindFile(relPath, node->size, node->crc);
        if (match) {
            ++found;
            if (!EqualsNoCase(match->RelativePath(), relPath))
                ++moved;
            if (match->status != NS_ACTIVE)
                package.allFilesActive = 0;
        }
        package.members.push_back(match);
    }
    if (found == total)
        package.status = moved > 0 ? OS_PATH_DIFFERS : OS_INSTALLED;
    else if (found == 0 || found < total / 2)
        package.status = OS_NOT_INSTALLED;
    else
        package.status = OS_MISSING;
}

Handle<CFileNode> CFileDatabase::FindFile(const String& relPath, uint32_t size,
                                          uint32_t crc) const {
    if (root_) {
        if (auto found = root_->Find(relPath, size, crc, false))
            return found;
    }
    // Only addons\... and something\addons\... are looked for in the add-on folders.
    if (!StartsWithNoCase(relPath, "addons\\") && !SecondSegmentIsAddons(relPath))
        return nullptr;
    String fileName = relPath.substr(relPath.rfind('\\') + 1);
    for (const auto& folder : {addonsFolder_, resAddonsFolder_}) {
        if (!folder)
            continue;
        if (auto found = folder->FindNearby(fileName, size, crc))
            return found;
    }
    for (const auto& folder : modAddonFolders_) {
        if (!folder)
            continue;
        if (auto found = folder->FindNearby(fileName, size, crc))
            return found;
    }
    return nullptr;
}

String CFileDatabase::ModSuggestion() const {
    std::vector<int> indexes;
    for (const auto& package : offeredPackages_) {
        for (const auto& member : package->members) {
            if (!member)
                continue;
            int index = IndexOfModFolder(TopLevelAncestor(member.get()));
            if (index != -1 && std::find(indexes.begin(), indexes.end(), index) == indexes.end())
                indexes.push_back(index);
        }
    }
    String text;
    for (int index : indexes) {
        const String& name = modFolders_[static_cast<size_t>(index)]->name;
        if (!text.empty())
            text += ";";
        text += name.substr(0, name.size() - 1);
    }
    return text;
}

void CFileDatabase::CheckOfferedPackages(GantryAlert& alert) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    for (const auto& package : offeredPackages_) {
        CompareWithDatabase(*package);
        if (package->status > OS_PATH_DIFFERS && package->priority >= 4) {
            alert.managerBlink = true;
            return;
        }
    }
    alert.managerBlink = false;
}

void CFileDatabase::ClearOfferedList() {
    QUILLORY_ASSERT_DB_OWNER(*this);
    offeredPackages_.clear();
    for (auto& text : serverTexts_)
        text.clear();
}

} // namespace quillory
