#pragma once
// Who may read and change the Gantry database's tree and package lists right now.
//
// The database has one owner at a time: a worker (the start-up loader while it loads and scans,
// the download worker while it installs) or, when no worker holds it, the window's thread. A
// front end starting a worker calls Lend() on its own thread first, so that Busy() is true before
// the worker runs; the worker calls Take() on its thread when it starts and GiveBack() when it is
// done. While Busy(), the window reads neither the tree nor the package lists. The database's
// accessors and entry points check the owning thread (QUILLORY_ASSERT_DB_OWNER).

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace quillory {

// A broken ownership rule is a fault of the program: say where and stop, in every build that
// checks (an assert would vanish with NDEBUG).
[[noreturn]] inline void DatabaseOwnerFault(const char* reason, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: %s\n", file, line, reason);
    std::abort();
}

class CDatabaseOwner final {
public:
    CDatabaseOwner() = default;
    CDatabaseOwner(const CDatabaseOwner&) = delete;
    CDatabaseOwner& operator=(const CDatabaseOwner&) = delete;

    // On the thread that starts a worker, before starting it: the database is busy from now on.
    void Lend() {
#if defined(QUILLORY_DB_OWNER_CHECK) || !defined(NDEBUG)
        if (busy_)
            DatabaseOwnerFault("the database is lent to one worker at a time", __FILE__, __LINE__);
#endif
        busy_ = true;
    }
    // On the worker's thread, before it touches the database.
    void Take() {
        busy_ = true;
        owner_ = std::this_thread::get_id();
    }
    // On the worker's thread when it is done (or on the lending thread when the worker never
    // started): the window's thread owns the database again.
    void GiveBack() {
        owner_ = std::thread::id();
        busy_ = false;
    }

    // True while a worker owns the database; the window's tick reads it without a lock.
    bool Busy() const {
        return busy_;
    }

    // Whether the calling thread may touch the database now.
    bool CallerMayTouch() const {
        return MayTouch(owner_, std::this_thread::get_id());
    }

    // The rule itself: with no worker owning (an empty id) the window's thread may touch the
    // database; otherwise only the owning worker may.
    static bool MayTouch(std::thread::id owner, std::thread::id caller) {
        return owner == std::thread::id() || owner == caller;
    }

private:
    std::atomic<bool> busy_{false};
    std::atomic<std::thread::id> owner_{};
};

} // namespace quillory

// Checks that the calling thread owns `database`: in debug builds, and in any build made with
// QUILLORY_DB_OWNER_CHECK (the default; the release package turns it off).
#if defined(QUILLORY_DB_OWNER_CHECK) || !defined(NDEBUG)
#define QUILLORY_ASSERT_DB_OWNER(database)                                                         \
    ((database).Owner().CallerMayTouch()                                                           \
         ? (void)0                                                                                 \
         : ::quillory::DatabaseOwnerFault("the database is owned by another thread", __FILE__,     \
                                          __LINE__))
#else
#define QUILLORY_ASSERT_DB_OWNER(database) ((void)0)
#endif
