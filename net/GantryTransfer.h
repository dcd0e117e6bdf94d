#pragma once
// The pieces of a Gantry description transfer that need no socket: chunk checks, the cache
// file of a description and the assembly of the chunks into the description.

#include "common/Types.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quillory {

using GantryChunk = std::vector<uint8_t>; // a chunk datagram as received: index, payload, CRC

// Most chunks a description may have; a hello announcing more (or none) is not taken.
constexpr uint32_t MAX_GANTRY_CHUNKS = 4096;
// Largest chunk datagram the engine can receive.
constexpr size_t MAX_GANTRY_CHUNK_SIZE = 8192;
// Largest uncompressed description that is allocated: hundreds of times a real one, and small
// enough that it, its copy for the reader and what it describes stay well under 256 MB.
constexpr uint32_t MAX_GANTRY_DESCRIPTION = 16u << 20;

// Index (2 bytes) and CRC (4 bytes) at least, and the CRC-32 of the rest matches.
bool GantryChunkValid(const uint8_t* data, size_t length);
uint16_t GantryChunkIndex(const GantryChunk& chunk);

// Which description a cache file holds: the tag is the server's word alone, so another server
// may repeat it, and must not get this server's description (its texts and archive addresses).
struct GantryCacheKey {
    uint64_t tag = 0;
    uint32_t address = 0; // network order, as the engine keeps it
    uint16_t gantryPort = 0;
};

// "<tag in lowercase hex>-<dotted address>-<Gantry port>.description": a suffix of its own, so
// that no downloaded archive's temporary file (".tmp", or a name without a dot) can take the name.
String GantryCacheName(const GantryCacheKey& key);

// The cache file: "QGC1", the tag (u64), the address's four octets in order, the Gantry port
// (u16), the chunk count (u32), then per chunk its size (u32) and the datagram as received; all
// integers little-endian. Written to a temporary file renamed over `path`; on failure no file is
// left.
bool WriteGantryCache(const String& path, const GantryCacheKey& key,
                      const std::vector<GantryChunk>& chunks);
// The chunks of a cache file, or nothing when it is missing, damaged or another description's:
// its key must be `key`, and it must hold exactly `chunkTotal` valid chunks, chunk i with index
// i, and nothing after them. A file of the older form without the key is not trusted either.
std::optional<std::vector<GantryChunk>>
ReadGantryCache(const String& path, const GantryCacheKey& key, uint32_t chunkTotal);

// Joins the payloads, reads the uncompressed length and inflates; nothing on failure.
std::optional<std::vector<uint8_t>>
AssembleGantryDescription(const std::vector<GantryChunk>& chunks);

} // namespace quillory
