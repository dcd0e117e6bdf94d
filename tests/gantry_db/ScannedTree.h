#pragma once
// Looks up the nodes a scan made by their relative paths, and computes reference CRCs with zlib.

#include "common/AsciiCase.h"
#include "gantry/db/FileDatabase.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>
#include <zlib.h>

namespace quillory::test {

// Splits "a\b\c.pbo" into "a\", "b\", "c.pbo".
inline std::vector<std::string> PathSegments(std::string_view rel) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < rel.size()) {
        size_t cut = rel.find('\\', start);
        size_t end = cut == std::string_view::npos ? rel.size() : cut + 1;
        out.emplace_back(rel.substr(start, end - start));
        start = end;
    }
    return out;
}

// Every node at `rel` (letter case ignored): the versions of a file, or one folder.
inline std::vector<Handle<CFileNode>> NodesAt(const CFileDatabase& db, std::string_view rel) {
    std::vector<Handle<CFileNode>> found;
    const CFileNode* folder = db.Root().get();
    std::vector<std::string> parts = PathSegments(rel);
    for (size_t i = 0; i < parts.size() && folder; ++i) {
        const CFileNode* next = nullptr;
        for (const auto& child : folder->children) {
            if (!EqualsNoCase(child->name, parts[i]))
                continue;
            if (i + 1 == parts.size())
                found.push_back(child);
            else if (!next)
                next = child.get();
        }
        folder = next;
    }
    return found;
}

inline Handle<CFileNode> NodeAt(const CFileDatabase& db, std::string_view rel) {
    auto nodes = NodesAt(db, rel);
    return nodes.empty() ? nullptr : nodes.front();
}

inline uint32_t CrcOf(std::string_view bytes) {
    return static_cast<uint32_t>(
        ::crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// "x.pbo" with the CRC of `content` gives "x.pbo.<8 hex digits>.aab".
inline std::string InactiveNameFor(std::string_view name, std::string_view content) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", CrcOf(content));
    return std::string(name) + "." + hex + ".aab";
}

} // namespace quillory::test
