#pragma once
// A lock around data shared between threads; never re-entered, never held while taking another.

#include <mutex>

namespace quillory {

class CLock final {
public:
    CLock() = default;
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }

    // So that std::lock_guard and std::unique_lock work with it.
    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::mutex mutex_;
};

} // namespace quillory
