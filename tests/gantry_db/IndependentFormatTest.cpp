// The database file and the core-file list checked against bytes packed by hand.

#include "ScratchFolder.h"
#include "gantry/db/CoreFileResource.h"
#include "gantry/db/FileDatabase.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quillory {
namespace {

// Little-endian bytes and zero-terminated texts, appended by hand.
struct Bytes {
    std::string b;
    Bytes& U8(uint8_t v) {
        b.push_back(static_cast<char>(v));
        return *this;
    }
    Bytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    Bytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Bytes& U64(uint64_t v) { return U32(static_cast<uint32_t>(v)).U32(v >> 32); }
    Bytes& Text(const std::string& t) {
        b += t;
        b.push_back('\0');
        return *this;
    }
    Bytes& Folder(const std::string& name, uint16_t status, uint32_t bind, uint16_t flags) {
        return U8(1).Text(name).U16(status).U32(bind).U16(flags);
    }
    Bytes& File(const std::string& name, const std::string& disk, uint16_t status, uint32_t bind,
                uint16_t flags, uint32_t size, uint32_t crc, uint64_t modified) {
        return U8(2).Text(name).Text(disk).U16(status).U32(bind).U16(flags).U32(size).U32(crc).U64(
            modified);
    }
    Bytes& End() { return U8(3); }
    Bytes& Package(const std::string& name, uint64_t installed, const std::string& home,
                   const std::string& t3, const std::string& t4,
                   const std::vector<uint32_t>& members) {
        Text(name).U64(installed).Text(home).Text(t3).Text(t4).U32(
            static_cast<uint32_t>(members.size()));
        for (uint32_t m : members)
            U32(m);
        return *this;
    }
};

std::string Compress(const std::string& raw) {
    uLongf len = compressBound(raw.size());
    std::string out(len, '\0');
    EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &len,
                       reinterpret_cast<const Bytef*>(raw.data()), raw.size()),
              Z_OK);
    out.resize(len);
    return out;
}

std::string DatabaseFile(const std::string& payload, uint32_t version = 1) {
    return Bytes().U32(version).U32(static_cast<uint32_t>(payload.size())).b + Compress(payload);
}

