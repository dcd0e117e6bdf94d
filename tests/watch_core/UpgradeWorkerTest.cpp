// The self-upgrade's worker against a fake HTTP server on loopback, with archives built and
// signed (by the real minisign) in the test: the progress texts, what lands in the program
// folder and what never does.
#include "watch/core/UpgradeWorker.h"

#include "FakeHttpServer.h"
#include "MinisignKeys.h"
#include "ScopedUnprivileged.h"
#include "ScratchFolder.h"
#include "ZipBuilder.h"
#include "watch/core/InstallKind.h"
#include "watch/core/UpgradeDownload.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

using namespace quillory;
using namespace quillory::test;
namespace fs = std::filesystem;

namespace {

std::string Bytes(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i)
        bytes[i] = char((i * 131) & 0xFF);
    return bytes;
}

// Every file and folder under `root`, relative, with '/' separators, and each file's bytes.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).generic_string();
        std::string bytes;
        if (entry.is_directory())
            files[name + "/"] = "";
        else if (ReadFileBytes(entry.path(), bytes))
            files[name] = bytes;
    }
    return files;
}

std::set<std::string> Listing(const fs::path& root) {
    std::set<std::string> names;
    for (const auto& [name, bytes] : Snapshot(root))
        names.insert(name);
    return names;
}

std::string Contents(const fs::path& path) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(path, bytes)) << path;
    return bytes;
}

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

class UpgradeWorkerTest : public ::testing::Test {
protected:
    ScratchFolder scratch;
    fs::path program = scratch.Path() / "program";
    fs::path work = scratch.Path() / "work";
    MinisignKeys keys{scratch.Path() / "keys"};
    FakeHttpServer http;
    std::vector<std::string> texts;
    CUpgradeWorker::Options options;

    void SetUp() override {
        ASSERT_TRUE(keys.Ok()) << "minisign is needed (scripts/setup.sh installs it)";
        fs::create_directories(program);
        fs::create_directories(work);
        options.trustedKey = keys.PublicKeyText();
        options.firstRetryPauseMs = 50;
    }

    std::string DownloadPath() const { return (work / "quillory.ozp").string(); }

    std::string Built(const ZipBuilder& zip) {
        const fs::path built = work / "built.zip";
        EXPECT_TRUE(zip.Write(built.string()));
        std::string bytes = Contents(built);
        fs::remove(built);
        return bytes;
    }

    std::string SignatureOf(const std::string& bytes, bool legacy = false) {
        const fs::path file = work / "signed.bin";
        EXPECT_TRUE(WriteFileBytes(file, bytes));
        const auto signature = keys.Sign(file, legacy);
        fs::remove(file);
        EXPECT_TRUE(signature.has_value());
        return signature.value_or("");
    }

    // Serves `bytes` at `path` with a good signature beside it.
    void ServeSigned(FakeHttpServer& server, const std::string& path, const std::string& bytes) {
        server.Serve(path + ".minisig", SignatureOf(bytes));
        server.Serve(path, bytes);
    }

    int RunWorker(const std::string& url) {
        CUpgradeWorker worker(
            url, {program.string() + "/", DownloadPath()},
            [this](const String& text) { texts.push_back(text); }, options);
        const int result = worker.Run();
        EXPECT_FALSE(fs::exists(DownloadPath())) << "the archive is deleted in every case";
        return result;
    }

    int RunArchive(const ZipBuilder& zip) {
        ServeSigned(http, "/quillory.ozp", Built(zip));
        if (!http.Start())
            return 99;
        return RunWorker(http.Url("/quillory.ozp"));
    }

    std::string LastText() const { return texts.empty() ? "" : texts.back(); }

    std::string LastProgress() const {
        std::string last;
        for (const auto& text : texts)
            if (text.find("downloaded") != std::string::npos)
                last = text;
        return last;
    }
};

} // namespace

