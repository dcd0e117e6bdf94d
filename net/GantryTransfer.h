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

// "<tag in lowercase hex>-<dotted address>-<Gantry port>.tmp". The server is part of the name
// because the tag is the server's word alone: another server may repeat it, and must not get
// this server's description (its texts and archive addresses) from the cache.
String GantryCacheName(uint64_t tag, uint32_t address, uint16_t gantryPort);

// Writes the chunks in order to a temporary file and renames it over `path`; on failure no
// file is left.
bool WriteGantryCache(const String& path, const std::vector<GantryChunk>& chunks);
// The chunks of a cache file, or nothing when it is missing or damaged: it must hold exactly
// `chunkTotal` valid chunks, chunk i with index i, and nothing after them.
std::optional<std::vector<GantryChunk>> ReadGantryCache(const String& path, uint32_t chunkTotal);

// Joins the payloads, reads the uncompressed length and inflates; nothing on failure.
std::optional<std::vector<uint8_t>>
AssembleGantryDescription(const std::vector<GantryChunk>& chunks);

} // namespace quillory
