// Save and Load of "quillory.dat": a zlib-compressed image of the tree and the packages.
#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "gantry/db/NodeArena.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
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

// The payload read in place: a bounds check and a few loads per field, with no virtual stream
// call; a load reads hundreds of thousands of fields.
struct PayloadCursor {
    const uint8_t* at;
    const uint8_t* end;

    size_t Remaining() const { return static_cast<size_t>(end - at); }

    template <typename T> bool ReadLittleEndian(T& value) {
        if (Remaining() < sizeof(T))
            return false;
        T result = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            result |= static_cast<T>(static_cast<T>(at[i]) << (8 * i));
        value = result;
        at += sizeof(T);
        return true;
    }

    // A zero-terminated text; false when the data ends before its zero byte.
    bool ReadText(std::string_view& text) {
        const void* zero = std::memchr(at, 0, Remaining());
        if (!zero)
            return false;
        const auto* stop = static_cast<const uint8_t*>(zero);
        text = std::string_view(reinterpret_cast<const char*>(at), static_cast<size_t>(stop - at));
        at = stop + 1;
        return true;
    }

    bool ReadText(String& text) {
        std::string_view view;
        if (!ReadText(view))
            return false;
        text.assign(view);
        return true;
    }
};

// A name stays inside its folder: no separators, not empty, not "." or "..".
bool IsSafeName(std::string_view name, bool allowEmpty) {
    if (name.empty())
        return allowEmpty;
    // memchr looks at many bytes a step; every node has one or two names to check.
    if (std::memchr(name.data(), '\\', name.size()) || std::memchr(name.data(), '/', name.size()))
        return false;
    return name.find_first_not_of('.') != std::string_view::npos;
}

bool ReadFolderFields(PayloadCursor& s, CFileNode& node) {
    std::string_view name;
    if (!s.ReadText(name) || name.empty() || name.back() != '\\')
        return false;
    if (!IsSafeName(name.substr(0, name.size() - 1), false))
        return false;
    node.name.assign(name);
    if (!s.ReadLittleEndian(node.status) || !s.ReadLittleEndian(node.bindCount) ||
        !s.ReadLittleEndian(node.flags))
        return false;
    node.flags |= NF_FOLDER;
    return node.status <= NS_INACTIVE;
}

bool ReadFileFields(PayloadCursor& s, CFileNode& node) {
    std::string_view name;
    std::string_view diskName;
    if (!s.ReadText(name) || !s.ReadText(diskName))
        return false;
    if (!IsSafeName(name, false) || !IsSafeName(diskName, true))
        return false;
    node.diskName.assign(diskName);
    // One text serves both when they differ only in case: the one found on disk. Most files
    // have the same name in both, which a plain comparison settles faster.
    node.name.assign(name == diskName || EqualsNoCase(name, diskName) ? diskName : name);
    if (!s.ReadLittleEndian(node.status) || !s.ReadLittleEndian(node.bindCount) ||
        !s.ReadLittleEndian(node.flags))
        return false;
    if (!s.ReadLittleEndian(node.size) || !s.ReadLittleEndian(node.crc) ||
        !s.ReadLittleEndian(node.modified))
        return false;
    node.flags &= static_cast<uint16_t>(~NF_FOLDER);
    return node.status <= NS_INACTIVE;
}

// Where a numbered node lives: its folder and its place there, and the handles made for the
// package members that will ask for it. The handle itself stays in the folder; the members' copies
// are made while the node is new and in the cache, as its stored bindCount says how many lists
// hold it: copying them later, when the packages are read, touched nodes all over the tree.
struct NodePlace {
    CFileNode* folder;
    uint32_t index;
    uint32_t firstSpare; // in the spare handles
    uint32_t spareLeft;
};

// Copies made per node at most; a node bound more often takes its further handles from the tree.
constexpr uint32_t kMaxSparesPerNode = 8;

// Spare handles for the members of `made`. Each member costs 4 bytes of what is left of the
// payload, so a bindCount that lies cannot make more copies than the packages could take.
void MakeSpares(const PayloadCursor& s, const Handle<CFileNode>& made, NodePlace& place,
                HandleArray<CFileNode>& spares) {
    const size_t room = s.Remaining() / 4;
    if (spares.size() >= room)
        return;
    const uint32_t copies = static_cast<uint32_t>(
        std::min<size_t>({made->bindCount, kMaxSparesPerNode, room - spares.size()}));
    place.firstSpare = static_cast<uint32_t>(spares.size());
    place.spareLeft = copies;
    for (uint32_t i = 0; i < copies; ++i)
        spares.push_back(made);
}

