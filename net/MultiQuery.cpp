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

} // namespace

// One server being asked: its engine, which runs no thread of its own, and what it learned.
struct CMultiQuery::Target {
    Target(DefaultGamePorts defaults, TickSource tick) : engine(state, std::move(tick), defaults) {}

    CWatchState state;
    CServerQuery engine;
    uint32_t address = 0;
    std::vector<uint16_t> gamePorts; // where the session probes go
    std::vector<uint16_t> refused;   // those of them the host refused
    std::optional<QueryResult> result;
    bool told = false; // the outcome handler has heard of it
};

namespace {

using Target = CMultiQuery::Target;

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

namespace {

using Targets = std::vector<std::unique_ptr<Target>>;

// An engine per resolved address, its first round sent at once.
Targets StartTargets(const std::vector<String>& addresses, DefaultGamePorts defaults,
                     const TickSource& tick, bool refusalsEndTheWait, uint32_t stageDelayMs) {
    const auto resolved = ResolveAll(addresses);
    Targets targets;
    targets.reserve(resolved.size());
    for (const auto& server : resolved) {
        auto t = std::make_unique<Target>(defaults, tick);
        if (!server) {
            t->result = QueryResult::BAD_ADDRESS;
        } else if (!t->engine.Create(0, 0, 0)) {
            t->result = QueryResult::NO_SOCKET;
        } else {
            t->address = server->address;
            t->gamePorts = server->port
                               ? std::vector<uint16_t>{server->port}
                               : std::vector<uint16_t>{defaults.sockets, defaults.directPlay};
            if (refusalsEndTheWait)
                t->engine.Socket().ReportRefusals();
            t->engine.SetStagedFirstRound(stageDelayMs);
            t->engine.HandleMessage(QM_SET_SERVER, server->address, server->port);
            t->engine.HandleMessage(QM_START, 0, 0); // the first probes go out now
        }
        targets.push_back(std::move(t));
    }
    return targets;
}

} // namespace

void CMultiQuery::Tell(size_t index, Target& t) {
    if (t.told || !onOutcome_)
        return;
    t.told = true;
    onOutcome_(index, OutcomeOf(t));
}

void CMultiQuery::WaitForReplies(std::vector<std::unique_ptr<Target>>& targets,
                                 std::chrono::steady_clock::time_point deadline) {
    std::vector<size_t> open;
    std::vector<const CUdpSocket*> sockets;
    std::vector<bool> ready;
    Batch batch;
    while (!cancelled_) {
        open.clear();
        sockets.clear();
        for (size_t i = 0; i < targets.size(); ++i) {
            if (!targets[i]->result) {
                open.push_back(i);
                sockets.push_back(&targets[i]->engine.Socket());
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (open.empty() || left.count() <= 0)
            return;
        const auto wait = std::min<int64_t>(left.count(), WAIT_SLICE_MS);
        if (WaitAnyReadable(sockets, static_cast<uint32_t>(wait), ready)) {
            for (size_t k = 0; k < open.size(); ++k) {
                if (!ready[k])
                    continue;
                Target& t = *targets[open[k]];
                Drain(t, batch);
                Settle(t);
                if (t.result)
                    Tell(open[k], t);
            }
        }
        for (size_t i : open)
            if (!targets[i]->result)
                targets[i]->engine.PollCycle(); // resends when its cycle is due
    }
}

std::vector<QueryOutcome> CMultiQuery::Run(const std::vector<String>& addresses,
                                           uint32_t timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Targets targets;
    if (cancelled_)
        targets.resize(addresses.size());
    else
        targets = StartTargets(addresses, defaults_, tick_, refusalsEndTheWait_, stageDelayMs_);
    for (size_t i = 0; i < targets.size() && !cancelled_; ++i)
        if (targets[i]->result)
            Tell(i, *targets[i]); // an address that could not be asked
    WaitForReplies(targets, deadline);
    std::vector<QueryOutcome> outcomes;
    outcomes.reserve(targets.size());
    for (size_t i = 0; i < targets.size(); ++i) {
        if (!targets[i]) {
            outcomes.emplace_back();
            continue;
        }
        if (!cancelled_)
            Tell(i, *targets[i]);
        outcomes.push_back(OutcomeOf(*targets[i]));
    }
    return outcomes;
}

} // namespace quillory
