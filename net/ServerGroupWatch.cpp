#include "net/ServerGroupWatch.h"

#include "net/ServerAddress.h"
#include "platform/UdpSocket.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace quillory {

namespace {
// One wait on the sockets at most this long, so the engines' 2 s resends stay on time.
constexpr uint32_t WAIT_SLICE_MS = 100;
constexpr size_t BATCH = 8;
} // namespace

struct CServerGroupWatch::Server {
    Server(DefaultGamePorts defaults, TickSource tick) : engine(state, std::move(tick), defaults) {}
    CWatchState state;
    CServerQuery engine;
};

CServerGroupWatch::CServerGroupWatch(DefaultGamePorts defaults, TickSource tick)
    : defaults_(defaults), tick_(std::move(tick)),
      buffer_(std::make_unique_for_overwrite<uint8_t[]>(BATCH * CServerQuery::RECEIVE_BUFFER)) {}

CServerGroupWatch::~CServerGroupWatch() = default;

CServerGroupWatch::OpenOutcome CServerGroupWatch::Open(const std::vector<String>& addresses) {
    servers_.clear();
    for (size_t i = 0; i < addresses.size(); ++i) {
        const auto resolved = ResolveServerAddress(addresses[i]);
        if (!resolved)
            return {OpenResult::BAD_ADDRESS, i};
        auto server = std::make_unique<Server>(defaults_, tick_);
        if (!server->engine.Create(0, 0, 0))
            return {OpenResult::NO_SOCKET, i};
        server->engine.HandleMessage(QM_SET_SERVER, resolved->address, resolved->port);
        server->engine.HandleMessage(QM_START, 0, 0); // the first probes go out now
        servers_.push_back(std::move(server));
    }
    return {};
}

void CServerGroupWatch::Pump(uint32_t milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    if (servers_.empty()) {
        std::this_thread::sleep_until(end); // nothing to wait on
        return;
    }
    std::vector<const CUdpSocket*> sockets;
    for (const auto& server : servers_)
        sockets.push_back(&server->engine.Socket());
    std::vector<bool> ready;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0)
            break;
        const auto wait = static_cast<uint32_t>(std::min<int64_t>(left.count(), WAIT_SLICE_MS));
        if (WaitAnyReadable(sockets, wait, ready))
            for (size_t i = 0; i < servers_.size(); ++i)
                if (ready[i])
                    Drain(*servers_[i]);
        for (auto& server : servers_)
            server->engine.PollCycle(); // resends when its cycle is due
    }
}

WatchSnapshot CServerGroupWatch::Snapshot(size_t index) const {
    return servers_.at(index)->state.Snapshot();
}

void CServerGroupWatch::Drain(Server& server) {
    CUdpSocket::Datagram slots[BATCH];
    for (size_t i = 0; i < BATCH; ++i) {
        slots[i].buffer = buffer_.get() + i * CServerQuery::RECEIVE_BUFFER;
        slots[i].size = CServerQuery::RECEIVE_BUFFER;
    }
    size_t got;
    do {
        got = server.engine.Socket().ReceiveMany(slots, BATCH);
        for (size_t i = 0; i < got; ++i)
            if (slots[i].length >= 0)
                server.engine.HandleDatagram(static_cast<const uint8_t*>(slots[i].buffer),
                                             static_cast<size_t>(slots[i].length), slots[i].address,
                                             slots[i].port);
    } while (got == BATCH); // a short batch emptied the queue
}

} // namespace quillory
