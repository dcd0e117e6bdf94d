#pragma once
// Asks the servers of the browser's list on a thread of its own, so that the window never
// waits on the network: the window hands over the addresses and takes the answers on its
// timer, each as soon as it came in.

#include "common/Types.h"
#include "net/MultiQuery.h"
#include "net/ServerQuery.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quillory {

class CLiveBrowse final {
public:
    struct Answer {
        String address; // as handed to Ask
        QueryOutcome outcome;
    };

    explicit CLiveBrowse(DefaultGamePorts ports = {});
    // Cancels what is being asked and waits for it: at most one wait slice of the query.
    ~CLiveBrowse();
    CLiveBrowse(const CLiveBrowse&) = delete;
    CLiveBrowse& operator=(const CLiveBrowse&) = delete;

    // Starts asking `addresses` beside what is being asked already, for at most `timeoutMs`.
    void Ask(std::vector<String> addresses, uint32_t timeoutMs);
    // Cancels every run and forgets the answers not taken yet; answers of those runs that
    // still come are dropped.
    void CancelAll();
    // Moves the answers that came in since the last call to the end of `into`.
    void Take(std::vector<Answer>& into);
    // Whether a run is still asking.
    bool Busy() const;

private:
    struct Run {
        CMultiQuery query;
        std::thread thread;
        std::atomic<bool> done{false};
        explicit Run(DefaultGamePorts ports) : query(ports) {}
    };
    void JoinFinished();

    DefaultGamePorts ports_;
    std::vector<std::unique_ptr<Run>> runs_; // touched on the owner's thread only
    mutable std::mutex lock_;                // guards what follows
    std::vector<Answer> answers_;
    uint64_t generation_ = 0; // answers of older generations are dropped
};

} // namespace quillory