uint32_t LeU32(const std::string& s, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

Handle<CFileNode> NewRoot() {
    auto root = std::make_shared<CFileNode>();
    root->flags = NF_FOLDER;
    root->bindCount = ROOT_BIND_COUNT;
    return root;
}

Handle<CFileNode> AddFile(CFileNode& folder, const std::string& name, const std::string& disk,
                          uint16_t status, uint16_t flags, uint32_t size, uint32_t crc,
                          uint64_t modified) {
    auto node = folder.AddChild(name, flags);
    node->diskName = disk;
    node->status = status;
    node->size = size;
    node->crc = crc;
    node->modified = modified;
    return node;
}

constexpr uint64_t kTime = 0x0123456789ABCDEFULL;

// A tree with every record kind, nested folders, a file whose two names
// differ only in case, and packages whose members mix folders and files.
std::string SampleFile() {
    Bytes p;
    p.Folder("AddOns\\", NS_ACTIVE, 1, NF_FOLDER | NF_UNKNOWN_ADDON)                           // 0
        .File("x.pbo", "x.pbo.0012abcd.aab", NS_INACTIVE, 2, NF_UNKNOWN_ADDON, 1000, 0x12abcd, // 1
              kTime)
        .File("Y.PBO", "y.pbo", NS_ACTIVE, 1, 0, 5, 7, 1) // 2
        .End()
        .File("readme.txt", "readme.txt", NS_MISSING, 1, NF_CORE, 0, 0, 0) // 3
        .Folder("res\\", NS_ACTIVE, 1, NF_FOLDER)                          // 4
        .Folder("addons\\", NS_MISSING, 0, NF_FOLDER)                      // 5
        .End()
        .End()
        .End()
        .U32(4)
        .Package("<Core files>", 11, "", "", "", {3})
        .Package("<Unknown files>", 12, "", "", "", {})
        .Package("<Unknown addons>", 13, "", "", "", {0, 1})
        .Package("Real", 0x01D2000000000001ULL, "http://h/", "three", "four", {1, 4, 2});
    return DatabaseFile(p.b);
}

class IndependentFormatTest : public ::testing::Test {
protected:
    test::ScratchFolder folder;
    CFileDatabase db{String(folder.WithSlash())};

    void SetUp() override { db.SetGamePath("C:\\Game\\"); }
    std::filesystem::path DatPath() const { return folder.Path() / "quillory.dat"; }
};

TEST_F(IndependentFormatTest, LoadBuildsTreeAndPackagesFromHandPackedFile) {
    ASSERT_TRUE(test::WriteFileBytes(DatPath(), SampleFile()));
    ASSERT_TRUE(db.Load());

    ASSERT_TRUE(db.Root());
    EXPECT_EQ(db.Root()->name, "C:\\Game\\");
    EXPECT_EQ(db.Root()->flags, NF_FOLDER);
    EXPECT_EQ(db.Root()->bindCount, ROOT_BIND_COUNT);
    EXPECT_EQ(db.Root()->parent, nullptr);

    HandleArray<CFileNode> all;
    db.Root()->CollectHandles(all);
    ASSERT_EQ(all.size(), 6u);

    struct Expected {
        const char* name;
        const char* disk;
        uint16_t status;
        uint32_t bind;
        uint16_t flags;
        uint32_t size;
        uint32_t crc;
        uint64_t modified;
        int parent; // -1: the root
    };
    const Expected expected[] = {
        {"AddOns\\", "", NS_ACTIVE, 1, NF_FOLDER | NF_UNKNOWN_ADDON, 0, 0, 0, -1},
        {"x.pbo", "x.pbo.0012abcd.aab", NS_INACTIVE, 2, NF_UNKNOWN_ADDON, 1000, 0x12abcd, kTime, 0},
        {"y.pbo", "y.pbo", NS_ACTIVE, 1, 0, 5, 7, 1, 0},
        {"readme.txt", "readme.txt", NS_MISSING, 1, NF_CORE, 0, 0, 0, -1},
        {"res\\", "", NS_ACTIVE, 1, NF_FOLDER, 0, 0, 0, -1},
        {"addons\\", "", NS_MISSING, 0, NF_FOLDER, 0, 0, 0, 4},
    };
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(i);
        const CFileNode& n = *all[i];
        const Expected& e = expected[i];
        EXPECT_EQ(n.name, e.name);
        if (!n.IsFolder()) {
            EXPECT_EQ(n.diskName, e.disk);
        }
        EXPECT_EQ(n.status, e.status);
        EXPECT_EQ(n.bindCount, e.bind);
        EXPECT_EQ(n.flags, e.flags);
        EXPECT_EQ(n.size, e.size);
        EXPECT_EQ(n.crc, e.crc);
        EXPECT_EQ(n.modified, e.modified);
        EXPECT_EQ(n.parent, e.parent < 0 ? db.Root().get() : all[e.parent].get());
    }
    EXPECT_EQ(db.Root()->children.size(), 3u);

    ASSERT_EQ(db.Packages().size(), 4u);
    EXPECT_EQ(db.CoreFiles(), db.Packages()[0]);
    EXPECT_EQ(db.UnknownFiles(), db.Packages()[1]);
    EXPECT_EQ(db.UnknownAddons(), db.Packages()[2]);
    struct ExpectedPackage {
        const char* name;
        uint64_t installed;
        const char* home;
        const char* t3;
        const char* t4;
        std::vector<int> members;
    };
    const ExpectedPackage packages[] = {
        {"<Core files>", 11, "", "", "", {3}},
        {"<Unknown files>", 12, "", "", "", {}},
        {"<Unknown addons>", 13, "", "", "", {0, 1}},
        {"Real", 0x01D2000000000001ULL, "http://h/", "three", "four", {1, 4, 2}},
    };
    for (size_t i = 0; i < db.Packages().size(); ++i) {
        SCOPED_TRACE(i);
        const CPackage& pk = *db.Packages()[i];
        const ExpectedPackage& e = packages[i];
        EXPECT_EQ(pk.name, e.name);
        EXPECT_EQ(pk.installed, e.installed);
        EXPECT_EQ(pk.homePage, e.home);
        EXPECT_EQ(pk.text3, e.t3);
        EXPECT_EQ(pk.text4, e.t4);
        ASSERT_EQ(pk.members.size(), e.members.size());
        for (size_t m = 0; m < e.members.size(); ++m)
            EXPECT_EQ(pk.members[m], all[e.members[m]]) << "member " << m;
    }
}

