#include "gantry/client/Installer.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "common/FileTime.h"
#include "common/NumberText.h"
#include "gantry/client/EntryPlacement.h"
#include "platform/FileSystem.h"
#include "platform/NameIndex.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace quillory {

namespace {

constexpr size_t kBlockSize = 4096;

bool PackageNameTaken(const CFileDatabase& db, const String& name) {
    return std::any_of(db.Packages().begin(), db.Packages().end(),
                       [&](const auto& package) { return EqualsNoCase(package->name, name); });
}

String InactiveReason(platform::FsResult activation) {
    switch (activation) {
    case platform::FsResult::Ok:
        return "another entry of the archive took its name";
    case platform::FsResult::AlreadyExists:
        return "a file or folder the database does not hold under that name is in the way";
    default:
        return "it could not be renamed (error " +
               std::to_string(static_cast<uint32_t>(activation)) + ")";
    }
}

} // namespace

CInstaller::CInstaller(CFileDatabase& db, const String& archivePath,
                       std::atomic<uint64_t>& installDone, std::atomic<uint64_t>& installTotal,
                       const CPackage* offered)
    : db_(db), archive_(archivePath), installDone_(installDone), installTotal_(installTotal),
      offered_(offered), freeSpace_(platform::FreeDiskSpace) {}

bool CInstaller::Run() {
    // The file operations of this install look names up in the install's own index.
    platform::CNameIndex* const previous = db_.NameIndex();
    db_.SetNameIndex(&names_);
    bool ok = RunEntries();
    if (!ok && package_)
        RollBack();
    if (ok)
        ReportInactive();
    db_.SetNameIndex(previous);
    return ok && report_.inactive.empty();
}

bool CInstaller::RunEntries() {
    if (!Prepare())
        return false;
    // Parse read the list of entries once; every pass goes over what it kept.
    for (const ZipEntryInfo& info : archive_.Zip().Entries()) {
        if (!InstallEntry(info))
            return false;
        if (cancelled_ && cancelled_())
            return Fail("cancelled");
    }
    return EntriesReadWhole();
}

bool CInstaller::Prepare() {
    if (!db_.Root())
        return Fail("no game folder is set");
    if (!archive_.Parse())
        return Fail("not an installable package archive: " + archive_.Refusal());
    installDone_ = 0;
    if (!SumSizes() || !FitsOnDisk())
        return false;
    CreatePackage();
    return true;
}

bool CInstaller::SumSizes() {
    uint64_t total = 0;
    for (const ZipEntryInfo& info : archive_.Zip().Entries())
        total += info.size;
    if (!EntriesReadWhole())
        return false;
    installTotal_ = total;
    return true;
}

// Refuses, before anything is written, an archive whose new files would not fit on the disk.
bool CInstaller::FitsOnDisk() {
    std::optional<uint64_t> free = freeSpace_ ? freeSpace_(db_.GamePath()) : std::nullopt;
    if (!free)
        return true; // unknown: the writes themselves report a full disk
    uint64_t needed = 0;
    for (const ZipEntryInfo& info : archive_.Zip().Entries()) {
        EntryPlacement placement = PlaceEntry(archive_.Directives(), info.path);
        if (placement.fate == EntryFate::Placed && !FindPresent(placement.destination, info))
            needed += info.size;
    }
    if (!EntriesReadWhole())
        return false;
    if (needed > *free)
        return Fail("not enough free space in the game folder: " + std::to_string(needed) +
                    " bytes needed, " + std::to_string(*free) + " available");
    return true;
}

// An entry whose information could not be read ends every pass over the entries.
bool CInstaller::EntriesReadWhole() {
    if (archive_.Zip().Entries().empty() || archive_.Zip().ListDamaged())
        return Fail("the archive's entries cannot be read");
    return true;
}

void CInstaller::CreatePackage() {
    package_ = std::make_shared<CPackage>();
    package_->homePage = archive_.InfoUrl();
    String name = archive_.PackageName();
    while (PackageNameTaken(db_, name))
        name += "~";
    package_->name = name;
    db_.AddPackage(package_);
    db_.MarkChanged();
    report_.package = package_;
}

