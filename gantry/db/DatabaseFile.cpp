// Save and Load of "quillory.dat": a zlib-compressed image of the tree and the packages.
#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "gantry/db/NodeArena.h"
#include "gantry/db/PayloadWindow.h"
#include "platform/ZlibLibrary.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string_view>
#include <system_error>

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

// A record read in place from the window: a bounds check and a few loads per field, with no
// virtual stream call; a load reads hundreds of thousands of fields.
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

    // A zero-terminated text; false when the window ends before its zero byte. `separator` is
    // the offset of its first "\" or "/", or npos. Names are checked for separators in the same
    // pass that finds their end, eight bytes a step: a load reads two hundred thousand names.
    bool ReadText(std::string_view& text, size_t& separator) {
        separator = std::string_view::npos;
        const uint8_t* p = at;
        for (; end - p >= 8; p += 8) {
            uint64_t word;
            std::memcpy(&word, p, sizeof word);
            const uint64_t zeros = BytesEqual(word, 0);
            uint64_t separators = BytesEqual(word, '\\') | BytesEqual(word, '/');
            if (zeros)
                // Only the bytes before the zero belong to the text.
                separators &= (zeros & -zeros) - 1;
            if (separators && separator == std::string_view::npos)
                separator = static_cast<size_t>(p - at) + std::countr_zero(separators) / 8;
            if (zeros)
                return TakeText(text, p + std::countr_zero(zeros) / 8);
        }
        // The last few bytes of the window, one at a time.
        for (; p < end; ++p) {
            if (*p == 0)
                return TakeText(text, p);
            if ((*p == '\\' || *p == '/') && separator == std::string_view::npos)
                separator = static_cast<size_t>(p - at);
        }
        return false;
    }

    // A zero-terminated text, looking only for its end.
    bool ReadText(std::string_view& text) {
        const uint8_t* p = at;
        for (; end - p >= 8; p += 8) {
            uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if (const uint64_t zeros = BytesEqual(word, 0))
                return TakeText(text, p + std::countr_zero(zeros) / 8);
        }
        for (; p < end; ++p)
            if (*p == 0)
                return TakeText(text, p);
        return false;
    }

private:
    // Bytes of `word` equal to `byte` get their high bit set. A byte above a true match may be
    // set too, but the lowest set byte is always a true match, which is all that is used.
    static uint64_t BytesEqual(uint64_t word, uint8_t byte) {
        constexpr uint64_t ONES = 0x0101010101010101ull;
        constexpr uint64_t HIGH = 0x8080808080808080ull;
        const uint64_t x = word ^ (ONES * byte);
        return (x - ONES) & ~x & HIGH;
    }

    bool TakeText(std::string_view& text, const uint8_t* zero) {
        text = std::string_view(reinterpret_cast<const char*>(at), static_cast<size_t>(zero - at));
        at = zero + 1;
        return true;
    }
};

// What reading one record from the window gave: the whole record, the end of the window in the
// middle of it (refill and read it again), or bytes that no record can start with.
enum class Decoded { WHOLE, SHORT, BAD };

// Reads one record whole, refilling the window when it ends inside the record; `decode` has no
// effect until the record is whole, so it can start again on the refilled window. The texts of
// the record stay valid until the next read.
template <typename Record, typename Decoder>
bool ReadRecord(CPayloadWindow& window, Decoder decode, Record& record) {
    for (;;) {
        PayloadCursor s{window.At(), window.End()};
        const Decoded result = decode(s, record);
        if (result == Decoded::WHOLE) {
            window.Consume(s.at);
            return true;
        }
        if (result == Decoded::BAD || !window.Refill())
            return false;
    }
}

struct NodeRecord {
    uint8_t tag = 0;
    std::string_view name;
    std::string_view diskName;
    size_t nameSeparator = 0; // offset of the first "\" or "/", or npos
    uint16_t status = 0;
    uint16_t flags = 0;
    uint32_t bindCount = 0;
    uint32_t size = 0;
    uint32_t crc = 0;
    FileTime modified = 0;
};

