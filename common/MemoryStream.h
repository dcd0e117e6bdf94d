#pragma once
// A growable in-memory byte stream, and little-endian and zero-terminated-text helpers over it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillory {

class CMemoryStream {
public:
    enum Origin { SEEK_START = 0, SEEK_CURRENT = 1, SEEK_END_ = 2 };

    // Owns a buffer of `capacity` bytes holding no data yet.
    explicit CMemoryStream(size_t capacity = 0);
    // Reads `size` bytes that belong to someone else; writing to it fails.
    CMemoryStream(const void* data, size_t size);
    virtual ~CMemoryStream();

    CMemoryStream(const CMemoryStream&) = delete;
    CMemoryStream& operator=(const CMemoryStream&) = delete;

    virtual size_t Write(const void* bytes, size_t count);
    virtual size_t Read(void* bytes, size_t count);
    // Returns the new position, or -1 when it would fall before 0 or beyond the size.
    virtual int64_t Seek(int64_t offset, int origin);

    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    size_t Capacity() const { return capacity_; }
    size_t Position() const { return position_; }
    size_t Remaining() const { return size_ - position_; }
    bool OwnsBuffer() const { return owns_; }

    // Empties the stream, keeping an owned buffer.
    void Clear();

private:
    bool Grow(size_t needed);

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    size_t position_ = 0;
    bool owns_ = false;
};

// Little-endian integers. Readers return false, and leave `value` alone, when too few bytes remain.
void WriteU8(CMemoryStream& s, uint8_t value);
void WriteU16(CMemoryStream& s, uint16_t value);
void WriteU32(CMemoryStream& s, uint32_t value);
void WriteU64(CMemoryStream& s, uint64_t value);
bool ReadU8(CMemoryStream& s, uint8_t& value);
bool ReadU16(CMemoryStream& s, uint16_t& value);
bool ReadU32(CMemoryStream& s, uint32_t& value);
bool ReadU64(CMemoryStream& s, uint64_t& value);

// A text stored as its bytes and one zero byte.
void WriteText(CMemoryStream& s, std::string_view text);
// Takes bytes up to the zero byte (not stored) or the end of the data.
std::string ReadText(CMemoryStream& s);
// As ReadText, but false when the data ends before a zero byte.
bool ReadTextStrict(CMemoryStream& s, std::string& text);

} // namespace quillory
