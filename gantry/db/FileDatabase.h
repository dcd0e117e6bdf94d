#pragma once
// The Gantry database: the tree of the game installation, its packages and the offered list.

#include "common/MemoryStream.h"
#include "common/Types.h"
#include "gantry/db/DatabaseOwner.h"
#include "gantry/db/DatabaseResult.h"
#include "gantry/db/DirectoryWalker.h"
#include "gantry/db/FileNode.h"
#include "gantry/db/GantryAlert.h"
#include "gantry/db/Package.h"
#include "gantry/db/ScanProgress.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quillory {

namespace platform {
class CInputFile;
}

// Threads: the database has one owner at a time. The start-up worker (CDatabaseLoader) owns it
// while it loads and scans, the download worker (CGantryClient) while it installs; otherwise the
// window's thread does. Whoever does not own it reads neither the tree nor the package lists:
// the window tests Busy() and leaves the database alone while it is true, and the accessors of
// the tree and the package lists check the owning thread (QUILLORY_ASSERT_DB_OWNER). While a
// worker owns it, another thread uses only Progress(): the scan text and the cancel flags.
class CFileDatabase final : public CDirectoryWalker {
public:
    static constexpr const char* DATABASE_FILE = "quillory.dat";
    static constexpr const char* DATABASE_TEMP_FILE = "quillory.da2";
    static constexpr int SERVER_TEXT_COUNT = 10;
    // The pseudo-packages (core files, unknown files, unknown add-ons) come first in Packages().
    static constexpr size_t PSEUDO_PACKAGE_COUNT = 3;

    // Points where a save can be interrupted; tests kill the process there.
    enum SaveStep { SAVE_TEMP_PARTLY_WRITTEN, SAVE_TEMP_WRITTEN, SAVE_REPLACED };

    // `databaseFolder` holds "quillory.dat"; empty means the current directory.
    explicit CFileDatabase(String databaseFolder = String());
    ~CFileDatabase() override;
    CFileDatabase(const CFileDatabase&) = delete;
    CFileDatabase& operator=(const CFileDatabase&) = delete;

    // The tree and the package lists; the owner only.
    const Handle<CFileNode>& Root() const;
    void SetRoot(Handle<CFileNode> root);
    // Pseudo-packages at 0..PSEUDO_PACKAGE_COUNT-1, real packages after them.
    const HandleArray<CPackage>& Packages() const;
    void AddPackage(Handle<CPackage> package);
    // Drops the package from the list (its members stay as they are).
    void RemovePackage(const CPackage& package);
    const Handle<CPackage>& CoreFiles() const;
    const Handle<CPackage>& UnknownFiles() const;
    const Handle<CPackage>& UnknownAddons() const;
    // Empty: Load keeps its own numbering of the nodes.
    const HandleArray<CFileNode>& NodeByNumber() const;
    // Files the last scan found that no package held before.
    const HandleArray<CFileNode>& NewNodes() const;
    void AddNewNode(Handle<CFileNode> node);
    void RemoveNewNode(const Handle<CFileNode>& node);
    const Handle<CFileNode>& AddonsFolder() const;
    const Handle<CFileNode>& ResAddonsFolder() const;
    const HandleArray<CFileNode>& ModFolders() const;
    // Parallel to ModFolders(); entries may be empty.
    const HandleArray<CFileNode>& ModAddonFolders() const;
    // The mark of the nodes the running (or last) scan has seen.
    uint32_t Pass() const;

    // Ends with "\".
    const String& GamePath() const { return gamePath_; }
    void SetGamePath(String gamePath) { gamePath_ = std::move(gamePath); }
    const String& DatabaseFolder() const { return databaseFolder_; }

    // The offered package list and the texts of the server that offers it; the owner only.
    const HandleArray<CPackage>& OfferedPackages() const;
    void AddOfferedPackage(Handle<CPackage> package);
    const String& ServerText(size_t index) const;
    void SetServerText(size_t index, String text);

    // Set when "quillory.dat" could not be read nor moved aside: Save refuses, so that the only
    // copy of the old database is never replaced without the user's doing.
    bool KeepDatabaseFile() const { return keepDatabaseFile_; }
    void SetKeepDatabaseFile(bool keep) { keepDatabaseFile_ = keep; }