TEST_F(UpgradeWorkerTest, ExtractsIntoTheProgramFolderAndAsksForARestart) {
    fs::create_directories(program / "data");
    ASSERT_TRUE(WriteFileBytes(program / "quillory", "old program"));
    fs::permissions(program / "quillory", fs::perms(0750));
    ASSERT_TRUE(WriteFileBytes(program / "readme.txt", "old readme"));
    fs::permissions(program / "readme.txt", fs::perms(0600));
    ASSERT_TRUE(WriteFileBytes(program / "keep.txt", "untouched"));
    ZipDate date{2005, 6, 7, 8, 9, 10};
    ZipBuilder zip;
    zip.AddUnix("quillory", Bytes(9000), S_IFREG | 0755)
        .AddUnix("quillory-cli", Bytes(700), S_IFREG | 0755)
        .Add("readme.txt", "new readme", date)
        .AddFolder("docs")
        .Add("Data/maps.txt", "in a folder whose case differs", date);
    ASSERT_EQ(RunArchive(zip), CUpgradeWorker::RESULT_OK) << LastText();

    EXPECT_EQ(texts.front(), "Connecting");
    EXPECT_EQ(texts[texts.size() - 2], "Extracting files");
    EXPECT_EQ(LastText(), "Restart");
    EXPECT_EQ(Listing(scratch.Path()),
              (std::set<std::string>{"program/", "program/data/", "program/data/maps.txt",
                                     "program/keep.txt", "program/quillory", "program/quillory-cli",
                                     "program/readme.txt", "work/", "keys/", "keys/test.key",
                                     "keys/test.pub", "keys/last.minisig"}))
        << "no staging folder, no kept-aside file and no \"quillory.x\" is left";
    EXPECT_EQ(Contents(program / "quillory"), Bytes(9000));
    EXPECT_EQ(Contents(program / "readme.txt"), "new readme");
    EXPECT_EQ(Contents(program / "keep.txt"), "untouched");
    // A replaced file keeps its permissions; a new one takes the archive's.
    EXPECT_EQ(ModeOf(program / "quillory"), 0750u);
    EXPECT_EQ(ModeOf(program / "readme.txt"), 0600u);
    EXPECT_EQ(ModeOf(program / "quillory-cli"), 0755u);

    // The stored time, read as UTC: 2005-06-07 08:09:10 is 1118131750 seconds after 1970.
    const auto written = fs::last_write_time(program / "readme.txt");
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::file_clock::to_sys(written).time_since_epoch())
                             .count();
    EXPECT_EQ(seconds, 1118131750);
}

TEST_F(UpgradeWorkerTest, LegacySignaturesOverTheWholeFileAreTakenToo) {
    const std::string archive = Built(ZipBuilder().Add("readme.txt", "new"));
    http.Serve("/quillory.ozp.minisig", SignatureOf(archive, true));
    http.Serve("/quillory.ozp", archive);
    ASSERT_TRUE(http.Start());
    EXPECT_EQ(RunWorker(http.Url("/quillory.ozp")), CUpgradeWorker::RESULT_OK) << LastText();
    EXPECT_EQ(Contents(program / "readme.txt"), "new");
}

TEST_F(UpgradeWorkerTest, NamesLikeAnotherEntrysStagedNameDoNotMeet) {
    ZipBuilder zip;
    zip.Add("a.txt", "first").Add("a.txt.upgrade~", "second").Add("0", "third");
    ASSERT_EQ(RunArchive(zip), CUpgradeWorker::RESULT_OK) << LastText();
    EXPECT_EQ(Contents(program / "a.txt"), "first");
    EXPECT_EQ(Contents(program / "a.txt.upgrade~"), "second");
    EXPECT_EQ(Contents(program / "0"), "third");
}

