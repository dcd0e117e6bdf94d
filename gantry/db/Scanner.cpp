// The installation scanner: brings the file tree up to date with the game folder.
#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"
#include "gantry/db/NodeArena.h"
#include "platform/FileSystem.h"
#include "platform/InputFile.h"
#include "platform/ZlibLibrary.h"

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace quillory {

namespace {

// Relative paths the scanner never enters; compared whole, so they only match at the top.
constexpr const char* kLeftOutPaths[] = {"MPMissionsCache\\", "tmp\\", "Users\\", "Ironvale.cfg"};

// Large reads keep the first scan close to the speed of the disk.
constexpr size_t kCrcBlockSize = 512 * 1024;

constexpr uint16_t kPseudoFlags = NF_CORE | NF_UNKNOWN_FILE | NF_UNKNOWN_ADDON;

bool IsLeftOut(const String& relPath) {
    for (const char* leftOut : kLeftOutPaths)
        if (EqualsNoCase(relPath, leftOut))
            return true;
    return false;
}

uint32_t NoCaseHash(std::string_view text) {
    uint32_t hash = 2166136261u;
    for (char c : text)
        hash = (hash ^ static_cast<unsigned char>(ToLowerAscii(c))) * 16777619u;
    return hash;
}

// What one folder's walk fills: the folder, and its children by name (ignoring case) in
// `children` order. An add-on folder can hold thousands of files; looking each entry up in a
// list of all of them made a rescan quadratic. The index is one open hash table of names and one
// link per child to the next child of the same name, so a new file costs no allocation of its
// own; the folder's new nodes come from `nodes`, a block at a time.
class CFolderScan {
public:
    static constexpr uint32_t NONE = UINT32_MAX;

    CFolderScan(CFileNode& folder, String relPath, bool top, bool mayHoldCore,
                const CNodeArena::CFiller& nodes)
        : folder_(folder), relPath_(std::move(relPath)), top_(top), mayHoldCore_(mayHoldCore),
          nodes_(nodes) {
        next_.reserve(folder.children.size());
        for (size_t i = 0; i < folder.children.size(); ++i)
            Index(static_cast<uint32_t>(i));
    }
    CFileNode& Folder() const { return folder_; }
    // The folder's relative path, made once per folder rather than once per entry.
    const String& RelativePath() const { return relPath_; }
    // The relative path of the entry `name` in this folder, in a buffer kept for the folder.
    const String& RelativePathOf(const String& name) {
        entryPath_.assign(relPath_).append(name);
        return entryPath_;
    }
    // Left-out paths are compared whole, so only the top folder's entries can be one.
    bool IsLeftOut(const String& name) const { return top_ && quillory::IsLeftOut(name); }
    // Whether the core-file list holds this folder (or it is the top): a folder that is not in
    // the list holds nothing that is.
    bool MayHoldCore() const { return mayHoldCore_; }
    const CNodeArena::CFiller& Nodes() const { return nodes_; }

    // Positions in `children` of the nodes with this name, in order: the first, then NextNamed
    // of each, until NONE.
    uint32_t FirstNamed(std::string_view name) const {
        if (slots_.empty())
            return NONE;
        return slots_[SlotOf(name, NoCaseHash(name))].first;
    }
    uint32_t NextNamed(uint32_t position) const { return next_[position]; }

    // A new child, as CFileNode::AddChild makes it.
    Handle<CFileNode> AddChild(const String& name, uint16_t flags) {
        Handle<CFileNode> child = nodes_.Make();
        child->parent = &folder_;
        child->name = name;
        child->flags = flags;
        folder_.children.push_back(child);
        Index(static_cast<uint32_t>(folder_.children.size() - 1));
        return child;
    }

private:
    struct Slot {
        uint32_t first = NONE; // NONE: an empty slot
        uint32_t last = NONE;
        uint32_t hash = 0;
    };

    const String& NameAt(uint32_t position) const { return folder_.children[position]->name; }

    // The slot that holds `name`, or the empty one where it would go.
    size_t SlotOf(std::string_view name, uint32_t hash) const {
        const size_t mask = slots_.size() - 1;
        size_t i = hash & mask;
        while (slots_[i].first != NONE &&
               (slots_[i].hash != hash || !EqualsNoCase(NameAt(slots_[i].first), name)))
            i = (i + 1) & mask;
        return i;
    }

    // Keeps the table at most half full.
    void Grow() {
        std::vector<Slot> old(std::max<size_t>(16, slots_.size() * 2));
        old.swap(slots_);
        const size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.first == NONE)
                continue;
            size_t i = slot.hash & mask;
            while (slots_[i].first != NONE)
                i = (i + 1) & mask;
            slots_[i] = slot;
        }
    }

    // Names are the children's own, which stay put while the folder is walked.
    void Index(uint32_t position) {
        if ((names_ + 1) * 2 > slots_.size())
            Grow();
        const String& name = NameAt(position);
        const uint32_t hash = NoCaseHash(name);
        Slot& slot = slots_[SlotOf(name, hash)];
        next_.push_back(NONE);
        if (slot.first == NONE) {
            slot = {position, position, hash};
            ++names_;
            return;
        }
        next_[slot.last] = position;
        slot.last = position;
    }

    CFileNode& folder_;
    String relPath_;
    String entryPath_;
    bool top_;
    bool mayHoldCore_;
    const CNodeArena::CFiller& nodes_;
    std::vector<Slot> slots_;
    std::vector<uint32_t> next_; // per child: the next child of the same name, or NONE
    size_t names_ = 0;
};