    // While one install or command runs, the names of the folders it touches, so that the
    // file operations below do not read a whole folder for every file; null otherwise.
    platform::CNameIndex* NameIndex() const { return nameIndex_; }
    void SetNameIndex(platform::CNameIndex* index) { nameIndex_ = index; }

    // Which thread may touch the tree and the packages.
    CDatabaseOwner& Owner() { return owner_; }
    const CDatabaseOwner& Owner() const { return owner_; }
    // What any thread may use while a worker owns the database.
    CScanProgress& Progress() { return scan_; }
    const CScanProgress& Progress() const { return scan_; }

    // Test seams, empty in the program. Told each save step.
    void SetSaveStepHook(std::function<void(SaveStep)> hook) { saveStepHook_ = std::move(hook); }
    // Told the path of every file whose content the scanner is about to read.
    void SetContentReadHook(std::function<void(const String&)> hook) {
        contentReadHook_ = std::move(hook);
    }
    // Told, on the scanning thread, how many bytes of the file in hand the scanner has read so
    // far, after each block.
    void SetCrcBlockHook(std::function<void(uint64_t)> hook) { crcBlockHook_ = std::move(hook); }
    // How the scanner lists folders; tests list as a file system without entry kinds would.
    void SetScanDetail(platform::WalkDetail detail) { scanDetail_ = detail; }
    platform::WalkDetail ScanDetail() const { return scanDetail_; }
    void ReportContentRead(const String& path) const;

    // True while a worker owns the database (see the rule above the class).
    bool Busy() const { return owner_.Busy(); }

    // Moves with every change of the tree or the package lists: front ends save and views refill
    // when it moved, instead of comparing whole trees.
    uint64_t ChangeCount() const { return changeCount_.load(std::memory_order_relaxed); }
    void MarkChanged() { changeCount_.fetch_add(1, std::memory_order_relaxed); }

    // Packages.
    // `mayBeCore` false: the caller knows that the core-file list does not hold the node's folder
    // (the scanner asks once per folder instead of once per file).
    void Classify(const String& relPath, const Handle<CFileNode>& node, bool mayBeCore = true);
    void UnbindFromUnknown(CFileNode& node);

    // Database file.
    DatabaseResult Save();
    DatabaseResult Load();
    String DatabasePath() const;
    String DatabaseTempPath() const;

    // Core-file list.
    bool IsCorePath(const String& relPath);
    void FreeCoreList();
    const std::vector<uint8_t>& CoreList() const { return coreList_; }
    uint32_t CoreListLength() const { return coreListLength_; }
    // Takes an unpacked list (as UnpackCoreList gives it) in place of the built-in one.
    void SetCoreList(std::vector<uint8_t> list, uint32_t length);
    // Unpacks a length-prefixed zlib list; one that does not unpack becomes the empty list.
    static void UnpackCoreList(const uint8_t* resource, size_t size, std::vector<uint8_t>& list,
                               uint32_t& length);

    // Scanner.
    bool Scan();
    // `user` is the scanner's own record of the folder being filled; only Scan walks with it.
    int OnEntry(int code, const String& entryPath, const platform::WalkEntry* entry,
                void* user) override;
    static bool FileCrc32(const String& path, uint32_t& crc);
    enum CrcResult { CRC_DONE, CRC_UNREADABLE, CRC_CANCELLED, CRC_NOT_FOUND };
    // The scanner's CRC: stops before the next block once a cancel is requested.
    CrcResult ScanCrc32(const String& path, uint32_t& crc);
    // The same, also giving the count of bytes read (verify compares it with the stored size).
    CrcResult ReadCrc32(const String& path, uint32_t& crc, uint64_t& size);
    // The same for a file the scanner holds open. A short read that reaches `knownSize`, the
    // size the open file has (or none), ends the file without one more read.
    CrcResult ReadOpenCrc32(platform::CInputFile& file, std::optional<uint64_t> knownSize,
                            uint32_t& crc);
    // Shows `path` to the wait dialog (see CScanProgress::Publish).
    void PublishScanText(const String& path);
    void LocateAddonFolders();
    void CollectModFolders();
    int IndexOfModFolder(const CFileNode* node) const;