TEST_F(IndependentFormatTest, LoadRefusesBadFilesAndKeepsTheDatabase) {
    ASSERT_TRUE(test::WriteFileBytes(DatPath(), SampleFile()));
    ASSERT_TRUE(db.Load());
    const auto root = db.Root();
    const auto real = db.Packages()[3];

    const std::string payload = Bytes().End().U32(0).b;
    const std::string good = DatabaseFile(payload);
    struct Case {
        const char* what;
        std::string file;
    };
    const Case cases[] = {
        {"version 2", DatabaseFile(payload, 2)},
        {"version 0", DatabaseFile(payload, 0)},
        {"stored length below the payload", Bytes().U32(1).U32(2).b + Compress(payload)},
        {"payload not zlib", Bytes().U32(1).U32(5).b + "garbage"},
        {"compressed data cut short", good.substr(0, good.size() - 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(test::WriteFileBytes(DatPath(), c.file));
        EXPECT_FALSE(db.Load());
        EXPECT_EQ(db.Root(), root);
        ASSERT_EQ(db.Packages().size(), 4u);
        EXPECT_EQ(db.Packages()[3], real);
        EXPECT_EQ(db.Root()->children.size(), 3u);
    }
    std::filesystem::remove(DatPath());
    EXPECT_FALSE(db.Load());
    EXPECT_EQ(db.Root(), root);
}

TEST_F(IndependentFormatTest, SaveWritesPrunedTreeInPreOrderWithPackages) {
    db.SetRoot(NewRoot());
    CFileNode& root = *db.Root();
    auto addons = root.AddChild("AddOns\\", NF_FOLDER | NF_UNKNOWN_ADDON);
    AddFile(*addons, "junk.txt", "junk.txt", NS_ACTIVE, 0, 1, 1, 1); // held by nothing
    auto x = AddFile(*addons, "x.pbo", "x.pbo.0012abcd.aab", NS_INACTIVE, NF_UNKNOWN_ADDON, 1000,
                     0x12abcd, kTime);
    root.AddChild("empty\\", NF_FOLDER); // held by nothing
    auto keep = root.AddChild("keep\\", NF_FOLDER);
    auto k = AddFile(*keep, "k", "k", NS_MISSING, 0, 0xFFFFFFFF, 0xCAFEBABE, 0x8000000000000001ULL);
    auto gone = root.AddChild("gone\\", NF_FOLDER);
    AddFile(*gone, "junk2", "junk2", NS_ACTIVE, 0, 2, 2, 2); // with its folder, held by nothing
    auto a = AddFile(root, "a.txt", "a.txt", NS_ACTIVE, NF_CORE, 3, 4, 5);

    db.CoreFiles()->installed = 21;
    db.UnknownFiles()->installed = 22;
    db.UnknownAddons()->installed = 23;
    db.CoreFiles()->AddMember(a);
    db.UnknownAddons()->AddMember(addons);
    db.UnknownAddons()->AddMember(x);
    auto pkg = std::make_shared<CPackage>();
    pkg->name = "Pkg";
    pkg->homePage = "hp";
    pkg->text3 = "t3";
    pkg->installed = 0x1122334455667788ULL;
    pkg->AddMember(x);
    pkg->AddMember(k);
    pkg->AddMember(keep); // a folder member keeps its folder number
    db.AddPackage(pkg);

    ASSERT_TRUE(db.Save());

    const std::string expected =
        Bytes()
            .Folder("AddOns\\", NS_ACTIVE, 1, NF_FOLDER | NF_UNKNOWN_ADDON)
            .File("x.pbo", "x.pbo.0012abcd.aab", NS_INACTIVE, 2, NF_UNKNOWN_ADDON, 1000, 0x12abcd,
                  kTime)
            .End()
            .Folder("keep\\", NS_ACTIVE, 1, NF_FOLDER)
            .File("k", "k", NS_MISSING, 1, 0, 0xFFFFFFFF, 0xCAFEBABE, 0x8000000000000001ULL)
            .End()
            .File("a.txt", "a.txt", NS_ACTIVE, 1, NF_CORE, 3, 4, 5)
            .End()
            .U32(4)
            .Package("<Core files>", 21, "", "", "", {4})
            .Package("<Unknown files>", 22, "", "", "", {})
            .Package("<Unknown addons>", 23, "", "", "", {0, 1})
            .Package("Pkg", 0x1122334455667788ULL, "hp", "t3", "", {1, 3, 2})
            .b;

    std::string file;
    ASSERT_TRUE(test::ReadFileBytes(DatPath(), file));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "quillory.da2"));
    ASSERT_GT(file.size(), 10u);
    EXPECT_EQ(LeU32(file, 0), 1u);
    EXPECT_EQ(LeU32(file, 4), expected.size());
    // zlib header of the default compression level.
    EXPECT_EQ(static_cast<uint8_t>(file[8]), 0x78);
    EXPECT_EQ(static_cast<uint8_t>(file[9]), 0x9C);
    std::string raw(expected.size() + 64, '\0');
    uLongf rawLen = raw.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawLen,
                         reinterpret_cast<const Bytef*>(file.data() + 8), file.size() - 8),
              Z_OK);
    raw.resize(rawLen);
    EXPECT_EQ(raw, expected);

    EXPECT_EQ(db.Pass(), 5u);
    EXPECT_EQ(db.Root()->name, "C:\\Game\\");
    EXPECT_EQ(addons->mark, 0u);
    EXPECT_EQ(x->mark, 1u);
    EXPECT_EQ(keep->mark, 2u);
    EXPECT_EQ(k->mark, 3u);
    EXPECT_EQ(a->mark, 4u);
    EXPECT_EQ(db.Root()->children.size(), 3u);

    // What was saved loads back and saves to the same bytes.
    CFileDatabase again{String(folder.WithSlash())};
    again.SetGamePath("C:\\Game\\");
    ASSERT_TRUE(again.Load());
    std::filesystem::remove(DatPath());
    ASSERT_TRUE(again.Save());
    std::string second;
    ASSERT_TRUE(test::ReadFileBytes(DatPath(), second));
    EXPECT_EQ(second, file);
}

