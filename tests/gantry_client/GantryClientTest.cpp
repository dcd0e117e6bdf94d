#include "gantry/client/GantryClient.h"
#include "gantry/client/Installer.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include <sys/stat.h>

namespace quillory {
namespace {

using namespace std::chrono_literals;
using test::FakeHttpServer;
using test::ScratchFolder;
using test::TempGameFolder;
using test::ZipBuilder;

template <typename Condition> bool WaitFor(Condition condition, std::chrono::seconds limit = 60s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::string ZipBytes(const ScratchFolder& scratch, const std::string& name,
                     const std::string& content) {
    String path = scratch / (name + ".build");
    EXPECT_TRUE(ZipBuilder().Add(name + ".pbo", content).Write(path));
    std::string bytes;
    EXPECT_TRUE(test::ReadFileBytes(path, bytes));
    return bytes;
}

class GantryClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.SetGamePath(game.Path());
        ASSERT_TRUE(db.Scan());
    }

    // An offered record for `path` on the server, flagged unless told otherwise.
    Handle<CPackage> Offer(const std::string& name, const std::string& path, size_t size,
                           bool flagged = true) {
        auto record = std::make_shared<CPackage>();
        record->name = name;
        record->archivePath = server.Url(path);
        record->archiveSize = static_cast<uint32_t>(size);
        record->needsDownload = flagged ? 1 : 0;
        db.AddOfferedPackage(record);
        return record;
    }

    // Runs the engine to its end; false when it did not end in time.
    bool RunEngine(CGantryClient& client) {
        if (!client.Begin())
            return false;
        // The finished event is what a front end waits on: it must come with the end.
        bool ended = client.FinishedEvent().Wait(60000) && client.Finished();
        client.Close();
        return ended && doneCalls == 1;
    }

    std::vector<std::string> DataFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(data.Path()))
            names.push_back(entry.path().filename().string());
        return names;
    }

    TempGameFolder game;
    ScratchFolder data;
    ScratchFolder scratch;
    CFileDatabase db{data.Path().string()};
    FakeHttpServer server;
    std::atomic<int> doneCalls{0};
    CGantryClient::DoneCallback onDone = [this] { ++doneCalls; };
};

TEST_F(GantryClientTest, OnePackageDownloadsThenInstalls) {
    std::string archive = ZipBytes(scratch, "island", "island data");
    server.Serve("/packs/island.zip", archive);
    server.Serve("/packs/other.zip", archive);
    ASSERT_TRUE(server.Start());
    Handle<CPackage> record = Offer("Island", "/packs/island.zip", archive.size());
    Handle<CPackage> unflagged = Offer("Other", "/packs/other.zip", archive.size(), false);

    CGantryClient client(db, data.Path().string(), onDone);
    ASSERT_TRUE(RunEngine(client));

    EXPECT_EQ(game.Read("addons/island.pbo"), "island data");
    EXPECT_EQ(db.Packages().back()->name, "island");
    EXPECT_EQ(record->needsDownload, 0);
    EXPECT_EQ(server.RequestCount("/packs/other.zip"), 0);
    EXPECT_TRUE(DataFiles().empty());
    DownloadProgress p = client.Progress();
    EXPECT_EQ(p.totalSize, archive.size());
    EXPECT_EQ(p.totalDone, archive.size());
    EXPECT_EQ(p.currentDone, archive.size());
    EXPECT_EQ(p.installDone, p.installTotal);
    EXPECT_EQ(p.downloadingName, "Island");
    EXPECT_EQ(p.installingName, "Island");
    std::vector<DownloadOutcome> outcomes = client.Outcomes();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_TRUE(outcomes[0].arrived && outcomes[0].installed) << outcomes[0].error;
}

