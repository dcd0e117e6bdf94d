#pragma once
// The servers table's rows: every saved server asked at once, one net/CMultiQuery run every N
// seconds, on one thread of its own.

#include "common/Types.h"
#include "net/MultiQuery.h"
#include "net/ServerStatus.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillory {

struct ServerRow {
    String address; // as given to SetAddresses
    QueryResult result = QueryResult::NO_REPLY;
    ServerStatus status; // what arrived, when REPLIED; the ping is status.ping
};

class CServersRefresh final {
public:
    // Called with one row per address, in the order given, after every round: on the refresh
    // thread, never after Stop has returned. The window marshals the rows to its own thread.
    using Callback = std::function<void(std::vector<ServerRow>)>;

    // How long a round waits for silent servers: the first status query and one resend of
    // the probes fit in it.
    static constexpr uint32_t DEFAULT_ROUND_TIMEOUT_MS = 3000;

    explicit CServersRefresh(Callback callback, DefaultGamePorts defaults = {});
    // Stops the thread.
    ~CServersRefresh();
    CServersRefresh(const CServersRefresh&) = delete;
    CServersRefresh& operator=(const CServersRefresh&) = delete;

    // Starts the thread; its first round begins at once. False when it already runs or was
    // stopped.
    bool Start();
    // The servers of the next rounds. Any thread. RefreshNow asks them without waiting.
    void SetAddresses(std::vector<String> addresses);
    // Seconds between the starts of two rounds, clamped to 5 s .. 1 h. Any thread.
    void SetInterval(int seconds);
    // Begins a round now, or right after the one under way. Any thread.
    void RefreshNow();
    // Ends the thread: a round under way is cancelled within a tenth of a second and is not
    // reported. Any thread; from the callback it only asks the thread to end.
    void Stop();

    // For tests: a shorter wait for silent servers.
    void SetRoundTimeout(uint32_t milliseconds);
    int IntervalSeconds() const;

private:
    void Run();
    // Waits until the next round is due; false when the thread is to end.
    bool WaitForRound(std::chrono::steady_clock::time_point due);

    Callback callback_;
    CMultiQuery query_;        // asked on the refresh thread; cancelled from any
    mutable std::mutex mutex_; // guards what follows
    std::condition_variable wake_;
    std::vector<String> addresses_;
    int intervalSeconds_;
    uint32_t roundTimeoutMs_ = DEFAULT_ROUND_TIMEOUT_MS;
    bool refreshNow_ = false;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace quillory