// A node that an earlier scan dropped from its pseudo-package still carries the flag; when it
// shows up again and nothing holds it, it goes back to a pseudo-package instead of being lost.
void RebindIfOrphaned(CFileDatabase& db, const Handle<CFileNode>& node, CFolderScan& scan,
                      const String& name) {
    if (node->bindCount != 0 || (node->flags & kPseudoFlags) == 0)
        return;
    node->flags &= static_cast<uint16_t>(~kPseudoFlags);
    db.Classify(scan.RelativePathOf(name), node, scan.MayHoldCore());
    db.MarkChanged();
}

int OnFolderEntry(CFileDatabase& db, CFolderScan& scan, const String& entryPath,
                  const platform::WalkEntry& entry) {
    CFileNode& folder = scan.Folder();
    const String dirName = entry.name + "\\";
    if (scan.IsLeftOut(dirName))
        return CDirectoryWalker::WALK_CONTINUE;
    String relPath = scan.RelativePath() + dirName;

    Handle<CFileNode> node;
    for (uint32_t p = scan.FirstNamed(dirName); p != CFolderScan::NONE; p = scan.NextNamed(p)) {
        if (folder.children[p]->IsFolder()) {
            node = folder.children[p];
            break;
        }
    }
    if (!node) {
        node = scan.AddChild(dirName, NF_FOLDER);
        db.Classify(relPath, node, scan.MayHoldCore());
    } else {
        RebindIfOrphaned(db, node, scan, dirName);
    }
    if (node->status != NS_ACTIVE)
        db.MarkChanged();
    node->status = NS_ACTIVE;
    node->mark = db.Pass();

    const bool mayHoldCore = scan.MayHoldCore() && db.IsCorePath(relPath);
    CFolderScan inner(*node, std::move(relPath), false, mayHoldCore, scan.Nodes());
    if (db.Walk(entryPath + "\\", &inner, db.ScanDetail()) == CDirectoryWalker::WALK_STOP)
        return CDirectoryWalker::WALK_STOP;
    return CDirectoryWalker::WALK_CONTINUE;
}

// The path of the file `diskName` beside the entry at `entryPath`, named `entryName`.
String SiblingPath(const String& entryPath, const String& entryName, const String& diskName) {
    return entryPath.substr(0, entryPath.size() - entryName.size()) + diskName;
}

// Whether a node of this folder names `diskName` as its file: such a file is never deleted.
bool NamedByANode(const CFolderScan& scan, const String& name, const String& diskName) {
    for (uint32_t p = scan.FirstNamed(name); p != CFolderScan::NONE; p = scan.NextNamed(p))
        if (EqualsNoCase(scan.Folder().children[p]->diskName, diskName))
            return true;
    return false;
}