TEST_F(GantryClientTest, FailedTransferLeavesItsRecordFlaggedAndTheRunGoesOn) {
    std::string first = ZipBytes(scratch, "first", "one");
    std::string third = ZipBytes(scratch, "third", "three");
    server.Serve("/first.zip", first);
    server.Serve("/third.zip", third);
    ASSERT_TRUE(server.Start());
    Handle<CPackage> r1 = Offer("First", "/first.zip", first.size());
    Handle<CPackage> r2 = Offer("Second", "/second.zip", 5000); // the server has none
    Handle<CPackage> r3 = Offer("Third", "/third.zip", third.size());

    std::mutex mutex;
    std::vector<String> installed;
    bool secondAskedDuringFirstInstall = false;
    CGantryClient client(db, data.Path().string(), onDone);
    client.SetInstallFunction([&](const String& path, std::atomic<uint64_t>& done,
                                  std::atomic<uint64_t>& total, const CPackage& offered, String&) {
        std::lock_guard guard(mutex);
        if (offered.name == "First") // the next transfer runs while this one installs
            secondAskedDuringFirstInstall =
                WaitFor([&] { return server.RequestCount("/second.zip") > 0; });
        installed.push_back(offered.name);
        EXPECT_TRUE(std::filesystem::exists(path)) << path;
        total = 1;
        done = 1;
        return true;
    });
    ASSERT_TRUE(RunEngine(client));

    EXPECT_EQ(installed, (std::vector<String>{"First", "Third"}));
    EXPECT_TRUE(secondAskedDuringFirstInstall);
    EXPECT_EQ(r1->needsDownload, 0);
    EXPECT_EQ(r2->needsDownload, 1);
    EXPECT_EQ(r3->needsDownload, 0);
    EXPECT_TRUE(DataFiles().empty());
    // The failed record's bytes count as done, so the Total bar reaches its end.
    DownloadProgress p = client.Progress();
    EXPECT_EQ(p.totalSize, first.size() + 5000 + third.size());
    EXPECT_EQ(p.totalDone, p.totalSize);
    std::vector<DownloadOutcome> outcomes = client.Outcomes();
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_FALSE(outcomes[1].arrived);
    EXPECT_FALSE(outcomes[1].error.empty());
}

TEST_F(GantryClientTest, CancelStopsTheTransferAndStartsNothingMore) {
    // Long enough (about 20 s) that a loaded machine still cancels well before its end.
    std::string slow(4096 * 1000, 'x');
    server.Slow("/slow.zip", slow, 4096, 20ms);
    server.Serve("/next.zip", "never");
    ASSERT_TRUE(server.Start());
    Handle<CPackage> r1 = Offer("Slow", "/slow.zip", slow.size());
    Handle<CPackage> r2 = Offer("Next", "/next.zip", 5);

    bool installCalled = false;
    CGantryClient client(db, data.Path().string(), onDone);
    client.SetInstallFunction([&](const String&, std::atomic<uint64_t>&, std::atomic<uint64_t>&,
                                  const CPackage&, String&) { return installCalled = true; });
    ASSERT_TRUE(client.Begin());
    ASSERT_TRUE(WaitFor([&] { return client.Progress().currentDone > 0; }));
    client.Cancel();
    ASSERT_TRUE(WaitFor([&] { return client.Finished(); }));
    client.Close();

    EXPECT_EQ(doneCalls, 1);
    EXPECT_FALSE(installCalled);
    EXPECT_EQ(server.RequestCount("/next.zip"), 0);
    EXPECT_EQ(r1->needsDownload, 1);
    EXPECT_EQ(r2->needsDownload, 1);
    EXPECT_TRUE(DataFiles().empty());
    EXPECT_LT(client.Progress().currentDone, slow.size());
}

