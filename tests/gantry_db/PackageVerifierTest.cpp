// Verify against a real temporary game folder: each kind of difference is found, and neither
// the database nor the disk changes.
#include "gantry/db/PackageVerifier.h"

#include "tests/gantry_db/ScannedTree.h"
#include "tests/gantry_db/TreeBuilder.h"
#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <vector>

using namespace quillory;
using namespace quillory::test;

namespace {

constexpr const char* kTank = "tank contents";
constexpr const char* kGun = "gun contents";
constexpr const char* kUnit = "unit contents";

class PackageVerifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.Write("Ironvale.exe", "core exe");
        game.Write("AddOns/tank.pbo", kTank);
        game.Write("AddOns/gun.pbo", kGun);
        game.Write("@Mod/addons/unit.pbo", kUnit);
        game.Write("notes.txt", "notes");
        db.SetGamePath(game.Path());
        ASSERT_TRUE(db.Scan());
        tanks = MakePackage("Tanks", {"AddOns\\tank.pbo", "AddOns\\gun.pbo", "AddOns\\"});
        units = MakePackage("Units", {"@Mod\\addons\\unit.pbo", "AddOns\\gun.pbo"});
    }

    Handle<CPackage> MakePackage(const char* name, std::initializer_list<const char*> paths) {
        Handle<CPackage> package = AddPackage(db, name);
        for (const char* path : paths) {
            Handle<CFileNode> node = NodeAt(db, path);
            EXPECT_TRUE(node) << path;
            if (!node)
                continue;
            package->AddMember(node);
            db.UnbindFromUnknown(*node);
        }
        return package;
    }

    // Every file of the game folder with its content, to prove that verify wrote nothing.
    std::string Disk() const {
        std::set<std::string> lines;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(game.Path())) {
            const std::string rel = entry.path().string().substr(game.Path().size());
            lines.insert(rel + "=" + (entry.is_directory() ? "(folder)" : game.Read(rel)));
        }
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        return text;
    }

    VerifyReport VerifyAll() {
        CPackageVerifier verifier(db);
        std::vector<String> unknown;
        const std::string dbBefore = Describe(db);
        const std::string diskBefore = Disk();
        VerifyReport report = verifier.Verify(verifier.Select({}, unknown));
        EXPECT_EQ(Describe(db), dbBefore);
        EXPECT_EQ(Disk(), diskBefore);
        return report;
    }

    TempGameFolder game;
    CFileDatabase db;
    Handle<CPackage> tanks;
    Handle<CPackage> units;
};

TEST_F(PackageVerifierTest, SoundInstallationMatchesAndReadsEveryByteOnce) {
    const VerifyReport report = VerifyAll();
    EXPECT_TRUE(report.AllMatch());
    EXPECT_EQ(report.packages, 2u);
    // gun.pbo is shared by both packages: read once.
    EXPECT_EQ(report.files, 3u);
    EXPECT_EQ(report.matched, 3u);
    EXPECT_EQ(report.bytes,
              std::string(kTank).size() + std::string(kGun).size() + std::string(kUnit).size());
}

struct DifferenceCase {
    const char* name;
    std::function<void(TempGameFolder&, CFileDatabase&)> change;
    VerifyKind kind;
    std::string path;      // as reported
    std::string foundName; // for the "only" kinds
};

void PrintTo(const DifferenceCase& c, std::ostream* out) {
    *out << c.name;
}

class VerifyDifferenceTest : public PackageVerifierTest,
                             public ::testing::WithParamInterface<DifferenceCase> {};

TEST_P(VerifyDifferenceTest, ReportsTheOneFileThatDiffers) {
    const DifferenceCase& c = GetParam();
    c.change(game, db);
    const VerifyReport report = VerifyAll();
    ASSERT_EQ(report.findings.size(), 1u) << c.name;
    const VerifyFinding& f = report.findings.front();
    EXPECT_EQ(f.kind, c.kind) << c.name;
    EXPECT_EQ(f.path, c.path) << c.name;
    EXPECT_EQ(f.foundName, c.foundName) << c.name;
    EXPECT_EQ(report.matched, 2u) << c.name;
    EXPECT_FALSE(report.AllMatch());
}

