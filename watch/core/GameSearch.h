#pragma once
// The search for the game on a thread of its own: first inside the Wine prefixes of the home
// folder, then over the local fixed disks, depth first in the order the file system lists
// entries. It goes on to the end, collecting every folder that holds a game executable, so that
// the player chooses among them.

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
    // Folder levels entered below each place searched; deeper folders are passed over.
    static constexpr int MAX_DEPTH = 16;

    // Where one search looks, in this order.
    struct Places {
        std::vector<String> prefixes;    // Wine prefixes' "drive_c" folders, ending with "/"
        std::vector<String> roots;       // the fixed disks' roots, ending with "/"
        std::vector<String> mountPoints; // never entered below a root
    };

    CGameSearch() = default;
    // Stops a running search and waits for its thread.
    ~CGameSearch() override;
    CGameSearch(const CGameSearch&) = delete;
    CGameSearch& operator=(const CGameSearch&) = delete;

    // This machine's places: the Wine prefixes of $WINEPREFIX and the home folder, the local
    // fixed disks and the mount table's mount points.
    static Places ThisMachine();
    static std::vector<String> FixedDiskRoots();
    static std::vector<String> MountPoints();

    // Starts the thread over `places`. Folders that are one of the mount points, or that lie on
    // another device than the place they are found in, are not entered. False while a search is
    // still running or has not been finished.
    bool Start(Places places);
    // Asks the search to end at the next entry it visits.
    void Stop() { stopRequest_ = 1; }
    // Stops a running search and waits for its thread; what it found so far stays.
    void StopAndWait();

    bool Searching() const { return searching_ != 0; }
    // Once the search has ended: waits for the thread and gives true, once per search.
    bool Finish();
    // The folder being visited; any thread.
    String CurrentFolder();
    // The folders holding an executable, each with its separator, in the order found and each
    // real folder once; any thread, while the search runs too.
    std::vector<String> FoundFolders();

    int OnEntry(int code, const String& entryPath, const platform::WalkEntry* entry,
                void* user) override;

    // Test seam: told each entry path before it is looked at, on the search thread.
    std::function<void(const String&)> entryHook;

private:
    void Run();
    void SearchPlace(const String& place);
    bool MayEnter(const String& folder) const;
    int EnterFolder(const String& folder);
    void AddFound(const String& folder);

    std::thread thread_;
    std::atomic<uint8_t> searching_{0};
    std::atomic<uint8_t> stopRequest_{0};
    CLock lock_; // guards current_, found_ and foundReal_
    String current_;
    std::vector<String> found_;
    std::vector<String> foundReal_;
    Places places_;
    uint64_t rootDevice_ = 0;
    int depth_ = 0;
};

} // namespace quillory
