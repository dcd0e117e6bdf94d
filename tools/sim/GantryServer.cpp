#include "tools/sim/GantryServer.h"

#include "net/GantryTransfer.h"
#include "tools/sim/GantryDescription.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

namespace quillory::sim {

namespace {

constexpr uint16_t kRequestMark = 0x03C3;
constexpr uint16_t kHello = 0, kSendAll = 1, kSendOne = 2;
constexpr uint16_t kHelloAccepted = 0x8000, kPasswordRefused = 0x8001;
// No more chunks than a client takes: it answers a hello announcing more as if no Gantry
// server were there. This also keeps indexes below the reply marks.
constexpr size_t kMaxChunks = MAX_GANTRY_CHUNKS;
constexpr size_t kMaxOutbox = 1 << 16;
constexpr size_t kMaxProven = 1024;
constexpr size_t kSendBatch = 16;
constexpr size_t kReceiveSize = 8192;
// Keeps the choice of dropped chunks apart from the round's random numbers.
constexpr uint32_t kDropSalt = 0xD209C0DEu;

using Bytes = std::vector<uint8_t>;

void PutU16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void PutU32(Bytes& b, uint32_t v) {
    PutU16(b, uint16_t(v));
    PutU16(b, uint16_t(v >> 16));
}

uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

uint64_t EndpointKey(const sockaddr_in& a) {
    return uint64_t(a.sin_addr.s_addr) << 16 | a.sin_port;
}

// FNV-1a over the description and the chunk size: a new description or a new cut, a new tag.
uint64_t TagOf(const Bytes& description, int chunkSize) {
    uint64_t hash = 0xCBF29CE484222325ull;
    auto mix = [&](uint8_t byte) { hash = (hash ^ byte) * 0x100000001B3ull; };
    for (uint8_t byte : description)
        mix(byte);
    for (int i = 0; i < 4; ++i)
        mix(uint8_t(chunkSize >> (8 * i)));
    return hash != 0 ? hash : 1;
}

// The u32 length of the description, then the description as zlib's compress writes it.
bool Compress(const Bytes& description, Bytes& out) {
    uLongf size = compressBound(uLong(description.size()));
    out.clear();
    PutU32(out, uint32_t(description.size()));
    out.resize(4 + size);
    if (compress(out.data() + 4, &size, description.data(), uLong(description.size())) != Z_OK)
        return false;
    out.resize(4 + size);
    return true;
}

} // namespace

CGantryServer::CGantryServer(const SimOptions& options) : options_(options) {}

bool CGantryServer::Open(std::string& error, std::vector<std::string>& warnings) {
    if (!Build(error, warnings))
        return false;
    std::string reason;
    if (!socket_.Bind(options_.address, options_.GantryPort(), reason)) {
        error =
            "cannot listen on Gantry port " + std::to_string(options_.GantryPort()) + ": " + reason;
        return false;
    }
    return true;
}

bool CGantryServer::Build(std::string& error, std::vector<std::string>& warnings) {
    const std::string fingerprint = GantryFolderFingerprint(options_.gantryDir);
    DescriptionBuild build =
        BuildGantryDescription(options_.gantryDir, options_.ArchiveBaseUrl(), options_.name);
    warnings = build.warnings;
    Bytes compressed;
    if (!build.error.empty() || !Compress(build.bytes, compressed)) {
        error = build.error.empty() ? "cannot compress the description" : build.error;
        return false;
    }
    const size_t size = size_t(options_.gantryChunkSize);
    const size_t total = (compressed.size() + size - 1) / size;
    if (total > kMaxChunks) {
        error = "the description needs more than " + std::to_string(kMaxChunks) +
                " chunks; raise --gantry-chunk-size";
        return false;
    }
    chunks_.clear();
    outbox_.clear(); // queued chunks of the old description would not fit the new one
    for (size_t i = 0; i < total; ++i) {
        Bytes chunk;
        PutU16(chunk, uint16_t(i));
        const size_t from = i * size, to = std::min(compressed.size(), from + size);
        chunk.insert(chunk.end(), compressed.begin() + long(from), compressed.begin() + long(to));
        PutU32(chunk, uint32_t(crc32(0, chunk.data(), uInt(chunk.size()))));
        chunks_.push_back(std::move(chunk));
    }
    tag_ = TagOf(build.bytes, options_.gantryChunkSize);
    fingerprint_ = fingerprint;
    // Exactly the asked share of chunks is left out, chosen from the seed.
    std::vector<uint16_t> order(total);
    for (size_t i = 0; i < total; ++i)
        order[i] = uint16_t(i);
    std::mt19937 rng(options_.seed ^ kDropSalt);
    std::shuffle(order.begin(), order.end(), rng);
    order.resize(total * size_t(options_.gantryDropPercent) / 100);
    dropped_ = std::set<uint16_t>(order.begin(), order.end());
    if (options_.verbose)
        std::fprintf(stderr, "quillory-sim: description of %zu packages in %zu chunks, tag %llx\n",
                     build.packages, total, static_cast<unsigned long long>(tag_));
    return true;
}

void CGantryServer::RebuildIfChanged() {
    if (GantryFolderFingerprint(options_.gantryDir) == fingerprint_)
        return;
    std::string error;
    std::vector<std::string> warnings;
    // A folder that can no longer be read keeps the description it had.
    if (!Build(error, warnings))
        std::fprintf(stderr, "quillory-sim: keeping the old description: %s\n", error.c_str());
    for (const std::string& warning : warnings)
        std::fprintf(stderr, "quillory-sim: %s\n", warning.c_str());
}

void CGantryServer::HandleRequests() {
    uint8_t buffer[kReceiveSize];
    sockaddr_in from{};
    for (ptrdiff_t got; (got = socket_.Receive(buffer, sizeof(buffer), from)) >= 0;) {
        const size_t size = size_t(got);
        if (size < 4 || U16(buffer) != kRequestMark)
            continue;
        const uint16_t kind = U16(buffer + 2);
        if (kind == kHello) {
            OnHello(buffer, size, from);
        } else if (kind == kSendAll && size == 4 && Proven(from)) {
            Log("send-all", from);
            for (size_t i = 0; i < chunks_.size(); ++i)
                Queue(from, uint16_t(i), true);
        } else if (kind == kSendOne && size == 6 && Proven(from) &&
                   U16(buffer + 4) < chunks_.size()) {
            Log("send-one", from);
            Queue(from, U16(buffer + 4), false);
        }
    }
}

void CGantryServer::OnHello(const uint8_t* data, size_t size, const sockaddr_in& from) {
    const void* end = std::memchr(data + 4, 0, size - 4);
    if (end == nullptr)
        return; // no terminator: not a hello
    const std::string password(reinterpret_cast<const char*>(data + 4),
                               static_cast<const uint8_t*>(end) - (data + 4));
    Bytes reply;
    if (!options_.gantryPassword.empty() && password != options_.gantryPassword) {
        Log("hello refused", from);
        PutU16(reply, kPasswordRefused);
        PutU16(reply, 0);
    } else {
        RebuildIfChanged();
        Log("hello accepted", from);
        Remember(from);
        PutU16(reply, kHelloAccepted);
        PutU16(reply, uint16_t(chunks_.size()));
        PutU32(reply, uint32_t(tag_));
        PutU32(reply, uint32_t(tag_ >> 32));
    }
    socket_.SendTo(reply.data(), reply.size(), from);
}

void CGantryServer::Queue(const sockaddr_in& to, uint16_t index, bool wholeDescription) {
    const bool drop = dropped_.count(index) != 0 && (wholeDescription || options_.gantryDropAlways);
    if (!drop && outbox_.size() < kMaxOutbox)
        outbox_.push_back(Outgoing{to, index});
}

void CGantryServer::SendPending() {
    for (size_t n = 0; n < kSendBatch && !outbox_.empty(); ++n) {
        const Outgoing next = outbox_.front();
        outbox_.pop_front();
        if (next.index < chunks_.size())
            socket_.SendTo(chunks_[next.index].data(), chunks_[next.index].size(), next.to);
    }
}

bool CGantryServer::Proven(const sockaddr_in& from) const {
    return options_.gantryPassword.empty() ||
           std::find(proven_.begin(), proven_.end(), EndpointKey(from)) != proven_.end();
}

void CGantryServer::Remember(const sockaddr_in& from) {
    if (options_.gantryPassword.empty() || Proven(from))
        return;
    proven_.push_back(EndpointKey(from));
    if (proven_.size() > kMaxProven)
        proven_.pop_front();
}

void CGantryServer::Log(const char* what, const sockaddr_in& from) const {
    if (options_.verbose)
        std::fprintf(stderr, "quillory-sim: Gantry %s from %s\n", what, EndpointText(from).c_str());
}

} // namespace quillory::sim