TEST_F(GantryClientTest, CancelDuringAnInstallUndoesThatPackageAndKeepsTheOnesBefore) {
    ZipBuilder many;
    many.Add("gantry.txt", "GANTRY_START\nPACKAGE Many\nINSTALLPATH *\nGANTRY_END\n");
    for (int i = 0; i < 20000; ++i)
        many.Add("many/f" + std::to_string(i) + ".txt", std::to_string(i), {}, false);
    ASSERT_TRUE(many.Write(data / "many.build"));
    std::string manyBytes;
    ASSERT_TRUE(test::ReadFileBytes(data / "many.build", manyBytes));
    std::filesystem::remove(data / "many.build");
    const std::string firstBytes = ZipBytes(data, "first", "first");
    std::filesystem::remove(data / "first.build");
    server.Serve("/first.zip", firstBytes);
    server.Serve("/many.zip", manyBytes);
    ASSERT_TRUE(server.Start());
    Offer("first", "/first.zip", firstBytes.size());
    Offer("Many", "/many.zip", manyBytes.size());
    const size_t packagesBefore = db.Packages().size();

    CGantryClient client(db, data.Path().string(), onDone);
    ASSERT_TRUE(client.Begin());
    ASSERT_TRUE(WaitFor([&] {
        const DownloadProgress p = client.Progress();
        return client.Finished() || (p.installingName == "Many" && p.installDone > 0);
    }));
    client.Cancel();
    ASSERT_TRUE(WaitFor([&] { return client.Finished(); }));
    client.Close();

    const std::vector<DownloadOutcome> outcomes = client.Outcomes();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].installed);
    EXPECT_FALSE(outcomes[1].installed);
    EXPECT_NE(outcomes[1].error.find("cancelled"), String::npos) << outcomes[1].error;
    EXPECT_EQ(game.Read("addons/first.pbo"), "first");
    EXPECT_FALSE(game.Exists("many"));
    ASSERT_EQ(db.Packages().size(), packagesBefore + 1);
    EXPECT_EQ(db.Packages().back()->name, "first");
}

TEST_F(GantryClientTest, ClosingDuringAStalledTransferActsAsCancel) {
    server.Stall("/stall.zip", "PK", 100000);
    ASSERT_TRUE(server.Start());
    Offer("Stalled", "/stall.zip", 100000);
    {
        CGantryClient client(db, data.Path().string(), onDone);
        ASSERT_TRUE(client.Begin());
        ASSERT_TRUE(WaitFor([&] { return client.Progress().currentDone > 0; }));
    } // the destructor closes: it must return, and leave nothing behind
    EXPECT_EQ(doneCalls, 1);
    EXPECT_TRUE(DataFiles().empty());
}

TEST_F(GantryClientTest, NoFlaggedRecordEndsAtOnce) {
    ASSERT_TRUE(server.Start());
    Offer("Installed", "/x.zip", 10, false);
    CGantryClient client(db, data.Path().string(), onDone);
    ASSERT_TRUE(RunEngine(client));
    EXPECT_TRUE(client.Outcomes().empty());
    EXPECT_EQ(server.RequestCount("/x.zip"), 0);
    EXPECT_EQ(client.Progress().totalSize, 0u);
}

TEST_F(GantryClientTest, UrlsEndingAlikeDoNotShareATemporaryFile) {
    std::string a = ZipBytes(scratch, "alpha", "alpha bytes");
    std::string b = ZipBytes(scratch, "beta", "beta bytes");
    server.Serve("/a/pack", a); // no '.' in the last piece: the name is kept as it is
    server.Serve("/b/pack", b);
    ASSERT_TRUE(server.Start());
    Offer("Alpha", "/a/pack", a.size());
    Offer("Beta", "/b/pack", b.size());

    std::vector<String> paths;
    CGantryClient client(db, data.Path().string(), onDone);
    client.SetInstallFunction([&](const String& path, std::atomic<uint64_t>& done,
                                  std::atomic<uint64_t>& total, const CPackage& offered,
                                  String& error) {
        paths.push_back(path);
        InstallReport report;
        bool ok = InstallPackage(db, path, done, total, &offered, &report);
        error = report.error;
        return ok;
    });
    ASSERT_TRUE(RunEngine(client));
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(std::filesystem::path(paths[0]).filename(), "pack");
    EXPECT_NE(paths[0], paths[1]);
    EXPECT_EQ(std::filesystem::path(paths[0]).parent_path(), data.Path());
    EXPECT_EQ(std::filesystem::path(paths[1]).parent_path(), data.Path());
    EXPECT_EQ(game.Read("addons/alpha.pbo"), "alpha bytes");
    EXPECT_EQ(game.Read("addons/beta.pbo"), "beta bytes");
}

