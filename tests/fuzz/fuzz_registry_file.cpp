// Feeds registry files and mount tables to their readers: any bytes give a clear answer.
// The first byte chooses the reader; the value found must come from the key asked for.

#include "platform/FixedDisks.h"
#include "platform/WineRegistry.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        for (const auto& entry : quillory::platform::ParseMountTable(text))
            if (entry.type.empty())
                std::abort(); // a line without its three fields is never an entry
        return 0;
    }
    auto value =
        quillory::platform::FindRegistryValue(text, "Software\\Marrowby\\Ironvale", "MAIN");
    // Nothing read can be longer than the file it came from, escapes widen nothing past 3 bytes.
    if (value && value->size() > 3 * text.size())
        std::abort();
    return 0;
}
