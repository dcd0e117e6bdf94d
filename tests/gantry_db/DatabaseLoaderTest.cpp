// The start-up worker: load, move an unreadable file aside, scan, cancel, and who owns the
// database while it runs.
#include "gantry/db/DatabaseLoader.h"

#include "tests/gantry_db/ScannedTree.h"
#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace quillory;
using quillory::test::NodeAt;
using quillory::test::TempGameFolder;

namespace {

class DatabaseLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.Write("Ironvale.exe", "core exe");
        game.Write("AddOns/tank.pbo", "tank");
        game.Write("notes.txt", "notes");
    }

    // A good "quillory.dat" holding a package that no scan could make.
    void SaveGoodDatabase() {
        CFileDatabase db(data.Path());
        db.SetGamePath(game.Path());
        ASSERT_TRUE(db.Scan());
        auto package = std::make_shared<CPackage>();
        package->name = "Saved package";
        package->AddMember(NodeAt(db, "notes.txt"));
        db.UnbindFromUnknown(*NodeAt(db, "notes.txt"));
        db.AddPackage(package);
        ASSERT_TRUE(db.Save());
    }

    // Runs the worker to its end over a new database in the data folder.
    DatabaseLoadOutcome RunLoader(CFileDatabase& db,
                                  CDatabaseLoader::LoadedCallback onLoaded = {}) {
        CDatabaseLoader loader(db);
        EXPECT_TRUE(loader.Start(game.Path(), std::move(onLoaded)));
        loader.Wait();
        EXPECT_TRUE(loader.Finished());
        ready = loader.GantryReady();
        return loader.Outcome();
    }

    bool HasPackage(const CFileDatabase& db, const char* name) const {
        for (const auto& package : db.Packages())
            if (package->name == name)
                return true;
        return false;
    }

    TempGameFolder game;
    TempGameFolder data;
    bool ready = false;
};

TEST_F(DatabaseLoaderTest, OutcomeTellsHowTheDatabaseCameToBe) {
    struct Case {
        const char* name;
        std::optional<std::string> datFile; // none: no file; "good": a saved database
        std::optional<std::string> olderBad;
        DatabaseLoadResult result;
        bool movedAside;
    };
    const Case cases[] = {
        {"no file", std::nullopt, std::nullopt, DatabaseLoadResult::BUILT, false},
        {"good file", "good", std::nullopt, DatabaseLoadResult::LOADED, false},
        {"unreadable file", "not a database", std::nullopt, DatabaseLoadResult::BUILT, true},
        {"unreadable file over an older .bad", std::string("\1\0\0\0garbage", 11), "older copy",
         DatabaseLoadResult::BUILT, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        data.Remove("quillory.dat");
        data.Remove("quillory.dat.bad");
        if (c.datFile == "good")
            SaveGoodDatabase();
        else if (c.datFile)
            data.Write("quillory.dat", *c.datFile);
        if (c.olderBad)
            data.Write("quillory.dat.bad", *c.olderBad);

        CFileDatabase db(data.Path());
        const DatabaseLoadOutcome outcome = RunLoader(db);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.movedAside, c.movedAside);
        EXPECT_FALSE(outcome.moveFailed);
        EXPECT_TRUE(ready);
        EXPECT_FALSE(db.Busy());
        // The scan ran in every case: the disk's files are in the tree.
        EXPECT_TRUE(NodeAt(db, "AddOns\\tank.pbo"));
        EXPECT_EQ(HasPackage(db, "Saved package"), c.result == DatabaseLoadResult::LOADED);
        if (c.movedAside) {
            EXPECT_EQ(outcome.badPath, db.DatabasePath() + ".bad");
            EXPECT_FALSE(data.Exists("quillory.dat"));
            EXPECT_EQ(data.Read("quillory.dat.bad"), *c.datFile);
            // The new database can be saved without touching the old one.
            EXPECT_TRUE(db.Save());
            EXPECT_EQ(data.Read("quillory.dat.bad"), *c.datFile);
        } else {
            EXPECT_EQ(data.Exists("quillory.dat.bad"), false);
        }
    }
}

