#include "gantry/db/DescribedFiles.h"

#include "common/AsciiCase.h"

namespace quillory {

namespace {

// Any known file at `path`, whatever its contents; null when there is none.
const CFileNode* FileAt(const Handle<CFileNode>& root, const String& path) {
    const CFileNode* folder = root.get();
    size_t start = 0;
    while (folder != nullptr) {
        const size_t slash = path.find('\\', start);
        const bool last = slash == String::npos;
        const String segment = path.substr(start, last ? String::npos : slash - start + 1);
        const CFileNode* next = nullptr;
        for (const auto& child : folder->children)
            if (child->status != NS_MISSING && child->IsFolder() == !last &&
                EqualsNoCase(child->name, segment))
                next = child.get();
        if (last)
            return next;
        folder = next;
        start = slash + 1;
    }
    return nullptr;
}

DescribedFileRow RowOf(const CFileDatabase& db, const CFileNode& described,
                       const Handle<CFileNode>& match) {
    DescribedFileRow row;
    row.path = described.RelativePath();
    row.sizeText = described.SizeText();
    row.crcText = described.CrcText();
    if (match) {
        row.state = DescribedState::PRESENT;
        row.foundAt = match->RelativePath();
        row.statusText = match->status == NS_ACTIVE ? "Present" : "Present, inactive";
    } else if (db.Root() && FileAt(db.Root(), row.path) != nullptr) {
        row.state = DescribedState::DIFFERS;
        row.statusText = "Differs";
    } else {
        row.statusText = "Missing";
    }
    return row;
}

} // namespace

std::vector<DescribedFileRow> DescribedFiles(CFileDatabase& db, CPackage& offered) {
    db.CompareWithDatabase(offered);
    std::vector<DescribedFileRow> rows;
    for (size_t i = 0; i < offered.described.size() && i < offered.members.size(); ++i) {
        const Handle<CFileNode>& node = offered.described[i];
        if (node->IsFolder())
            continue;
        rows.push_back(RowOf(db, *node, offered.members[i]));
    }
    return rows;
}

} // namespace quillory
