#include "gantry/db/ViewRows.h"

#include "TreeBuilder.h"

#include <gtest/gtest.h>

using namespace quillory;
using namespace quillory::test;

namespace {

// A small database: two real packages, one sharing a file with the other.
class ViewRowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.SetRoot(MakeRoot("C:\\Game\\"));
        addons = AddFolder(*db.Root(), "AddOns\\");
        big = AddFile(*addons, "big.pbo", 5000, 0xFFFF0000u);
        small = AddFile(*addons, "Small.pbo", 10, 0x0000ABCDu, NS_INACTIVE);
        gone = AddFile(*addons, "gone.pbo", 700, 7, NS_MISSING);
        islands = AddPackage(db, "islands");
        islands->installed = 100;
        islands->AddMember(addons);
        islands->AddMember(big);
        islands->AddMember(small);
        desert = AddPackage(db, "Desert");
        desert->installed = 200;
        desert->AddMember(small);
        desert->AddMember(gone);
        for (size_t i = 0; i < 3; ++i)
            db.Packages()[i]->installed = 10 + i;
    }

    CFileDatabase db;
    Handle<CFileNode> addons, big, small, gone;
    Handle<CPackage> islands, desert;
};

std::vector<String> Names(const std::vector<FileRow>& rows) {
    std::vector<String> names;
    for (const FileRow& row : rows)
        names.push_back(row.name);
    return names;
}

std::vector<String> Names(const std::vector<PackageRow>& rows) {
    std::vector<String> names;
    for (const PackageRow& row : rows)
        names.push_back(row.name);
    return names;
}

TEST_F(ViewRowsTest, FileRowsCarryTheShownColumnsOncePerListingPackage) {
    std::vector<FileRow> rows = FillFileRows(db, nullptr);
    ASSERT_EQ(rows.size(), 5u);
    const FileRow& row = rows[2];
    EXPECT_EQ(row.name, "Small.pbo");
    EXPECT_EQ(row.statusText, small->StatusText());
    EXPECT_EQ(row.folderPath, "AddOns\\");
    EXPECT_EQ(row.sizeText, "1 KB");
    EXPECT_EQ(row.crcText, "0000abcd");
    EXPECT_EQ(row.packageName, "islands");
    EXPECT_EQ(row.icon, 1);
    EXPECT_EQ(rows[0].icon, 6) << "a present folder";
    EXPECT_EQ(rows[1].icon, 0) << "an active file";
    EXPECT_EQ(rows[4].icon, 5) << "a missing file";
    EXPECT_EQ(rows[3].package, desert) << "the shared file again, under its other package";

    EXPECT_EQ(Names(FillFileRows(db, desert.get())),
              (std::vector<String>{"Small.pbo", "gone.pbo"}));
}

TEST_F(ViewRowsTest, FileColumnsSortInTheirOneDirection) {
    struct Case {
        int column;
        std::vector<String> order;
    } cases[] = {
        {FC_FILE, {"AddOns\\", "big.pbo", "gone.pbo", "Small.pbo", "Small.pbo"}},
        {FC_STATUS, {"Small.pbo", "Small.pbo", "AddOns\\", "big.pbo", "gone.pbo"}},
        {FC_SIZE, {"big.pbo", "gone.pbo", "Small.pbo", "Small.pbo", "AddOns\\"}},
        {FC_CRC, {"AddOns\\", "gone.pbo", "Small.pbo", "Small.pbo", "big.pbo"}},
    };
    for (const Case& c : cases) {
        std::vector<FileRow> rows = FillFileRows(db, nullptr);
        ASSERT_TRUE(SortFileRows(rows, c.column)) << c.column;
        EXPECT_EQ(Names(rows), c.order) << c.column;
    }
    std::vector<FileRow> rows = FillFileRows(db, nullptr);
    const std::vector<String> before = Names(rows);
    EXPECT_FALSE(SortFileRows(rows, FC_PACKAGE));
    EXPECT_EQ(Names(rows), before);
    // The path column: the root's folder before "AddOns\".
    ASSERT_TRUE(SortFileRows(rows, FC_PATH));
    EXPECT_EQ(rows.front().name, "AddOns\\");
}

