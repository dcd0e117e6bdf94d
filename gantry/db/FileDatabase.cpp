#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"

#include <utility>

namespace quillory {

namespace {

Handle<CPackage> MakePseudoPackage(const char* name) {
    auto package = std::make_shared<CPackage>();
    package->name = name;
    return package;
}

String InFolder(const String& folder, const char* file) {
    if (folder.empty())
        return file;
    char last = folder.back();
    return (last == '/' || last == '\\') ? folder + file : folder + "/" + file;
}

} // namespace

CFileDatabase::CFileDatabase(String folder)
    : coreFiles(MakePseudoPackage("<Core files>")),
      unknownFiles(MakePseudoPackage("<Unknown files>")),
      unknownAddons(MakePseudoPackage("<Unknown addons>")), packages{coreFiles, unknownFiles,
                                                                     unknownAddons},
      databaseFolder(std::move(folder)) {}

CFileDatabase::~CFileDatabase() = default;

void CFileDatabase::Classify(const String& relPath, const Handle<CFileNode>& node, bool mayBeCore) {
    if (node->flags & (NF_CORE | NF_UNKNOWN_FILE | NF_UNKNOWN_ADDON))
        return;
    MarkChanged();
    if (mayBeCore && IsCorePath(relPath)) {
        node->flags |= NF_CORE;
        coreFiles->AddMember(node);
    } else if (StartsWithNoCase(relPath, "AddOns\\") ||
               StartsWithNoCase(relPath, "Res\\AddOns\\")) {
        node->flags |= NF_UNKNOWN_ADDON;
        unknownAddons->AddMember(node);
    } else {
        node->flags |= NF_UNKNOWN_FILE;
        unknownFiles->AddMember(node);
    }
}

void CFileDatabase::UnbindFromUnknown(CFileNode& node) {
    if (node.flags & (NF_UNKNOWN_FILE | NF_UNKNOWN_ADDON))
        MarkChanged();
    if (node.flags & NF_UNKNOWN_FILE) {
        unknownFiles->RemoveAt(unknownFiles->IndexOf(&node));
        node.flags &= static_cast<uint16_t>(~NF_UNKNOWN_FILE);
    }
    if (node.flags & NF_UNKNOWN_ADDON) {
        unknownAddons->RemoveAt(unknownAddons->IndexOf(&node));
        node.flags &= static_cast<uint16_t>(~NF_UNKNOWN_ADDON);
    }
}

String CFileDatabase::DatabasePath() const {
    return InFolder(databaseFolder, DATABASE_FILE);
}

String CFileDatabase::DatabaseTempPath() const {
    return InFolder(databaseFolder, DATABASE_TEMP_FILE);
}

} // namespace quillory
