#include "net/MultiQuery.h"

#include "net/ServerAddress.h"
#include "net/WatchState.h"
#include "platform/UdpSocket.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

namespace quillory {

namespace {

using Clock = std::chrono::steady_clock;

// How long one wait on the sockets may last, so that the engines' 2 s resends stay on time.
constexpr uint32_t WAIT_SLICE_MS = 100;

// One server being asked: its engine, which runs no thread of its own, and what it learned.
struct Target {
    Target(DefaultGamePorts defaults, TickSource tick) : engine(state, std::move(tick), defaults) {}

    CWatchState state;
    CServerQuery engine;
    uint32_t address = 0;
    std::vector<uint16_t> gamePorts; // where the session probes go
    std::vector<uint16_t> refused;   // those of them the host refused
    std::optional<QueryResult> result;
};

bool IsDottedText(const String& host) {
    return !host.empty() && host.find_first_not_of("0123456789.") == String::npos;
}

// Host names are looked up side by side, so one slow name server holds up no other address.
// Dotted addresses (and a lone address) are read in place: a thread or a shared future each
// would cost more than the reading.
std::vector<std::optional<ResolvedServer>> ResolveAll(const std::vector<String>& addresses) {
    std::vector<std::future<std::optional<ResolvedServer>>> lookups(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i) {
        const String& text = addresses[i];
        if (addresses.size() > 1 && !IsDottedText(SplitServerAddress(text).host))
            lookups[i] =
                std::async(std::launch::async, [text] { return ResolveServerAddress(text); });
    }
    std::vector<std::optional<ResolvedServer>> resolved(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i)
        resolved[i] = lookups[i].valid() ? lookups[i].get() : ResolveServerAddress(addresses[i]);
    return resolved;
}

// Datagrams read from a socket in one call: a server answers a round with four or so.
constexpr size_t BATCH = 8;

// Buffers for one batch, shared by every target of a run. Left uncleared: only the pages that
// datagrams land in are ever touched.
struct Batch {
    std::unique_ptr<uint8_t[]> bytes =
        std::make_unique_for_overwrite<uint8_t[]>(BATCH * CServerQuery::RECEIVE_BUFFER);
    CUdpSocket::Datagram slots[BATCH];
    Batch() {
        for (size_t i = 0; i < BATCH; ++i) {
            slots[i].buffer = bytes.get() + i * CServerQuery::RECEIVE_BUFFER;
            slots[i].size = CServerQuery::RECEIVE_BUFFER;
        }
    }
};

// Reads what waits on the target's socket: refusals first (they hold back the datagrams
// behind them), then every datagram, each handed to the engine in the order it came.
void Drain(Target& t, Batch& batch) {
    CUdpSocket& socket = t.engine.Socket();
    uint32_t address = 0;
    uint16_t port = 0;
    while (socket.TakeRefusal(address, port)) {
        const bool probed =
            std::find(t.gamePorts.begin(), t.gamePorts.end(), port) != t.gamePorts.end();
        if (address == t.address && probed &&
            std::find(t.refused.begin(), t.refused.end(), port) == t.refused.end())
            t.refused.push_back(port);
    }
    size_t got;
    do {
        got = socket.ReceiveMany(batch.slots, BATCH);
        for (size_t i = 0; i < got; ++i) {
            const CUdpSocket::Datagram& d = batch.slots[i];
            if (d.length >= 0)
                t.engine.HandleDatagram(static_cast<const uint8_t*>(d.buffer),
                                        static_cast<size_t>(d.length), d.address, d.port);
        }
    } while (got == BATCH); // a short batch emptied the queue
}

// Settles the target when it has all it waits for, or when nothing can answer any more.
void Settle(Target& t) {
    std::lock_guard guard(t.state.StatusLock());
    const bool any = t.state.enumerationReplies > 0 || t.state.statusReplies > 0;
    if (t.state.enumerationReplies > 0 && t.state.statusReplies > 0)
        t.result = QueryResult::REPLIED;
    else if (!any && t.refused.size() == t.gamePorts.size())
        t.result = QueryResult::PORT_UNREACHABLE;
}

QueryOutcome OutcomeOf(Target& t) {
    QueryOutcome outcome;
    const WatchSnapshot seen = t.state.Snapshot();
    if (t.result)
        outcome.result = *t.result;
    else if (seen.enumerationReplies > 0 || seen.statusReplies > 0)
        outcome.result = QueryResult::REPLIED;
    outcome.status = seen.status;
    return outcome;
}

} // namespace

CMultiQuery::CMultiQuery(DefaultGamePorts defaults, TickSource tick)
    : defaults_(defaults), tick_(std::move(tick)) {}

std::vector<QueryOutcome> CMultiQuery::Run(const std::vector<String>& addresses,
                                           uint32_t timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto resolved = ResolveAll(addresses);
    std::vector<std::unique_ptr<Target>> targets;
    for (const auto& server : resolved) {
        auto t = std::make_unique<Target>(defaults_, tick_);
        if (!server) {
            t->result = QueryResult::BAD_ADDRESS;
        } else if (!t->engine.Create(0, 0, 0)) {
            t->result = QueryResult::NO_SOCKET;
        } else {
            t->address = server->address;
            t->gamePorts = server->port
                               ? std::vector<uint16_t>{server->port}
                               : std::vector<uint16_t>{defaults_.sockets, defaults_.directPlay};
            if (refusalsEndTheWait_)
                t->engine.Socket().ReportRefusals();
            t->engine.HandleMessage(QM_SET_SERVER, server->address, server->port);
            t->engine.HandleMessage(QM_START, 0, 0); // the first probes go out now
        }
        targets.push_back(std::move(t));
    }
    std::vector<Target*> open;
    std::vector<const CUdpSocket*> sockets;
    std::vector<bool> ready;
    Batch batch;
    for (;;) {
        open.clear();
        sockets.clear();
        for (auto& t : targets) {
            if (!t->result) {
                open.push_back(t.get());
                sockets.push_back(&t->engine.Socket());
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (open.empty() || left.count() <= 0)
            break;
        const auto wait = std::min<int64_t>(left.count(), WAIT_SLICE_MS);
        if (WaitAnyReadable(sockets, static_cast<uint32_t>(wait), ready)) {
            for (size_t i = 0; i < open.size(); ++i) {
                if (ready[i]) {
                    Drain(*open[i], batch);
                    Settle(*open[i]);
                }
            }
        }
        for (Target* t : open)
            if (!t->result)
                t->engine.PollCycle(); // resends when its cycle is due
    }
    std::vector<QueryOutcome> outcomes;
    for (auto& t : targets)
        outcomes.push_back(OutcomeOf(*t));
    return outcomes;
}

} // namespace quillory