// A second entry whose content (`crc`) is that of `node`'s file. The copy is deleted only when
// both the active and the inactive name exist and it is one of them, no node names it as its
// file, and the file the node keeps is read again and has the same content: versions of one
// size and time are not copies of each other.
void HandleDuplicate(CFileDatabase& db, const CFolderScan& scan, const CFileNode& node,
                     const String& entryPath, const String& diskName, uint32_t crc) {
    const String folderPath = node.FolderPath();
    const String inactiveName = node.InactiveName();
    if (!EqualsNoCase(diskName, node.name) && !EqualsNoCase(diskName, inactiveName))
        return;
    if (crc != node.crc || NamedByANode(scan, node.name, diskName))
        return;
    if (!platform::PathExists(folderPath + node.name) ||
        !platform::PathExists(folderPath + inactiveName))
        return;
    uint32_t kept = 0;
    if (db.ScanCrc32(SiblingPath(entryPath, diskName, node.diskName), kept) !=
            CFileDatabase::CRC_DONE ||
        kept != crc)
        return;
    platform::RemoveFile(entryPath);
}

// The walk stops here on request, exactly as between entries.
int StopOnRequest(CFileDatabase& db) {
    db.Progress().MarkCancelled();
    return CDirectoryWalker::WALK_STOP;
}

// Folds the content of an open file into a CRC-32 block by block through `block`; `onBlock`
// gets the bytes read so far and says whether to go on. `size` is the count of bytes read. A
// read short of the block that reaches `knownSize` (the size of the open file, when known) is
// the end: small files then take one read instead of two.
template <typename OnBlock>
CFileDatabase::CrcResult FoldOpenFile(platform::CInputFile& file, std::optional<uint64_t> knownSize,
                                      unsigned char* block, uint32_t& crc, uint64_t& size,
                                      OnBlock onBlock) {
    const auto& zlib = platform::CZlibLibrary::Shared();
    if (!zlib.Loaded())
        return CFileDatabase::CRC_UNREADABLE;
    uLong value = zlib.crc32(0L, Z_NULL, 0);
    uint64_t done = 0;
    for (;;) {
        const int64_t n = file.Read(block, kCrcBlockSize);
        if (n < 0)
            return CFileDatabase::CRC_UNREADABLE;
        if (n == 0)
            break;
        value = zlib.crc32(value, block, static_cast<uInt>(n));
        done += static_cast<uint64_t>(n);
        if (!onBlock(done))
            return CFileDatabase::CRC_CANCELLED;
        if (static_cast<size_t>(n) < kCrcBlockSize && knownSize && done == *knownSize)
            break;
    }
    crc = static_cast<uint32_t>(value);
    size = done;
    return CFileDatabase::CRC_DONE;
}

// The same for a file named by its path.
template <typename OnBlock>
CFileDatabase::CrcResult FoldFileCrc(const String& path, unsigned char* block, uint32_t& crc,
                                     uint64_t& size, OnBlock onBlock) {
    platform::CInputFile file;
    switch (file.Open(path)) {
    case platform::CInputFile::OPEN_OK:
        break;
    case platform::CInputFile::OPEN_NOT_FOUND:
        return CFileDatabase::CRC_NOT_FOUND;
    case platform::CInputFile::OPEN_FAILED:
        return CFileDatabase::CRC_UNREADABLE;
    }
    return FoldOpenFile(file, std::nullopt, block, crc, size, onBlock);
}

// One file entry as the scanner learns it, each part at most once: its size and time, then
// perhaps its CRC. A file that is read anyway (a name the folder does not hold yet) is opened
// first and described from the open file: one path lookup instead of two, and the size, time
// and CRC recorded all belong to the same file even if its name is replaced meanwhile.
class CFileEntry {
public:
    CFileEntry(CFileDatabase& db, const String& path, const platform::WalkEntry& entry)
        : db_(db), path_(path), entry_(entry) {}

    // Size and time without reading the file: from the listing, or looked up by name. False
    // when the entry is gone or is no regular file any more.
    bool Describe() {
        if (entry_.detailed) {
            facts_ = {entry_.size, entry_.modified};
            return true;
        }
        return platform::DescribeFile(entry_, facts_);
    }
    // Size and time of a file that will be read: the open file gives them. False as above, or
    // when it cannot be opened.
    bool OpenAndDescribe() {
        if (!Open())
            return false;
        if (entry_.detailed) {
            facts_ = {entry_.size, entry_.modified};
            return true;
        }
        if (!file_.Describe(facts_))
            return false;
        sizeOfOpenFile_ = facts_.size;
        return true;
    }
    uint32_t Size() const { return static_cast<uint32_t>(facts_.size); }
    FileTime Modified() const { return facts_.modified; }