void Flip(TempGameFolder& game, CFileDatabase&) {
    // Same size and time: only reading the content can tell.
    std::string content = kTank;
    content[0] = 'T';
    game.Write("AddOns/tank.pbo", content);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VerifyDifferenceTest,
    ::testing::Values(
        DifferenceCase{"same size, other content", Flip, VerifyKind::CHANGED, "AddOns\\tank.pbo",
                       ""},
        DifferenceCase{
            "longer",
            [](TempGameFolder& g, CFileDatabase&) { g.Write("AddOns/tank.pbo", "tank!!"); },
            VerifyKind::CHANGED, "AddOns\\tank.pbo", ""},
        DifferenceCase{"deleted",
                       [](TempGameFolder& g, CFileDatabase&) { g.Remove("AddOns/tank.pbo"); },
                       VerifyKind::MISSING, "AddOns\\tank.pbo", ""},
        DifferenceCase{
            "renamed to its inactive name",
            [](TempGameFolder& g, CFileDatabase&) {
                g.Move("AddOns/tank.pbo", "AddOns/" + InactiveNameFor("tank.pbo", kTank));
            },
            VerifyKind::INACTIVE_ONLY, "AddOns\\tank.pbo", InactiveNameFor("tank.pbo", kTank)},
        DifferenceCase{"renamed by another tool",
                       [](TempGameFolder& g, CFileDatabase&) {
                           g.Move("@Mod/addons/unit.pbo", "@Mod/addons/unit.pbx");
                       },
                       VerifyKind::INACTIVE_ONLY, "@Mod\\addons\\unit.pbo", "unit.pbx"},
        DifferenceCase{"activated behind the database's back",
                       [](TempGameFolder& g, CFileDatabase& db) {
                           Handle<CFileNode> unit = NodeAt(db, "@Mod\\addons\\unit.pbo");
                           ASSERT_EQ(db.DeactivateFile(*unit), platform::FsResult::Ok);
                           g.Move("@Mod/addons/" + unit->diskName, "@Mod/addons/unit.pbo");
                       },
                       VerifyKind::ACTIVE_ONLY,
                       "@Mod\\addons\\" + InactiveNameFor("unit.pbo", kUnit), "unit.pbo"}),
    [](const ::testing::TestParamInfo<DifferenceCase>& info) {
        std::string name;
        for (const char* p = info.param.name; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

} // namespace

namespace {

TEST_F(PackageVerifierTest, InactiveFilesAreReadUnderTheirInactiveName) {
    ASSERT_EQ(db.DeactivatePackage(*units), 0u);
    const VerifyReport report = VerifyAll();
    EXPECT_TRUE(report.AllMatch()) << (report.findings.empty() ? "" : report.findings[0].path);
    EXPECT_EQ(report.matched, 3u);
}

TEST_F(PackageVerifierTest, FindsFilesWhoseFolderChangedLetterCase) {
    game.Move("AddOns", "addons");
    const VerifyReport report = VerifyAll();
    EXPECT_TRUE(report.AllMatch());
    EXPECT_EQ(report.matched, 3u);
}

TEST_F(PackageVerifierTest, SelectsNamedPackagesIgnoringCaseAndReportsUnknownNames) {
    CPackageVerifier verifier(db);
    std::vector<String> unknown;
    HandleArray<CPackage> chosen =
        verifier.Select({"units", "Nope", "UNITS", "<Core files>"}, unknown);
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0], units);
    EXPECT_EQ(chosen[1], db.CoreFiles());
    EXPECT_EQ(unknown, std::vector<String>{"Nope"});

    unknown.clear();
    EXPECT_EQ(verifier.Select({}, unknown), (HandleArray<CPackage>{tanks, units}));

    game.Remove("AddOns/tank.pbo");
    const VerifyReport onlyUnits = verifier.Verify({units});
    EXPECT_TRUE(onlyUnits.AllMatch());
    EXPECT_EQ(onlyUnits.files, 2u);
}

TEST_F(PackageVerifierTest, StopsOnRequestInsideAFile) {
    db.SetCrcBlockHook([this](uint64_t) { db.Progress().RequestCancel(); });
    CPackageVerifier verifier(db);
    const VerifyReport report = verifier.Verify({tanks});
    EXPECT_TRUE(report.cancelled);
    EXPECT_FALSE(report.AllMatch());
    EXPECT_EQ(report.matched, 0u);
    EXPECT_FALSE(db.Progress().CancelRequested()) << "a stale request would stop the next scan";
}

TEST_F(PackageVerifierTest, WorkerLendsTheDatabaseAndReportsWhenDone) {
    game.Write("AddOns/gun.pbo", "other gun");
    std::mutex gate;
    gate.lock();
    db.SetCrcBlockHook([&](uint64_t) {
        gate.lock();
        gate.unlock();
    });
    CPackageVerifier verifier(db);
    ASSERT_TRUE(verifier.Start({tanks, units}));
    EXPECT_TRUE(db.Busy());
    EXPECT_FALSE(verifier.WaitFor(std::chrono::milliseconds(20)));
    gate.unlock();
    EXPECT_TRUE(verifier.WaitFor(std::chrono::minutes(1)));
    EXPECT_FALSE(db.Busy());
    ASSERT_EQ(verifier.Report().findings.size(), 1u);
    const VerifyFinding& f = verifier.Report().findings[0];
    EXPECT_EQ(f.kind, VerifyKind::CHANGED);
    EXPECT_EQ(f.package, "Tanks");
    EXPECT_EQ(f.storedCrc, CrcOf(kGun));
    EXPECT_EQ(f.foundCrc, CrcOf("other gun"));
    EXPECT_EQ(f.foundSize, 9u);
}

} // namespace