Decoded DecodeNode(PayloadCursor& s, NodeRecord& r) {
    if (!s.ReadLittleEndian(r.tag))
        return Decoded::SHORT;
    if (r.tag == TAG_END)
        return Decoded::WHOLE;
    if (r.tag != TAG_FOLDER && r.tag != TAG_FILE)
        return Decoded::BAD;
    const bool file = r.tag == TAG_FILE;
    // A disk name is nearly always the name itself, whose separators are known by then; it is
    // looked at again only when it differs (CheckNodeRecord).
    if (!s.ReadText(r.name, r.nameSeparator) || (file && !s.ReadText(r.diskName)))
        return Decoded::SHORT;
    if (!s.ReadLittleEndian(r.status) || !s.ReadLittleEndian(r.bindCount) ||
        !s.ReadLittleEndian(r.flags))
        return Decoded::SHORT;
    if (file && (!s.ReadLittleEndian(r.size) || !s.ReadLittleEndian(r.crc) ||
                 !s.ReadLittleEndian(r.modified)))
        return Decoded::SHORT;
    return Decoded::WHOLE;
}

struct PackageRecord {
    std::string_view name;
    FileTime installed = 0;
    std::string_view homePage;
    std::string_view text3;
    std::string_view text4;
    uint32_t memberCount = 0;
};

Decoded DecodePackage(PayloadCursor& s, PackageRecord& r) {
    bool whole = s.ReadText(r.name) && s.ReadLittleEndian(r.installed) && s.ReadText(r.homePage) &&
                 s.ReadText(r.text3) && s.ReadText(r.text4) && s.ReadLittleEndian(r.memberCount);
    return whole ? Decoded::WHOLE : Decoded::SHORT;
}

Decoded DecodeCount(PayloadCursor& s, uint32_t& count) {
    return s.ReadLittleEndian(count) ? Decoded::WHOLE : Decoded::SHORT;
}

// A name stays inside its folder: no separators (a folder's one final "\" aside), not empty, not
// "." or "..".
bool IsSafeName(std::string_view name, size_t separator, bool allowEmpty) {
    if (name.empty())
        return allowEmpty;
    if (separator < name.size())
        return false;
    // Nearly every name settles on its first byte.
    return name[0] != '.' || name.find_first_not_of('.') != std::string_view::npos;
}

size_t FirstSeparator(std::string_view name) {
    return std::min(name.find('\\'), name.find('/'));
}

// Two texts with the same bytes. Most names are 8 to 16 bytes long: two loads a side settle them
// without a call.
bool SameText(std::string_view a, std::string_view b) {
    const size_t n = a.size();
    if (n != b.size())
        return false;
    if (n < 8 || n > 16)
        return a == b;
    uint64_t a1, a2, b1, b2;
    std::memcpy(&a1, a.data(), 8);
    std::memcpy(&b1, b.data(), 8);
    std::memcpy(&a2, a.data() + n - 8, 8);
    std::memcpy(&b2, b.data() + n - 8, 8);
    return a1 == b1 && a2 == b2;
}

// Whether a node record is sound: safe names, a known status. A file whose two names differ only
// in case keeps one text for both, the one found on disk; a folder has no disk name.
bool CheckNodeRecord(NodeRecord& r) {
    if (r.status > NS_INACTIVE)
        return false;
    if (r.tag == TAG_FOLDER) {
        const std::string_view name = r.name;
        if (name.empty() || r.nameSeparator != name.size() - 1 || name.back() != '\\')
            return false;
        r.diskName = std::string_view();
        return IsSafeName(name.substr(0, name.size() - 1), std::string_view::npos, false);
    }
    if (!IsSafeName(r.name, r.nameSeparator, false))
        return false;
    // Most files have the same name in both, which a plain comparison settles faster.
    if (SameText(r.name, r.diskName))
        return true;
    if (!IsSafeName(r.diskName, FirstSeparator(r.diskName), true))
        return false;
    if (EqualsNoCase(r.name, r.diskName))
        r.name = r.diskName;
    return true;
}

// The fields after the names; a folder keeps its zero size, CRC and time.
void SetNodeFields(const NodeRecord& r, CFileNode& node) {
    node.status = r.status;
    node.bindCount = r.bindCount;
    if (r.tag == TAG_FOLDER) {
        node.flags = r.flags | NF_FOLDER;
        return;
    }
    node.flags = r.flags & static_cast<uint16_t>(~NF_FOLDER);
    node.size = r.size;
    node.crc = r.crc;
    node.modified = r.modified;
}

// Every node by its number, as the package members refer to it. Each node bound to a package
// gets one handle here while it is new and in the cache, and its stored bindCount says how many
// members will ask for it: the last of them takes that handle over, the others copy it. Making
// the members' handles later from the tree touched nodes all over it (a cache miss each).
class CNumberedNodes final {
public:
    // No room is reserved ahead: the count is known only at the end, and room for a guessed
    // count is memory the system maps and clears afresh for every load.
    CNumberedNodes() = default;