TEST_F(UpgradeWorkerTest, FailuresLeaveTheProgramFolderAsItWas) {
    MinisignKeys otherKeys(scratch.Path() / "other keys");
    ASSERT_TRUE(otherKeys.Ok());
    const std::string good = Built(ZipBuilder().Add("readme.txt", "new").Add("b.txt", "b"));
    std::string tampered = good;
    tampered[tampered.find("b.txt") + 1] ^= 1; // a name in the central directory
    const fs::path goodFile = work / "good.zip";
    ASSERT_TRUE(WriteFileBytes(goodFile, good));
    const std::string otherSignature = otherKeys.Sign(goodFile).value_or("");
    std::string badComment = SignatureOf(good);
    badComment.replace(badComment.find("release"), 7, "RELEASE");
    fs::remove(goodFile);

    struct Case {
        std::string what;
        std::string archive;
        std::optional<std::string> signature; // nothing: none is served
        const char* text;
        UpgradeLimits limits = {};
    };
    std::vector<Case> cases;
    const auto signedCase = [&](std::string what, const ZipBuilder& zip, const char* text,
                                UpgradeLimits limits = {}) {
        std::string archive = Built(zip);
        std::string signature = SignatureOf(archive);
        cases.push_back({std::move(what), std::move(archive), signature, text, limits});
    };
    cases.push_back({"unsigned", good, std::nullopt, "Error: signature"});
    cases.push_back({"signed with another key", good, otherSignature, "Error: signature"});
    cases.push_back({"tampered", tampered, SignatureOf(good), "Error: signature"});
    cases.push_back({"trusted comment changed", good, badComment, "Error: signature"});
    cases.push_back({"not a signature", good, std::string("hello\n"), "Error: signature"});
    signedCase("a file in a missing subfolder",
               ZipBuilder().Add("readme.txt", "new").Add("missing/b.txt", "b"),
               "Error: creating file");
    signedCase("a wrong CRC-32",
               ZipBuilder().Add("readme.txt", "new").AddWithCrc("c.txt", "data", 0x1234),
               "Error: checksum failed");
    signedCase("a link", ZipBuilder().Add("readme.txt", "new").AddUnix("link", "/etc", 0120777),
               "Error: creating file");
    signedCase("a device", ZipBuilder().AddUnix("dev", "", 0020644), "Error: creating file");
    signedCase("over-large",
               ZipBuilder().Add("readme.txt", "new").Add("big.bin", std::string(5000, 'z')),
               "Error: reading archive", UpgradeLimits{10000, 4096});
    signedCase("too many entries", ZipBuilder().Add("a", "1").Add("b", "2").Add("c", "3"),
               "Error: reading archive", UpgradeLimits{2, uint64_t(1) << 20});
    for (const char* bad : {"../outside.txt", "sub/../../outside.txt", "..", "/tmp/outside.txt",
                            "C:/outside.txt", "c:outside.txt", "\\outside.txt"})
        signedCase(bad, ZipBuilder().Add("readme.txt", "new").Add(bad, "escape"),
                   "Error: creating file");

    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(program);
        fs::create_directories(program / "sub");
        ASSERT_TRUE(WriteFileBytes(program / "readme.txt", "old"));
        const auto before = Snapshot(scratch.Path());
        texts.clear();
        {
            FakeHttpServer server;
            server.Serve("/quillory.ozp", c.archive);
            if (c.signature)
                server.Serve("/quillory.ozp.minisig", *c.signature);
            ASSERT_TRUE(server.Start());
            CUpgradeWorker::Options caseOptions = options;
            caseOptions.limits = c.limits;
            CUpgradeWorker worker(
                server.Url("/quillory.ozp"), {program.string() + "/", DownloadPath()},
                [this](const String& text) { texts.push_back(text); }, caseOptions);
            EXPECT_EQ(worker.Run(), CUpgradeWorker::RESULT_FAILED);
        }
        EXPECT_EQ(LastText(), c.text);
        EXPECT_EQ(Snapshot(scratch.Path()), before) << "byte-identical, no staging left";
        EXPECT_FALSE(fs::exists(scratch.Path().parent_path() / "outside.txt"));
    }
}

TEST_F(UpgradeWorkerTest, ARenameThatFailsHalfWayPutsEverythingBack) {
    ASSERT_TRUE(WriteFileBytes(program / "a.txt", "old a"));
    ASSERT_TRUE(WriteFileBytes(program / "c.txt", "old c"));
    ServeSigned(
        http, "/quillory.ozp",
        Built(ZipBuilder().Add("a.txt", "new a").Add("b.txt", "new b").Add("c.txt", "new c")));
    ASSERT_TRUE(http.Start());
    const auto before = Snapshot(scratch.Path());
    int moves = 0;
    options.rename = [&](const String& from, const String& to) {
        // The third move into the program folder fails: a.txt and b.txt are in by then.
        if (to.starts_with(program.string()) && ++moves == 3)
            return false;
        return std::rename(from.c_str(), to.c_str()) == 0;
    };
    EXPECT_EQ(RunWorker(http.Url("/quillory.ozp")), CUpgradeWorker::RESULT_FAILED);
    EXPECT_EQ(LastText(), "Error: creating file");
    EXPECT_EQ(moves, 3);
    EXPECT_EQ(Snapshot(scratch.Path()), before);
}

