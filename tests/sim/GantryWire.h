#pragma once
// The client side of the Gantry exchange, written for the tests from the wire format alone:
// hello, send-all, send-one, chunk checks, and a reader of the offered package list.

#include "tests/sim/UdpClient.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quillory::test {

Bytes GantryHello(const std::string& password);
Bytes GantrySendAll();
Bytes GantrySendOne(uint16_t index);

struct HelloReply {
    bool accepted = false;
    bool refused = false;
    uint16_t total = 0;
    uint64_t tag = 0;
};
HelloReply ReadHelloReply(const Bytes& bytes);

// Chunks by index, each checked against its CRC-32; bad ones are not kept.
struct ChunkSet {
    std::map<uint16_t, Bytes> chunks;
    int badCrc = 0;
    void Add(const Bytes& datagram);
    // Payloads joined in index order, then the u32 length and zlib stream undone.
    std::optional<Bytes> Description(uint16_t total) const;
};

// Collects chunks until `total` are held or nothing comes for `quiet`.
void CollectChunks(CUdpClient& client, ChunkSet& set, uint16_t total,
                   std::chrono::milliseconds quiet);

struct DescribedFile {
    std::string path; // folders joined with '\'
    uint32_t size = 0;
    uint32_t crc = 0;
    bool operator==(const DescribedFile&) const = default;
};

struct OfferedPackage {
    std::string archivePath;
    uint32_t archiveSize = 0;
    std::string name, homePage, text3, text4;
    uint32_t priority = 0;
    std::vector<DescribedFile> files; // in the order of the node list
};

struct OfferedList {
    std::vector<std::string> serverTexts;
    std::vector<OfferedPackage> packages;
};

// Reads the description; nothing when it is cut short or has bytes left over.
std::optional<OfferedList> ReadOfferedBytes(const Bytes& bytes);

} // namespace quillory::test
