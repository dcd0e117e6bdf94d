#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"

#include <algorithm>
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
    : coreFiles_(MakePseudoPackage("<Core files>")),
      unknownFiles_(MakePseudoPackage("<Unknown files>")),
      unknownAddons_(MakePseudoPackage("<Unknown addons>")), packages_{coreFiles_, unknownFiles_,
                                                                       unknownAddons_},
      databaseFolder_(std::move(folder)) {
    static_assert(PSEUDO_PACKAGE_COUNT == 3, "the constructor makes three pseudo-packages");
}

CFileDatabase::~CFileDatabase() = default;

const Handle<CFileNode>& CFileDatabase::Root() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return root_;
}

void CFileDatabase::SetRoot(Handle<CFileNode> root) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    root_ = std::move(root);
    MarkChanged();
}

const HandleArray<CPackage>& CFileDatabase::Packages() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return packages_;
}

void CFileDatabase::AddPackage(Handle<CPackage> package) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    packages_.push_back(std::move(package));
    MarkChanged();
}

void CFileDatabase::RemovePackage(const CPackage& package) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (std::erase_if(packages_, [&](const Handle<CPackage>& p) { return p.get() == &package; }))
        MarkChanged();
}

const Handle<CPackage>& CFileDatabase::CoreFiles() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return coreFiles_;
}

const Handle<CPackage>& CFileDatabase::UnknownFiles() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return unknownFiles_;
}

const Handle<CPackage>& CFileDatabase::UnknownAddons() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return unknownAddons_;
}

const HandleArray<CFileNode>& CFileDatabase::NodeByNumber() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return nodeByNumber_;
}

const HandleArray<CFileNode>& CFileDatabase::NewNodes() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return newNodes_;
}

void CFileDatabase::AddNewNode(Handle<CFileNode> node) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    newNodes_.push_back(std::move(node));
}

void CFileDatabase::RemoveNewNode(const Handle<CFileNode>& node) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    const auto it = std::find(newNodes_.begin(), newNodes_.end(), node);
    if (it != newNodes_.end())
        newNodes_.erase(it);
}

const Handle<CFileNode>& CFileDatabase::AddonsFolder() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return addonsFolder_;
}

const Handle<CFileNode>& CFileDatabase::ResAddonsFolder() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return resAddonsFolder_;
}

const HandleArray<CFileNode>& CFileDatabase::ModFolders() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return modFolders_;
}

const HandleArray<CFileNode>& CFileDatabase::ModAddonFolders() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return modAddonFolders_;
}

uint32_t CFileDatabase::Pass() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return pass_;
}

const HandleArray<CPackage>& CFileDatabase::OfferedPackages() const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return offeredPackages_;
}

void CFileDatabase::AddOfferedPackage(Handle<CPackage> package) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    offeredPackages_.push_back(std::move(package));
}

const String& CFileDatabase::ServerText(size_t index) const {
    QUILLORY_ASSERT_DB_OWNER(*this);
    return serverTexts_.at(index);
}

void CFileDatabase::SetServerText(size_t index, String text) {
    QUILLORY_ASSERT_DB_OWNER(*this);
    serverTexts_.at(index) = std::move(text);
}

void CFileDatabase::ReportContentRead(const String& path) const {
    if (contentReadHook_)
        contentReadHook_(path);
}

void CFileDatabase::Classify(const String& relPath, const Handle<CFileNode>& node, bool mayBeCore) {
    if (node->flags & (NF_CORE | NF_UNKNOWN_FILE | NF_UNKNOWN_ADDON))
        return;
    MarkChanged();
    if (mayBeCore && IsCorePath(relPath)) {
        node->flags |= NF_CORE;
        coreFiles_->AddMember(node);
    } else if (StartsWithNoCase(relPath, "AddOns\\") ||
               StartsWithNoCase(relPath, "Res\\AddOns\\")) {
        node->flags |= NF_UNKNOWN_ADDON;
        unknownAddons_->AddMember(node);
    } else {
        node->flags |= NF_UNKNOWN_FILE;
        unknownFiles_->AddMember(node);
    }
}

void CFileDatabase::UnbindFromUnknown(CFileNode& node) {
    if (node.flags & (NF_UNKNOWN_FILE | NF_UNKNOWN_ADDON))
        MarkChanged();
    if (node.flags & NF_UNKNOWN_FILE) {
        unknownFiles_->RemoveAt(unknownFiles_->IndexOf(&node));
        node.flags &= static_cast<uint16_t>(~NF_UNKNOWN_FILE);
    }
    if (node.flags & NF_UNKNOWN_ADDON) {
        unknownAddons_->RemoveAt(unknownAddons_->IndexOf(&node));
        node.flags &= static_cast<uint16_t>(~NF_UNKNOWN_ADDON);
    }
}

String CFileDatabase::DatabasePath() const {
    return InFolder(databaseFolder_, DATABASE_FILE);
}

String CFileDatabase::DatabaseTempPath() const {
    return InFolder(databaseFolder_, DATABASE_TEMP_FILE);
}

} // namespace quillory