    // The CRC; none when the file cannot be read or the scan was asked to stop while reading
    // it (Cancelled() tells which).
    std::optional<uint32_t> Crc() {
        if (read_)
            return crc_;
        read_ = true;
        if (!opened_ && !Open())
            return crc_;
        uint32_t crc = 0;
        result_ = db_.ReadOpenCrc32(file_, sizeOfOpenFile_, crc);
        file_.Close();
        if (result_ == CFileDatabase::CRC_DONE)
            crc_ = crc;
        return crc_;
    }
    bool Cancelled() const { return result_ == CFileDatabase::CRC_CANCELLED; }

private:
    bool Open() {
        opened_ = true;
        db_.ReportContentRead(path_);
        return file_.Open(entry_) == platform::CInputFile::OPEN_OK;
    }

    CFileDatabase& db_;
    const String& path_;
    const platform::WalkEntry& entry_;
    platform::FileFacts facts_;
    platform::CInputFile file_;
    bool opened_ = false;
    bool read_ = false;
    std::optional<uint64_t> sizeOfOpenFile_;
    CFileDatabase::CrcResult result_ = CFileDatabase::CRC_UNREADABLE;
    std::optional<uint32_t> crc_;
};

enum class NodeMatch { OTHER, SAME, COPY, UNREADABLE };

// Whether the file entry is `child`'s file (its time then taken over), a copy of a file that
// another entry of this folder is (handled as a duplicate), or another file.
NodeMatch MatchNode(CFileDatabase& db, const CFolderScan& scan, CFileNode& child, CFileEntry& file,
                    const String& entryPath, const String& diskName) {
    // Met twice in one pass, or the node's own file is still there under its name: this entry
    // can only be a copy, and only if its content is the node's.
    const bool copy = child.mark == db.Pass() ||
                      (!EqualsNoCase(child.diskName, diskName) && !child.diskName.empty() &&
                       platform::PathExists(SiblingPath(entryPath, diskName, child.diskName)));
    if (copy || child.modified != file.Modified()) {
        const std::optional<uint32_t> crc = file.Crc();
        if (!crc)
            return NodeMatch::UNREADABLE;
        if (child.crc != *crc)
            return NodeMatch::OTHER;
        if (copy) {
            HandleDuplicate(db, scan, child, entryPath, diskName, *crc);
            return NodeMatch::COPY;
        }
    }
    if (child.modified != file.Modified())
        db.MarkChanged();
    child.modified = file.Modified();
    return NodeMatch::SAME;
}

int OnFileEntry(CFileDatabase& db, CFolderScan& scan, const String& entryPath,
                const platform::WalkEntry& entry) {
    CFileNode& folder = scan.Folder();
    const String& diskName = entry.name;
    String name = CFileNode::ActiveNameOf(diskName);
    // "readme.aab" has no active name; an empty name would stand for the folder itself.
    if (name.empty())
        name = diskName;
    if (scan.IsLeftOut(name))
        return CDirectoryWalker::WALK_CONTINUE;

    const uint32_t first = scan.FirstNamed(name);
    CFileEntry file(db, entryPath, entry);
    // A name the folder does not hold yet is a new file, read in any case.
    if (!(first == CFolderScan::NONE ? file.OpenAndDescribe() : file.Describe()))
        return CDirectoryWalker::WALK_CONTINUE;
    Handle<CFileNode> node;
    // The node whose file had this very name is tried first: among versions of one size and
    // time, size and time alone would give one version another's node.
    for (const bool ownName : {true, false}) {
        for (uint32_t position = first; position != CFolderScan::NONE && !node;
             position = scan.NextNamed(position)) {
            const Handle<CFileNode>& child = folder.children[position];
            if (child->IsFolder() || child->size != file.Size() ||
                EqualsNoCase(child->diskName, diskName) != ownName)
                continue;
            switch (MatchNode(db, scan, *child, file, entryPath, diskName)) {
            case NodeMatch::OTHER:
                continue;
            case NodeMatch::SAME:
                node = child;
                continue;
            case NodeMatch::COPY:
                return CDirectoryWalker::WALK_CONTINUE;
            case NodeMatch::UNREADABLE:
                return file.Cancelled() ? StopOnRequest(db) : CDirectoryWalker::WALK_CONTINUE;
            }
        }
    }

    if (!node) {
        const std::optional<uint32_t> crc = file.Crc();
        if (!crc)
            return file.Cancelled() ? StopOnRequest(db) : CDirectoryWalker::WALK_CONTINUE;
        node = scan.AddChild(name, 0);
        node->diskName = diskName;
        node->size = file.Size();
        node->crc = *crc;
        node->modified = file.Modified();
        db.Classify(scan.RelativePathOf(name), node, scan.MayHoldCore());
        db.AddNewNode(node);
    } else {
        RebindIfOrphaned(db, node, scan, name);
    }
    node->mark = db.Pass();
    const uint16_t status = EqualsNoCase(diskName, name) ? NS_ACTIVE : NS_INACTIVE;
    if (node->diskName != diskName || node->status != status)
        db.MarkChanged();
    node->diskName = diskName;
    node->status = status;
    return CDirectoryWalker::WALK_CONTINUE;
}

