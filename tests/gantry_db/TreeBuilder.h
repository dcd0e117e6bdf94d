#pragma once
// Small helpers to lay out trees and packages in tests, and to describe them for comparison.

#include "gantry/db/FileDatabase.h"

#include <string>

namespace quillory::test {

inline Handle<CFileNode> AddFolder(CFileNode& parent, const String& name,
                                   uint16_t status = NS_ACTIVE) {
    auto node = parent.AddChild(name, NF_FOLDER);
    node->status = status;
    return node;
}

inline Handle<CFileNode> AddFile(CFileNode& parent, const String& name, uint32_t size, uint32_t crc,
                                 uint16_t status = NS_ACTIVE) {
    auto node = parent.AddChild(name, 0);
    node->diskName = name;
    node->size = size;
    node->crc = crc;
    node->status = status;
    return node;
}

inline Handle<CFileNode> MakeRoot(const String& name) {
    auto root = std::make_shared<CFileNode>();
    root->name = name;
    root->flags = NF_FOLDER;
    root->bindCount = ROOT_BIND_COUNT;
    return root;
}

inline Handle<CPackage> AddPackage(CFileDatabase& db, const String& name) {
    auto package = std::make_shared<CPackage>();
    package->name = name;
    db.AddPackage(package);
    return package;
}

// Everything the database file keeps, one line per node and package.
inline std::string Describe(const CFileNode& folder, const std::string& indent = "") {
    std::string text;
    for (const auto& c : folder.children) {
        text += indent + c->name + "|" + c->diskName + "|" + std::to_string(c->status) + "|" +
                std::to_string(c->flags) + "|" + std::to_string(c->bindCount) + "|" +
                std::to_string(c->size) + "|" + std::to_string(c->crc) + "|" +
                std::to_string(c->modified) + "\n";
        if (c->parent != &folder)
            text += indent + "  (wrong parent)\n";
        text += Describe(*c, indent + "  ");
    }
    return text;
}

inline std::string Describe(const CFileDatabase& db) {
    std::string text = db.Root() ? Describe(*db.Root()) : "(no root)\n";
    for (const auto& p : db.Packages()) {
        text += "package " + p->name + "|" + std::to_string(p->installed) + "|" + p->homePage +
                "|" + p->text3 + "|" + p->text4 + ":";
        for (const auto& m : p->members)
            text += " " + m->RelativePath() + "#" + std::to_string(m->crc);
        text += "\n";
    }
    return text;
}

} // namespace quillory::test