bool CInstaller::InstallEntry(const ZipEntryInfo& info) {
    EntryPlacement placement = PlaceEntry(archive_.Directives(), info.path);
    switch (placement.fate) {
    case EntryFate::Folder:
        return true;
    case EntryFate::LeftOut:
        report_.leftOut.push_back(placement.entryPath);
        return true;
    case EntryFate::Ignored:
        installDone_ += info.size;
        report_.ignored.push_back(placement.entryPath);
        return true;
    case EntryFate::Refused:
        return Fail(RefusalText(placement));
    case EntryFate::Placed:
        break;
    }
    std::vector<String> pieces = SplitPathPieces(placement.destination);
    String fileName = pieces.back();
    pieces.pop_back();
    CFileNode* folder = EnterFolders(pieces);
    return folder && PlaceFile(*folder, fileName, info, placement.destination);
}

CFileNode* CInstaller::EnterFolders(const std::vector<String>& pieces) {
    Handle<CFileNode> current = db_.Root();
    for (const String& piece : pieces)
        if (!EnterFolder(current, piece))
            return nullptr;
    return current.get();
}

bool CInstaller::EnterFolder(Handle<CFileNode>& current, const String& piece) {
    const String name = piece + "\\";
    Handle<CFileNode> folder = FindChildFolder(*current, name);
    if (folder && IsMember(folder.get())) {
        current = folder;
        return true;
    }
    if (folder) {
        UnbindFromUnknown(folder);
        if (folder->status == NS_MISSING && !MakeFolderOnDisk(folder))
            return false;
    } else {
        folder = AddChild(*current, name, NF_FOLDER);
        BindToCoreIfCore(folder);
        if (!MakeFolderOnDisk(folder))
            return false;
    }
    if (!(folder->flags & NF_CORE))
        AddMember(folder);
    current = folder;
    return true;
}

bool CInstaller::MakeFolderOnDisk(const Handle<CFileNode>& folder) {
    journal_.Touched(folder);
    folder->diskName = folder->name;
    folder->status = NS_ACTIVE;
    String path = folder->AbsolutePath();
    path.pop_back(); // without its trailing '\'
    platform::FsResult result = platform::MakeDirectory(path, &names_);
    if (result != platform::FsResult::Ok)
        return Fail("cannot create the folder " + folder->RelativePath() + " (error " +
                    std::to_string(static_cast<uint32_t>(result)) + ")");
    journal_.FolderMade(folder);
    return true;
}

bool CInstaller::PlaceFile(CFileNode& folder, const String& piece, const ZipEntryInfo& info,
                           const String& destination) {
    const uint32_t size = static_cast<uint32_t>(info.size);
    Handle<CFileNode> node = FindChildFile(folder, piece, size, info.crc);
    if (node && IsMember(node.get()))
        return true;
    if (node) {
        UnbindFromUnknown(node);
        if (node->status == NS_MISSING) {
            if (!WriteFile(node, info))
                return false;
            report_.written.push_back(destination);
        } else {
            installDone_ += info.size; // present and identical: never rewritten
            report_.reused.push_back(destination);
        }
        Bind(node, destination, info.path);
        return true;
    }
    if ((node = FindInOffered(piece, info))) {
        if (!IsMember(node.get())) {
            installDone_ += info.size;
            report_.reused.push_back(node->RelativePath());
            Bind(node, node->RelativePath(), info.path);
        }
        return true;
    }
    node = AddChild(folder, piece, 0);
    node->size = size;
    node->crc = info.crc;
    BindToCoreIfCore(node);
    if (!WriteFile(node, info))
        return false;
    report_.written.push_back(destination);
    Bind(node, destination, info.path);
    return true;
}

const HandleArray<CFileNode>& CInstaller::ChildrenNamed(const CFileNode& folder,
                                                        const String& name) {
    auto listed = children_.find(&folder);
    if (listed == children_.end()) {
        ChildNames& names = children_[&folder];
        for (const auto& child : folder.children)
            names[LowerAscii(child->name)].push_back(child);
        listed = children_.find(&folder);
    }
    static const HandleArray<CFileNode> none;
    auto found = listed->second.find(LowerAscii(name));
    return found == listed->second.end() ? none : found->second;
}

Handle<CFileNode> CInstaller::AddChild(CFileNode& folder, const String& name, uint16_t flags) {
    Handle<CFileNode> child = folder.AddChild(name, flags);
    journal_.Created(child);
    auto listed = children_.find(&folder);
    if (listed != children_.end())
        listed->second[LowerAscii(name)].push_back(child);
    return child;
}

void CInstaller::BindToCoreIfCore(const Handle<CFileNode>& node) {
    if (!db_.IsCorePath(node->RelativePath()))
        return;
    node->flags |= NF_CORE;
    db_.CoreFiles()->AddMember(node);
    journal_.CoreAdded(node);
}

