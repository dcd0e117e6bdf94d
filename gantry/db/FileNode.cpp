#include "gantry/db/FileNode.h"

#include "common/AsciiCase.h"
#include "common/NumberText.h"

#include <cstdio>

namespace quillory {

namespace {

// Names from `node` up to (not including) `stop`, joined top-down.
String JoinNamesBelow(const CFileNode* node, const CFileNode* stop) {
    std::vector<const CFileNode*> chain;
    for (const CFileNode* n = node; n != stop; n = n->parent)
        chain.push_back(n);
    String path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        path += (*it)->name;
    return path;
}

const CFileNode* TopOf(const CFileNode* node) {
    while (node->parent)
        node = node->parent;
    return node;
}

// The lookup rule for a child whose name matched the last path segment.
bool IsWantedMatch(const CFileNode& child, uint32_t size, uint32_t crc, bool includeMissing) {
    if (child.status == NS_MISSING && !includeMissing)
        return false;
    if (child.IsFolder())
        return true;
    return child.size == size && child.crc == crc;
}

} // namespace

CFileNode::~CFileNode() {
    for (const auto& child : children)
        if (child->parent == this)
            child->parent = nullptr;
}

Handle<CFileNode> CFileNode::AddChild(const String& childName, uint16_t childFlags) {
    auto child = std::make_shared<CFileNode>();
    child->parent = this;
    child->name = childName;
    child->flags = childFlags;
    children.push_back(child);
    return child;
}

String CFileNode::AbsolutePath() const {
    return JoinNamesBelow(this, nullptr);
}

String CFileNode::FolderPath() const {
    return parent ? parent->AbsolutePath() : String();
}

String CFileNode::RelativePath() const {
    if (!parent)
        return String();
    return JoinNamesBelow(this, TopOf(this));
}

String CFileNode::RelativeFolderPath() const {
    return parent ? parent->RelativePath() : String();
}

Handle<CFileNode> CFileNode::Find(const String& path, uint32_t size, uint32_t crc,
                                  bool includeMissing) const {
    size_t cut = path.find('\\');
    String segment = cut == String::npos ? path : path.substr(0, cut + 1);
    String rest = cut == String::npos ? String() : path.substr(cut + 1);
    for (const auto& child : children) {
        if (!EqualsNoCase(child->name, segment))
            continue;
        // Only the first folder of that name is followed.
        if (!rest.empty())
            return child->Find(rest, size, crc, includeMissing);
        if (IsWantedMatch(*child, size, crc, includeMissing))
            return child;
    }
    return nullptr;
}

Handle<CFileNode> CFileNode::FindNearby(const String& wanted, uint32_t size, uint32_t crc) const {
    for (const auto& child : children) {
        if (EqualsNoCase(child->name, wanted)) {
            if (IsWantedMatch(*child, size, crc, false))
                return child;
            continue;
        }
        if (auto found = child->Find(wanted, size, crc, false))
            return found;
    }
    return nullptr;
}

bool CFileNode::Prune() {
    // A yes/no per node: summing bind counts would overflow on the root's count.
    bool childReferenced = false;
    for (size_t i = children.size(); i-- > 0;) {
        if (children[i]->Prune())
            childReferenced = true;
        else
            RemoveChildAt(i);
    }
    return bindCount != 0 || childReferenced;
}

void CFileNode::RemoveChildAt(size_t index) {
    // Whoever still holds the child must not reach this folder through it.
    children[index]->parent = nullptr;
    children.erase(children.begin() + static_cast<std::ptrdiff_t>(index));
}

void CFileNode::CollectHandles(HandleArray<CFileNode>& list) const {
    for (const auto& child : children) {
        list.push_back(child);
        child->CollectHandles(list);
    }
}

void CFileNode::CollectPointers(std::vector<CFileNode*>& list) const {
    for (const auto& child : children) {
        list.push_back(child.get());
        child->CollectPointers(list);
    }
}

String CFileNode::InactiveName() const {
    return name + "." + CrcText() + ".aab";
}

String CFileNode::ActiveNameOf(const String& diskName) {
    size_t n = diskName.size();
    if (EndsWithNoCase(diskName, ".pbx"))
        return diskName.substr(0, n - 3) + "pbo";
    if (!EndsWithNoCase(diskName, ".aab") && !EndsWithNoCase(diskName, ".aax"))
        return diskName;
    // The search starts just before ".aab"; a four-character name starts at its last character.
    size_t from = n > 4 ? n - 5 : n - 1;
    size_t dot = diskName.rfind('.', from);
    return dot == String::npos ? String() : diskName.substr(0, dot);
}

String CFileNode::StatusText() const {
    switch (status) {
    case NS_MISSING:
        return "Missing";
    case NS_INACTIVE:
        return "Inactive";
    default:
        return String();
    }
}

String CFileNode::SizeText() const {
    return SizeTextOf(size);
}

String CFileNode::CrcText() const {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc));
    return text;
}

String CFileNode::SizeTextOf(uint64_t bytes) {
    // Rounded up without adding first, so the largest totals cannot wrap.
    uint64_t kilobytes = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    return GroupThousands(std::to_string(kilobytes)) + " KB";
}

} // namespace quillory