TEST_F(DatabaseLoaderTest, TheWorkerRunsBelowItsCallerOnlyWhenAskedTo) {
    const auto niceOfThisThread = [] {
        return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
    };
    const int callerNice = niceOfThisThread();
    if (callerNice >= 19)
        GTEST_SKIP() << "the tests already run at the lowest priority";
    const struct {
        CDatabaseLoader::Priority priority;
        int workerNice;
    } cases[] = {
        {CDatabaseLoader::Priority::LOWEST, 19},
        {CDatabaseLoader::Priority::CALLER, callerNice},
    };
    for (const auto& c : cases) {
        CFileDatabase db(data.Path());
        CDatabaseLoader loader(db, c.priority);
        int seen = -100;
        ASSERT_TRUE(loader.Start(game.Path(), [&](CFileDatabase&) { seen = niceOfThisThread(); }));
        loader.Wait();
        EXPECT_EQ(seen, c.workerNice);
        EXPECT_TRUE(loader.GantryReady());
    }
    EXPECT_EQ(niceOfThisThread(), callerNice);
}

TEST_F(DatabaseLoaderTest, AFileThatCannotBeMovedAsideIsReportedAndKept) {
    data.Write("quillory.dat", "not a database");
    // A folder in the way of the new name: the rename is refused.
    data.Write("quillory.dat.bad/inside", "x");
    CFileDatabase db(data.Path());
    const DatabaseLoadOutcome outcome = RunLoader(db);
    EXPECT_TRUE(outcome.moveFailed);
    EXPECT_FALSE(outcome.movedAside);
    EXPECT_TRUE(NodeAt(db, "AddOns\\tank.pbo")) << "the program still starts with a scan";
    EXPECT_FALSE(db.Save()) << "the only copy of the old database is kept";
    EXPECT_EQ(data.Read("quillory.dat"), "not a database");
}

TEST_F(DatabaseLoaderTest, CancelStopsTheScanAndLeavesGantryUnavailable) {
    CFileDatabase db(data.Path());
    CDatabaseLoader loader(db);
    ASSERT_TRUE(loader.Start(game.Path(), [&](CFileDatabase&) { loader.Cancel(); }));
    loader.Wait();
    ASSERT_TRUE(loader.Finished());
    EXPECT_EQ(loader.Outcome().result, DatabaseLoadResult::CANCELLED);
    EXPECT_FALSE(loader.GantryReady());
    EXPECT_TRUE(db.Progress().Cancelled());
    EXPECT_FALSE(db.Progress().CancelRequested());
    EXPECT_FALSE(NodeAt(db, "AddOns\\tank.pbo")) << "the walk stopped at its first entry";

    // Too late to matter: a cancel after the end leaves no request for a later scan.
    loader.Cancel();
    EXPECT_FALSE(db.Progress().CancelRequested());
    EXPECT_TRUE(db.Scan());
    EXPECT_FALSE(db.Progress().Cancelled());
    EXPECT_TRUE(NodeAt(db, "AddOns\\tank.pbo"));
}

TEST_F(DatabaseLoaderTest, CancelInsideALargeFileStopsWithinOneBlock) {
    // Sparse: a gigabyte that takes no room on the disk but a long time to read.
    const uint64_t size = uint64_t(1) << 30;
    game.Write("AddOns/huge.pbo", "");
    std::filesystem::resize_file(game / "AddOns/huge.pbo", size);

    CFileDatabase db(data.Path());
    std::vector<uint64_t> blocks;
    CDatabaseLoader loader(db);
    db.SetCrcBlockHook([&](uint64_t done) {
        blocks.push_back(done);
        if (blocks.size() == 2)
            loader.Cancel();
    });
    ASSERT_TRUE(loader.Start(game.Path()));
    loader.Wait();
    EXPECT_EQ(loader.Outcome().result, DatabaseLoadResult::CANCELLED);
    EXPECT_FALSE(loader.GantryReady());
    ASSERT_EQ(blocks.size(), 2u) << "no block is read after the cancel";
    EXPECT_LT(blocks.back(), size);
    EXPECT_FALSE(NodeAt(db, "AddOns\\huge.pbo")) << "a half-read file gets no node";
    EXPECT_FALSE(db.Progress().CancelRequested());
}

TEST_F(DatabaseLoaderTest, ScanTextFollowsTheWalk) {
    CFileDatabase db(data.Path());
    CDatabaseLoader loader(db);
    EXPECT_EQ(loader.ScanText(), "");
    std::vector<String> seen;
    db.SetContentReadHook([&](const String&) { seen.push_back(loader.ScanText()); });
    ASSERT_TRUE(loader.Start(game.Path()));
    loader.Wait();
    ASSERT_FALSE(seen.empty());
    for (const String& text : seen)
        EXPECT_NE(text.find(game.Path()), String::npos) << text;
}