// The tree in pre-order, each node numbered in `byNumber` as the packages refer to it.
bool ReadNodeList(PayloadCursor& s, CFileNode& top, std::vector<NodePlace>& byNumber,
                  HandleArray<CFileNode>& spares) {
    // One arena for the whole tree: a node at a time from the heap was half the load.
    const CNodeArena::CFiller nodes;
    // No node record is shorter than a folder's: tag, name "x\\" and its zero, status, bindCount
    // and flags. Reserving for that many saves copying the list as it grows.
    constexpr size_t MIN_NODE_RECORD = 1 + 3 + 2 + 4 + 2;
    byNumber.reserve(s.Remaining() / MIN_NODE_RECORD);
    std::vector<CFileNode*> open{&top};
    while (!open.empty()) {
        uint8_t tag = 0;
        if (!s.ReadLittleEndian(tag))
            return false;
        if (tag == TAG_END) {
            open.pop_back();
            continue;
        }
        if (tag != TAG_FOLDER && tag != TAG_FILE)
            return false;
        // Created and numbered before its fields are read, as the numbering is pre-order.
        CFileNode& folder = *open.back();
        if (folder.children.size() >= UINT32_MAX)
            return false;
        byNumber.push_back({&folder, static_cast<uint32_t>(folder.children.size()), 0, 0});
        folder.children.push_back(nodes.Make());
        const Handle<CFileNode>& handle = folder.children.back();
        CFileNode& made = *handle;
        made.parent = &folder;
        if (tag == TAG_FILE) {
            if (!ReadFileFields(s, made))
                return false;
            MakeSpares(s, handle, byNumber.back(), spares);
            continue;
        }
        if (!ReadFolderFields(s, made) || open.size() > MAX_FOLDER_DEPTH)
            return false;
        MakeSpares(s, handle, byNumber.back(), spares);
        open.push_back(&made);
    }
    return true;
}

bool ReadPackage(PayloadCursor& s, CPackage& package, std::vector<NodePlace>& byNumber,
                 HandleArray<CFileNode>& spares) {
    uint32_t count = 0;
    bool ok = s.ReadText(package.name) && s.ReadLittleEndian(package.installed) &&
              s.ReadText(package.homePage) && s.ReadText(package.text3) &&
              s.ReadText(package.text4) && s.ReadLittleEndian(count);
    if (!ok || count > s.Remaining() / 4)
        return false;
    package.members.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t number = 0;
        s.ReadLittleEndian(number);
        if (number >= byNumber.size())
            return false;
        // The stored bindCount already counts this membership.
        NodePlace& place = byNumber[number];
        if (place.spareLeft > 0) {
            --place.spareLeft;
            package.members.push_back(std::move(spares[place.firstSpare++]));
        } else {
            package.members.push_back(place.folder->children[place.index]);
        }
    }
    return true;
}

bool ReadPackages(PayloadCursor& s, HandleArray<CPackage>& list, std::vector<NodePlace>& byNumber,
                  HandleArray<CFileNode>& spares) {
    uint32_t count = 0;
    if (!s.ReadLittleEndian(count) || count < 3)
        return false;
    if (count > s.Remaining() / MIN_PACKAGE_RECORD)
        return false;
    list.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto package = std::make_shared<CPackage>();
        list.push_back(package);
        if (!ReadPackage(s, *package, byNumber, spares))
            return false;
    }
    return true;
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

    // Left uninitialised: uncompress writes every byte that is read afterwards.
    const std::unique_ptr<uint8_t[]> plain = std::make_unique_for_overwrite<uint8_t[]>(length);
    uLongf plainLength = length;
    uLong consumed = static_cast<uLong>(packedLength);
    const auto* packed = reinterpret_cast<const Bytef*>(bytes.data() + HEADER_SIZE);
    if (uncompress2(plain.get(), &plainLength, packed, &consumed) != Z_OK)
        return false;
    if (plainLength != length || consumed != packedLength)
        return false;

    PayloadCursor payload{plain.get(), plain.get() + length};
    nodeByNumber.clear();
    auto newRoot = MakeRoot(gamePath);
    HandleArray<CPackage> newPackages;
    std::vector<NodePlace> byNumber;
    HandleArray<CFileNode> spares;
    bool ok = ReadNodeList(payload, *newRoot, byNumber, spares) &&
              ReadPackages(payload, newPackages, byNumber, spares) && payload.Remaining() == 0;
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

} // namespace quillory
