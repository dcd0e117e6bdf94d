// Feeds arbitrary bytes, in pieces of varying size, to the reader of a later copy's command
// line: it must end without harm, never hold more than one message, and a line it accepts must
// be exactly the bytes its own encoding gives.
#include "watch/core/InstanceMessage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quillory;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses the piece size, as a socket hands bytes over in reads of any size.
    const size_t piece = size_t(data[0] % 17) + 1;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const size_t count = size - 1;
    CInstanceMessageReader reader;
    auto state = CInstanceMessageReader::State::INCOMPLETE;
    for (size_t at = 0; at < count; at += piece)
        state = reader.Feed(bytes + at, std::min(piece, count - at));
    if (state != CInstanceMessageReader::State::COMPLETE) {
        if (!reader.Words().empty())
            std::abort();
        return 0;
    }
    if (CInstanceMessageReader::Encode(reader.Words()) != std::string(bytes, count))
        std::abort();
    return 0;
}