TEST_F(IndependentFormatTest, SaveOfEmptyTreeIsOneEndMarkerAndThePseudoPackages) {
    EXPECT_FALSE(db.Save()); // no tree yet
    EXPECT_FALSE(std::filesystem::exists(DatPath()));

    db.SetRoot(NewRoot());
    db.CoreFiles()->installed = 1;
    db.UnknownFiles()->installed = 2;
    db.UnknownAddons()->installed = 3;
    ASSERT_TRUE(db.Save());
    const std::string expected = Bytes()
                                     .End()
                                     .U32(3)
                                     .Package("<Core files>", 1, "", "", "", {})
                                     .Package("<Unknown files>", 2, "", "", "", {})
                                     .Package("<Unknown addons>", 3, "", "", "", {})
                                     .b;
    std::string file;
    ASSERT_TRUE(test::ReadFileBytes(DatPath(), file));
    EXPECT_EQ(file, DatabaseFile(expected));
    EXPECT_EQ(db.Pass(), 0u);
}

// A core-file list packed by hand; skip offsets are absolute positions in the list.
struct PackedList {
    Bytes bytes;
    std::vector<size_t> open; // positions of skip offsets still to fill

    PackedList& File(const std::string& name) {
        bytes.Text(name);
        return *this;
    }
    PackedList& Folder(const std::string& name) {
        bytes.Text(name);
        open.push_back(bytes.b.size());
        bytes.U32(0);
        return *this;
    }
    PackedList& FolderWithSkip(const std::string& name, uint32_t skip) {
        bytes.Text(name).U32(skip);
        return *this;
    }
    PackedList& EndFolder() {
        bytes.U8(0);
        if (!open.empty()) {
            const size_t at = open.back();
            open.pop_back();
            const std::string skip = Bytes().U32(static_cast<uint32_t>(bytes.b.size())).b;
            bytes.b.replace(at, 4, skip);
        }
        return *this;
    }
};

void UseList(CFileDatabase& db, const std::string& list) {
    db.SetCoreList(std::vector<uint8_t>(list.begin(), list.end()),
                   static_cast<uint32_t>(list.size()));
}

