#include "gantry/db/PayloadWindow.h"

#include <algorithm>
#include <cstring>

namespace quillory {

CPayloadWindow::CPayloadWindow(size_t windowBytes) : capacity_(std::max<size_t>(windowBytes, 1)) {}

CPayloadWindow::~CPayloadWindow() {
    if (started_)
        zlib_.inflateEnd(&stream_);
}

bool CPayloadWindow::Start(CFileHandle& file, uint32_t length) {
    if (started_ || !zlib_.Loaded() || zlib_.InflateInit(stream_) != Z_OK)
        return false;
    started_ = true;
    file_ = &file;
    length_ = length;
    // Left uninitialised: zlib writes every byte before it is read.
    input_ = std::make_unique_for_overwrite<uint8_t[]>(INPUT_BLOCK_BYTES);
    window_ = std::make_unique_for_overwrite<uint8_t[]>(capacity_);
    at_ = window_.get();
    end_ = window_.get();
    return true;
}

bool CPayloadWindow::Refill() {
    if (!started_ || ended_ || produced_ == length_)
        return false;
    const size_t kept = static_cast<size_t>(end_ - at_);
    if (kept == capacity_ && !Grow())
        return false;
    // The unread tail of a record is a few bytes; it moves to the front to make room.
    uint8_t* base = window_.get();
    if (at_ != base)
        std::memmove(base, at_, kept);
    at_ = base;
    end_ = base + kept;
    while (end_ == at_ + kept) {
        if (ended_ || produced_ == length_)
            return false;
        // Never more than the header promised: a longer stream is refused in Finish.
        const size_t room =
            static_cast<size_t>(std::min<uint64_t>(capacity_ - kept, length_ - produced_));
        size_t made = 0;
        if (!InflateInto(end_, room, made))
            return false;
        end_ += made;
    }
    return true;
}

bool CPayloadWindow::Finish() {
    if (!started_ || consumed_ != length_ || at_ != end_)
        return false;
    // The stream must end here: one more byte of output means it is longer than the header says.
    uint8_t beyond = 0;
    while (!ended_) {
        size_t made = 0;
        if (!InflateInto(&beyond, 1, made) || made != 0)
            return false;
    }
    if (stream_.avail_in != 0)
        return false;
    return file_->Read(&beyond, 1) == 0;
}

bool CPayloadWindow::InflateInto(uint8_t* out, size_t room, size_t& made) {
    if (stream_.avail_in == 0 && !fileDone_) {
        const int64_t read = file_->Read(input_.get(), INPUT_BLOCK_BYTES);
        if (read < 0)
            return false;
        fileDone_ = read == 0;
        stream_.next_in = input_.get();
        stream_.avail_in = static_cast<uInt>(read);
    }
    stream_.next_out = out;
    stream_.avail_out = static_cast<uInt>(room);
    const int result = zlib_.inflate(&stream_, Z_NO_FLUSH);
    made = room - stream_.avail_out;
    produced_ += made;
    if (result == Z_STREAM_END)
        ended_ = true;
    else if (result == Z_BUF_ERROR)
        // No progress: the input ran out; the stream is cut short when the file has ended too.
        return !(stream_.avail_in == 0 && fileDone_);
    return result == Z_OK || result == Z_STREAM_END;
}

bool CPayloadWindow::Grow() {
    // One record larger than the window: it doubles, keeping what it holds.
    const size_t kept = static_cast<size_t>(end_ - at_);
    if (capacity_ > SIZE_MAX / 2)
        return false;
    const size_t bigger = capacity_ * 2;
    auto grown = std::make_unique_for_overwrite<uint8_t[]>(bigger);
    std::memcpy(grown.get(), at_, kept);
    window_ = std::move(grown);
    capacity_ = bigger;
    at_ = window_.get();
    end_ = window_.get() + kept;
    return true;
}

} // namespace quillory