TEST_F(UpgradeWorkerTest, ProgressInKilobytesWhenTheSizeIsUnknown) {
    http.Chunked("/quillory.ozp", Bytes(5000), 1000);
    http.Serve("/quillory.ozp.minisig", SignatureOf(Bytes(5000)));
    ASSERT_TRUE(http.Start());
    EXPECT_EQ(RunWorker(http.Url("/quillory.ozp")), CUpgradeWorker::RESULT_FAILED);
    EXPECT_EQ(LastProgress(), "4 kb downloaded");
    EXPECT_EQ(LastText(), "Error: opening archive");
}

TEST_F(UpgradeWorkerTest, ProgressInPercentWhenTheSizeIsKnown) {
    ServeSigned(http, "/quillory.ozp", Bytes(10000));
    ASSERT_TRUE(http.Start());
    EXPECT_EQ(RunWorker(http.Url("/quillory.ozp")), CUpgradeWorker::RESULT_FAILED);
    int previous = -1;
    for (const auto& text : texts) {
        if (text.find("% downloaded") == std::string::npos)
            continue;
        const int percent = std::stoi(text);
        EXPECT_GE(percent, previous) << text;
        previous = percent;
    }
    EXPECT_EQ(LastProgress(), "100% downloaded");
    EXPECT_EQ(LastText(), "Error: opening archive");
}