// A sort of the order leaves the rows where they are and ranks the positions as a sort of the
// rows would; a later sort keeps the earlier one among its equals.
TEST_F(ViewRowsTest, SortingAnOrderLeavesTheRowsInPlace) {
    const std::vector<FileRow> rows = FillFileRows(db, nullptr);
    const std::vector<String> filled = Names(rows);
    for (int column : {FC_FILE, FC_STATUS, FC_PATH, FC_SIZE, FC_CRC}) {
        std::vector<uint32_t> order = FillOrder(rows.size());
        ASSERT_TRUE(SortFileOrder(rows, column, order)) << column;
        std::vector<FileRow> sorted = FillFileRows(db, nullptr);
        ASSERT_TRUE(SortFileRows(sorted, column));
        std::vector<String> byOrder;
        for (uint32_t position : order)
            byOrder.push_back(rows[position].name);
        EXPECT_EQ(byOrder, Names(sorted)) << column;
        EXPECT_EQ(Names(rows), filled) << column;
    }
    // Size, then status: the two "Small.pbo" rows (equal in both) keep their filled order, and
    // the active files keep the size order among themselves.
    std::vector<uint32_t> order = FillOrder(rows.size());
    ASSERT_TRUE(SortFileOrder(rows, FC_SIZE, order));
    ASSERT_TRUE(SortFileOrder(rows, FC_STATUS, order));
    EXPECT_EQ(order, (std::vector<uint32_t>{2, 3, 1, 0, 4}));
    EXPECT_FALSE(SortFileOrder(rows, FC_PACKAGE, order));
    EXPECT_EQ(order, (std::vector<uint32_t>{2, 3, 1, 0, 4}));
}

// Paths that differ only in letter case sort as one, in the order they had.
TEST_F(ViewRowsTest, PathsEqualButForCaseKeepTheirOrder) {
    auto upper = AddFolder(*db.Root(), "ADDONS\\");
    auto other = AddFile(*upper, "other.pbo", 1, 1);
    auto mods = AddFolder(*db.Root(), "@mods\\");
    auto unit = AddFile(*mods, "unit.pbo", 1, 2);
    auto package = AddPackage(db, "mixed");
    package->AddMember(other);
    package->AddMember(big);
    package->AddMember(unit);
    const std::vector<FileRow> rows = FillFileRows(db, package.get());
    std::vector<uint32_t> order = FillOrder(rows.size());
    ASSERT_TRUE(SortFileOrder(rows, FC_PATH, order));
    EXPECT_EQ(order, (std::vector<uint32_t>{2, 0, 1}));
}

// A refill over rows already there gives the rows a fresh fill gives, in the same memory.
TEST_F(ViewRowsTest, RefillWritesOverTheRowsInPlace) {
    std::vector<FileRow> rows;
    FillFileRows(db, nullptr, rows);
    ASSERT_EQ(rows.size(), 5u);
    const FileRow* block = rows.data();
    const char* path = rows[1].folderPath.data();
    small->status = NS_ACTIVE;
    FillFileRows(db, nullptr, rows);
    EXPECT_EQ(rows.data(), block);
    EXPECT_EQ(rows[1].folderPath.data(), path);
    const std::vector<FileRow> fresh = FillFileRows(db, nullptr);
    ASSERT_EQ(rows.size(), fresh.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].name, fresh[i].name) << i;
        EXPECT_EQ(rows[i].statusText, fresh[i].statusText) << i;
        EXPECT_EQ(rows[i].icon, fresh[i].icon) << i;
        EXPECT_EQ(rows[i].package, fresh[i].package) << i;
    }
    EXPECT_EQ(rows[2].icon, 0) << "the file made active shows so";
    // A narrower view shrinks the rows; a wider one grows them again.
    FillFileRows(db, desert.get(), rows);
    EXPECT_EQ(Names(rows), (std::vector<String>{"Small.pbo", "gone.pbo"}));
    FillFileRows(db, nullptr, rows);
    EXPECT_EQ(Names(rows), Names(fresh));
}

