#include "common/MemoryStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace quillory {

CMemoryStream::CMemoryStream(size_t capacity) : owns_(true) {
    if (capacity > 0) {
        data_ = static_cast<uint8_t*>(std::malloc(capacity));
        capacity_ = data_ ? capacity : 0;
    }
}

CMemoryStream::CMemoryStream(const void* data, size_t size)
    : data_(static_cast<uint8_t*>(const_cast<void*>(data))), size_(size), capacity_(size),
      owns_(false) {}

CMemoryStream::~CMemoryStream() {
    if (owns_)
        std::free(data_);
}

bool CMemoryStream::Grow(size_t needed) {
    if (!owns_)
        return false;
    size_t shortfall = needed - capacity_;
    size_t step = std::max(shortfall, capacity_ == 0 ? size_t(256) : capacity_);
    size_t newCapacity = capacity_ + step;
    auto* grown = static_cast<uint8_t*>(std::realloc(data_, newCapacity));
    if (!grown)
        return false;
    data_ = grown;
    capacity_ = newCapacity;
    return true;
}

size_t CMemoryStream::Write(const void* bytes, size_t count) {
    // An attached buffer belongs to someone else and is only read.
    if (count == 0 || !owns_)
        return 0;
    size_t end = position_ + count;
    if (end < position_)
        return 0;
    if (end > capacity_ && !Grow(end))
        return 0;
    std::memcpy(data_ + position_, bytes, count);
    position_ = end;
    size_ = std::max(size_, position_);
    return count;
}

size_t CMemoryStream::Read(void* bytes, size_t count) {
    size_t n = std::min(count, size_ - position_);
    if (n > 0)
        std::memcpy(bytes, data_ + position_, n);
    position_ += n;
    return n;
}

int64_t CMemoryStream::Seek(int64_t offset, int origin) {
    int64_t base;
    switch (origin) {
    case SEEK_START:
        base = 0;
        break;
    case SEEK_CURRENT:
        base = static_cast<int64_t>(position_);
        break;
    case SEEK_END_:
        base = static_cast<int64_t>(size_);
        break;
    default:
        return -1;
    }
    int64_t target = base + offset;
    if (target < 0 || target > static_cast<int64_t>(size_))
        return -1;
    position_ = static_cast<size_t>(target);
    return target;
}

void CMemoryStream::Clear() {
    if (!owns_) {
        data_ = nullptr;
        capacity_ = 0;
        owns_ = true;
    }
    size_ = 0;
    position_ = 0;
}

namespace {

template <typename T> void WriteLE(CMemoryStream& s, T value) {
    uint8_t bytes[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    s.Write(bytes, sizeof(T));
}

template <typename T> bool ReadLE(CMemoryStream& s, T& value) {
    if (s.Remaining() < sizeof(T))
        return false;
    uint8_t bytes[sizeof(T)];
    s.Read(bytes, sizeof(T));
    T v = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        v |= static_cast<T>(bytes[i]) << (8 * i);
    value = v;
    return true;
}

} // namespace

void WriteU8(CMemoryStream& s, uint8_t value) {
    WriteLE(s, value);
}
void WriteU16(CMemoryStream& s, uint16_t value) {
    WriteLE(s, value);
}
void WriteU32(CMemoryStream& s, uint32_t value) {
    WriteLE(s, value);
}
void WriteU64(CMemoryStream& s, uint64_t value) {
    WriteLE(s, value);
}
bool ReadU8(CMemoryStream& s, uint8_t& value) {
    return ReadLE(s, value);
}
bool ReadU16(CMemoryStream& s, uint16_t& value) {
    return ReadLE(s, value);
}
bool ReadU32(CMemoryStream& s, uint32_t& value) {
    return ReadLE(s, value);
}
bool ReadU64(CMemoryStream& s, uint64_t& value) {
    return ReadLE(s, value);
}

void WriteText(CMemoryStream& s, std::string_view text) {
    s.Write(text.data(), text.size());
    WriteU8(s, 0);
}

std::string ReadText(CMemoryStream& s) {
    std::string text;
    ReadTextStrict(s, text);
    return text;
}

bool ReadTextStrict(CMemoryStream& s, std::string& text) {
    if (s.Remaining() == 0) {
        text.clear();
        return false;
    }
    const auto* begin = reinterpret_cast<const char*>(s.Data() + s.Position());
    size_t left = s.Remaining();
    const void* zero = std::memchr(begin, 0, left);
    size_t length = zero ? static_cast<const char*>(zero) - begin : left;
    text.assign(begin, length);
    s.Seek(static_cast<int64_t>(zero ? length + 1 : length), CMemoryStream::SEEK_CURRENT);
    return zero != nullptr;
}

} // namespace quillory