TEST_F(DatabaseLoaderTest, TheWorkerOwnsTheDatabaseUntilItHasFinished) {
    CFileDatabase db(data.Path());
    bool busyInWorker = false;
    bool workerMayTouch = false;
    std::thread::id worker;
    const DatabaseLoadOutcome outcome = RunLoader(db, [&](CFileDatabase& loading) {
        busyInWorker = loading.Busy();
        workerMayTouch = loading.Owner().CallerMayTouch();
        worker = std::this_thread::get_id();
    });
    EXPECT_EQ(outcome.result, DatabaseLoadResult::BUILT);
    EXPECT_TRUE(busyInWorker);
    EXPECT_TRUE(workerMayTouch);
    EXPECT_NE(worker, std::this_thread::get_id());
    // Given back: the front end's thread owns it again.
    EXPECT_FALSE(db.Busy());
    EXPECT_TRUE(db.Owner().CallerMayTouch());
}

TEST_F(DatabaseLoaderTest, StartsOnceAndWaitsWithoutAWorker) {
    CFileDatabase db(data.Path());
    CDatabaseLoader idle(db);
    idle.Cancel();
    idle.Wait(); // nothing started: returns at once
    EXPECT_FALSE(idle.Started());
    EXPECT_FALSE(idle.Finished());
    EXPECT_FALSE(idle.GantryReady());
    EXPECT_FALSE(db.Progress().CancelRequested());

    CDatabaseLoader loader(db);
    ASSERT_TRUE(loader.Start(game.Path()));
    EXPECT_FALSE(loader.Start(game.Path()));
    loader.Wait();
    EXPECT_TRUE(loader.GantryReady());
}

// A progress loop waits on the worker in slices: each slice ends early when the work ends, and
// a slice that ends with the worker still busy says so.
TEST_F(DatabaseLoaderTest, WaitForEndsWhenTheWorkEnds) {
    CFileDatabase db(data.Path());
    std::mutex gate;
    gate.lock();
    db.SetCrcBlockHook([&](uint64_t) {
        gate.lock();
        gate.unlock();
    });
    CDatabaseLoader loader(db);
    ASSERT_TRUE(loader.Start(game.Path()));
    EXPECT_FALSE(loader.WaitFor(std::chrono::milliseconds(20)));
    EXPECT_FALSE(loader.Finished());
    gate.unlock();
    EXPECT_TRUE(loader.WaitFor(std::chrono::minutes(5)));
    EXPECT_TRUE(loader.Finished());
    EXPECT_TRUE(loader.GantryReady());
    EXPECT_FALSE(db.Busy());
    EXPECT_TRUE(NodeAt(db, "AddOns\\tank.pbo"));

    CDatabaseLoader idle(db);
    EXPECT_TRUE(idle.WaitFor(std::chrono::minutes(5))) << "nothing started: nothing to wait for";
}

TEST(DatabaseOwner, OnlyTheOwningWorkerOrNoOwnerAllowsATouch) {
    std::thread::id other;
    std::thread([&] { other = std::this_thread::get_id(); }).join();
    const std::thread::id self = std::this_thread::get_id();
    const std::thread::id none;
    struct Case {
        std::thread::id owner, caller;
        bool allowed;
    };
    const Case cases[] = {
        {none, self, true}, {self, self, true}, {other, self, false}, {self, other, false}};
    for (const Case& c : cases)
        EXPECT_EQ(CDatabaseOwner::MayTouch(c.owner, c.caller), c.allowed);

    CDatabaseOwner owner;
    owner.Lend();
    EXPECT_TRUE(owner.Busy());
    std::thread([&] { owner.Take(); }).join();
    EXPECT_FALSE(owner.CallerMayTouch());
    owner.GiveBack();
    EXPECT_FALSE(owner.Busy());
    EXPECT_TRUE(owner.CallerMayTouch());
}

#ifndef NDEBUG
TEST(DatabaseOwnerDeathTest, TouchingADatabaseAWorkerOwnsStopsADebugBuild) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            CFileDatabase db;
            db.Owner().Lend();
            std::thread([&] { db.Owner().Take(); }).join();
            db.Save();
        },
        "owned by another thread");
}
#endif

} // namespace
