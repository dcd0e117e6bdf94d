#pragma once
// The compressed payload of a database file, inflated one window at a time while its records are
// read. The records of a window are read while it is still in the cache, and no buffer of the
// whole payload (megabytes) is written out to memory only to be read back.
//
// Threads: used on one thread (the database's owner, while it loads).

#include "common/FileHandle.h"
#include "platform/ZlibLibrary.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quillory {

class CPayloadWindow final {
public:
    // Large enough that a window's worth of records costs far more than refilling it; small
    // enough to stay in the cache beside the nodes being made.
    static constexpr size_t DEFAULT_WINDOW_BYTES = 256 * 1024;
    static constexpr size_t INPUT_BLOCK_BYTES = 64 * 1024;

    explicit CPayloadWindow(size_t windowBytes = DEFAULT_WINDOW_BYTES);
    ~CPayloadWindow();
    CPayloadWindow(const CPayloadWindow&) = delete;
    CPayloadWindow& operator=(const CPayloadWindow&) = delete;

    // Starts on `file`, read from where it stands to its end, for a payload that the header says
    // is `length` bytes long. False when zlib cannot be loaded or cannot start.
    bool Start(CFileHandle& file, uint32_t length);

    // The inflated bytes not yet taken.
    const uint8_t* At() const { return at_; }
    const uint8_t* End() const { return end_; }
    // Takes the bytes up to `to` (within At()..End()).
    void Consume(const uint8_t* to) {
        consumed_ += static_cast<size_t>(to - at_);
        at_ = to;
    }
    // Payload bytes after At() that the header promises, inflated or not.
    uint64_t Remaining() const { return length_ - consumed_; }

    // Keeps the bytes from At() on (they may move) and inflates more after them, growing the
    // window when one record fills it. False when nothing more comes: the payload has reached its
    // length, or the stream ended, is damaged, or could not be read.
    bool Refill();
    // After the last record: every byte was taken, the stream ends exactly at the length the
    // header gives, its checksum holds, and nothing follows it in the file.
    bool Finish();

private:
    // One step of zlib into `out` (`room` bytes); `made` is what it wrote. False on a damaged or
    // cut stream or a read error.
    bool InflateInto(uint8_t* out, size_t room, size_t& made);
    bool Grow();

    const platform::CZlibLibrary& zlib_ = platform::CZlibLibrary::Shared();
    z_stream stream_{};
    bool started_ = false;
    bool ended_ = false;    // zlib saw the end of the stream and its checksum
    bool fileDone_ = false; // the file has no more bytes
    CFileHandle* file_ = nullptr;
    std::unique_ptr<uint8_t[]> input_;
    std::unique_ptr<uint8_t[]> window_;
    size_t capacity_;
    const uint8_t* at_ = nullptr;
    uint8_t* end_ = nullptr;
    uint64_t length_ = 0;
    uint64_t produced_ = 0; // inflated so far
    uint64_t consumed_ = 0; // taken so far
};

} // namespace quillory
