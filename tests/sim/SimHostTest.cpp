// quillory-sim as a package host: the archives of its Gantry folder over HTTP, failing or slow
// on request.

#include "tests/sim/GantryWire.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SimRun.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <random>
#include <thread>

using namespace quillory::test;

namespace {

constexpr size_t kNoise = 60000;

std::string Noise(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = char(rng());
    return bytes;
}

// Three archives of stored noise, so that compression changes nothing.
void FillFolder(const ScratchFolder& folder) {
    for (const std::string name : {"alpha", "beta", "gamma"})
        ASSERT_TRUE(ZipBuilder()
                        .Add(name + ".pbo", Noise(kNoise, unsigned(name[0])), {}, false)
                        .Write(folder / (name + ".zip")));
    ASSERT_TRUE(WriteFileBytes(folder.Path() / "offer.ini", "name = Host\n"));
}

std::string FileBytes(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(path, bytes));
    return bytes;
}

} // namespace

TEST(SimHost, ServesTheArchivesAndNothingElse) {
    ScratchFolder folder;
    FillFolder(folder);
    CSimRun sim({"--gantry", folder.Path().string(), "--http-port", CSimRun::kHttpPort,
                 "--http-fail", "beta.zip", "--http-cut", "gamma.zip"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    EXPECT_NE(sim.ListeningLine().find(", HTTP port " + std::to_string(sim.HttpPort())),
              std::string::npos);
    httplib::Client http("127.0.0.1", sim.HttpPort());
    http.set_read_timeout(30, 0);

    auto alpha = http.Get("/alpha.zip");
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->status, 200);
    EXPECT_EQ(alpha->body, FileBytes(folder / "alpha.zip"));

    for (const char* path :
         {"/beta.zip", "/offer.ini", "/missing.zip", "/../alpha.zip", "/%2e%2e/alpha.zip", "/"}) {
        auto refused = http.Get(path);
        ASSERT_TRUE(refused) << path;
        EXPECT_EQ(refused->status, 404) << path;
    }

    // A body cut short: the connection closes after half the bytes the header promised.
    auto gamma = http.Get("/gamma.zip");
    EXPECT_TRUE(!gamma || gamma->body.size() < FileBytes(folder / "gamma.zip").size());
}

TEST(SimHost, DescriptionPointsAtTheHost) {
    ScratchFolder folder;
    FillFolder(folder);
    CSimRun sim({"--gantry", folder.Path().string(), "--http-port", CSimRun::kHttpPort});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    CUdpClient client;
    auto hello = client.Ask(sim.Port() + 20, GantryHello(""));
    ASSERT_TRUE(hello);
    HelloReply reply = ReadHelloReply(hello->bytes);
    ASSERT_TRUE(reply.accepted);
    client.Send(sim.Port() + 20, GantrySendAll());
    ChunkSet chunks;
    CollectChunks(client, chunks, reply.total, 2000ms);
    auto list = ReadOfferedBytes(chunks.Description(reply.total).value_or(Bytes{}));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->packages.size(), 3u);
    const std::string base = "http://127.0.0.1:" + std::to_string(sim.HttpPort()) + "/";
    EXPECT_EQ(list->packages[0].archivePath, base + "alpha.zip");
    EXPECT_EQ(list->packages[2].archivePath, base + "gamma.zip");
    httplib::Client http("127.0.0.1", sim.HttpPort());
    auto got = http.Get(list->packages[1].archivePath.substr(base.size() - 1));
    ASSERT_TRUE(got);
    EXPECT_EQ(got->body.size(), list->packages[1].archiveSize);
}

TEST(SimHost, ServesSlowlyWhenAsked) {
    ScratchFolder folder;
    FillFolder(folder);
    constexpr int kRate = 40000;
    CSimRun sim({"--gantry", folder.Path().string(), "--http-port", CSimRun::kHttpPort,
                 "--http-rate", std::to_string(kRate)});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    httplib::Client http("127.0.0.1", sim.HttpPort());
    http.set_read_timeout(60, 0);
    const auto start = std::chrono::steady_clock::now();
    auto alpha = http.Get("/alpha.zip");
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->body, FileBytes(folder / "alpha.zip"));
    // Only a lower bound: a loaded machine may be slower still, never faster.
    EXPECT_GE(took, std::chrono::milliseconds(1000 * kNoise / kRate * 9 / 10));
}

TEST(SimHost, StopsWithoutWaitingForASlowTransfer) {
    ScratchFolder folder;
    FillFolder(folder);
    // At this rate one archive would take a minute.
    CSimRun sim({"--gantry", folder.Path().string(), "--http-port", CSimRun::kHttpPort,
                 "--http-rate", "1000"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    std::atomic<bool> answered{false};
    std::thread slow([&] {
        httplib::Client http("127.0.0.1", sim.HttpPort());
        http.set_read_timeout(120, 0);
        auto reply = http.Get("/beta.zip");
        answered = reply && reply->body.size() >= kNoise;
    });
    std::this_thread::sleep_for(500ms);
    const auto stopAt = std::chrono::steady_clock::now();
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 30s);
    slow.join();
    EXPECT_FALSE(answered); // the transfer was broken off, not finished
}

TEST(SimHost, ServesTheUpgradesSignatureGoodOrBad) {
    ScratchFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder.Path() / "quillory.ozp", "archive"));
    const std::string signature = "untrusted comment: c\nRUQabcdefghijklmnopqrstuvwxyz0123456789"
                                  "\ntrusted comment: t\nZZZZ\n";
    ASSERT_TRUE(WriteFileBytes(folder.Path() / "quillory.ozp.sig", signature));
    for (const bool bad : {false, true}) {
        SCOPED_TRACE(bad ? "bad" : "good");
        std::vector<std::string> args = {"--browser",
                                         "--browser-port",
                                         CSimRun::kBrowserPort,
                                         "--http-port",
                                         CSimRun::kHttpPort,
                                         "--upgrade-archive",
                                         folder / "quillory.ozp",
                                         "--upgrade-signature",
                                         folder / "quillory.ozp.sig"};
        if (bad)
            args.push_back("--upgrade-bad-signature");
        CSimRun sim(args);
        ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
        httplib::Client http("127.0.0.1", sim.HttpPort());
        auto served = http.Get("/quillory.ozp.minisig");
        ASSERT_TRUE(served);
        EXPECT_EQ(served->status, 200);
        EXPECT_EQ(served->body == signature, !bad);
        EXPECT_EQ(served->body.size(), signature.size());
        auto archive = http.Get("/quillory.ozp");
        ASSERT_TRUE(archive);
        EXPECT_EQ(archive->body, "archive");
    }
}