TEST_F(UpgradeWorkerTest, DownloadFailures) {
    http.CutShort("/cut.ozp", Bytes(3000), 5000);
    ServeSigned(http, "/zero.ozp", "");
    http.Endless("/endless.ozp");
    http.Stall("/huge.ozp", "PK", size_t(65) << 20);
    ASSERT_TRUE(http.Start());
    struct Case {
        std::string url;
        const char* text;
    } cases[] = {
        {http.Url("/cut.ozp"), "Error: Downloading file"},
        {http.Url("/absent.ozp"), "Error: connect failed"},
        {"http://127.0.0.1:1/quillory.ozp", "Error: connect failed"},
        {"file:///etc/passwd.ozp", "Error: connect failed"},
        {http.Url("/zero.ozp"), "Error: opening archive"},
        // No size and no end: stopped at the bound, long before the disk fills.
        {http.Url("/endless.ozp"), "Error: Downloading file"},
        // Announced beyond the bound: not taken at all.
        {http.Url("/huge.ozp"), "Error: Downloading file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        texts.clear();
        EXPECT_EQ(RunWorker(c.url), CUpgradeWorker::RESULT_FAILED);
        EXPECT_EQ(LastText(), c.text);
        EXPECT_TRUE(fs::is_empty(program));
    }
    EXPECT_EQ(http.RequestCount("/cut.ozp"), 1 + CUpgradeDownload::kRetries);
}

TEST_F(UpgradeWorkerTest, ABrokenDownloadContinuesFromTheBytesInHand) {
    const std::string archive = Built(ZipBuilder().Add("readme.txt", Bytes(20000), {}, false));
    http.Serve("/quillory.ozp.minisig", SignatureOf(archive));
    http.RangedCutOnce("/quillory.ozp", archive, "\"v1\"", archive.size() / 2);
    ASSERT_TRUE(http.Start());
    EXPECT_EQ(RunWorker(http.Url("/quillory.ozp")), CUpgradeWorker::RESULT_OK) << LastText();
    EXPECT_EQ(http.HeaderSeen("/quillory.ozp", "Range"),
              "bytes=" + std::to_string(archive.size() / 2) + "-");
    EXPECT_EQ(Contents(program / "readme.txt"), Bytes(20000));
}

TEST_F(UpgradeWorkerTest, CancelStopsAStalledDownloadAtOnce) {
    http.Stall("/quillory.ozp", "PK", 100000);
    ASSERT_TRUE(http.Start());
    CUpgradeWorker worker(
        http.Url("/quillory.ozp"), {program.string() + "/", DownloadPath()},
        [this](const String& text) { texts.push_back(text); }, options);
    ASSERT_TRUE(worker.Start(nullptr));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    worker.Cancel();
    EXPECT_EQ(worker.Wait(), CUpgradeWorker::RESULT_FAILED);
    EXPECT_EQ(LastText(), "Upgrade cancelled");
    EXPECT_TRUE(fs::is_empty(program));
    EXPECT_FALSE(fs::exists(DownloadPath()));
}

TEST_F(UpgradeWorkerTest, ArchiveThatCannotBeWritten) {
    ServeSigned(http, "/quillory.ozp", Bytes(100));
    ASSERT_TRUE(http.Start());
    CUpgradeWorker worker(
        http.Url("/quillory.ozp"),
        {program.string() + "/", (work / "no such folder" / "q.ozp").string()},
        [this](const String& text) { texts.push_back(text); }, options);
    EXPECT_EQ(worker.Run(), CUpgradeWorker::RESULT_FAILED);
    EXPECT_EQ(LastText(), "Error: could not write");
}

TEST_F(UpgradeWorkerTest, TooManyEntriesAreRefusedBeforeAnythingIsWritten) {
    ZipBuilder zip;
    for (int i = 0; i < 10001; ++i)
        zip.Add("f" + std::to_string(i), "", {}, false);
    EXPECT_EQ(RunArchive(zip), CUpgradeWorker::RESULT_FAILED);
    EXPECT_EQ(LastText(), "Error: reading archive");
    EXPECT_TRUE(fs::is_empty(program));
}

TEST_F(UpgradeWorkerTest, OnItsThreadTheResultComesAfterTheArchiveIsGone) {
    ServeSigned(http, "/quillory.ozp", Built(ZipBuilder().Add("quillory", "new program")));
    ASSERT_TRUE(http.Start());
    std::atomic<int> finished{1};
    std::atomic<bool> archiveLeft{true};
    CUpgradeWorker worker(http.Url("/quillory.ozp"), {program.string() + "/", DownloadPath()},
                          nullptr, options);
    ASSERT_TRUE(worker.Start([&](int result) {
        archiveLeft = fs::exists(DownloadPath());
        finished = result;
    }));
    EXPECT_FALSE(worker.Start(nullptr)) << "one run at a time";
    EXPECT_EQ(worker.Wait(), CUpgradeWorker::RESULT_OK);
    EXPECT_EQ(finished, CUpgradeWorker::RESULT_OK);
    EXPECT_FALSE(archiveLeft);
    EXPECT_EQ(Contents(program / "quillory"), "new program");
}

TEST(InstallKindTest, ThePackageManagersFilesAndReadOnlyFoldersAreNotUpgraded) {
    ScratchFolder scratch;
    const fs::path program = scratch.Path() / "quillory";
    ASSERT_TRUE(WriteFileBytes(program, "program"));
    EXPECT_EQ(DetectInstallKind(program.string()), InstallKind::UNPACKED);
    EXPECT_EQ(DetectInstallKind("/usr/bin/quillory"), InstallKind::PACKAGE_MANAGER);
    EXPECT_EQ(DetectInstallKind("/usr/local/bin/../../bin/quillory"), InstallKind::PACKAGE_MANAGER);

    fs::permissions(scratch.Path(), fs::perms(0555));
    {
        ScopedUnprivileged unprivileged;
        ASSERT_TRUE(unprivileged.Active());
        EXPECT_EQ(DetectInstallKind(program.string()), InstallKind::PACKAGE_MANAGER);
    }
    fs::permissions(scratch.Path(), fs::perms(0755));
    fs::permissions(program, fs::perms(0444));
    {
        ScopedUnprivileged unprivileged;
        EXPECT_EQ(DetectInstallKind(program.string()), InstallKind::PACKAGE_MANAGER);
    }
}