    size_t Count() const { return handles_.size(); }

    // Members name nodes in any order, each far from the last: asking for the entry a few
    // members ahead hides most of the wait for memory.
    void Prefetch(uint32_t number) const {
#if defined(__GNUC__)
        if (number < handles_.size())
            __builtin_prefetch(&handles_[number], 1);
#else
        (void)number;
#endif
    }

    void Add(const Handle<CFileNode>& node) {
        const uint32_t uses = std::min<uint32_t>(node->bindCount, UINT8_MAX);
        if (uses == 0)
            handles_.emplace_back();
        else
            handles_.push_back(node);
        usesLeft_.push_back(static_cast<uint8_t>(uses));
    }

    // A handle to node `number` (below Count()) for one more member.
    Handle<CFileNode> Take(uint32_t number, const CFileNode& top) {
        uint8_t& uses = usesLeft_[number];
        if (uses > 1) {
            --uses;
            return handles_[number];
        }
        if (uses == 1) {
            uses = 0;
            return std::move(handles_[number]);
        }
        // More members than its bindCount said: the tree in pre-order is the numbering.
        if (inTreeOrder_.empty())
            top.CollectHandles(inTreeOrder_);
        return inTreeOrder_[number];
    }

private:
    HandleArray<CFileNode> handles_;
    std::vector<uint8_t> usesLeft_;
    HandleArray<CFileNode> inTreeOrder_; // made only when a bindCount fell short
};

// The folders still open, innermost last. A folder's `children` gets room, when it opens, for as
// many as the last folder closed at its depth held: sibling folders tend to hold alike, and
// growing one child at a time copied every list several times over.
class COpenFolders final {
public:
    explicit COpenFolders(CFileNode& top) { Open(top); }

    bool Empty() const { return depth_ == 0; }
    size_t Depth() const { return depth_; }
    CFileNode& Innermost() const { return *folders_[depth_ - 1]; }

    const Handle<CFileNode>& Add(Handle<CFileNode> child) {
        HandleArray<CFileNode>& children = Innermost().children;
        children.push_back(std::move(child));
        return children.back();
    }

    void Open(CFileNode& folder) {
        if (folders_.size() == depth_) {
            folders_.emplace_back();
            lastCounts_.push_back(0);
        }
        folders_[depth_] = &folder;
        folder.children.reserve(lastCounts_[depth_]);
        ++depth_;
    }

    // The end marker of the innermost folder.
    void Close() {
        --depth_;
        HandleArray<CFileNode>& children = folders_[depth_]->children;
        // A guess far above the count gives its room back.
        if (children.capacity() > 2 * children.size() + MIN_GUESS_WASTE)
            children.shrink_to_fit();
        lastCounts_[depth_] = std::min(children.size(), MAX_GUESS);
    }

private:
    // Room guessed at most: larger lists grow as usual.
    static constexpr size_t MAX_GUESS = 4096;
    static constexpr size_t MIN_GUESS_WASTE = 16;

    std::vector<CFileNode*> folders_;
    std::vector<size_t> lastCounts_; // per depth
    size_t depth_ = 0;
};

// The tree in pre-order, each node numbered as the packages refer to it.
bool ReadNodeList(CPayloadWindow& window, CFileNode& top, CNumberedNodes& numbered) {
    // One arena for the whole tree: a node at a time from the heap was half the load.
    const CNodeArena::CFiller nodes;
    COpenFolders open(top);
    NodeRecord record;
    while (!open.Empty()) {
        if (!ReadRecord(window, DecodeNode, record))
            return false;
        if (record.tag == TAG_END) {
            open.Close();
            continue;
        }
        CFileNode& folder = open.Innermost();
        if (numbered.Count() >= UINT32_MAX)
            return false;
        if (!CheckNodeRecord(record))
            return false;
        const Handle<CFileNode>& handle = open.Add(nodes.Make(record.name, record.diskName));
        CFileNode& made = *handle;
        made.parent = &folder;
        SetNodeFields(record, made);
        // Numbered in the order the records come, as the numbering is pre-order.
        numbered.Add(handle);
        if (record.tag == TAG_FOLDER) {
            if (open.Depth() > MAX_FOLDER_DEPTH)
                return false;
            open.Open(made);
        }
    }
    return true;
}

// How many members ahead the entry of a member is asked for.
constexpr uint32_t PREFETCH_AHEAD = 16;

