#include "net/GantryTransfer.h"

#include "common/FileHandle.h"
#include "platform/AtomicFile.h"
#include "platform/ZlibLibrary.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace quillory {

namespace {

constexpr size_t CHUNK_OVERHEAD = 6; // index and CRC

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

} // namespace

bool GantryChunkValid(const uint8_t* data, size_t length) {
    const auto& zlib = platform::CZlibLibrary::Shared();
    if (length < CHUNK_OVERHEAD || length > MAX_GANTRY_CHUNK_SIZE || !zlib.Loaded())
        return false;
    uLong crc = zlib.crc32(0L, data, static_cast<uInt>(length - 4));
    return static_cast<uint32_t>(crc) == ReadU32(data + length - 4);
}

uint16_t GantryChunkIndex(const GantryChunk& chunk) {
    return uint16_t(chunk[0] | (chunk[1] << 8));
}

String GantryCacheName(const GantryCacheKey& key) {
    uint8_t octets[4];
    std::memcpy(octets, &key.address, sizeof octets); // network order: first octet first
    char name[80];
    std::snprintf(name, sizeof name, "%llx-%u.%u.%u.%u-%u.description",
                  static_cast<unsigned long long>(key.tag), octets[0], octets[1], octets[2],
                  octets[3], unsigned(key.gantryPort));
    return name;
}

namespace {

constexpr char CACHE_MARK[4] = {'Q', 'G', 'C', '1'};
constexpr size_t CACHE_HEADER = sizeof CACHE_MARK + 8 + 4 + 2;

void AppendCacheHeader(std::vector<uint8_t>& out, const GantryCacheKey& key) {
    out.insert(out.end(), CACHE_MARK, CACHE_MARK + sizeof CACHE_MARK);
    AppendU32(out, uint32_t(key.tag));
    AppendU32(out, uint32_t(key.tag >> 32));
    uint8_t octets[4];
    std::memcpy(octets, &key.address, sizeof octets);
    out.insert(out.end(), octets, octets + sizeof octets);
    out.push_back(uint8_t(key.gantryPort));
    out.push_back(uint8_t(key.gantryPort >> 8));
}

// Whether the file begins with the header of `key`: the mark and the very server and tag.
bool HasCacheHeader(const std::string& bytes, const GantryCacheKey& key) {
    std::vector<uint8_t> expected;
    AppendCacheHeader(expected, key);
    return bytes.size() >= CACHE_HEADER &&
           std::memcmp(bytes.data(), expected.data(), CACHE_HEADER) == 0;
}

} // namespace

bool WriteGantryCache(const String& path, const GantryCacheKey& key,
                      const std::vector<GantryChunk>& chunks) {
    std::vector<uint8_t> bytes;
    AppendCacheHeader(bytes, key);
    AppendU32(bytes, static_cast<uint32_t>(chunks.size()));
    for (const GantryChunk& c : chunks) {
        AppendU32(bytes, static_cast<uint32_t>(c.size()));
        bytes.insert(bytes.end(), c.begin(), c.end());
    }
    const auto* data = reinterpret_cast<const char*>(bytes.data());
    return platform::SaveFileAtomically(path, std::string_view(data, bytes.size())).ok;
}

std::optional<std::vector<GantryChunk>>
ReadGantryCache(const String& path, const GantryCacheKey& key, uint32_t chunkTotal) {
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    if (error || size > CACHE_HEADER + 4 + uint64_t(chunkTotal) * (4 + MAX_GANTRY_CHUNK_SIZE))
        return std::nullopt;
    std::string bytes;
    if (!ReadWholeFile(path, bytes) || !HasCacheHeader(bytes, key) ||
        bytes.size() < CACHE_HEADER + 4)
        return std::nullopt;
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t end = bytes.size();
    if (ReadU32(data + CACHE_HEADER) != chunkTotal)
        return std::nullopt;
    std::vector<GantryChunk> chunks;
    size_t pos = CACHE_HEADER + 4;
    for (uint32_t i = 0; i < chunkTotal; ++i) {
        if (end - pos < 4)
            return std::nullopt;
        uint32_t length = ReadU32(data + pos);
        pos += 4;
        if (length > end - pos || !GantryChunkValid(data + pos, length))
            return std::nullopt;
        GantryChunk chunk(data + pos, data + pos + length);
        if (GantryChunkIndex(chunk) != i)
            return std::nullopt;
        chunks.push_back(std::move(chunk));
        pos += length;
    }
    if (pos != end)
        return std::nullopt;
    return chunks;
}

std::optional<std::vector<uint8_t>>
AssembleGantryDescription(const std::vector<GantryChunk>& chunks) {
    std::vector<uint8_t> joined;
    for (const GantryChunk& c : chunks) {
        if (c.size() < CHUNK_OVERHEAD)
            return std::nullopt;
        joined.insert(joined.end(), c.begin() + 2, c.end() - 4);
    }
    if (joined.size() < 4)
        return std::nullopt;
    const uint32_t length = ReadU32(joined.data());
    const auto& zlib = platform::CZlibLibrary::Shared();
    if (length > MAX_GANTRY_DESCRIPTION || !zlib.Loaded())
        return std::nullopt;
    std::vector<uint8_t> description(length);
    uLongf produced = length;
    // A zero-length buffer still needs a valid pointer for zlib.
    Bytef dummy = 0;
    Bytef* out = length ? description.data() : &dummy;
    if (zlib.uncompress(out, &produced, joined.data() + 4, static_cast<uLong>(joined.size() - 4)) !=
        Z_OK)
        return std::nullopt;
    description.resize(produced);
    return description;
}

} // namespace quillory
