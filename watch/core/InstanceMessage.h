#pragma once
// The message a later copy of the program hands to the running one: its whole command line.
// "QLN1", the body's length as 4 bytes little-endian, then each word as its length (4 bytes
// little-endian) and its bytes. Bounded, so a stray or hostile peer cannot make the running copy
// hold more than one message's worth.

#include "common/Types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillory {

class CInstanceMessageReader final {
public:
    static constexpr size_t MAX_BODY_BYTES = 64 * 1024;
    static constexpr size_t MAX_WORDS = 512;

    enum class State { INCOMPLETE, COMPLETE, MALFORMED };

    // The message of `words` (the first is the program path). Empty when it would exceed the
    // bounds or has no words: such a line is not handed over.
    static std::string Encode(const std::vector<String>& words);

    // Takes the next bytes of the connection. Once complete or malformed, the state stays: more
    // bytes after a whole message make it malformed.
    State Feed(const char* data, size_t size);
    State Current() const { return state_; }
    // The words of a complete message.
    const std::vector<String>& Words() const { return words_; }

private:
    State Decode();

    std::string buffer_;
    std::vector<String> words_;
    State state_ = State::INCOMPLETE;
};

} // namespace quillory
