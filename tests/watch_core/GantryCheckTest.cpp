#include "OfferedDescription.h"
#include "TempGameFolder.h"

#include "common/MemoryStream.h"
#include "watch/core/GantryCheck.h"

#include <gtest/gtest.h>

namespace quillory {
namespace {

using test::Crc;
using test::Description;
using test::Offer;

class GantryCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.Write("IRONVALEUPRISING.EXE", "exe");
        game.Write("AddOns/ready.pbo", "ready");
        game.Write("AddOns/sleeping.pbo", "sleeping");
        game.Write("AddOns/later.pbo", "later");
        db.SetGamePath(game.Path());
        ASSERT_TRUE(db.Scan());
        // Two files put aside by the user: inactive, still known to the database.
        Deactivate("AddOns\\sleeping.pbo", "sleeping");
        Deactivate("AddOns\\later.pbo", "later");
    }

    void Deactivate(const String& path, const String& content) {
        auto node = db.Root()->Find(path, uint32_t(content.size()), Crc(content), false);
        ASSERT_TRUE(node) << path;
        db.DeactivateFile(*node);
        ASSERT_EQ(node->status, NS_INACTIVE) << path;
    }

    void Offer(const std::vector<struct Offer>& offers) {
        const String bytes = Description(offers);
        CMemoryStream stream(bytes.data(), bytes.size());
        db.ClearOfferedList();
        ASSERT_TRUE(db.ReadOfferedList(stream));
    }

    bool ActiveOnDisk(const String& name) { return game.Exists("AddOns/" + name); }

    test::TempGameFolder game;
    CFileDatabase db{game.Path()};
};

TEST_F(GantryCheckTest, StopsAtTheFirstMissingPackageActivatingOnlyThoseBefore) {
    Offer({{"Ready", {{"ready.pbo", "ready"}}},
           {"Sleeping", {{"sleeping.pbo", "sleeping"}}},
           {"Absent", {{"absent.pbo", "x"}, {"gone.pbo", "y"}}},
           {"Later", {{"later.pbo", "later"}}}});
    ASSERT_FALSE(ActiveOnDisk("sleeping.pbo"));

    GantryCheckResult result = CheckRequiredPackages(db);

    ASSERT_TRUE(result.missing);
    EXPECT_EQ(result.missing->name, "Absent");
    EXPECT_EQ(result.missing->status, uint32_t(OS_NOT_INSTALLED));
    ASSERT_EQ(result.activated.size(), 1u);
    EXPECT_EQ(result.activated[0]->name, "Sleeping");
    EXPECT_TRUE(ActiveOnDisk("sleeping.pbo"));
    // The package after the missing one is not looked at, so its file stays aside.
    EXPECT_FALSE(ActiveOnDisk("later.pbo"));
}

TEST_F(GantryCheckTest, EveryPackageInstalledActivatesAllInactiveOnes) {
    Offer({{"Sleeping", {{"sleeping.pbo", "sleeping"}}},
           {"Both", {{"ready.pbo", "ready"}, {"later.pbo", "later"}}}});
    GantryCheckResult result = CheckRequiredPackages(db);
    EXPECT_FALSE(result.missing);
    EXPECT_EQ(result.activated.size(), 2u);
    EXPECT_TRUE(ActiveOnDisk("sleeping.pbo"));
    EXPECT_TRUE(ActiveOnDisk("later.pbo"));
}

TEST_F(GantryCheckTest, AHalfMissingRequiredPackageStopsTheCheck) {
    // One file of two present: "Missing files", status 12.
    Offer({{"Half", {{"ready.pbo", "ready"}, {"absent.pbo", "x"}}},
           {"Sleeping", {{"sleeping.pbo", "sleeping"}}}});
    GantryCheckResult result = CheckRequiredPackages(db);
    ASSERT_TRUE(result.missing);
    EXPECT_EQ(result.missing->status, uint32_t(OS_MISSING));
    EXPECT_TRUE(result.activated.empty());
    EXPECT_FALSE(ActiveOnDisk("sleeping.pbo"));
}

TEST_F(GantryCheckTest, CheckingOnlyChangesNothingAndListingFindsEveryMissingPackage) {
    Offer({{"Sleeping", {{"sleeping.pbo", "sleeping"}}},
           {"Absent", {{"absent.pbo", "x"}}},
           {"Gone", {{"gone.pbo", "y"}}}});
    GantryCheckResult result = CheckRequiredPackages(db, false);
    ASSERT_TRUE(result.missing);
    EXPECT_EQ(result.activated.size(), 1u);
    EXPECT_FALSE(ActiveOnDisk("sleeping.pbo"));

    auto missing = MissingOfferedPackages(db);
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_EQ(missing[0]->name, "Absent");
    EXPECT_EQ(missing[1]->name, "Gone");
}

// Only packages the manager flags for download stop the game; a missing Optional one is noted
// and the check goes on to activate what follows it.
TEST_F(GantryCheckTest, PriorityAndInstalledTable) {
    struct Case {
        uint32_t priority;
        bool installed;
        bool stops;
        bool optionalNoted;
    } cases[] = {
        {0, false, false, true},  {3, false, false, true},  {4, true, false, false},
        {4, false, true, false},  {6, false, true, false},  {7, false, true, false},
        {10, false, true, false}, {10, true, false, false}, {0, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "priority " << c.priority << " installed " << c.installed);
        Deactivate("AddOns\\sleeping.pbo", "sleeping");
        struct Offer first = {"First", {{"ready.pbo", "ready"}}, c.priority};
        if (!c.installed)
            first.files = {{"absent.pbo", "x"}};
        Offer({first, {"Sleeping", {{"sleeping.pbo", "sleeping"}}}});

        GantryCheckResult result = CheckRequiredPackages(db);

        EXPECT_EQ(bool(result.missing), c.stops);
        EXPECT_EQ(result.optionalMissing.size(), c.optionalNoted ? 1u : 0u);
        // What follows a package that does not stop the game is activated.
        EXPECT_EQ(ActiveOnDisk("sleeping.pbo"), !c.stops);
        auto required = PackagesFoundMissing(db, true);
        auto optional = PackagesFoundMissing(db, false);
        EXPECT_EQ(required.size(), c.stops ? 1u : 0u);
        EXPECT_EQ(optional.size(), c.optionalNoted ? 1u : 0u);
    }
}

TEST_F(GantryCheckTest, NoOfferedPackagesNothingToDo) {
    GantryCheckResult result = CheckRequiredPackages(db);
    EXPECT_FALSE(result.missing);
    EXPECT_TRUE(result.activated.empty());
}

} // namespace
} // namespace quillory
