// Feeds arbitrary bytes to the settings reader: it must end without harm, and what it reads
// must survive being written and read again unchanged.
#include "watch/core/SettingsFile.h"

#include <cstdint>
#include <cstdlib>

namespace {

using namespace quillory;

bool SameSettings(const Settings& a, const Settings& b) {
    if (a.entries.size() != b.entries.size() || a.selectedIndex != b.selectedIndex ||
        a.gameFolder != b.gameFolder)
        return false;
    for (size_t i = 0; i < a.entries.size(); ++i) {
        const ServerEntry& x = *a.entries[i];
        const ServerEntry& y = *b.entries[i];
        if (x.address != y.address || x.password != y.password || x.description != y.description ||
            x.startupParameters != y.startupParameters || x.automaticMods != y.automaticMods)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CMemoryStream input(data, size);
    Settings read = ReadSettings(input);
    CMemoryStream written(4096);
    WriteSettings(written, read);
    written.Seek(0, CMemoryStream::SEEK_START);
    if (!SameSettings(read, ReadSettings(written)))
        std::abort();
    return 0;
}
