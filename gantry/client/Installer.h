#pragma once
// Installs one downloaded package archive into the game folder as a new package of the
// database: each entry goes where the first matching directive says, files already present and
// identical are reused, the others are written and activated (straight under their active name
// when nothing holds it, else under their inactive name and then renamed).
// An install that fails part-way, or is cancelled, is undone whole.

#include "common/Types.h"
#include "gantry/client/InstallJournal.h"
#include "gantry/client/PackageArchive.h"
#include "gantry/db/FileDatabase.h"
#include "platform/NameIndex.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quillory {

// What one install did, for callers that report it.
struct InstallReport {
    Handle<CPackage> package;    // the new package, while it stays listed
    std::vector<String> written; // destinations written
    std::vector<String> reused;  // destinations found present and identical, or found elsewhere
    std::vector<String> ignored; // entries an Ignore directive skipped
    std::vector<String> leftOut; // entries no directive matched
    // Destinations installed but left under their inactive name, each with the reason.
    std::vector<String> inactive;
    bool rolledBack = false; // the install failed part-way and was undone
    // Paths the undoing could not put back as they were.
    std::vector<String> notRestored;
    String error; // why the install stopped; empty when it succeeded
};

class CInstaller final {
public:
    // `offered` is the server's description of the package, or null.
    CInstaller(CFileDatabase& db, const String& archivePath, std::atomic<uint64_t>& installDone,
               std::atomic<uint64_t>& installTotal, const CPackage* offered);
    CInstaller(const CInstaller&) = delete;
    CInstaller& operator=(const CInstaller&) = delete;

    // True when every entry was installed and activated. A refusal before the package was
    // listed changes nothing; a later failure, or a cancel, undoes what was done (the report
    // says rolledBack). Entries left under their inactive name keep the package installed but
    // give false.
    bool Run();
    const InstallReport& Report() const { return report_; }

    // Where the free space of the game folder's disk is read; tests give a fixed amount.
    using FreeSpaceSource = std::function<std::optional<uint64_t>(const String& path)>;
    void SetFreeSpaceSource(FreeSpaceSource source) { freeSpace_ = std::move(source); }
    // Asked after each entry; true stops the install there and undoes it.
    using CancelCheck = std::function<bool()>;
    void SetCancelCheck(CancelCheck check) { cancelled_ = std::move(check); }

private:
    // A folder's children by folded name, for the folders this install looks into.
    using ChildNames = std::unordered_map<String, HandleArray<CFileNode>>;
    struct BoundFile {
        Handle<CFileNode> node;
        String destination;
        String entryPath;
    };

    bool RunEntries();
    bool Prepare();
    bool SumSizes();
    bool FitsOnDisk();
    bool EntriesReadWhole();
    void CreatePackage();
    bool InstallEntry(const ZipEntryInfo& info);
    CFileNode* EnterFolders(const std::vector<String>& pieces);
    bool EnterFolder(Handle<CFileNode>& current, const String& piece);
    bool MakeFolderOnDisk(const Handle<CFileNode>& folder);
    bool PlaceFile(CFileNode& folder, const String& piece, const ZipEntryInfo& info,
                   const String& destination);
    const HandleArray<CFileNode>& ChildrenNamed(const CFileNode& folder, const String& name);
    Handle<CFileNode> AddChild(CFileNode& folder, const String& name, uint16_t flags);
    void BindToCoreIfCore(const Handle<CFileNode>& node);
    void UnbindFromUnknown(const Handle<CFileNode>& node);
    Handle<CFileNode> FindChildFolder(const CFileNode& folder, const String& name);
    Handle<CFileNode> FindChildFile(const CFileNode& folder, const String& name, uint32_t size,
                                    uint32_t crc);
    bool FindPresent(const String& destination, const ZipEntryInfo& info);
    Handle<CFileNode> FindInOffered(const String& name, const ZipEntryInfo& info) const;
    bool WriteFile(const Handle<CFileNode>& node, const ZipEntryInfo& info);
    bool CopyEntry(const String& path, const ZipEntryInfo& info, const CFileNode& node);
    const String& NativeFolder(const CFileNode& folder);
    void Bind(const Handle<CFileNode>& node, const String& destination, const String& entryPath);
    bool IsMember(const CFileNode* node) const { return members_.count(node) != 0; }
    void AddMember(const Handle<CFileNode>& node);
    void ReportInactive();
    bool SupersededInTurn(const BoundFile& bound);
    void RollBack();
    bool Fail(String why);

    CFileDatabase& db_;
    PackageArchive archive_;
    std::atomic<uint64_t>& installDone_;
    std::atomic<uint64_t>& installTotal_;
    const CPackage* offered_;
    Handle<CPackage> package_;
    std::unordered_set<const CFileNode*> members_; // mirrors package_->members for lookups
    std::vector<BoundFile> boundFiles_;
    std::unordered_map<const CFileNode*, String> entryOf_; // bound file -> its entry path
    std::unordered_map<const CFileNode*, platform::FsResult> activation_;
    InstallReport report_;
    FreeSpaceSource freeSpace_;
    CancelCheck cancelled_;
    CInstallJournal journal_;
    // Both indexes live as long as this install: nothing else changes the folders meanwhile.
    std::unordered_map<const CFileNode*, ChildNames> children_;
    platform::CNameIndex names_;
    std::unordered_map<const CFileNode*, String> nativeFolders_; // with the final '/'
};

// Installs the archive at `archivePath` into `db`; see CInstaller. `report` may be null;
// `cancelled`, when given, is asked after each entry.
bool InstallPackage(CFileDatabase& db, const String& archivePath,
                    std::atomic<uint64_t>& installDone, std::atomic<uint64_t>& installTotal,
                    const CPackage* offered, InstallReport* report = nullptr,
                    CInstaller::CancelCheck cancelled = {});

} // namespace quillory