// Pseudo-packages simply let go of what the walk did not see.
void DropUnseenMembers(CFileDatabase& db, CPackage& package) {
    for (size_t i = package.members.size(); i-- > 0;) {
        if (package.members[i]->mark == db.Pass())
            continue;
        db.MarkChanged();
        package.members[i]->status = NS_MISSING;
        package.RemoveAt(static_cast<int>(i));
    }
}

// A real package keeps its unseen members as missing, unless the walk found the same file
// (name, size and CRC) somewhere new: then the package follows it there.
void FollowUnseenMembers(CFileDatabase& db, CPackage& package) {
    for (size_t i = package.members.size(); i-- > 0;) {
        const Handle<CFileNode> old = package.members[i];
        if (old->mark == db.Pass())
            continue;
        if (old->status != NS_MISSING)
            db.MarkChanged();
        old->status = NS_MISSING;
        for (const Handle<CFileNode>& moved : db.NewNodes()) {
            if (moved->crc != old->crc || moved->size != old->size ||
                !EqualsNoCase(moved->name, old->name))
                continue;
            --old->bindCount;
            ++moved->bindCount;
            db.UnbindFromUnknown(*moved);
            db.MarkChanged();
            package.members[i] = moved;
            // Another package may still hold the old node and want to follow it too.
            if (old->bindCount == 0 || (old->bindCount == 1 && (old->flags & NF_CORE)))
                db.RemoveNewNode(Handle<CFileNode>(moved)); // a copy: the loop's entry goes
            break;
        }
    }
}

Handle<CFileNode> ChildNamed(const CFileNode& folder, const char* name) {
    for (const auto& child : folder.children)
        if (EqualsNoCase(child->name, name))
            return child;
    return nullptr;
}

} // namespace

bool CFileDatabase::Scan() {
    QUILLORY_ASSERT_DB_OWNER(*this);
    // Without a readable game folder every node would count as gone: change nothing instead.
    const std::optional<platform::FileAttributes> game = platform::GetAttributes(gamePath_);
    if (gamePath_.empty() || !game || !game->directory)
        return false;
    // Nor can it go on without zlib: no file's checksum could be taken.
    if (!platform::CZlibLibrary::Shared().Loaded())
        return false;
    scan_.ClearCancelled();
    // Every path of the tree is the root's name followed by the names below it.
    if (gamePath_.back() != '\\' && gamePath_.back() != '/')
        gamePath_ += '\\';

    if (!root_) {
        root_ = std::make_shared<CFileNode>();
        root_->name = gamePath_;
        root_->flags = NF_FOLDER;
        root_->bindCount = ROOT_BIND_COUNT;
        MarkChanged();
    }
    ++pass_;
    {
        // Nodes made by this walk come from blocks rather than one allocation each.
        const CNodeArena::CFiller nodes;
        CFolderScan top(*root_, String(), true, true, nodes);
        Walk(gamePath_, &top, scanDetail_);
    }
    crcBlock_.reset();
    FreeCoreList();
    for (const Handle<CPackage>& pseudo : {coreFiles_, unknownFiles_, unknownAddons_})
        DropUnseenMembers(*this, *pseudo);
    for (size_t i = PSEUDO_PACKAGE_COUNT; i < packages_.size(); ++i)
        FollowUnseenMembers(*this, *packages_[i]);
    LocateAddonFolders();
    newNodes_.clear();
    CollectModFolders();
    return true;
}