    // File operations. A file already in the wanted state gives Ok; a missing one FileNotFound;
    // a folder, or a path that would leave the game folder, AccessDenied; a failed rename its
    // own result.
    platform::FsResult DeactivateFile(CFileNode& node);
    platform::FsResult ActivateFile(CFileNode& node);
    // The number of present files that stayed as they were.
    size_t DeactivatePackage(CPackage& package);
    size_t ActivatePackage(CPackage& package);
    // Deletes what carries NF_DELETE below `folder`; the relative paths that could not be
    // deleted go to `notDeleted` when given.
    int DeleteMarked(CFileNode& folder, std::vector<String>* notDeleted = nullptr);
    // False (and the package stays) when it is a pseudo-package or not all of its own files
    // could be deleted; those paths go to `notDeleted` when given.
    bool UninstallPackage(const Handle<CPackage>& package,
                          std::vector<String>* notDeleted = nullptr);
    // False for a pseudo-package, which stays.
    bool DissolvePackage(const Handle<CPackage>& package);
    // False when nothing changed: a pseudo-package, or a node the package does not list.
    bool UnbindMember(CPackage& package, CFileNode& node);
    // After uninstalling: drop what nothing holds any more, then find the add-on and mod folders.
    void CleanUpAfterUninstall();

    // Offered package list. A description may hold at most MAX_OFFERED_PACKAGES packages and
    // MAX_DESCRIBED_NODES described files and folders in all; a larger one is refused as
    // damaged, as a truncated one is, and the list stays as it was.
    static constexpr uint32_t MAX_OFFERED_PACKAGES = 10000;
    static constexpr uint32_t MAX_DESCRIBED_NODES = 500000;
    bool ReadOfferedList(CMemoryStream& description);
    void CompareWithDatabase(CPackage& package);
    Handle<CFileNode> FindFile(const String& relPath, uint32_t size, uint32_t crc) const;
    String ModSuggestion() const;
    void CheckOfferedPackages(GantryAlert& alert);
    void ClearOfferedList();

private:
    void WriteNodeList(const CFileNode& folder, std::vector<const CFileNode*>& numbered);
    void WritePackage(const CPackage& package, const std::vector<const CFileNode*>& numbered);
    DatabaseResult WriteDatabaseFile(platform::CAtomicFile& file, const CMemoryStream& payload);
    void ReportSaveStep(SaveStep step) const;
    DatabaseResult LoadFailure(const char* what) const;

    Handle<CPackage> coreFiles_;
    Handle<CPackage> unknownFiles_;
    Handle<CPackage> unknownAddons_;
    HandleArray<CPackage> packages_;
    HandleArray<CFileNode> nodeByNumber_;
    HandleArray<CFileNode> newNodes_;
    Handle<CFileNode> root_;
    Handle<CFileNode> addonsFolder_;
    Handle<CFileNode> resAddonsFolder_;
    HandleArray<CFileNode> modFolders_;
    HandleArray<CFileNode> modAddonFolders_;
    String gamePath_;
    CDatabaseOwner owner_;
    CScanProgress scan_;
    std::array<String, SERVER_TEXT_COUNT> serverTexts_;
    HandleArray<CPackage> offeredPackages_;
    uint32_t pass_ = 0;
    CMemoryStream* stream_ = nullptr; // only while Save runs
    std::vector<uint8_t> coreList_;
    uint32_t coreListLength_ = 0;
    String databaseFolder_;
    bool keepDatabaseFile_ = false;
    std::function<void(SaveStep)> saveStepHook_;
    platform::CNameIndex* nameIndex_ = nullptr;
    std::function<void(const String&)> contentReadHook_;
    std::function<void(uint64_t)> crcBlockHook_;
    platform::WalkDetail scanDetail_ = platform::WalkDetail::Deferred;
    std::atomic<uint64_t> changeCount_{0};
    std::unique_ptr<unsigned char[]> crcBlock_; // the scanner's read block, kept for one walk
};

} // namespace quillory
