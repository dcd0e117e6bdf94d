// The self-upgrade's worker against a fake HTTP server on loopback, with archives built in the
// test: the progress texts, what lands in the program folder and what never does.
#include "watch/core/UpgradeWorker.h"

#include "FakeHttpServer.h"
#include "ScratchFolder.h"
#include "ZipBuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>

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

// Every file and folder under `root`, relative, with '/' separators.
std::set<std::string> Listing(const fs::path& root) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        names.insert(fs::relative(entry.path(), root).generic_string() +
                     (entry.is_directory() ? "/" : ""));
    return names;
}

std::string Contents(const fs::path& path) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(path, bytes)) << path;
    return bytes;
}

class UpgradeWorkerTest : public ::testing::Test {
protected:
    ScratchFolder scratch;
    fs::path program = scratch.Path() / "program";
    fs::path work = scratch.Path() / "work";
    FakeHttpServer http;
    std::vector<std::string> texts;

    void SetUp() override {
        fs::create_directories(program);
        fs::create_directories(work);
    }

    std::string DownloadPath() const { return (work / "quillory.ozp").string(); }

    // Serves the archive that `zip` builds at /quillory.ozp.
    void ServeArchive(const ZipBuilder& zip) {
        const fs::path built = scratch.Path() / "built.zip";
        ASSERT_TRUE(zip.Write(built.string()));
        http.Serve("/quillory.ozp", Contents(built));
    }

    int RunWorker(const std::string& url) {
        CUpgradeWorker worker(url, {program.string() + "/", DownloadPath()},
                              [this](const String& text) { texts.push_back(text); });
        const int result = worker.Run();
        EXPECT_FALSE(fs::exists(DownloadPath())) << "the archive is deleted in every case";
        return result;
    }

    int RunArchive(const ZipBuilder& zip) {
        ServeArchive(zip);
        if (!http.Start())
            return 99;
        return RunWorker(http.Url("/quillory.ozp"));
    }

    std::string LastText() const { return texts.empty() ? "" : texts.back(); }

    // The last download progress text before `until`.
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
    ASSERT_TRUE(WriteFileBytes(program / "readme.txt", "old readme"));
    ASSERT_TRUE(WriteFileBytes(program / "keep.txt", "untouched"));
    ZipDate date{2005, 6, 7, 8, 9, 10};
    ZipBuilder zip;
    zip.Add("QUILLORY.EXE", Bytes(9000), date)
        .Add("quillorysetup.exe", Bytes(300), date, false)
        .Add("readme.txt", "new readme", date)
        .AddFolder("docs")
        .Add("Data/maps.txt", "in a folder whose case differs", date);
    ASSERT_EQ(RunArchive(zip), CUpgradeWorker::RESULT_OK) << LastText();

    EXPECT_EQ(texts.front(), "Connecting");
    EXPECT_EQ(texts[texts.size() - 2], "Extracting files");
    EXPECT_EQ(LastText(), "Restart");
    EXPECT_EQ(Listing(program),
              (std::set<std::string>{"data/", "data/maps.txt", "keep.txt", "quillory.x",
                                     "quillorysetup.exe", "readme.txt"}));
    EXPECT_EQ(Contents(program / "quillory.x"), Bytes(9000));
    EXPECT_EQ(Contents(program / "readme.txt"), "new readme");
    EXPECT_EQ(Contents(program / "keep.txt"), "untouched");

    // The stored time, read as UTC: 2005-06-07 08:09:10 is 1118131750 seconds after 1970.
    const auto written = fs::last_write_time(program / "readme.txt");
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::file_clock::to_sys(written).time_since_epoch())
                             .count();
    EXPECT_EQ(seconds, 1118131750);
}

