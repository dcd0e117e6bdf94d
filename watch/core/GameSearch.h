#pragma once
// The search for the game over the local fixed disks, on a thread of its own: depth first, in the
// order the file system lists entries, stopping at the first game executable.

#include "common/Types.h"
#include "gantry/db/DirectoryWalker.h"
#include "platform/Lock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace quillory {

class CGameSearch final : public CDirectoryWalker {
public:
    CGameSearch() = default;
    // Stops a running search and waits for its thread.
    ~CGameSearch() override;
    CGameSearch(const CGameSearch&) = delete;
    CGameSearch& operator=(const CGameSearch&) = delete;

    // The roots of the local fixed disks and the mount points never to enter below them, from
    // this process's mount table.
    static std::vector<String> FixedDiskRoots();
    static std::vector<String> MountPoints();

    // Starts the thread over `roots` (each ending with a separator), in order; folders whose path
    // is one of `mountPoints`, or that lie on another device than their root, are not entered.
    // False while a search is still running or has not been finished.
    bool Start(std::vector<String> roots, std::vector<String> mountPoints);
    // Asks the search to end at the next entry it visits.
    void Stop() { stopRequest_ = 1; }

    bool Searching() const { return searching_ != 0; }
    // Once the search has ended: waits for the thread and gives true, once per search.
    bool Finish();
    // The folder being visited; any thread.
    String CurrentFolder();
    // The folder holding the executable, with its separator; empty when none was found. Read it
    // after Finish.
    const String& FoundFolder() const { return found_; }

    int OnEntry(int code, const String& entryPath, const platform::WalkEntry* entry,
                void* user) override;

    // Test seam: told each entry path before it is looked at, on the search thread.
    std::function<void(const String&)> entryHook;

private:
    void Run();
    bool MayEnter(const String& folder) const;

    std::thread thread_;
    std::atomic<uint8_t> searching_{0};
    std::atomic<uint8_t> stopRequest_{0};
    CLock lock_; // guards current_
    String current_;
    String found_;
    std::vector<String> roots_;
    std::vector<String> mountPoints_;
    uint64_t rootDevice_ = 0;
};

} // namespace quillory