TEST_F(ViewRowsTest, PackageRowsAndTheirSortOrders) {
    std::vector<PackageRow> rows = FillPackageRows(db);
    ASSERT_EQ(rows.size(), 5u);
    const PackageRow& islandsRow = rows[3];
    EXPECT_EQ(islandsRow.filesFolders, "2/1");
    EXPECT_EQ(islandsRow.shared, "1");
    EXPECT_EQ(islandsRow.status, PS_PARTIAL);
    EXPECT_EQ(islandsRow.icon, 4);
    EXPECT_EQ(islandsRow.sizeText, CFileNode::SizeTextOf(5010));
    EXPECT_EQ(rows[4].status, PS_INACTIVE_MISSING);
    EXPECT_EQ(rows[4].icon, 3);

    struct Case {
        int column;
        std::vector<String> firstTwo;
    } cases[] = {
        {PC_PACKAGE, {"<Core files>", "<Unknown addons>"}},
        {PC_SIZE, {"islands", "Desert"}},
        {PC_FILES, {"islands", "Desert"}}, // 2/1 before 2/0
        {PC_DATE, {"Desert", "islands"}},  // newest first
        {PC_SHARED, {"islands", "Desert"}},
    };
    for (const Case& c : cases) {
        rows = FillPackageRows(db);
        ASSERT_TRUE(SortPackageRows(rows, c.column)) << c.column;
        const std::vector<String> names = Names(rows);
        EXPECT_EQ(std::vector<String>(names.begin(), names.begin() + 2), c.firstTwo) << c.column;
    }
    rows = FillPackageRows(db);
    ASSERT_TRUE(SortPackageRows(rows, PC_STATUS));
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_LE(rows[i - 1].status, rows[i].status);
    EXPECT_FALSE(SortPackageRows(rows, PC_COUNT));
}

TEST_F(ViewRowsTest, OfferedRowsPriorityAndTheMegabyteSum) {
    struct Offer {
        const char* name;
        uint32_t priority, size;
        bool flagged;
        const char* priorityText;
    } offers[] = {
        {"three", 3, 10485, true, "Optional"},
        {"four", 4, 1048576, true, "Recommended"},
        {"ten", 10, 999, false, "Required"},
    };
    for (const Offer& o : offers) {
        auto package = std::make_shared<CPackage>();
        package->name = o.name;
        package->priority = o.priority;
        package->archiveSize = o.size;
        package->needsDownload = o.flagged;
        db.AddOfferedPackage(package);
    }
    OfferedView view = FillOfferedView(db);
    ASSERT_EQ(view.rows.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(view.rows[i].priorityText, offers[i].priorityText);
        EXPECT_EQ(view.rows[i].action, offers[i].flagged ? "Download" : "");
        EXPECT_EQ(view.rows[i].statusText, "Files installed") << "nothing described";
        EXPECT_EQ(view.rows[i].icon, 0);
    }
    EXPECT_TRUE(view.anyFlagged);
    EXPECT_EQ(view.bytesToDownload, 10485u + 1048576u);
    EXPECT_EQ(MegabyteText(view.bytesToDownload), "1.01 MB");

    db.ClearOfferedList();
    view = FillOfferedView(db);
    EXPECT_FALSE(view.anyFlagged);
    EXPECT_EQ(MegabyteText(view.bytesToDownload), "0.00 MB");
}

TEST(MegabyteText, HundredthsOfTenThousandFourHundredEightyFiveBytes) {
    struct Case {
        uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0.00 MB"},       {10484, "0.00 MB"},       {10485, "0.01 MB"},
        {1048576, "1.00 MB"}, {123456789, "117.74 MB"}, {12345678901, "11,774.61 MB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MegabyteText(c.bytes), c.text) << c.bytes;
}

TEST_F(ViewRowsTest, RowsKeepTheirNodesAliveThroughAPrune) {
    std::vector<FileRow> rows = FillFileRows(db, desert.get());
    const CFileNode* goneNode = gone.get();
    desert->members.clear();
    gone.reset();
    db.Root()->Prune();
    // The tree let go of it; the row still holds it.
    ASSERT_EQ(rows[1].node.get(), goneNode);
    EXPECT_EQ(rows[1].node->name, "gone.pbo");
}

} // namespace