TEST_F(UpgradeWorkerTest, FailuresLeaveTheProgramFolderAsItWas) {
    struct Case {
        const char* what;
        ZipBuilder zip;
        const char* text;
    };
    std::vector<Case> cases;
    cases.push_back({"a file in a missing subfolder",
                     ZipBuilder().Add("readme.txt", "new").Add("missing/b.txt", "b"),
                     "Error: creating file"});
    cases.push_back({"a wrong CRC-32",
                     ZipBuilder().Add("readme.txt", "new").AddWithCrc("c.txt", "data", 0x1234),
                     "Error: checksum failed"});
    for (const char* bad : {"../outside.txt", "sub/../../outside.txt", "..", "/tmp/outside.txt",
                            "C:/outside.txt", "c:outside.txt", "\\outside.txt"})
        cases.push_back({bad, ZipBuilder().Add("readme.txt", "new").Add(bad, "escape"),
                         "Error: creating file"});

    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(program);
        fs::create_directories(program / "sub");
        ASSERT_TRUE(WriteFileBytes(program / "readme.txt", "old"));
        const auto before = Listing(scratch.Path());
        texts.clear();
        {
            FakeHttpServer server;
            const fs::path built = scratch.Path() / "built.zip";
            ASSERT_TRUE(c.zip.Write(built.string()));
            server.Serve("/quillory.ozp", Contents(built));
            fs::remove(built);
            ASSERT_TRUE(server.Start());
            CUpgradeWorker worker(server.Url("/quillory.ozp"),
                                  {program.string() + "/", DownloadPath()},
                                  [this](const String& text) { texts.push_back(text); });
            EXPECT_EQ(worker.Run(), CUpgradeWorker::RESULT_FAILED);
        }
        EXPECT_EQ(LastText(), c.text);
        EXPECT_EQ(Listing(scratch.Path()), before);
        EXPECT_EQ(Contents(program / "readme.txt"), "old");
        EXPECT_FALSE(fs::exists(scratch.Path().parent_path() / "outside.txt"));
    }
}

TEST_F(UpgradeWorkerTest, ProgressInKilobytesWhenTheSizeIsUnknown) {
    http.Chunked("/quillory.ozp", Bytes(5000), 1000);
    ASSERT_TRUE(http.Start());
    EXPECT_EQ(RunWorker(http.Url("/quillory.ozp")), CUpgradeWorker::RESULT_FAILED);
    EXPECT_EQ(LastProgress(), "4 kb downloaded");
    EXPECT_EQ(LastText(), "Error: opening archive");
}

TEST_F(UpgradeWorkerTest, ProgressInPercentWhenTheSizeIsKnown) {
    http.Serve("/quillory.ozp", Bytes(10000));
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
}

TEST_F(UpgradeWorkerTest, DownloadFailures) {
    http.CutShort("/cut.ozp", Bytes(3000), 5000);
    http.Serve("/zero.ozp", "");
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        texts.clear();
        EXPECT_EQ(RunWorker(c.url), CUpgradeWorker::RESULT_FAILED);
        EXPECT_EQ(LastText(), c.text);
        EXPECT_TRUE(fs::is_empty(program));
    }
}

TEST_F(UpgradeWorkerTest, ArchiveThatCannotBeWritten) {
    http.Serve("/quillory.ozp", Bytes(100));
    ASSERT_TRUE(http.Start());
    CUpgradeWorker worker(http.Url("/quillory.ozp"),
                          {program.string() + "/", (work / "no such folder" / "q.ozp").string()},
                          [this](const String& text) { texts.push_back(text); });
    EXPECT_EQ(worker.Run(), CUpgradeWorker::RESULT_FAILED);
    EXPECT_EQ(LastText(), "Error: could not write");
}

TEST_F(UpgradeWorkerTest, OnItsThreadTheResultComesAfterTheArchiveIsGone) {
    ServeArchive(ZipBuilder().Add("quillorysetup.exe", "setup"));
    ASSERT_TRUE(http.Start());
    std::atomic<int> finished{1};
    std::atomic<bool> archiveLeft{true};
    CUpgradeWorker worker(http.Url("/quillory.ozp"), {program.string() + "/", DownloadPath()},
                          nullptr);
    ASSERT_TRUE(worker.Start([&](int result) {
        archiveLeft = fs::exists(DownloadPath());
        finished = result;
    }));
    EXPECT_FALSE(worker.Start(nullptr)) << "one run at a time";
    EXPECT_EQ(worker.Wait(), CUpgradeWorker::RESULT_OK);
    EXPECT_EQ(finished, CUpgradeWorker::RESULT_OK);
    EXPECT_FALSE(archiveLeft);
    EXPECT_EQ(Contents(program / "quillorysetup.exe"), "setup");
}

TEST(UpgradeSetup, CommandLineQuotesTheProgramAndTheCurrentDirectory) {
    EXPECT_EQ(CUpgradeWorker::SetupCommandLine("C:\\Program Files\\Quillory\\", "D:\\work dir"),
              "\"C:\\Program Files\\Quillory\\quillorysetup.exe\" \"D:\\work dir\"");
}
