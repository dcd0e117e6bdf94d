#include "DatabaseBytes.h"
#include "ScratchFolder.h"
#include "TempGameFolder.h"
#include "TreeBuilder.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include <sys/mount.h>

namespace quillory {
namespace {

using test::AddFile;
using test::AddFolder;
using test::Bytes;
using test::Describe;

constexpr FileTime TIME = 0x01D9ABCD12345678ull;

class DatabaseFileTest : public ::testing::Test {
protected:
    DatabaseFileTest() : db(folder.Path().string()) { db.SetGamePath("C:\\Game\\"); }

    std::string DatFile() const { return folder / "quillory.dat"; }
    std::string SavedBytes() const {
        std::string bytes;
        test::ReadFileBytes(DatFile(), bytes);
        return bytes;
    }
    // The pseudo-package records as they stand in `db`.
    Bytes& PseudoRecords(Bytes& out) const {
        for (int i = 0; i < 3; ++i)
            out.Text(db.Packages()[i]->name)
                .U64(db.Packages()[i]->installed)
                .Text("")
                .Text("")
                .Text("")
                .U32(0);
        return out;
    }

    test::ScratchFolder folder;
    CFileDatabase db;
};

TEST_F(DatabaseFileTest, EmptyTreeIsTheEndMarkerAndThreePseudoPackages) {
    db.SetRoot(test::MakeRoot("stale name\\"));
    ASSERT_TRUE(db.Save());
    Bytes expected;
    expected.U8(3).U32(3);
    PseudoRecords(expected);
    std::string bytes = SavedBytes();
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(0, 8), Bytes().U32(1).U32(uint32_t(expected.data.size())).data);
    EXPECT_EQ(test::Inflate(bytes.substr(8), expected.data.size()), expected.data);
    EXPECT_EQ(db.Root()->name, "C:\\Game\\");
    EXPECT_EQ(db.Pass(), 0u);
}

// A folder holding an inactive file, both members of one package (folders and files share the
// numbering), as laid out byte by byte.
Bytes FolderAndFilePayload(const Bytes& pseudo, FileTime installed) {
    Bytes b;
    b.U8(1).Text("AddOns\\").U16(NS_ACTIVE).U32(1).U16(NF_FOLDER);
    b.U8(2).Text("x.pbo").Text("x.pbo.0000abcd.aab").U16(NS_INACTIVE).U32(2).U16(NF_UNKNOWN_ADDON);
    b.U32(1234).U32(0xabcd).U64(TIME);
    b.U8(3).U8(3).U32(4).Raw(pseudo.data);
    b.Text("Pkg").U64(installed).Text("http://home").Text("t3").Text("t4").U32(2).U32(0).U32(1);
    return b;
}

TEST_F(DatabaseFileTest, RecordsAreWrittenAsLaidOut) {
    db.SetRoot(test::MakeRoot("C:\\Game\\"));
    auto addons = AddFolder(*db.Root(), "AddOns\\");
    auto x = AddFile(*addons, "x.pbo", 1234, 0xabcd, NS_INACTIVE);
    x->diskName = "x.pbo.0000abcd.aab";
    x->modified = TIME;
    x->flags = NF_UNKNOWN_ADDON;
    db.UnknownAddons()->AddMember(x);
    auto package = test::AddPackage(db, "Pkg");
    package->homePage = "http://home";
    package->text3 = "t3";
    package->text4 = "t4";
    package->AddMember(addons);
    package->AddMember(x);
    db.UnknownAddons()->members.clear(); // keep the pseudo records empty; bindCount stays 2

    ASSERT_TRUE(db.Save());
    Bytes pseudo;
    PseudoRecords(pseudo);
    std::string expected = FolderAndFilePayload(pseudo, package->installed).data;
    std::string bytes = SavedBytes();
    EXPECT_EQ(test::Inflate(bytes.substr(8), expected.size()), expected);
    EXPECT_EQ(db.Pass(), 2u);
    EXPECT_EQ(addons->mark, 0u);
    EXPECT_EQ(x->mark, 1u);
}

TEST_F(DatabaseFileTest, HandWrittenFileLoadsLikeTheSavedOne) {
    Bytes pseudo;
    PseudoRecords(pseudo);
    ASSERT_TRUE(test::WriteFileBytes(DatFile(),
                                     test::DatabaseFile(FolderAndFilePayload(pseudo, TIME).data)));
    ASSERT_TRUE(db.Load());
    ASSERT_NE(db.Root(), nullptr);
    EXPECT_EQ(db.Root()->name, "C:\\Game\\");
    EXPECT_EQ(db.Root()->bindCount, ROOT_BIND_COUNT);
    EXPECT_EQ(Describe(*db.Root()), "AddOns\\||1|16|1|0|0|0\n"
                                    "  x.pbo|x.pbo.0000abcd.aab|2|8|2|1234|43981|" +
                                        std::to_string(TIME) + "\n");
    ASSERT_EQ(db.Packages().size(), 4u);
    EXPECT_EQ(db.CoreFiles(), db.Packages()[0]);
    EXPECT_EQ(db.UnknownAddons(), db.Packages()[2]);
    const auto& pkg = *db.Packages()[3];
    EXPECT_EQ(pkg.name, "Pkg");
    EXPECT_EQ(pkg.installed, TIME);
    EXPECT_EQ(pkg.homePage, "http://home");
    EXPECT_EQ(pkg.text3, "t3");
    EXPECT_EQ(pkg.text4, "t4");
    ASSERT_EQ(pkg.members.size(), 2u);
    EXPECT_EQ(pkg.members[0], db.Root()->children[0]);
    EXPECT_EQ(pkg.members[1], db.Root()->children[0]->children[0]);
    EXPECT_EQ(db.AddonsFolder(), db.Root()->children[0]);
    EXPECT_TRUE(db.NodeByNumber().empty());
}

TEST_F(DatabaseFileTest, NamesDifferingOnlyInCaseLoadAsTheDiskName) {
    Bytes b;
    b.U8(2).Text("X.PBO").Text("x.pbo").U16(1).U32(1).U16(0).U32(1).U32(2).U64(3).U8(3).U32(3);
    PseudoRecords(b);
    ASSERT_TRUE(test::WriteFileBytes(DatFile(), test::DatabaseFile(b.data)));
    ASSERT_TRUE(db.Load());
    ASSERT_EQ(db.Root()->children.size(), 1u);
    EXPECT_EQ(db.Root()->children[0]->name, "x.pbo");
    EXPECT_EQ(db.Root()->children[0]->diskName, "x.pbo");
}

// The stored bindCount is what the file claims, not what the packages hold: however far apart
// the two are, every listed membership loads and the file is held by nothing else.
TEST_F(DatabaseFileTest, MembersLoadWhateverTheStoredBindCountSays) {
    struct Case {
        uint32_t bindCount;
        std::vector<uint32_t> first;  // member numbers of the first package
        std::vector<uint32_t> second; // and of the second
    };
    const Case cases[] = {
        {0, {1}, {1}},          // fewer claimed than held
        {2, {1}, {1}},          // as saved
        {5, {1}, {}},           // more claimed than held
        {1, {1, 1, 0}, {1, 1}}, // listed twice in one package
        {0xFFFFFFFF, {0}, {}},  // claimed beyond any list
    };
    for (const Case& c : cases) {
        Bytes b;
        b.U8(1).Text("data\\").U16(NS_ACTIVE).U32(c.bindCount).U16(NF_FOLDER);
        b.U8(2).Text("a.pbo").Text("a.pbo").U16(NS_ACTIVE).U32(c.bindCount).U16(0);
        b.U32(1).U32(2).U64(TIME).U8(3).U8(3).U32(5);
        PseudoRecords(b);
        for (const auto* numbers : {&c.first, &c.second}) {
            b.Text("P").U64(TIME).Text("").Text("").Text("").U32(uint32_t(numbers->size()));
            for (uint32_t number : *numbers)
                b.U32(number);
        }
        ASSERT_TRUE(test::WriteFileBytes(DatFile(), test::DatabaseFile(b.data)));
        CFileDatabase loaded(folder.Path().string());
        ASSERT_TRUE(loaded.Load()) << c.bindCount;
        const auto& folderNode = loaded.Root()->children.at(0);
        const auto& file = folderNode->children.at(0);
        EXPECT_EQ(file->bindCount, c.bindCount);
        long held[2] = {1, 1}; // the tree's own handles
        for (size_t p = 0; p < 2; ++p) {
            const auto& numbers = p == 0 ? c.first : c.second;
            const auto& members = loaded.Packages()[3 + p]->members;
            ASSERT_EQ(members.size(), numbers.size());
            for (size_t i = 0; i < numbers.size(); ++i) {
                EXPECT_EQ(members[i], numbers[i] == 0 ? folderNode : file) << c.bindCount;
                ++held[numbers[i]];
            }
        }
        EXPECT_EQ(folderNode.use_count(), held[0]) << c.bindCount;
        EXPECT_EQ(file.use_count(), held[1]) << c.bindCount;
    }
}

// A tree with shared members, inactive and missing files, a folder member and an unbound
// corner that pruning drops.
void FillSample(CFileDatabase& db) {
    db.SetRoot(test::MakeRoot("old\\"));
    auto addons = AddFolder(*db.Root(), "addons\\");
    auto a = AddFile(*addons, "a.pbo", 10, 0xA);
    auto inactive = AddFile(*addons, "a.pbo", 11, 0xB, NS_INACTIVE);
    inactive->diskName = inactive->InactiveName();
    auto missing = AddFile(*addons, "m.pbo", 12, 0xC, NS_MISSING);
    auto mod = AddFolder(*db.Root(), "@mod\\");
    auto modAddons = AddFolder(*mod, "addons\\");
    auto moved = AddFile(*modAddons, "b.pbo", 13, 0xD);
    moved->modified = TIME;
    auto unbound = AddFolder(*db.Root(), "empty\\");
    AddFile(*unbound, "stray.txt", 1, 1);
    for (auto& node : {a, inactive, missing})
        db.UnknownAddons()->AddMember(node);
    auto first = test::AddPackage(db, "First");
    first->homePage = "http://first";
    first->AddMember(mod);
    first->AddMember(a);
    first->AddMember(moved);
    auto second = test::AddPackage(db, "Second");
    second->text3 = "three";
    second->text4 = "four";
    second->AddMember(moved);
    second->AddMember(missing);
}

TEST_F(DatabaseFileTest, RoundTripKeepsTreeAndPackagesAndDropsUnboundNodes) {
    FillSample(db);
    ASSERT_TRUE(db.Save());
    EXPECT_EQ(db.Pass(), 7u); // addons, 3 files, @mod, its addons, b.pbo
    CFileDatabase loaded(folder.Path().string());
    loaded.SetGamePath(db.GamePath());
    ASSERT_TRUE(loaded.Load());
    EXPECT_EQ(Describe(loaded), Describe(db));
    EXPECT_EQ(db.Root()->Find("empty\\", 0, 0, true), nullptr);
    const auto& first = *loaded.Packages()[3];
    const auto& second = *loaded.Packages()[4];
    EXPECT_EQ(first.members[2], second.members[0]); // one shared node, not two copies
    EXPECT_EQ(first.members[2]->bindCount, 2u);
}

// A database far larger than the window the payload is read through: records, names and member
// lists fall across its edges, and one name is larger than the window itself.
void FillLarge(CFileDatabase& db) {
    db.SetRoot(test::MakeRoot("old\\"));
    uint32_t seed = 99;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    auto everything = test::AddPackage(db, "Everything");
    auto some = test::AddPackage(db, "Some");
    for (int f = 0; f < 40; ++f) {
        auto folderNode = AddFolder(*db.Root(), "folder" + std::to_string(f) + "\\");
        some->AddMember(folderNode);
        for (int i = 0; i < 500; ++i) {
            std::string name = "f" + std::to_string(i) + std::string(next() % 40, 'x') + ".pbo";
            auto file = AddFile(*folderNode, name, next(), next(), uint16_t(next() % 3));
            file->modified = TIME + next();
            if (i % 7 == 0)
                file->diskName = file->InactiveName();
            everything->AddMember(file);
            if (i % 3 == 0)
                db.UnknownAddons()->AddMember(file);
        }
    }
    auto huge = AddFile(*db.Root(), std::string(600000, 'h'), 1, 2);
    everything->AddMember(huge);
    // A small folder after many large ones, with a folder inside.
    auto small = AddFolder(*db.Root(), "small\\");
    some->AddMember(AddFile(*small, "one.txt", 1, 1));
    some->AddMember(AddFolder(*small, "inner\\"));
}

TEST_F(DatabaseFileTest, ALargeDatabaseLoadsAcrossManyWindows) {
    FillLarge(db);
    ASSERT_TRUE(db.Save());
    CFileDatabase loaded(folder.Path().string());
    loaded.SetGamePath(db.GamePath());
    ASSERT_TRUE(loaded.Load());
    EXPECT_TRUE(Describe(loaded) == Describe(db));
    EXPECT_EQ(loaded.Packages()[3]->members.size(), 20001u);
    // Shared members are one node, not copies.
    EXPECT_EQ(loaded.Packages()[3]->members[0], loaded.Packages()[2]->members[0]);
}

TEST_F(DatabaseFileTest, ALargeDatabaseCutAnywhereIsRefused) {
    FillLarge(db);
    ASSERT_TRUE(db.Save());
    const std::string file = SavedBytes();
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= uint32_t(uint8_t(file[4 + i])) << (8 * i);
    const std::string payload = test::Inflate(file.substr(8), length);
    ASSERT_GT(payload.size(), 1000000u);
    const std::string before = Describe(db);
    for (size_t cut : {size_t(1), size_t(65535), size_t(262143), size_t(262145), size_t(700001),
                       payload.size() / 2, payload.size() - 4, payload.size() - 1}) {
        ASSERT_TRUE(test::WriteFileBytes(DatFile(), test::DatabaseFile(payload.substr(0, cut))));
        EXPECT_FALSE(db.Load()) << cut;
        EXPECT_EQ(Describe(db), before) << cut;
    }
}

TEST_F(DatabaseFileTest, MembersOutsideTheTreeAreNotWrittenWithStaleNumbers) {
    FillSample(db);
    auto detached = std::make_shared<CFileNode>();
    detached->name = "ghost.pbo";
    detached->mark = 1; // would name a.pbo if written
    db.Packages()[4]->AddMember(detached);
    ASSERT_TRUE(db.Save());
    CFileDatabase loaded(folder.Path().string());
    ASSERT_TRUE(loaded.Load());
    EXPECT_EQ(loaded.Packages()[4]->members.size(), 2u);
}

TEST_F(DatabaseFileTest, SaveWithoutATreeWritesNothing) {
    EXPECT_FALSE(db.Save());
    EXPECT_FALSE(std::filesystem::exists(DatFile()));
}

TEST_F(DatabaseFileTest, SaveIntoAMissingFolderFails) {
    CFileDatabase nowhere((folder.Path() / "no" / "such").string());
    nowhere.SetRoot(test::MakeRoot("C:\\Game\\"));
    EXPECT_FALSE(nowhere.Save());
}

// Every failure names what went wrong and the database file it concerns.
TEST_F(DatabaseFileTest, FailuresCarryTheirReasonAndPath) {
    struct Case {
        const char* name;
        std::string fileBytes; // empty: no file
        bool save;
        const char* what;
    };
    const Case cases[] = {
        {"save without a tree", "", true, "there is no database to save"},
        {"load without a file", "", false, "cannot open the file"},
        {"load of a short file", "abc", false, "the file is too short"},
        {"load of another version", Bytes().U32(99).U32(0).data, false,
         "the file has an unknown version"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(DatFile());
        if (!c.fileBytes.empty()) {
            ASSERT_TRUE(test::WriteFileBytes(DatFile(), c.fileBytes));
        }
        const DatabaseResult result = c.save ? db.Save() : db.Load();
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.what, c.what);
        EXPECT_EQ(result.path, db.DatabasePath());
    }
    CFileDatabase nowhere((folder.Path() / "no" / "such").string());
    nowhere.SetRoot(test::MakeRoot("C:\\Game\\"));
    const DatabaseResult result = nowhere.Save();
    EXPECT_NE(result.what.find("cannot create"), std::string::npos) << result.what;
    EXPECT_EQ(result.path, nowhere.DatabaseTempPath());
}

// The thread rule is checked in the build the tests run, NDEBUG or not.
TEST(DatabaseOwnerDeathTest, AnotherThreadsDatabaseStopsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CFileDatabase db;
    EXPECT_DEATH(
        {
            std::thread([&] { db.Owner().Take(); }).join();
            (void)db.Packages();
        },
        "owned by another thread");
}

TEST_F(DatabaseFileTest, AWriteErrorIsReportedAndKeepsTheOldFile) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to fail writes";
    FillSample(db);
    ASSERT_TRUE(db.Save());
    std::string old = SavedBytes();
    std::filesystem::create_symlink("/dev/full", folder / "quillory.da2");
    test::AddPackage(db, "Newer");
    EXPECT_FALSE(db.Save());
    EXPECT_EQ(SavedBytes(), old);
    // The partial temporary file goes too.
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(folder / "quillory.da2")));
}