uint32_t LoadLittleEndian32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// The member numbers of a package, as many at a time as the window holds.
bool ReadMembers(CPayloadWindow& window, uint32_t count, HandleArray<CFileNode>& members,
                 CNumberedNodes& numbered, const CFileNode& top) {
    members.reserve(count);
    uint32_t left = count;
    while (left > 0) {
        const size_t ready = static_cast<size_t>(window.End() - window.At()) / 4;
        if (ready == 0) {
            if (!window.Refill())
                return false;
            continue;
        }
        const uint32_t batch = static_cast<uint32_t>(std::min<size_t>(ready, left));
        PayloadCursor s{window.At(), window.End()};
        for (uint32_t i = 0; i < batch; ++i) {
            if (i + PREFETCH_AHEAD < batch)
                numbered.Prefetch(LoadLittleEndian32(s.at + 4 * PREFETCH_AHEAD));
            uint32_t number = 0;
            s.ReadLittleEndian(number);
            if (number >= numbered.Count())
                return false;
            // The stored bindCount already counts this membership.
            members.push_back(numbered.Take(number, top));
        }
        window.Consume(s.at);
        left -= batch;
    }
    return true;
}

bool ReadPackage(CPayloadWindow& window, CPackage& package, CNumberedNodes& numbered,
                 const CFileNode& top) {
    PackageRecord record;
    if (!ReadRecord(window, DecodePackage, record))
        return false;
    package.name.assign(record.name);
    package.installed = record.installed;
    package.homePage.assign(record.homePage);
    package.text3.assign(record.text3);
    package.text4.assign(record.text4);
    if (record.memberCount > window.Remaining() / 4)
        return false;
    return ReadMembers(window, record.memberCount, package.members, numbered, top);
}

bool ReadPackages(CPayloadWindow& window, HandleArray<CPackage>& list, CNumberedNodes& numbered,
                  const CFileNode& top) {
    uint32_t count = 0;
    if (!ReadRecord(window, DecodeCount, count) || count < CFileDatabase::PSEUDO_PACKAGE_COUNT)
        return false;
    if (count > window.Remaining() / MIN_PACKAGE_RECORD)
        return false;
    list.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto package = std::make_shared<CPackage>();
        list.push_back(package);
        if (!ReadPackage(window, *package, numbered, top))
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
    if (saveStepHook_)
        saveStepHook_(step);
}

DatabaseResult CFileDatabase::Save() {
    QUILLORY_ASSERT_DB_OWNER(*this);
    if (!root_)
        return DatabaseResult::Failed("there is no database to save", DatabasePath());
    if (keepDatabaseFile_)
        return DatabaseResult::Failed("the old database could not be read nor moved aside",
                                      DatabasePath());
    root_->Prune();
    pass_ = 0;
    root_->name = gamePath_;

    CMemoryStream payload(4096);
    stream_ = &payload;
    std::vector<const CFileNode*> numbered;
    WriteNodeList(*root_, numbered);
    WriteU32(payload, static_cast<uint32_t>(packages_.size()));
    for (const auto& package : packages_)
        WritePackage(*package, numbered);
    stream_ = nullptr;

    // Renaming over the old file is atomic: a crash leaves the old or the new database. A
    // partial copy on a full disk is removed, so it only takes the space the next save needs.
    platform::CAtomicFile file(DatabasePath(), DatabaseTempPath());
    file.SetStepHook([this](platform::CAtomicFile::Step step) {
        ReportSaveStep(step == platform::CAtomicFile::Step::TemporaryWritten ? SAVE_TEMP_WRITTEN
                                                                             : SAVE_REPLACED);
    });
    if (DatabaseResult written = WriteDatabaseFile(file, payload); !written)
        return written;
    return DatabaseResult::From(file.Commit());
}

void CFileDatabase::WriteNodeList(const CFileNode& folder,
                                  std::vector<const CFileNode*>& numbered) {
    for (const auto& child : folder.children) {
        child->mark = pass_++;
        numbered.push_back(child.get());
        if (child->IsFolder()) {
            WriteU8(*stream_, TAG_FOLDER);
            WriteText(*stream_, child->name);
            WriteU16(*stream_, child->status);
            WriteU32(*stream_, child->bindCount);
            WriteU16(*stream_, child->flags);
            WriteNodeList(*child, numbered);
            continue;
        }
        WriteU8(*stream_, TAG_FILE);
        WriteText(*stream_, child->name);
        WriteText(*stream_, child->diskName);
        WriteU16(*stream_, child->status);
        WriteU32(*stream_, child->bindCount);
        WriteU16(*stream_, child->flags);
        WriteU32(*stream_, child->size);
        WriteU32(*stream_, child->crc);
        WriteU64(*stream_, child->modified);
    }
    WriteU8(*stream_, TAG_END);
}