TEST_F(GantryClientTest, FileAlreadyInTheDataFolderIsNeverOverwritten) {
    std::string archive = ZipBytes(scratch, "notes", "notes data");
    server.Serve("/notes", archive); // downloads under its own name, which a file holds
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(test::WriteFileBytes(data.Path() / "notes", "the user's own"));
    Offer("Notes", "/notes", archive.size());

    CGantryClient client(db, data.Path().string(), onDone);
    ASSERT_TRUE(RunEngine(client));
    EXPECT_EQ(game.Read("addons/notes.pbo"), "notes data");
    std::string kept;
    ASSERT_TRUE(test::ReadFileBytes(data.Path() / "notes", kept));
    EXPECT_EQ(kept, "the user's own");
    EXPECT_EQ(DataFiles(), std::vector<std::string>{"notes"});
}

TEST_F(GantryClientTest, BodyFarBeyondTheAnnouncedSizeStops) {
    std::string archive = ZipBytes(scratch, "fits", "fits data");
    const std::string huge(8 << 20, 'z');
    const uint64_t announced = 10000;
    const uint64_t limit = CGantryClient::BodyLimit(announced);
    server.Chunked("/endless.zip", huge, 4096); // no size told
    server.Serve("/sized.zip", huge);           // its size told up front
    server.Serve("/fits.zip", archive + std::string(1000, '\0'));
    ASSERT_TRUE(server.Start());
    Offer("Endless", "/endless.zip", announced);
    Offer("Sized", "/sized.zip", announced);
    // A little longer than announced (a description out of date) is still taken.
    Handle<CPackage> fits = Offer("Fits", "/fits.zip", archive.size());

    std::vector<String> installed;
    CGantryClient client(db, data.Path().string(), onDone);
    client.SetInstallFunction([&](const String&, std::atomic<uint64_t>&, std::atomic<uint64_t>&,
                                  const CPackage& offered, String&) {
        installed.push_back(offered.name);
        return true;
    });
    ASSERT_TRUE(RunEngine(client));

    EXPECT_EQ(installed, std::vector<String>{"Fits"});
    EXPECT_EQ(fits->needsDownload, 0);
    std::vector<DownloadOutcome> outcomes = client.Outcomes();
    ASSERT_EQ(outcomes.size(), 3u);
    for (int i : {0, 1}) {
        EXPECT_FALSE(outcomes[i].arrived) << outcomes[i].name;
        EXPECT_NE(outcomes[i].error.find("bytes for an archive of 10000 bytes"), String::npos)
            << outcomes[i].error;
    }
    EXPECT_NE(outcomes[0].error.find("sent more than " + std::to_string(limit)), String::npos);
    EXPECT_NE(outcomes[1].error.find("announces a body of " + std::to_string(huge.size())),
              String::npos);
    EXPECT_TRUE(DataFiles().empty());
    EXPECT_GE(limit, announced + (1 << 20));
    EXPECT_LT(limit, huge.size());
}

TEST_F(GantryClientTest, WithoutLibcurlEveryRecordFailsWithTheReason) {
    ASSERT_TRUE(server.Start());
    Handle<CPackage> record = Offer("Island", "/island.zip", 100);
    platform::HttpOptions http;
    http.library = "libquillory-absent-curl.so.4";
    CGantryClient client(db, data.Path().string(), onDone, http);
    ASSERT_TRUE(RunEngine(client));
    EXPECT_FALSE(client.SessionValid());
    EXPECT_NE(client.SessionError().find("cannot load"), String::npos) << client.SessionError();
    EXPECT_EQ(record->needsDownload, 1);
    std::vector<DownloadOutcome> outcomes = client.Outcomes();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].error, client.SessionError());
    EXPECT_EQ(server.RequestCount("/island.zip"), 0);
}

