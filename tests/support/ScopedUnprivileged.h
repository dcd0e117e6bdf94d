#pragma once
// Makes file permissions apply to the calling thread even when the tests run as root, so a
// test can meet an unreadable folder or a read-only one. Restores the thread on destruction.

#include <cstdint>

namespace quillory::test {

class ScopedUnprivileged final {
public:
    ScopedUnprivileged();
    ~ScopedUnprivileged();
    ScopedUnprivileged(const ScopedUnprivileged&) = delete;
    ScopedUnprivileged& operator=(const ScopedUnprivileged&) = delete;

    // True when permissions now apply to this thread (always so for an ordinary user).
    bool Active() const { return active_; }

private:
    bool active_ = false;
    bool dropped_ = false;
    uint32_t savedEffective_[2] = {0, 0};
};

} // namespace quillory::test
