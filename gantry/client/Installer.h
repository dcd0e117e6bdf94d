#pragma once
// Installs one downloaded package archive into the game folder as a new package of the
// database: each entry goes where the first matching directive says, files already present and
// identical are reused, the others are written under their inactive name and then activated.

#include "common/Types.h"
#include "gantry/client/PackageArchive.h"
#include "gantry/db/FileDatabase.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

namespace quillory {

// What one install did, for callers that report it.
struct InstallReport {
    Handle<CPackage> package;    // the new package, once it was listed
    std::vector<String> written; // destinations written
    std::vector<String> reused;  // destinations found present and identical, or found elsewhere
    std::vector<String> ignored; // entries an Ignore directive skipped
    std::vector<String> leftOut; // entries no directive matched
    String error;                // why the install stopped; empty when it succeeded
};

class CInstaller final {
public:
    // `offered` is the server's description of the package, or null.
    CInstaller(CFileDatabase& db, const String& archivePath, std::atomic<uint64_t>& installDone,
               std::atomic<uint64_t>& installTotal, const CPackage* offered);
    CInstaller(const CInstaller&) = delete;
    CInstaller& operator=(const CInstaller&) = delete;

    // True when every entry was handled. A refusal before the package was listed changes
    // nothing; a later failure keeps what was done so far.
    bool Run();
    const InstallReport& Report() const { return report_; }

    // Where the free space of the game folder's disk is read; tests give a fixed amount.
    using FreeSpaceSource = std::function<std::optional<uint64_t>(const String& path)>;
    void SetFreeSpaceSource(FreeSpaceSource source) { freeSpace_ = std::move(source); }

private:
    bool Prepare();
    bool SumSizes();
    bool FitsOnDisk();
    void CreatePackage();
    bool InstallEntry(const ZipEntryInfo& info);
    CFileNode* EnterFolders(const std::vector<String>& pieces);
    bool EnterFolder(Handle<CFileNode>& current, const String& piece);
    bool MakeFolderOnDisk(CFileNode& folder);
    bool PlaceFile(CFileNode& folder, const String& piece, const ZipEntryInfo& info,
                   const String& destination);
    Handle<CFileNode> FindInOffered(const String& name, const ZipEntryInfo& info) const;
    bool WriteFile(CFileNode& node, const ZipEntryInfo& info);
    bool CopyEntry(const String& path, const ZipEntryInfo& info);
    void Bind(const Handle<CFileNode>& node);
    bool IsMember(const CFileNode* node) const { return members_.count(node) != 0; }
    void AddMember(const Handle<CFileNode>& node);
    bool Fail(String why);

    CFileDatabase& db_;
    PackageArchive archive_;
    std::atomic<uint64_t>& installDone_;
    std::atomic<uint64_t>& installTotal_;
    const CPackage* offered_;
    Handle<CPackage> package_;
    std::unordered_set<const CFileNode*> members_; // mirrors package_->members for lookups
    InstallReport report_;
    FreeSpaceSource freeSpace_;
};

// Installs the archive at `archivePath` into `db`; see CInstaller. `report` may be null.
bool InstallPackage(CFileDatabase& db, const String& archivePath,
                    std::atomic<uint64_t>& installDone, std::atomic<uint64_t>& installTotal,
                    const CPackage* offered, InstallReport* report = nullptr);

} // namespace quillory
