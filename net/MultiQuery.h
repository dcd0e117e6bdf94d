#pragma once
// Asks several servers at once, each as `query` asks one: an engine per server, all driven
// from the calling thread by one wait on their sockets, so fifty servers cost one thread and
// the run ends as soon as the last of them has answered.

#include "common/Tick.h"
#include "common/Types.h"
#include "net/ServerQuery.h"
#include "net/ServerStatus.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace quillory {

enum class QueryResult {
    REPLIED,          // an enumeration or a status reply arrived
    NO_REPLY,         // nothing arrived in time
    PORT_UNREACHABLE, // the host refused the game port(s): nothing will answer there
    BAD_ADDRESS,      // the host did not resolve, or the port is out of range
    NO_SOCKET,        // no UDP socket could be had to ask it
};

// How every view shows a server that did not answer.
constexpr const char* NO_REPLY_TEXT = "No reply";

struct QueryOutcome {
    QueryResult result = QueryResult::NO_REPLY;
    ServerStatus status; // what arrived, when REPLIED
};

class CMultiQuery final {
public:
    explicit CMultiQuery(DefaultGamePorts defaults = {}, TickSource tick = TickCount);
    CMultiQuery(const CMultiQuery&) = delete;
    CMultiQuery& operator=(const CMultiQuery&) = delete;

    // Whether a refused game port ends the wait for that server (on by default). Off, a
    // refused port is waited for until the timeout like a silent one.
    void SetRefusalsEndTheWait(bool on) { refusalsEndTheWait_ = on; }

    // How long a server of known port may leave the Sockets probe and the status query to
    // port+1 unanswered before it is sent the DirectPlay probe and the status query to port+2.
    void SetStageDelay(uint32_t ms) { stageDelayMs_ = ms; }

    // Told each server's outcome as soon as it is known, on the thread that runs `Run`: `index`
    // is its place in the addresses given. Every address is told once, the silent ones when the
    // time is up; after `Cancel` the ones still open are not told.
    using OutcomeHandler = std::function<void(size_t index, const QueryOutcome& outcome)>;
    void SetOutcomeHandler(OutcomeHandler handler) { onOutcome_ = std::move(handler); }

    // Ends a run in progress within one wait slice (100 ms), from any thread; a run started
    // later returns at once. What has not answered yet comes back as NO_REPLY.
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }

    // Resolves the addresses (host names side by side) and polls every server until it has
    // sent both an enumeration and a complete status reply, or refused its game port, or
    // `timeoutMs` passed. One outcome per address, in the order given.
    std::vector<QueryOutcome> Run(const std::vector<String>& addresses, uint32_t timeoutMs);

    struct Target; // one server being asked

private:
    void Tell(size_t index, Target& t);
    void WaitForReplies(std::vector<std::unique_ptr<Target>>& targets,
                        std::chrono::steady_clock::time_point deadline);

    DefaultGamePorts defaults_;
    TickSource tick_;
    bool refusalsEndTheWait_ = true;
    uint32_t stageDelayMs_ = 200;
    OutcomeHandler onOutcome_;
    std::atomic<bool> cancelled_{false};
};

} // namespace quillory
