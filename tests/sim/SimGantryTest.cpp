// quillory-sim as a Gantry server: the description it builds from real archives, the password,
// dropped chunks and the tag, seen through a client written from the wire format.

#include "tests/sim/GantryWire.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/SimRun.h"
#include "tests/support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace quillory::test;

namespace {

constexpr std::chrono::milliseconds kQuiet = 3000ms;

struct Fetched {
    HelloReply hello;
    ChunkSet chunks;
};

// Hello with `password`, then send-all, collecting what comes.
Fetched Fetch(CUdpClient& client, int gantryPort, const std::string& password = "") {
    Fetched f;
    auto reply = client.Ask(gantryPort, GantryHello(password));
    if (!reply)
        return f;
    f.hello = ReadHelloReply(reply->bytes);
    if (f.hello.accepted) {
        client.Send(gantryPort, GantrySendAll());
        CollectChunks(client, f.chunks, f.hello.total, kQuiet);
    }
    return f;
}

std::string IslandsDescription() {
    return "Free text before the block.\r\n"
           "GANTRY_START\r\n"
           "PACKAGE IslandPack\r\n"
           "INFOURL http://islands.example/\r\n"
           "INSTALL *.pbo addons/\r\n"
           "EXTRACTPATH missions\\*\r\n"
           "IGNORE readme.txt\r\n"
           "GANTRY_END\r\n";
}

// A Gantry folder of two packages, a file that is no archive, and offer.ini.
void FillFolder(const ScratchFolder& folder) {
    ASSERT_TRUE(ZipBuilder()
                    .Add("gantry.txt", IslandsDescription())
                    .Add("islands.pbo", std::string(3000, 'i'))
                    .AddFolder("missions")
                    .Add("missions/one.sqm", "mission one")
                    .Add("readme.txt", "read me")
                    .Add("extra.dat", "matched by nothing")
                    .Write(folder / "islands.zip"));
    ASSERT_TRUE(ZipBuilder()
                    .Add("a/b/guns.pbo", std::string(5000, 'g'))
                    .Add("docs/Read.txt", "weapons")
                    .Write(folder / "weapons.ZIP"));
    ASSERT_TRUE(WriteFileBytes(folder.Path() / "broken.zip", "not a zip at all"));
    ASSERT_TRUE(WriteFileBytes(folder.Path() / "offer.ini", "# the server\n"
                                                            "name = Vale Coop\n"
                                                            "teamspeak = 127.0.0.1:9987\n"
                                                            "text10 = last\n"
                                                            "\n"
                                                            "[Weapons.zip]\n"
                                                            "priority = 8\n"
                                                            "homepage = http://weapons.example/\n"
                                                            "text3 = third\n"));
}

uint64_t FileSize(const std::string& path) {
    return std::filesystem::file_size(path);
}

} // namespace

