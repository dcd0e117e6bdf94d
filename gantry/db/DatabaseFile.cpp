// Save and Load of "quillory.dat": a zlib-compressed image of the tree and the packages.
#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"

#include <filesystem>
#include <system_error>
#include <zlib.h>

namespace quillory {

namespace {

constexpr uint32_t DATABASE_VERSION = 1;
constexpr uint8_t TAG_FOLDER = 1;
constexpr uint8_t TAG_FILE = 2;
constexpr uint8_t TAG_END = 3;
constexpr size_t HEADER_SIZE = 8;
// Deeper than any real installation; keeps the recursive tree walks off the stack's limit.
constexpr size_t MAX_FOLDER_DEPTH = 512;
// zlib never expands beyond about 1032:1, so a larger claim is a lie.
constexpr uint64_t MAX_INFLATE_RATIO = 1040;
// Smallest package record: four empty texts, the time and the member count.
constexpr size_t MIN_PACKAGE_RECORD = 4 + 8 + 4;

// A name stays inside its folder: no separators, not empty, not "." or "..".
bool IsSafeName(const String& name, bool allowEmpty) {
    if (name.empty())
        return allowEmpty;
    bool onlyDots = true;
    for (char c : name) {
        if (c == '\\' || c == '/')
            return false;
        onlyDots = onlyDots && c == '.';
    }
    return !onlyDots;
}

bool ReadFolderFields(CMemoryStream& s, CFileNode& node) {
    if (!ReadTextStrict(s, node.name) || node.name.empty() || node.name.back() != '\\')
        return false;
    if (!IsSafeName(node.name.substr(0, node.name.size() - 1), false))
        return false;
    if (!ReadU16(s, node.status) || !ReadU32(s, node.bindCount) || !ReadU16(s, node.flags))
        return false;
    node.flags |= NF_FOLDER;
    return node.status <= NS_INACTIVE;
}

bool ReadFileFields(CMemoryStream& s, CFileNode& node) {
    String name;
    if (!ReadTextStrict(s, name) || !ReadTextStrict(s, node.diskName))
        return false;
    if (!IsSafeName(name, false) || !IsSafeName(node.diskName, true))
        return false;
    // One text serves both when they differ only in case: the one found on disk.
    node.name = EqualsNoCase(name, node.diskName) ? node.diskName : name;
    if (!ReadU16(s, node.status) || !ReadU32(s, node.bindCount) || !ReadU16(s, node.flags))
        return false;
    if (!ReadU32(s, node.size) || !ReadU32(s, node.crc) || !ReadU64(s, node.modified))
        return false;
    node.flags &= static_cast<uint16_t>(~NF_FOLDER);
    return node.status <= NS_INACTIVE;
}

Handle<CFileNode> MakeRoot(const String& gamePath) {
    auto root = std::make_shared<CFileNode>();
    root->name = gamePath;
    root->flags = NF_FOLDER;
    root->bindCount = ROOT_BIND_COUNT;
    return root;
}

} // namespace

void CFileDatabase::ReportSaveStep(SaveStep step) const {
    if (saveStepHook)
        saveStepHook(step);
}

bool CFileDatabase::Save() {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (!root || keepDatabaseFile)
        return false;
    root->Prune();
    pass = 0;
    root->name = gamePath;

    CMemoryStream payload(4096);
    stream = &payload;
    std::vector<const CFileNode*> numbered;
    WriteNodeList(*root, numbered);
    WriteU32(payload, static_cast<uint32_t>(packages.size()));
    for (const auto& package : packages)
        WritePackage(*package, numbered);
    stream = nullptr;

    String temp = DatabaseTempPath();
    std::error_code error;
    if (!WriteDatabaseFile(temp, payload)) {
        // A partial copy on a full disk only takes the space the next save needs.
        std::filesystem::remove(temp, error);
        return false;
    }
    // Renaming over the old file is atomic: a crash leaves the old or the new database.
    std::filesystem::rename(temp, DatabasePath(), error);
    if (error) {
        std::filesystem::remove(temp, error);
        return false;
    }
    ReportSaveStep(SAVE_REPLACED);
    return true;
}

void CFileDatabase::WriteNodeList(const CFileNode& folder,
                                  std::vector<const CFileNode*>& numbered) {
    for (const auto& child : folder.children) {
        child->mark = pass++;
        numbered.push_back(child.get());
        if (child->IsFolder()) {
            WriteU8(*stream, TAG_FOLDER);
            WriteText(*stream, child->name);
            WriteU16(*stream, child->status);
            WriteU32(*stream, child->bindCount);
            WriteU16(*stream, child->flags);
            WriteNodeList(*child, numbered);
            continue;
        }
        WriteU8(*stream, TAG_FILE);
        WriteText(*stream, child->name);
        WriteText(*stream, child->diskName);
        WriteU16(*stream, child->status);
        WriteU32(*stream, child->bindCount);
        WriteU16(*stream, child->flags);
        WriteU32(*stream, child->size);
        WriteU32(*stream, child->crc);
        WriteU64(*stream, child->modified);
    }
    WriteU8(*stream, TAG_END);
}

void CFileDatabase::WritePackage(const CPackage& package,
                                 const std::vector<const CFileNode*>& numbered) {
    // A member that is not in the tree has no number; writing a stale one would bind a stranger.
    std::vector<uint32_t> numbers;
    for (const auto& member : package.members)
        if (member && member->mark < numbered.size() && numbered[member->mark] == member.get())
            numbers.push_back(member->mark);
    WriteText(*stream, package.name);
    WriteU64(*stream, package.installed);
    WriteText(*stream, package.homePage);
    WriteText(*stream, package.text3);
    WriteText(*stream, package.text4);
    WriteU32(*stream, static_cast<uint32_t>(numbers.size()));
    for (uint32_t number : numbers)
        WriteU32(*stream, number);
}

bool CFileDatabase::WriteDatabaseFile(const String& path, const CMemoryStream& payload) {
    uLong length = static_cast<uLong>(payload.Size());
    if (payload.Size() > UINT32_MAX)
        return false;
    CFileHandle file;
    if (!file.Open(path, CFileHandle::MODE_CREATE))
        return false;
    std::vector<uint8_t> packed(compressBound(length));
    uLongf packedLength = static_cast<uLongf>(packed.size());
    if (compress(packed.data(), &packedLength, payload.Data(), length) != Z_OK)
        return false;
    CMemoryStream header(HEADER_SIZE);
    WriteU32(header, DATABASE_VERSION);
    WriteU32(header, static_cast<uint32_t>(length));
    bool written = file.Write(header.Data(), header.Size()) == HEADER_SIZE;
    ReportSaveStep(SAVE_TEMP_PARTLY_WRITTEN);
    written = written && file.Write(packed.data(), packedLength) == int64_t(packedLength);
    // The data must be on the disk before the rename makes it the database.
    written = file.Flush() && written;
    written = file.Close() && written;
    ReportSaveStep(SAVE_TEMP_WRITTEN);
    return written;
}

bool CFileDatabase::Load() {
    QUILLORY_ASSERT_DB_OWNER(*this);
    String bytes;
    if (!ReadWholeFile(DatabasePath(), bytes) || bytes.size() < HEADER_SIZE)
        return false;
    CMemoryStream header(bytes.data(), HEADER_SIZE);
    uint32_t version = 0;
    uint32_t length = 0;
    ReadU32(header, version);
    ReadU32(header, length);
    size_t packedLength = bytes.size() - HEADER_SIZE;
    if (version != DATABASE_VERSION || length > packedLength * MAX_INFLATE_RATIO)
        return false;

    std::vector<uint8_t> plain(length);
    uLongf plainLength = length;
    uLong consumed = static_cast<uLong>(packedLength);
    const auto* packed = reinterpret_cast<const Bytef*>(bytes.data() + HEADER_SIZE);
    if (uncompress2(plain.data(), &plainLength, packed, &consumed) != Z_OK)
        return false;
    if (plainLength != length || consumed != packedLength)
        return false;

    CMemoryStream payload(plain.data(), plain.size());
    stream = &payload;
    nodeByNumber.clear();
    auto newRoot = MakeRoot(gamePath);
    HandleArray<CPackage> newPackages;
    bool ok = ReadNodeList(*newRoot) && ReadPackages(newPackages) && payload.Remaining() == 0;
    nodeByNumber.clear();
    stream = nullptr;
    if (!ok)
        return false;

    // Everything was read: only now does the database change.
    root = newRoot;
    packages = std::move(newPackages);
    coreFiles = packages[0];
    unknownFiles = packages[1];
    unknownAddons = packages[2];
    LocateAddonFolders();
    MarkChanged();
    return true;
}

bool CFileDatabase::ReadNodeList(CFileNode& top) {
    std::vector<CFileNode*> open{&top};
    while (!open.empty()) {
        uint8_t tag = 0;
        if (!ReadU8(*stream, tag))
            return false;
        if (tag == TAG_END) {
            open.pop_back();
            continue;
        }
        if (tag != TAG_FOLDER && tag != TAG_FILE)
            return false;
        // Created and numbered before its fields are read, as the numbering is pre-order.
        auto node = open.back()->AddChild(String(), 0);
        nodeByNumber.push_back(node);
        if (tag == TAG_FILE) {
            if (!ReadFileFields(*stream, *node))
                return false;
            continue;
        }
        if (!ReadFolderFields(*stream, *node) || open.size() > MAX_FOLDER_DEPTH)
            return false;
        open.push_back(node.get());
    }
    return true;
}

bool CFileDatabase::ReadPackages(HandleArray<CPackage>& list) {
    uint32_t count = 0;
    if (!ReadU32(*stream, count) || count < 3)
        return false;
    if (count > stream->Remaining() / MIN_PACKAGE_RECORD)
        return false;
    list.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto package = std::make_shared<CPackage>();
        list.push_back(package);
        if (!ReadPackage(*package))
            return false;
    }
    return true;
}

bool CFileDatabase::ReadPackage(CPackage& package) {
    uint32_t count = 0;
    bool ok = ReadTextStrict(*stream, package.name) && ReadU64(*stream, package.installed) &&
              ReadTextStrict(*stream, package.homePage) && ReadTextStrict(*stream, package.text3) &&
              ReadTextStrict(*stream, package.text4) && ReadU32(*stream, count);
    if (!ok || count > stream->Remaining() / 4)
        return false;
    package.members.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t number = 0;
        ReadU32(*stream, number);
        if (number >= nodeByNumber.size())
            return false;
        // The stored bindCount already counts this membership.
        package.members.push_back(nodeByNumber[number]);
    }
    return true;
}

} // namespace quillory