// A database folder on a file system too small for the file: the write fails for real.
TEST_F(DatabaseFileTest, ASaveOnAFullDiskRemovesItsPartialFile) {
    test::ScratchFolder small;
    if (::mount("tmpfs", small.Path().c_str(), "tmpfs", 0, "size=8k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount(path.c_str()); }
    } unmount{small.Path().string()};
    CFileDatabase big(small.Path().string());
    big.SetRoot(test::MakeRoot("C:\\Game\\"));
    // Random names do not compress: far more than 8 KB on disk.
    uint32_t seed = 12345;
    for (int i = 0; i < 4000; ++i) {
        String name;
        for (int c = 0; c < 12; ++c) {
            seed = seed * 1103515245 + 12345;
            name += static_cast<char>('a' + (seed >> 16) % 26);
        }
        big.Root()->AddChild(name, 0)->bindCount = 1;
    }
    EXPECT_FALSE(big.Save());
    EXPECT_FALSE(std::filesystem::exists(small.Path() / "quillory.da2"));
    EXPECT_FALSE(std::filesystem::exists(small.Path() / "quillory.dat"));
}

TEST_F(DatabaseFileTest, AProcessKilledWhileSavingLeavesTheOldOrTheNewFile) {
    using Step = CFileDatabase::SaveStep;
    struct Case {
        Step step;
        bool expectNew;
    } cases[] = {
        {CFileDatabase::SAVE_TEMP_PARTLY_WRITTEN, false},
        {CFileDatabase::SAVE_TEMP_WRITTEN, false},
        {CFileDatabase::SAVE_REPLACED, true},
    };
    // The default death-test style forks, so the child saves into this same folder.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        CFileDatabase current(folder.Path().string());
        FillSample(current);
        ASSERT_TRUE(current.Save());
        std::string oldState = Describe(current);
        test::AddPackage(current, "Added")->AddMember(current.Root()->children[0]);
        std::string newState = Describe(current);
        EXPECT_EXIT(
            {
                current.SetSaveStepHook([&](Step step) {
                    if (step == c.step)
                        std::raise(SIGKILL);
                });
                current.Save();
                std::exit(0);
            },
            ::testing::KilledBySignal(SIGKILL), "");
        CFileDatabase loaded(folder.Path().string());
        ASSERT_TRUE(loaded.Load());
        EXPECT_EQ(Describe(loaded), c.expectNew ? newState : oldState);
        // A stale temporary file does not hinder the next save.
        ASSERT_TRUE(current.Save());
        ASSERT_TRUE(loaded.Load());
        EXPECT_EQ(Describe(loaded), newState);
        std::filesystem::remove(DatFile());
    }
}

} // namespace
} // namespace quillory

namespace quillory {
namespace {

TEST(DatabaseFileScan, SaveNumbersTheNodesAndTheNextScanPassesAboveThem) {
    test::TempGameFolder game;
    game.Write("AddOns/a.pbo", "a");
    game.Write("notes.txt", "n");
    test::ScratchFolder data;
    CFileDatabase db(data.Path().string());
    db.SetGamePath(game.Path());
    db.Scan();
    ASSERT_TRUE(db.Save());
    EXPECT_EQ(db.Pass(), 3u); // AddOns\, a.pbo, notes.txt
    db.Scan();
    EXPECT_EQ(db.Pass(), 4u);
    std::vector<CFileNode*> nodes;
    db.Root()->CollectPointers(nodes);
    ASSERT_EQ(nodes.size(), 3u);
    for (const CFileNode* node : nodes)
        EXPECT_EQ(node->mark, 4u) << node->name;
}

} // namespace
} // namespace quillory
