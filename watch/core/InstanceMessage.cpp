#include "watch/core/InstanceMessage.h"

#include "common/LittleEndian.h"

#include <algorithm>
#include <string_view>

namespace quillory {

namespace {

constexpr std::string_view MAGIC = "QLN1";
constexpr size_t HEADER_BYTES = 8;

void PutUint32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The words of a whole body; false when the lengths do not add up or a word holds a zero
// byte, which no command line can.
bool SplitBody(std::string_view body, std::vector<String>& words) {
    size_t at = 0;
    while (at < body.size()) {
        if (body.size() - at < 4 || words.size() == CInstanceMessageReader::MAX_WORDS)
            return false;
        const uint32_t length = LoadU32(reinterpret_cast<const uint8_t*>(body.data() + at));
        at += 4;
        if (length > body.size() - at)
            return false;
        const std::string_view word = body.substr(at, length);
        if (word.find('\0') != std::string_view::npos)
            return false;
        words.emplace_back(word);
        at += length;
    }
    return !words.empty();
}

} // namespace

std::string CInstanceMessageReader::Encode(const std::vector<String>& words) {
    if (words.empty() || words.size() > MAX_WORDS)
        return std::string();
    std::string body;
    for (const String& word : words) {
        if (word.size() > MAX_BODY_BYTES || word.find('\0') != String::npos)
            return std::string();
        PutUint32(body, static_cast<uint32_t>(word.size()));
        body += word;
        if (body.size() > MAX_BODY_BYTES)
            return std::string();
    }
    std::string message(MAGIC);
    PutUint32(message, static_cast<uint32_t>(body.size()));
    return message + body;
}

CInstanceMessageReader::State CInstanceMessageReader::Feed(const char* data, size_t size) {
    if (state_ == State::MALFORMED)
        return state_;
    if (state_ == State::COMPLETE) {
        if (size > 0) {
            state_ = State::MALFORMED;
            words_.clear();
        }
        return state_;
    }
    // Never more than one whole message is held.
    const size_t room = HEADER_BYTES + MAX_BODY_BYTES - buffer_.size();
    if (size > room) {
        state_ = State::MALFORMED;
        return state_;
    }
    buffer_.append(data, size);
    state_ = Decode();
    return state_;
}

CInstanceMessageReader::State CInstanceMessageReader::Decode() {
    const std::string_view bytes = buffer_;
    // A wrong start is told as soon as its bytes are there.
    const size_t known = std::min(bytes.size(), MAGIC.size());
    if (bytes.substr(0, known) != MAGIC.substr(0, known))
        return State::MALFORMED;
    if (bytes.size() < HEADER_BYTES)
        return State::INCOMPLETE;
    const uint32_t bodyBytes =
        LoadU32(reinterpret_cast<const uint8_t*>(bytes.data() + MAGIC.size()));
    if (bodyBytes > MAX_BODY_BYTES)
        return State::MALFORMED;
    if (bytes.size() < HEADER_BYTES + bodyBytes)
        return State::INCOMPLETE;
    if (bytes.size() > HEADER_BYTES + bodyBytes)
        return State::MALFORMED;
    if (!SplitBody(bytes.substr(HEADER_BYTES), words_)) {
        words_.clear();
        return State::MALFORMED;
    }
    buffer_.clear();
    return State::COMPLETE;
}

} // namespace quillory