TEST_F(IndependentFormatTest, CorePathLookupFollowsSegmentsAndSkips) {
    PackedList list;
    list.Folder("Res\\")
        .Folder("addons\\")
        .File("a.pbo")
        .EndFolder()
        .File("x.exe")
        .EndFolder()
        .Folder("decoy\\")
        .File("inside.txt")
        .File("game.exe")
        .EndFolder()
        .Folder("bin\\")
        .EndFolder()
        .File("game.exe")
        .EndFolder();
    UseList(db, list.bytes.b);

    struct Case {
        const char* path;
        bool core;
    };
    const Case cases[] = {
        {"res\\", true},
        {"RES\\ADDONS\\", true},
        {"res\\addons\\a.pbo", true},
        {"Res\\AddOns\\A.PBO", true},
        {"res\\x.exe", true},     // after skipping addons\ as a whole
        {"res\\a.pbo", false},    // only inside addons\, which is skipped
        {"res\\game.exe", false}, // the folder's end answers, not the entries after it
        {"res\\addons\\x.exe", false},
        {"inside.txt", false}, // only inside decoy\, which is skipped
        {"decoy\\inside.txt", true},
        {"game.exe", true},
        {"GAME.EXE", true},
        {"bin\\", true},
        {"bin\\game.exe", false},
        {"res", false}, // the folder entry carries its "\"
        {"addons\\", false},
        {"nothere\\a.pbo", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(db.IsCorePath(c.path), c.core) << c.path;
}

TEST_F(IndependentFormatTest, SkipOffsetBeyondTheListReadsOnInsideTheFolder) {
    PackedList list;
    list.FolderWithSkip("bad\\", 0xFFFF)
        .File("inner.txt")
        .EndFolder()
        .File("after.txt")
        .EndFolder();
    UseList(db, list.bytes.b);
    EXPECT_TRUE(db.IsCorePath("inner.txt"));
    EXPECT_FALSE(db.IsCorePath("after.txt")); // the folder's empty entry ends the search
    EXPECT_TRUE(db.IsCorePath("bad\\inner.txt"));
}

TEST_F(IndependentFormatTest, UnpackTakesLengthPrefixAndEmptiesAListThatDoesNotUnpack) {
    PackedList list;
    list.Folder("bin\\").File("q.exe").EndFolder().EndFolder();
    const std::string raw = list.bytes.b;
    const std::string resource = Bytes().U32(static_cast<uint32_t>(raw.size())).b + Compress(raw);

    std::vector<uint8_t> out;
    uint32_t length = 0;
    CFileDatabase::UnpackCoreList(reinterpret_cast<const uint8_t*>(resource.data()),
                                  resource.size(), out, length);
    ASSERT_EQ(length, raw.size());
    ASSERT_GE(out.size(), raw.size());
    EXPECT_EQ(std::string(out.begin(), out.begin() + length), raw);

    const std::string broken = Bytes().U32(16).b + "not a zlib stream";
    CFileDatabase::UnpackCoreList(reinterpret_cast<const uint8_t*>(broken.data()), broken.size(),
                                  out, length);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0], 0);
}

// Walks the embedded list as the format lays it out: every skip offset must land on the entry
// after its folder's empty entry, and the top level must end exactly at the end of the data.
size_t WalkFolder(const std::vector<uint8_t>& d, size_t pos, size_t length, int& folders,
                  int& files) {
    for (;;) {
        EXPECT_LT(pos, length);
        if (pos >= length)
            return length;
        size_t end = pos;
        while (end < length && d[end] != 0)
            ++end;
        const std::string name(d.begin() + pos, d.begin() + end);
        pos = end + 1;
        if (name.empty())
            return pos;
        if (name.back() != '\\') {
            ++files;
            continue;
        }
        ++folders;
        EXPECT_LE(pos + 4, length);
        if (pos + 4 > length)
            return length;
        const uint32_t skip =
            d[pos] | d[pos + 1] << 8 | d[pos + 2] << 16 | static_cast<uint32_t>(d[pos + 3]) << 24;
        pos = WalkFolder(d, pos + 4, length, folders, files);
        EXPECT_EQ(skip, pos) << name;
    }
}

TEST_F(IndependentFormatTest, EmbeddedListIsWellFormed) {
    std::vector<uint8_t> list;
    uint32_t length = 0;
    CFileDatabase::UnpackCoreList(CORE_FILE_RESOURCE, CORE_FILE_RESOURCE_SIZE, list, length);
    ASSERT_GT(length, 1u);
    int folders = 0;
    int files = 0;
    EXPECT_EQ(WalkFolder(list, 0, length, folders, files), length);
    EXPECT_GT(folders, 0);
    EXPECT_GT(files, 0);
}

} // namespace
} // namespace quillory