TEST_F(GantryClientTest, APartialFileOfTheSameUrlIsContinued) {
    std::string archive = ZipBytes(scratch, "island", std::string(90000, 'i'));
    server.Ranged("/packs/island.zip", archive, "\"v1\"");
    ASSERT_TRUE(server.Start());
    const std::string url = server.Url("/packs/island.zip");
    const size_t kept = archive.size() / 3;
    auto leave = [&](const std::string& file, const std::string& bytes, const std::string& of) {
        ASSERT_TRUE(test::WriteFileBytes(data.Path() / file, bytes));
        ASSERT_TRUE(test::WriteFileBytes(data.Path() / (file + ".resume"),
                                         "quillory partial download\n" + of + "\n\"v1\"\n"));
    };
    struct Case {
        const char* file;
        bool otherHoldsTheFirstName;
    };
    for (const Case c : {Case{"island.tmp", false}, Case{"island~.tmp", true}}) {
        SCOPED_TRACE(c.file);
        for (const auto& entry : std::filesystem::directory_iterator(data.Path()))
            std::filesystem::remove(entry.path());
        if (c.otherHoldsTheFirstName)
            leave("island.tmp", "another package's bytes", server.Url("/other/island.zip"));
        leave(c.file, archive.substr(0, kept), url);
        db.ClearOfferedList();
        Handle<CPackage> record = Offer("Island", "/packs/island.zip", archive.size());
        doneCalls = 0;

        String installedFrom;
        CGantryClient client(db, data.Path().string(), onDone);
        client.SetInstallFunction([&](const String& path, std::atomic<uint64_t>&,
                                      std::atomic<uint64_t>&, const CPackage&, String&) {
            installedFrom = path;
            std::string bytes;
            return test::ReadFileBytes(path, bytes) && bytes == archive;
        });
        ASSERT_TRUE(RunEngine(client));
        std::vector<DownloadOutcome> outcomes = client.Outcomes();
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_TRUE(outcomes[0].installed) << outcomes[0].error;
        EXPECT_EQ(std::filesystem::path(installedFrom).filename(), c.file);
        EXPECT_EQ(server.HeaderSeen("/packs/island.zip", "Range"),
                  "bytes=" + std::to_string(kept) + "-");
        EXPECT_EQ(server.HeaderSeen("/packs/island.zip", "If-Range"), "\"v1\"");
        EXPECT_EQ(client.Progress().totalDone, archive.size());
        EXPECT_EQ(DataFiles().size(), c.otherHoldsTheFirstName ? 2u : 0u);
    }
}

