#include "gantry/client/Installer.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "common/FileTime.h"
#include "gantry/client/EntryPlacement.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace quillory {

namespace {

constexpr size_t kBlockSize = 4096;

Handle<CFileNode> FindChildFolder(const CFileNode& folder, const String& name) {
    for (const auto& child : folder.children)
        if (child->IsFolder() && EqualsNoCase(child->name, name))
            return child;
    return nullptr;
}

Handle<CFileNode> FindChildFile(const CFileNode& folder, const String& name, uint32_t size,
                                uint32_t crc) {
    for (const auto& child : folder.children)
        if (!child->IsFolder() && EqualsNoCase(child->name, name) && child->size == size &&
            child->crc == crc)
            return child;
    return nullptr;
}

bool PackageNameTaken(const CFileDatabase& db, const String& name) {
    return std::any_of(db.packages.begin(), db.packages.end(),
                       [&](const auto& package) { return EqualsNoCase(package->name, name); });
}

// The archive's stored time, taken as UTC without conversion.
bool SetLastWriteTime(const String& path, FileTime time) {
    int64_t seconds = 0, nanoseconds = 0;
    UnixFromFileTime(time, seconds, nanoseconds);
    auto sys = std::chrono::sys_seconds(std::chrono::seconds(seconds)) +
               std::chrono::nanoseconds(nanoseconds);
    std::error_code error;
    std::filesystem::last_write_time(
        path,
        std::chrono::file_clock::from_sys(
            std::chrono::time_point_cast<std::chrono::file_clock::duration>(sys)),
        error);
    return !error;
}

} // namespace

CInstaller::CInstaller(CFileDatabase& db, const String& archivePath,
                       std::atomic<uint64_t>& installDone, std::atomic<uint64_t>& installTotal,
                       const CPackage* offered)
    : db_(db), archive_(archivePath), installDone_(installDone), installTotal_(installTotal),
      offered_(offered), freeSpace_(platform::FreeDiskSpace) {}

bool CInstaller::Run() {
    if (!Prepare())
        return false;
    CZipReader& zip = archive_.Zip();
    if (!zip.GoToFirst())
        return Fail("the archive's entries cannot be read");
    ZipEntryInfo info;
    do {
        if (!zip.CurrentInfo(info))
            return Fail("the archive's entries cannot be read");
        if (!InstallEntry(info))
            return false;
    } while (zip.GoToNext());
    return true;
}

bool CInstaller::Prepare() {
    if (!db_.root)
        return Fail("no game folder is set");
    if (!archive_.Parse())
        return Fail("not an installable package archive");
    installDone_ = 0;
    if (!SumSizes() || !FitsOnDisk())
        return false;
    CreatePackage();
    return true;
}

bool CInstaller::SumSizes() {
    CZipReader& zip = archive_.Zip();
    uint64_t total = 0;
    ZipEntryInfo info;
    if (!zip.GoToFirst())
        return Fail("the archive's entries cannot be read");
    do {
        if (!zip.CurrentInfo(info))
            return Fail("the archive's entries cannot be read");
        total += info.size;
    } while (zip.GoToNext());
    installTotal_ = total;
    return true;
}

// Refuses, before anything is written, an archive whose new files would not fit on the disk.
bool CInstaller::FitsOnDisk() {
    std::optional<uint64_t> free = freeSpace_ ? freeSpace_(db_.gamePath) : std::nullopt;
    if (!free)
        return true; // unknown: the writes themselves report a full disk
    CZipReader& zip = archive_.Zip();
    uint64_t needed = 0;
    ZipEntryInfo info;
    zip.GoToFirst();
    do {
        if (!zip.CurrentInfo(info))
            return Fail("the archive's entries cannot be read");
        EntryPlacement placement = PlaceEntry(archive_.Directives(), info.path);
        if (placement.fate != EntryFate::Placed)
            continue;
        uint32_t size = static_cast<uint32_t>(info.size);
        if (!db_.root->Find(placement.destination, size, info.crc, false))
            needed += info.size;
    } while (zip.GoToNext());
    if (needed > *free)
        return Fail("not enough free space in the game folder: " + std::to_string(needed) +
                    " bytes needed, " + std::to_string(*free) + " available");
    return true;
}

void CInstaller::CreatePackage() {
    package_ = std::make_shared<CPackage>();
    package_->homePage = archive_.InfoUrl();
    String name = archive_.PackageName();
    while (PackageNameTaken(db_, name))
        name += "~";
    package_->name = name;
    db_.packages.push_back(package_);
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
        return Fail("an entry would be placed outside the game folder: " + placement.entryPath);
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
    Handle<CFileNode> current = db_.root;
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
        db_.UnbindFromUnknown(*folder);
        if (folder->status == NS_MISSING && !MakeFolderOnDisk(*folder))
            return false;
    } else {
        folder = current->AddChild(name, NF_FOLDER);
        if (db_.IsCorePath(folder->RelativePath())) {
            folder->flags |= NF_CORE;
            db_.coreFiles->AddMember(folder);
        }
        if (!MakeFolderOnDisk(*folder))
            return false;
    }
    if (!(folder->flags & NF_CORE))
        AddMember(folder);
    current = folder;
    return true;
}

