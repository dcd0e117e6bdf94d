// Feeds the Gantry transfer arbitrary chunks and cache files. Input: a byte for the chunk
// total, a byte of flags, then either a cache file or chunks as (length byte, bytes).
#include "net/GantryTransfer.h"
#include "net/ServerQuery.h"
#include "platform/UdpSocket.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <zlib.h>

using namespace quillory;

namespace {

constexpr uint16_t GAME_PORT = 2302;
constexpr uint16_t GANTRY_PORT = GAME_PORT + 20;

void Feed(CServerQuery& engine, const std::vector<uint8_t>& d) {
    engine.HandleDatagram(d.data(), d.size(), LoopbackAddress(), GANTRY_PORT);
}

// A folder for the cache files of one run, removed when the run ends.
struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        char name[] = "/tmp/quillory-fuzz-gantry-XXXXXX";
        const char* made = mkdtemp(name);
        path = made ? made : "";
    }
    ~ScratchFolder() {
        std::error_code error;
        if (!path.empty())
            std::filesystem::remove_all(path, error);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CWatchState state;
    static CServerQuery engine(state, [] { return 1000u; });
    static const ScratchFolder scratch;
    static const std::string& folder = scratch.path;
    static bool ready = false;
    if (!ready) {
        engine.SetCacheFolder(folder);
        engine.HandleMessage(QM_SET_SERVER, LoopbackAddress(), GAME_PORT);
        ready = true;
    }
    if (size < 2)
        return 0;
    const uint16_t total = uint16_t(data[0] % 8 + 1);
    const uint8_t flags = data[1];
    engine.HandleMessage(QM_START, 0, 0);
    data += 2;
    size -= 2;

    const uint8_t tag = flags & 1 ? 1 : 2; // cache files are tried under tag 1 only
    if (flags & 1) {
        const std::string name = GantryCacheName({1, LoopbackAddress(), GANTRY_PORT});
        std::FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
        if (f) {
            // With flag 4 the file starts with this server's header, so the chunks are reached.
            const uint8_t header[] = {'Q',
                                      'G',
                                      'C',
                                      '1',
                                      1,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      127,
                                      0,
                                      0,
                                      1,
                                      uint8_t(GANTRY_PORT & 0xFF),
                                      uint8_t(GANTRY_PORT >> 8)};
            if (flags & 4)
                std::fwrite(header, 1, sizeof header, f);
            std::fwrite(data, 1, size, f);
            std::fclose(f);
        }
    }
    Feed(engine, {0x00, 0x80, uint8_t(total), 0, tag, 0, 0, 0, 0, 0, 0, 0});
    if (flags & 1)
        return 0;
    // Chunks; with flag 2 their checksums are made right so they get as far as assembly.
    size_t pos = 0;
    while (pos < size) {
        const size_t wanted = data[pos++];
        const size_t length = std::min(wanted, size - pos);
        std::vector<uint8_t> chunk(data + pos, data + pos + length);
        pos += length;
        if ((flags & 2) && chunk.size() >= 6) {
            uint32_t crc = uint32_t(crc32(0, chunk.data(), uInt(chunk.size() - 4)));
            for (int i = 0; i < 4; ++i)
                chunk[chunk.size() - 4 + i] = uint8_t(crc >> (8 * i));
        }
        Feed(engine, chunk);
    }
    state.WaitForGantryOutcome(0);
    return 0;
}