// A link or a pipe planted under the temporary name, even with resume notes that name the very
// URL, is never followed: nothing outside the data folder is appended to or created, nothing
// waits for a reader, and the record fails with the reason.
TEST_F(GantryClientTest, APlantedLinkOrPipeUnderTheTemporaryNameIsRefused) {
    std::string archive = ZipBytes(scratch, "island", std::string(90000, 'i'));
    server.Ranged("/packs/island.zip", archive, "\"v1\"");
    ASSERT_TRUE(server.Start());
    const std::string url = server.Url("/packs/island.zip");
    ScratchFolder outside;
    const std::filesystem::path victim = outside.Path() / "victim.bin";
    const std::filesystem::path absent = outside.Path() / "absent.bin";
    const std::filesystem::path temporary = data.Path() / "island.tmp";
    struct Case {
        const char* what;
        const char* reason;
        std::function<void()> plant;
    };
    const Case cases[] = {
        {"link to a partial file elsewhere", "it is a symbolic link",
         [&] { std::filesystem::create_symlink(victim, temporary); }},
        {"link to nothing yet", "it is a symbolic link",
         [&] { std::filesystem::create_symlink(absent, temporary); }},
        {"pipe", "it is not a regular file",
         [&] { ASSERT_EQ(::mkfifo(temporary.c_str(), 0600), 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string kept = archive.substr(0, archive.size() / 3);
        ASSERT_TRUE(test::WriteFileBytes(victim, kept));
        for (const auto& entry : std::filesystem::directory_iterator(data.Path()))
            std::filesystem::remove(entry.path());
        c.plant();
        ASSERT_TRUE(test::WriteFileBytes(data.Path() / "island.tmp.resume",
                                         "quillory partial download\n" + url + "\n\"v1\"\n"));
        db.ClearOfferedList();
        Handle<CPackage> record = Offer("Island", "/packs/island.zip", archive.size());
        doneCalls = 0;
        bool installed = false;
        CGantryClient client(db, data.Path().string(), onDone);
        client.SetInstallFunction([&](const String&, std::atomic<uint64_t>&, std::atomic<uint64_t>&,
                                      const CPackage&, String&) { return installed = true; });
        ASSERT_TRUE(RunEngine(client));
        const std::vector<DownloadOutcome> outcomes = client.Outcomes();
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_FALSE(outcomes[0].arrived);
        EXPECT_FALSE(installed);
        EXPECT_NE(outcomes[0].error.find("cannot create the temporary file"), std::string::npos)
            << outcomes[0].error;
        EXPECT_NE(outcomes[0].error.find(c.reason), std::string::npos) << outcomes[0].error;
        EXPECT_EQ(record->needsDownload, 1);
        std::string bytes;
        ASSERT_TRUE(test::ReadFileBytes(victim, bytes));
        EXPECT_EQ(bytes, kept) << "the file the link names is left as it was";
        EXPECT_FALSE(std::filesystem::exists(absent));
    }
}

TEST(GantryClientTextTest, TemporaryNamesStayInTheDataFolder) {
    struct Case {
        const char* url;
        const char* name;
    };
    const Case cases[] = {
        {"http://host/packs/islands.zip", "islands.tmp"},
        {"http://host/packs/islands", "islands"},
        {"http://host/a.b/c.d.zip", "c.d.tmp"},
        {"ftp://host\\dir\\x.zip", "x.tmp"},
        {"http://host/get?file=a.zip", "get_file=a.tmp"},
        {"http://host/packs/", "download.tmp"},
        {"http://host/..", "..tmp"},
        {"http://host/.", ".tmp"},
        {"noslash.zip", "noslash.tmp"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CGantryClient::TemporaryName(c.url), c.name) << c.url;
}

TEST(GantryClientTextTest, RateText) {
    EXPECT_EQ(CGantryClient::RateText(0), "0.00 kb/sec");
    EXPECT_EQ(CGantryClient::RateText(5), "0.05 kb/sec");
    EXPECT_EQ(CGantryClient::RateText(1234), "12.34 kb/sec");
    EXPECT_EQ(CGantryClient::RateText(123456), "1234.56 kb/sec");
    EXPECT_EQ(DownloadProgress::BarUnits(uint64_t(5) << 32), uint32_t(5) << 22);
}

TEST(GantryClientOwnership, TheDownloadWorkerOwnsTheDatabaseWhileItRuns) {
    TempGameFolder game;
    ScratchFolder data;
    CFileDatabase db{data.Path().string()};
    db.SetGamePath(game.Path());
    ASSERT_TRUE(db.Scan());
    FakeHttpServer server;
    server.Serve("/a.zip", "not read by the fake install");
    ASSERT_TRUE(server.Start());
    auto record = std::make_shared<CPackage>();
    record->name = "A";
    record->archivePath = server.Url("/a.zip");
    record->needsDownload = 1;
    db.AddOfferedPackage(record);

    std::atomic<bool> busyWhileInstalling{false}, installerMayTouch{false};
    CGantryClient client(db, data.Path().string());
    client.SetInstallFunction([&](const String&, std::atomic<uint64_t>&, std::atomic<uint64_t>&,
                                  const CPackage&, String&) {
        busyWhileInstalling = db.Busy();
        installerMayTouch = db.Owner().CallerMayTouch();
        return true;
    });
    ASSERT_TRUE(client.Begin());
    ASSERT_TRUE(WaitFor([&] { return client.Finished(); }));
    client.Close();
    EXPECT_TRUE(busyWhileInstalling);
    EXPECT_TRUE(installerMayTouch);
    EXPECT_FALSE(db.Busy());
    EXPECT_TRUE(db.Owner().CallerMayTouch());
}

} // namespace
} // namespace quillory
