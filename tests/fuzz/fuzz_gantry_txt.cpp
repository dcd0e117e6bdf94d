// Feeds package descriptions, and whole archives, to the archive parser.
// The first byte chooses: even wraps the rest as "gantry.txt" in a real zip, odd uses it as the
// zip file itself.

#include "gantry/client/EntryPlacement.h"
#include "gantry/client/PackageArchive.h"

#include <minizip/zip.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// A plain buffer, so the clean-up at exit never meets a destroyed string.
char scratchName[] = "/tmp/quillory-fuzz-gantry-XXXXXX";

const char* ScratchPath() {
    static const bool made = [] {
        int fd = mkstemp(scratchName);
        if (fd < 0)
            return false;
        close(fd);
        std::atexit([] { std::remove(scratchName); });
        return true;
    }();
    return made ? scratchName : nullptr;
}

bool WriteRaw(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

bool WriteDescriptionZip(const std::string& path, const uint8_t* data, size_t size) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    zip_fileinfo info{};
    bool ok = zipOpenNewFileInZip(zip, "gantry.txt", &info, nullptr, 0, nullptr, 0, nullptr, 0,
                                  0) == ZIP_OK;
    if (ok && size > 0)
        ok = zipWriteInFileInZip(zip, data, static_cast<unsigned>(size)) == ZIP_OK;
    zipCloseFileInZip(zip);
    // A second entry so path directives have something to place.
    if (zipOpenNewFileInZip(zip, "maps/../x.pbo", &info, nullptr, 0, nullptr, 0, nullptr, 0, 0) ==
        ZIP_OK)
        zipCloseFileInZip(zip);
    zipClose(zip, nullptr);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const char* path = ScratchPath();
    if (!path)
        return 0;
    bool written = (data[0] & 1) ? WriteRaw(path, data + 1, size - 1)
                                 : WriteDescriptionZip(path, data + 1, size - 1);
    if (!written)
        return 0;
    quillory::PackageArchive archive(path);
    if (archive.Parse()) {
        // Names and addresses go into the database file as zero-terminated texts.
        if (archive.PackageName().find('\0') != std::string::npos ||
            archive.InfoUrl().find('\0') != std::string::npos)
            std::abort();
        // Every accepted archive places its entries inside the game folder.
        for (const auto& directive : archive.Directives()) {
            quillory::EntryPlacement placement =
                quillory::PlaceEntry(archive.Directives(), directive->pattern);
            if (placement.fate == quillory::EntryFate::Placed &&
                !quillory::IsSafeDestination(placement.destination))
                std::abort();
        }
    }
    return 0;
}
