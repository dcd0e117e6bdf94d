#pragma once
// Asks several servers at once, each as `query` asks one: an engine per server, all driven
// from the calling thread by one wait on their sockets, so fifty servers cost one thread and
// the run ends as soon as the last of them has answered.

#include "common/Tick.h"
#include "common/Types.h"
#include "net/ServerQuery.h"
#include "net/ServerStatus.h"

#include <cstdint>
#include <vector>

namespace quillory {

enum class QueryResult {
    REPLIED,          // an enumeration or a status reply arrived
    NO_REPLY,         // nothing arrived in time
    PORT_UNREACHABLE, // the host refused the game port(s): nothing will answer there
    BAD_ADDRESS,      // the host did not resolve, or the port is out of range
    NO_SOCKET,        // no UDP socket could be had to ask it
};

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

    // Resolves the addresses (host names side by side) and polls every server until it has
    // sent both an enumeration and a complete status reply, or refused its game port, or
    // `timeoutMs` passed. One outcome per address, in the order given.
    std::vector<QueryOutcome> Run(const std::vector<String>& addresses, uint32_t timeoutMs);

private:
    DefaultGamePorts defaults_;
    TickSource tick_;
    bool refusalsEndTheWait_ = true;
};

} // namespace quillory