TEST(SimGantry, DescribesWhatClientsWouldInstallWhere) {
    ScratchFolder folder;
    FillFolder(folder);
    CSimRun sim({"--gantry", folder.Path().string(), "--http-base", "http://127.0.0.1:9/iv"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    EXPECT_NE(sim.ListeningLine().find(", Gantry port " + std::to_string(sim.Port() + 20)),
              std::string::npos);
    CUdpClient client;
    Fetched f = Fetch(client, sim.Port() + 20);
    ASSERT_TRUE(f.hello.accepted);
    EXPECT_EQ(f.chunks.badCrc, 0);
    auto bytes = f.chunks.Description(f.hello.total);
    ASSERT_TRUE(bytes);
    auto list = ReadOfferedBytes(*bytes);
    ASSERT_TRUE(list);

    EXPECT_EQ(list->serverTexts[0], "Vale Coop");
    EXPECT_EQ(list->serverTexts[1], "");
    EXPECT_EQ(list->serverTexts[3], "127.0.0.1:9987");
    EXPECT_EQ(list->serverTexts[9], "last");
    ASSERT_EQ(list->packages.size(), 2u);

    const OfferedPackage& islands = list->packages[0];
    EXPECT_EQ(islands.archivePath, "http://127.0.0.1:9/iv/islands.zip");
    EXPECT_EQ(islands.archiveSize, FileSize(folder / "islands.zip"));
    EXPECT_EQ(islands.name, "IslandPack");
    EXPECT_EQ(islands.homePage, "http://islands.example/");
    EXPECT_EQ(islands.priority, 5u);
    const std::vector<DescribedFile> islandFiles = {
        {"addons\\islands.pbo", 3000, Crc32Of(std::string(3000, 'i'))},
        {"missions\\one.sqm", 11, Crc32Of("mission one")}};
    EXPECT_EQ(islands.files, islandFiles);

    const OfferedPackage& weapons = list->packages[1];
    EXPECT_EQ(weapons.archivePath, "http://127.0.0.1:9/iv/weapons.ZIP");
    EXPECT_EQ(weapons.name, "weapons");
    EXPECT_EQ(weapons.homePage, "http://weapons.example/");
    EXPECT_EQ(weapons.text3, "third");
    EXPECT_EQ(weapons.priority, 8u);
    // Without a description, archive folders are flattened into addons\.
    const std::vector<DescribedFile> weaponFiles = {
        {"addons\\guns.pbo", 5000, Crc32Of(std::string(5000, 'g'))},
        {"addons\\Read.txt", 7, Crc32Of("weapons")}};
    EXPECT_EQ(weapons.files, weaponFiles);

    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_NE(sim.Process().Err().find("broken.zip left out"), std::string::npos)
        << sim.Process().Err();
}

TEST(SimGantry, WrongPasswordIsRefusedAndProvesNothing) {
    ScratchFolder folder;
    FillFolder(folder);
    CSimRun sim({"--gantry", folder.Path().string(), "--gantry-password", "s3cret",
                 "--gantry-offset", "40"});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    const int gantryPort = sim.Port() + 40;
    CUdpClient client;
    auto refused = client.Ask(gantryPort, GantryHello("wrong"));
    ASSERT_TRUE(refused);
    EXPECT_TRUE(ReadHelloReply(refused->bytes).refused);
    // Unproven, a send-all gets nothing: the next datagram is the answer to the right hello.
    client.Send(gantryPort, GantrySendAll());
    Fetched f = Fetch(client, gantryPort, "s3cret");
    EXPECT_TRUE(f.hello.accepted);
    EXPECT_TRUE(f.chunks.Description(f.hello.total));
}

TEST(SimGantry, DroppedChunksComeOnlyWhenAskedOneByOne) {
    ScratchFolder folder;
    FillFolder(folder);
    for (bool always : {false, true}) {
        std::vector<std::string> args = {"--gantry", folder.Path().string()};
        for (const char* more : {"--gantry-drop", "40", "--gantry-chunk-size", "16", "--seed", "5"})
            args.push_back(more);
        if (always)
            args.push_back("--gantry-drop-always");
        CSimRun sim(args);
        ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
        CUdpClient client;
        Fetched f = Fetch(client, sim.Port() + 20);
        ASSERT_TRUE(f.hello.accepted);
        const size_t total = f.hello.total;
        ASSERT_GE(total, 5u);
        EXPECT_EQ(f.chunks.chunks.size(), total - total * 40 / 100);
        for (uint16_t i = 0; i < total; ++i)
            if (!f.chunks.chunks.count(i))
                client.Send(sim.Port() + 20, GantrySendOne(i));
        CollectChunks(client, f.chunks, f.hello.total, kQuiet);
        EXPECT_EQ(f.chunks.Description(f.hello.total).has_value(), !always);
        EXPECT_EQ(f.chunks.chunks.size(), always ? total - total * 40 / 100 : total);
    }
}

TEST(SimGantry, TagFollowsTheFolder) {
    ScratchFolder folder;
    FillFolder(folder);
    CSimRun sim({"--gantry", folder.Path().string()});
    ASSERT_TRUE(sim.Listening()) << sim.Process().Err();
    CUdpClient client;
    auto first = client.Ask(sim.Port() + 20, GantryHello(""));
    auto same = client.Ask(sim.Port() + 20, GantryHello(""));
    ASSERT_TRUE(first && same);
    EXPECT_EQ(ReadHelloReply(first->bytes).tag, ReadHelloReply(same->bytes).tag);

    ASSERT_TRUE(ZipBuilder().Add("maps.pbo", "new map").Write(folder / "maps.zip"));
    Fetched changed = Fetch(client, sim.Port() + 20);
    ASSERT_TRUE(changed.hello.accepted);
    EXPECT_NE(changed.hello.tag, ReadHelloReply(first->bytes).tag);
    auto list = ReadOfferedBytes(changed.chunks.Description(changed.hello.total).value_or(Bytes{}));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->packages.size(), 3u);
}

TEST(SimGantry, UnreadableOfferSettingsStopTheStart) {
    ScratchFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder.Path() / "offer.ini", "name = ok\n[a.zip]\npriority = 11\n"));
    ProgramResult r = RunProgram(QUILLORY_SIM_PATH, {"--port", std::to_string(FreePortBlock()),
                                                     "--gantry", folder.Path().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("offer.ini line 3"), std::string::npos) << r.err;
}
