#include "gantry/client/ZipInput.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quillory {

namespace {

// Windows start on a block boundary, so that a read a little before one (the search for the end
// of the list of entries goes backwards) often still finds its block read.
constexpr uint64_t kAlignment = 4096;

} // namespace

bool CZipInput::Open(const String& path) {
    Close();
    if (!file_.Open(path, CFileHandle::MODE_READ))
        return false;
    const int64_t end = file_.Seek(0, CFileHandle::FROM_END);
    if (end < 0) {
        file_.Close();
        return false;
    }
    size_ = static_cast<uint64_t>(end);
    return true;
}

bool CZipInput::Close() {
    for (Window& window : windows_)
        window = Window();
    size_ = 0;
    position_ = 0;
    failed_ = false;
    uses_ = 0;
    lastWindow_ = 0;
    return file_.Close();
}

size_t CZipInput::Read(void* buffer, size_t count) {
    // The library reads its headers a byte or a word at a time: those come from the window used
    // last, with no search.
    const Window& last = windows_[lastWindow_];
    if (position_ >= last.start && position_ - last.start < last.bytes.size() &&
        count <= last.bytes.size() - (position_ - last.start)) {
        std::memcpy(buffer, last.bytes.data() + (position_ - last.start), count);
        position_ += count;
        return count;
    }
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count && position_ < size_) {
        const size_t wanted = count - done;
        if (wanted >= kWindowSize) {
            // Larger than a window: straight into the caller's buffer.
            size_t got = 0;
            if (!ReadFile(position_, out + done, wanted, got))
                failed_ = true;
            position_ += got;
            done += got;
            break;
        }
        const Window* window = WindowAt(position_);
        if (!window)
            break;
        const size_t offset = static_cast<size_t>(position_ - window->start);
        const size_t n = std::min(wanted, window->bytes.size() - offset);
        std::memcpy(out + done, window->bytes.data() + offset, n);
        position_ += n;
        done += n;
    }
    return done;
}

bool CZipInput::Seek(int64_t offset, int origin) {
    int64_t base = 0;
    if (origin == CFileHandle::FROM_CURRENT)
        base = static_cast<int64_t>(position_);
    else if (origin == CFileHandle::FROM_END)
        base = static_cast<int64_t>(size_);
    else if (origin != CFileHandle::FROM_START)
        return false;
    if (offset < -base || (offset > 0 && offset > INT64_MAX - base))
        return false;
    position_ = static_cast<uint64_t>(base + offset);
    return true;
}

// The window holding `position` (which lies before the end of the file), read into the window
// used least lately when none holds it; null when the file cannot be read there.
const CZipInput::Window* CZipInput::WindowAt(uint64_t position) {
    ++uses_;
    for (size_t i = 0; i < windows_.size(); ++i) {
        Window& window = windows_[i];
        if (position >= window.start && position - window.start < window.bytes.size()) {
            window.lastUse = uses_;
            lastWindow_ = i;
            return &window;
        }
    }
    const auto oldest =
        std::min_element(windows_.begin(), windows_.end(),
                         [](const Window& a, const Window& b) { return a.lastUse < b.lastUse; });
    lastWindow_ = static_cast<size_t>(oldest - windows_.begin());
    Window& window = *oldest;
    window.start = position - position % kAlignment;
    window.bytes.resize(static_cast<size_t>(std::min<uint64_t>(kWindowSize, size_ - window.start)));
    size_t got = 0;
    const bool read = ReadFile(window.start, window.bytes.data(), window.bytes.size(), got);
    window.bytes.resize(got);
    window.lastUse = uses_;
    if (!read || position - window.start >= got) {
        // The file ended early or could not be read: it changed or is damaged.
        failed_ = true;
        window.bytes.clear();
        return nullptr;
    }
    return &window;
}

bool CZipInput::ReadFile(uint64_t position, char* buffer, size_t count, size_t& got) {
    got = 0;
    if (file_.Seek(static_cast<int64_t>(position), CFileHandle::FROM_START) < 0)
        return false;
    while (got < count) {
        const int64_t n = file_.Read(buffer + got, count - got);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return true;
}

} // namespace quillory