int CFileDatabase::OnEntry(int code, const String& entryPath, const platform::WalkEntry* entry,
                           void* user) {
    if (code != WALK_ENTRY || !entry || !user)
        return WALK_CONTINUE;
    if (scan_.CancelRequested())
        return StopOnRequest(*this);
    PublishScanText(entryPath);
    // A backslash inside a name cannot be told from a separator in the tree's paths.
    if (entry->hidden || entry->system || entry->name.find('\\') != String::npos)
        return WALK_CONTINUE;
    CFolderScan& scan = *static_cast<CFolderScan*>(user);
    if (entry->directory)
        return OnFolderEntry(*this, scan, entryPath, *entry);
    return OnFileEntry(*this, scan, entryPath, *entry);
}

bool CFileDatabase::FileCrc32(const String& path, uint32_t& crc) {
    const std::unique_ptr<unsigned char[]> block(new unsigned char[kCrcBlockSize]);
    uint64_t size = 0;
    return FoldFileCrc(path, block.get(), crc, size, [](uint64_t) { return true; }) == CRC_DONE;
}

CFileDatabase::CrcResult CFileDatabase::ScanCrc32(const String& path, uint32_t& crc) {
    uint64_t size = 0;
    return ReadCrc32(path, crc, size);
}

CFileDatabase::CrcResult CFileDatabase::ReadCrc32(const String& path, uint32_t& crc,
                                                  uint64_t& size) {
    // One block for the whole walk, left uninitialised: the first scan reads thousands of files.
    if (!crcBlock_)
        crcBlock_.reset(new unsigned char[kCrcBlockSize]);
    // A large file takes seconds to read; Skip must not wait for its end.
    return FoldFileCrc(path, crcBlock_.get(), crc, size, [this](uint64_t done) {
        if (crcBlockHook_)
            crcBlockHook_(done);
        return !scan_.CancelRequested();
    });
}

CFileDatabase::CrcResult CFileDatabase::ReadOpenCrc32(platform::CInputFile& file,
                                                      std::optional<uint64_t> knownSize,
                                                      uint32_t& crc) {
    if (!crcBlock_)
        crcBlock_.reset(new unsigned char[kCrcBlockSize]);
    uint64_t size = 0;
    return FoldOpenFile(file, knownSize, crcBlock_.get(), crc, size, [this](uint64_t done) {
        if (crcBlockHook_)
            crcBlockHook_(done);
        return !scan_.CancelRequested();
    });
}

void CFileDatabase::PublishScanText(const String& path) {
    scan_.Publish(path);
}

void CFileDatabase::LocateAddonFolders() {
    addonsFolder_.reset();
    resAddonsFolder_.reset();
    if (!root_)
        return;
    for (const auto& child : root_->children) {
        if (EqualsNoCase(child->name, "addons\\"))
            addonsFolder_ = child;
        if (!EqualsNoCase(child->name, "res\\"))
            continue;
        for (const auto& inner : child->children)
            if (EqualsNoCase(inner->name, "addons\\"))
                resAddonsFolder_ = inner;
    }
}

void CFileDatabase::CollectModFolders() {
    modFolders_.clear();
    modAddonFolders_.clear();
    if (!root_)
        return;
    for (const auto& child : root_->children) {
        if (!child->IsFolder() || (child->flags & NF_CORE) || IsLeftOut(child->name))
            continue;
        modFolders_.push_back(child);
        modAddonFolders_.push_back(ChildNamed(*child, "addons\\"));
    }
}

int CFileDatabase::IndexOfModFolder(const CFileNode* node) const {
    for (size_t i = modFolders_.size(); i-- > 0;)
        if (modFolders_[i].get() == node)
            return static_cast<int>(i);
    return -1;
}

} // namespace quillory