void CFileDatabase::WritePackage(const CPackage& package,
                                 const std::vector<const CFileNode*>& numbered) {
    // A member that is not in the tree has no number; writing a stale one would bind a stranger.
    std::vector<uint32_t> numbers;
    for (const auto& member : package.members)
        if (member && member->mark < numbered.size() && numbered[member->mark] == member.get())
            numbers.push_back(member->mark);
    WriteText(*stream_, package.name);
    WriteU64(*stream_, package.installed);
    WriteText(*stream_, package.homePage);
    WriteText(*stream_, package.text3);
    WriteText(*stream_, package.text4);
    WriteU32(*stream_, static_cast<uint32_t>(numbers.size()));
    for (uint32_t number : numbers)
        WriteU32(*stream_, number);
}

DatabaseResult CFileDatabase::WriteDatabaseFile(platform::CAtomicFile& file,
                                                const CMemoryStream& payload) {
    uLong length = static_cast<uLong>(payload.Size());
    if (payload.Size() > UINT32_MAX)
        return DatabaseResult::Failed("the database is too large", file.TargetPath());
    const auto& zlib = platform::CZlibLibrary::Shared();
    if (!zlib.Loaded())
        return DatabaseResult::Failed("zlib could not be loaded", file.TargetPath());
    if (platform::SaveResult opened = file.Open(); !opened)
        return DatabaseResult::From(opened);
    std::vector<uint8_t> packed(zlib.compressBound(length));
    uLongf packedLength = static_cast<uLongf>(packed.size());
    if (zlib.compress(packed.data(), &packedLength, payload.Data(), length) != Z_OK)
        return DatabaseResult::Failed("the database could not be compressed", file.TargetPath());
    CMemoryStream header(HEADER_SIZE);
    WriteU32(header, DATABASE_VERSION);
    WriteU32(header, static_cast<uint32_t>(length));
    file.Write(header.Data(), header.Size());
    ReportSaveStep(SAVE_TEMP_PARTLY_WRITTEN);
    file.Write(packed.data(), packedLength);
    return DatabaseResult::From(file.Finish());
}

DatabaseResult CFileDatabase::LoadFailure(const char* what) const {
    return DatabaseResult::Failed(what, DatabasePath());
}

DatabaseResult CFileDatabase::Load() {
    QUILLORY_ASSERT_DB_OWNER(*this);
    CFileHandle file;
    if (!file.Open(DatabasePath(), CFileHandle::MODE_READ))
        return LoadFailure("cannot open the file");
    const int64_t fileSize = file.Seek(0, CFileHandle::FROM_END);
    if (fileSize < int64_t(HEADER_SIZE) || file.Seek(0, CFileHandle::FROM_START) != 0)
        return LoadFailure("the file is too short");
    uint8_t header[HEADER_SIZE];
    if (file.Read(header, HEADER_SIZE) != int64_t(HEADER_SIZE))
        return LoadFailure("cannot read the file");
    PayloadCursor fields{header, header + HEADER_SIZE};
    uint32_t version = 0;
    uint32_t length = 0;
    fields.ReadLittleEndian(version);
    fields.ReadLittleEndian(length);
    const uint64_t packedLength = uint64_t(fileSize) - HEADER_SIZE;
    if (version != DATABASE_VERSION)
        return LoadFailure("the file has an unknown version");
    if (length > packedLength * MAX_INFLATE_RATIO)
        return LoadFailure("the file is damaged");

    // Inflated a window at a time and read while in the cache; the stream's end, its checksum
    // and its length are checked after the last record.
    CPayloadWindow payload;
    if (!payload.Start(file, length))
        return LoadFailure("the file is damaged");
    nodeByNumber_.clear();
    auto newRoot = MakeRoot(gamePath_);
    HandleArray<CPackage> newPackages;
    CNumberedNodes numbered;
    bool ok = ReadNodeList(payload, *newRoot, numbered) &&
              ReadPackages(payload, newPackages, numbered, *newRoot) && payload.Finish();
    if (!ok)
        return LoadFailure("the file is damaged");

    // Everything was read: only now does the database change.
    root_ = newRoot;
    packages_ = std::move(newPackages);
    coreFiles_ = packages_[0];
    unknownFiles_ = packages_[1];
    unknownAddons_ = packages_[2];
    LocateAddonFolders();
    MarkChanged();
    return DatabaseResult::Done();
}

} // namespace quillory