void CInstaller::UnbindFromUnknown(const Handle<CFileNode>& node) {
    journal_.Touched(node);
    if (node->flags & NF_UNKNOWN_FILE)
        journal_.Unbound(db_.UnknownFiles(), node, db_.UnknownFiles()->IndexOf(node.get()));
    if (node->flags & NF_UNKNOWN_ADDON)
        journal_.Unbound(db_.UnknownAddons(), node, db_.UnknownAddons()->IndexOf(node.get()));
    db_.UnbindFromUnknown(*node);
}

Handle<CFileNode> CInstaller::FindChildFolder(const CFileNode& folder, const String& name) {
    for (const auto& child : ChildrenNamed(folder, name))
        if (child->IsFolder())
            return child;
    return nullptr;
}

Handle<CFileNode> CInstaller::FindChildFile(const CFileNode& folder, const String& name,
                                            uint32_t size, uint32_t crc) {
    for (const auto& child : ChildrenNamed(folder, name))
        if (!child->IsFolder() && child->size == size && child->crc == crc)
            return child;
    return nullptr;
}

// Whether the destination already holds, present, the entry's very file.
bool CInstaller::FindPresent(const String& destination, const ZipEntryInfo& info) {
    std::vector<String> pieces = SplitPathPieces(destination);
    const CFileNode* folder = db_.Root().get();
    for (size_t i = 0; folder && i + 1 < pieces.size(); ++i)
        folder = FindChildFolder(*folder, pieces[i] + "\\").get();
    if (!folder)
        return false;
    Handle<CFileNode> file =
        FindChildFile(*folder, pieces.back(), static_cast<uint32_t>(info.size), info.crc);
    return file && file->status != NS_MISSING;
}

Handle<CFileNode> CInstaller::FindInOffered(const String& name, const ZipEntryInfo& info) const {
    if (!offered_)
        return nullptr;
    for (const auto& member : offered_->members)
        if (member && member->crc == info.crc && member->size == static_cast<uint32_t>(info.size) &&
            EqualsNoCase(member->name, name))
            return member;
    return nullptr;
}

bool CInstaller::WriteFile(const Handle<CFileNode>& node, const ZipEntryInfo& info) {
    journal_.Written(node);
    // The folder is resolved once; in it, a name held in another letter case is taken as held.
    const String& folder = NativeFolder(*node->parent);
    String path;
    if (!names_.Find(folder, node->name)) {
        // Nothing holds the active name, so the activation that follows would only rename the
        // file there: it is written there at once, as activated.
        node->diskName = node->name;
        node->status = NS_ACTIVE;
        path = folder + node->diskName;
        db_.MarkChanged();
    } else {
        node->diskName = node->InactiveName();
        node->status = NS_INACTIVE;
        const std::optional<std::string> held = names_.Find(folder, node->diskName);
        path = folder + (held ? *held : node->diskName);
    }
    names_.Added(path); // made by the copy, even when the copy then fails
    node->modified =
        FileTimeFromCivil(info.year, info.month, info.day, info.hour, info.minute, info.second);
    if (!CopyEntry(path, info, *node)) {
        // A half-written or damaged copy must not pass for the file the node describes.
        std::error_code ignored;
        if (std::filesystem::remove(path, ignored))
            names_.Removed(path);
        node->status = NS_MISSING;
        return false;
    }
    if (node->modified == 0) {
        // No valid stored date: the file keeps the time of its writing.
        std::optional<platform::FileAttributes> attributes = platform::GetAttributes(path);
        node->modified = attributes ? attributes->modified : 0;
    }
    return true;
}

const String& CInstaller::NativeFolder(const CFileNode& folder) {
    auto known = nativeFolders_.find(&folder);
    if (known == nativeFolders_.end())
        known =
            nativeFolders_.emplace(&folder, platform::ResolveCase(folder.AbsolutePath(), &names_))
                .first;
    return known->second;
}