bool CInstaller::MakeFolderOnDisk(CFileNode& folder) {
    folder.diskName = folder.name;
    folder.status = NS_ACTIVE;
    String path = folder.AbsolutePath();
    path.pop_back(); // without its trailing '\'
    platform::FsResult result = platform::MakeDirectory(path);
    if (result != platform::FsResult::Ok)
        return Fail("cannot create the folder " + folder.RelativePath() + " (error " +
                    std::to_string(static_cast<uint32_t>(result)) + ")");
    return true;
}

bool CInstaller::PlaceFile(CFileNode& folder, const String& piece, const ZipEntryInfo& info,
                           const String& destination) {
    const uint32_t size = static_cast<uint32_t>(info.size);
    Handle<CFileNode> node = FindChildFile(folder, piece, size, info.crc);
    if (node && IsMember(node.get()))
        return true;
    if (node) {
        db_.UnbindFromUnknown(*node);
        if (node->status == NS_MISSING) {
            if (!WriteFile(*node, info))
                return false;
            report_.written.push_back(destination);
        } else {
            installDone_ += info.size; // present and identical: never rewritten
            report_.reused.push_back(destination);
        }
        Bind(node);
        return true;
    }
    if ((node = FindInOffered(piece, info))) {
        if (!IsMember(node.get())) {
            installDone_ += info.size;
            report_.reused.push_back(node->RelativePath());
            Bind(node);
        }
        return true;
    }
    node = folder.AddChild(piece, 0);
    node->size = size;
    node->crc = info.crc;
    if (db_.IsCorePath(node->RelativePath())) {
        node->flags |= NF_CORE;
        db_.coreFiles->AddMember(node);
    }
    if (!WriteFile(*node, info))
        return false;
    report_.written.push_back(destination);
    Bind(node);
    return true;
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

bool CInstaller::WriteFile(CFileNode& node, const ZipEntryInfo& info) {
    node.diskName = node.InactiveName();
    node.status = NS_INACTIVE;
    const String path = platform::ResolveCase(node.FolderPath() + node.diskName);
    if (!CopyEntry(path, info)) {
        // A half-written or damaged copy must not pass for the file the node describes.
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        node.status = NS_MISSING;
        return false;
    }
    node.modified =
        FileTimeFromCivil(info.year, info.month, info.day, info.hour, info.minute, info.second);
    if (node.modified == 0) {
        // No valid stored date: the file keeps the time of its writing.
        std::optional<platform::FileAttributes> attributes = platform::GetAttributes(path);
        node.modified = attributes ? attributes->modified : 0;
        return true;
    }
    if (!SetLastWriteTime(path, node.modified))
        return Fail("cannot set the time of " + node.RelativePath());
    return true;
}

bool CInstaller::CopyEntry(const String& path, const ZipEntryInfo& info) {
    CZipReader& zip = archive_.Zip();
    if (!zip.OpenCurrent())
        return Fail("cannot open the entry " + info.path);
    CFileHandle file;
    if (!file.Open(path, CFileHandle::MODE_CREATE)) {
        zip.CloseCurrent();
        return Fail("cannot create " + path);
    }
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
            return Fail("cannot write " + path);
        }
        copied += static_cast<uint64_t>(n);
        installDone_ += static_cast<uint64_t>(n);
    }
    bool closed = file.Close();
    if (!zip.CloseCurrent() || copied != info.size)
        return Fail("the entry " + info.path + " does not match its CRC-32");
    if (!closed)
        return Fail("cannot write " + path);
    return true;
}

void CInstaller::Bind(const Handle<CFileNode>& node) {
    AddMember(node);
    db_.ActivateFile(*node);
}

void CInstaller::AddMember(const Handle<CFileNode>& node) {
    package_->AddMember(node);
    members_.insert(node.get());
}

bool CInstaller::Fail(String why) {
    if (report_.error.empty())
        report_.error = std::move(why);
    return false;
}

bool InstallPackage(CFileDatabase& db, const String& archivePath,
                    std::atomic<uint64_t>& installDone, std::atomic<uint64_t>& installTotal,
                    const CPackage* offered, InstallReport* report) {
    QUILLORY_ASSERT_DB_OWNER(db);
    CInstaller installer(db, archivePath, installDone, installTotal, offered);
    bool ok = installer.Run();
    // Files written or reused after the package was listed change the tree too.
    if (installer.Report().package)
        db.MarkChanged();
    if (report)
        *report = installer.Report();
    return ok;
}

} // namespace quillory
