// Feeds arbitrary database files to Load: it must refuse or accept them without harm, and an
// accepted database must save and load again.
#include "gantry/db/FileDatabase.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <zlib.h>

namespace {

const std::string& ScratchFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/quillory-fuzz-db-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made)
            std::abort();
        return std::string(made);
    }();
    // Registered after the folder's name is made, so it runs while the name still exists.
    static const bool removedAtExit = std::atexit([] {
                                          std::error_code ignored;
                                          std::filesystem::remove_all(ScratchFolder(), ignored);
                                      }) == 0;
    (void)removedAtExit;
    return folder;
}

// With a leading 1 the rest is a payload, wrapped here in a valid header and zlib stream,
// so the fuzzer reaches the record reader; otherwise the bytes are the whole file.
std::string FileFromInput(const uint8_t* data, size_t size) {
    if (size == 0 || data[0] != 1)
        return std::string(reinterpret_cast<const char*>(data), size);
    uLongf packedLength = compressBound(static_cast<uLong>(size - 1));
    std::string file(8 + packedLength, '\0');
    compress(reinterpret_cast<Bytef*>(&file[8]), &packedLength, data + 1,
             static_cast<uLong>(size - 1));
    file.resize(8 + packedLength);
    uint32_t header[2] = {1, static_cast<uint32_t>(size - 1)};
    for (int i = 0; i < 8; ++i)
        file[i] = static_cast<char>((header[i / 4] >> (8 * (i % 4))) & 0xFF);
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = ScratchFolder() + "/quillory.dat";
    std::string file = FileFromInput(data, size);
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        std::abort();
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);

    quillory::CFileDatabase db(ScratchFolder());
    db.SetGamePath("C:\\Game\\");
    if (!db.Load())
        return 0;
    // What was accepted must survive its own round trip.
    if (!db.Save() || !db.Load())
        std::abort();
    return 0;
}
