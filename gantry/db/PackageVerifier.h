#pragma once
// Verify: re-reads the files of packages and compares their size and CRC-32 with the database,
// changing nothing in the database or on disk. Both front ends run it through Start and poll,
// showing the path in hand as the scan does (the database's Progress()).
//
// Threads: Start, Cancel, WaitFor and the readers are called on the front end's thread; the
// worker owns the database from Start until Finished() turns true (see CFileDatabase). Verify
// runs the same work on the calling thread.

#include "common/Types.h"
#include "gantry/db/FileDatabase.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace quillory {

enum class VerifyKind {
    MISSING,       // neither under its name nor under an inactive name
    CHANGED,       // present, but size or CRC differ from the database
    INACTIVE_ONLY, // the database holds it active; it is only there under an inactive name
    ACTIVE_ONLY,   // the database holds it inactive; it is only there under its active name
    UNREADABLE,    // present, but it cannot be read
};

// One file that differs from the database.
struct VerifyFinding {
    VerifyKind kind = VerifyKind::MISSING;
    String package;   // the first package verified that lists the file
    String path;      // relative to the game folder, under the name the database expects
    String foundName; // INACTIVE_ONLY and ACTIVE_ONLY: the name it has on disk
    uint32_t storedSize = 0;
    uint32_t storedCrc = 0;
    uint32_t foundSize = 0; // CHANGED only
    uint32_t foundCrc = 0;  // CHANGED only

    // "Missing", "Changed", "Inactive only", "Active only", "Unreadable".
    const char* KindText() const;
    // The same in lower camel case, for JSON.
    const char* KindKey() const;
    // What was found beside the kind: "stored 4 bytes, CRC 0012abcd; found 4 bytes, CRC
    // 89ab0000" for a changed file, "present as x.pbx" for the "only" kinds, else empty.
    String DetailText() const;
};

struct VerifyReport {
    uint32_t packages = 0;
    uint32_t files = 0;   // distinct files checked (a shared file once)
    uint32_t matched = 0; // files whose size and CRC equal the database's
    uint64_t bytes = 0;   // bytes read
    bool cancelled = false;
    std::vector<VerifyFinding> findings;

    bool AllMatch() const { return findings.empty() && !cancelled; }
    // "Verified 3 files of 2 packages: 2 match, 1 differ", with " (stopped)" when cancelled.
    String SummaryText() const;
};

class CPackageVerifier final {
public:
    explicit CPackageVerifier(CFileDatabase& database);
    // Acts as Cancel() and waits for the worker.
    ~CPackageVerifier();
    CPackageVerifier(const CPackageVerifier&) = delete;
    CPackageVerifier& operator=(const CPackageVerifier&) = delete;

    // The real packages named (ignoring case), in the order given and each once; all real
    // packages when `names` is empty. Names that match no real package go to `unknown`.
    HandleArray<CPackage> Select(const std::vector<String>& names,
                                 std::vector<String>& unknown) const;

    // Verifies on the calling thread, which must own the database.
    VerifyReport Verify(const HandleArray<CPackage>& packages);

    // Lends the database to a worker that verifies; false when one already runs or the thread
    // could not be made (the database then stays with the caller).
    bool Start(HandleArray<CPackage> packages);
    bool Finished() const { return finished_; }
    // Waits at most `timeout` for the worker; true once it has finished. Returns as soon as the
    // work ends, so a front end's progress loop never outlives it.
    bool WaitFor(std::chrono::milliseconds timeout);
    // Asks the worker to stop before the next file or block.
    void Cancel();
    // The path in hand, copied under the database's lock.
    String ProgressText() const;
    // Valid once Finished().
    const VerifyReport& Report() const { return report_; }

private:
    void CheckFile(const CPackage& package, const CFileNode& node, VerifyReport& report);
    void Join();

    CFileDatabase& database_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::atomic<bool> finished_{false};
    VerifyReport report_; // written by the worker before `finished_`
};

} // namespace quillory