// Copies the entry to a new file at `path` and gives it the node's `modified` as its last-write
// time (none when 0).
bool CInstaller::CopyEntry(const String& path, const ZipEntryInfo& info, const CFileNode& node) {
    CZipReader& zip = archive_.Zip();
    if (!zip.OpenEntry(info))
        return Fail("cannot open the entry " + info.path);
    CFileHandle file;
    if (!file.Open(path, CFileHandle::MODE_CREATE)) {
        zip.CloseCurrent();
        return Fail("cannot create " + path + " (" + file.OpenError() + ")");
    }
    file.WriteThrough(); // whole blocks: one system call each, a small file in one
    char block[kBlockSize];
    uint64_t copied = 0;
    for (;;) {
        int64_t n = zip.ReadCurrent(block, sizeof block);
        if (n < 0) {
            zip.CloseCurrent();
            return Fail("cannot read the entry " + info.path);
        }
        if (n == 0)
            break;
        if (file.Write(block, static_cast<size_t>(n)) != n) {
            zip.CloseCurrent();
            return Fail("cannot write " + path + " (is the disk full?)");
        }
        copied += static_cast<uint64_t>(n);
        installDone_ += static_cast<uint64_t>(n);
    }
    // The time is set on the open file, once its data is out: one call, no look-up of the path.
    const bool writtenOut = file.WriteOut();
    const bool timeSet = !writtenOut || node.modified == 0 || file.SetLastWriteTime(node.modified);
    const bool closed = file.Close() && writtenOut;
    if (!zip.CloseCurrent() || copied != info.size)
        return Fail("the entry " + info.path + " does not match its CRC-32");
    if (!closed)
        return Fail("cannot write " + path + " (is the disk full?)");
    if (!timeSet)
        return Fail("cannot set the time of " + node.RelativePath());
    return true;
}

void CInstaller::Bind(const Handle<CFileNode>& node, const String& destination,
                      const String& entryPath) {
    AddMember(node);
    boundFiles_.push_back({node, destination, entryPath});
    entryOf_[node.get()] = entryPath;
    // Activation may step aside another version of the same name: the journal keeps them all.
    if (node->parent)
        for (const auto& sibling : ChildrenNamed(*node->parent, node->name))
            journal_.Touched(sibling);
    activation_[node.get()] = db_.ActivateFile(*node);
}

void CInstaller::AddMember(const Handle<CFileNode>& node) {
    package_->AddMember(node);
    members_.insert(node.get());
}

// Files bound but left under their inactive name: an activation failed, or a later entry of the
// same name stepped the file aside.
void CInstaller::ReportInactive() {
    for (const BoundFile& bound : boundFiles_) {
        if (bound.node->status != NS_INACTIVE || SupersededInTurn(bound))
            continue;
        const auto activation = activation_.find(bound.node.get());
        report_.inactive.push_back(bound.destination + ": " +
                                   InactiveReason(activation == activation_.end()
                                                      ? platform::FsResult::Ok
                                                      : activation->second));
    }
    if (!report_.inactive.empty())
        Fail(CountOf(report_.inactive.size(), "file", "files") + " stayed under the inactive name");
}

// Entries of other names that directives send to one destination are written there in turn, the
// last one active: the earlier ones were meant to give way. Only a repeated entry name is not.
bool CInstaller::SupersededInTurn(const BoundFile& bound) {
    if (!bound.node->parent)
        return false;
    for (const auto& holder : ChildrenNamed(*bound.node->parent, bound.node->name)) {
        if (holder->status != NS_ACTIVE || !IsMember(holder.get()))
            continue;
        const auto entry = entryOf_.find(holder.get());
        return entry != entryOf_.end() && entry->second != bound.entryPath;
    }
    return false;
}

void CInstaller::RollBack() {
    journal_.Undo(db_, package_, names_, report_.notRestored);
    report_.rolledBack = true;
    report_.package = nullptr;
    report_.written.clear();
    report_.reused.clear();
    report_.ignored.clear();
    report_.leftOut.clear();
    package_ = nullptr;
    members_.clear();
}

bool CInstaller::Fail(String why) {
    if (report_.error.empty())
        report_.error = std::move(why);
    return false;
}

bool InstallPackage(CFileDatabase& db, const String& archivePath,
                    std::atomic<uint64_t>& installDone, std::atomic<uint64_t>& installTotal,
                    const CPackage* offered, InstallReport* report,
                    CInstaller::CancelCheck cancelled) {
    QUILLORY_ASSERT_DB_OWNER(db);
    CInstaller installer(db, archivePath, installDone, installTotal, offered);
    installer.SetCancelCheck(std::move(cancelled));
    bool ok = installer.Run();
    // Files written or reused after the package was listed change the tree too.
    if (installer.Report().package || installer.Report().rolledBack)
        db.MarkChanged();
    if (report)
        *report = installer.Report();
    return ok;
}

} // namespace quillory
