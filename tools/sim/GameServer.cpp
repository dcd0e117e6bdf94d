#include "tools/sim/GameServer.h"

#include "tools/sim/StatusReplies.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace quillory::sim {

namespace {

constexpr size_t kReceiveSize = 8192;
// Keeps the shuffle's random numbers apart from the round's, so queries never change a round.
constexpr uint32_t kShuffleSalt = 0x5EED5A17u;

RoundSettings SettingsFrom(const SimOptions& o) {
    return RoundSettings{o.seed, o.roundSeconds, o.phaseSeconds, o.players, o.maxPlayers};
}

// A shuffled order of 0..n-1 that is never 0..n-1 itself when n > 1.
std::vector<size_t> ShuffledOrder(size_t n, std::mt19937& rng) {
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), rng);
    if (n > 1 && std::is_sorted(order.begin(), order.end()))
        std::reverse(order.begin(), order.end());
    return order;
}

} // namespace

CGameServer::CGameServer(const SimOptions& options)
    : options_(options),
      round_(SettingsFrom(options), PlayerSchedule{options.playerChanges, options.freeSlotAfter}),
      shuffleRng_(options.seed ^ kShuffleSalt) {}

bool CGameServer::Open(std::string& error) {
    std::string reason;
    if (!game_.Bind(options_.address, options_.port, reason)) {
        error = "cannot listen on game port " + std::to_string(options_.port) + ": " + reason;
        return false;
    }
    if (!query_.Bind(options_.address, options_.QueryPort(), reason)) {
        error =
            "cannot listen on query port " + std::to_string(options_.QueryPort()) + ": " + reason;
        return false;
    }
    return true;
}

void CGameServer::HandleGamePort() {
    uint8_t buffer[kReceiveSize];
    sockaddr_in from{};
    for (ptrdiff_t size; (size = game_.Receive(buffer, sizeof(buffer), from)) >= 0;) {
        Bytes reply;
        if (options_.impl == SimImpl::Sockets && IsSocketsProbe(buffer, size_t(size)))
            reply = BuildSocketsReply(options_, round_);
        else if (options_.impl == SimImpl::DirectPlay && IsDirectPlayProbe(buffer, size_t(size)))
            reply = BuildDirectPlayReply(options_, round_);
        else
            continue;
        game_.SendTo(reply.data(), reply.size(), from);
        if (options_.verbose)
            std::fprintf(stderr, "quillory-sim: probe from %s answered, state %d\n",
                         EndpointText(from).c_str(), round_.State());
    }
}

void CGameServer::HandleQueryPort() {
    uint8_t buffer[kReceiveSize];
    sockaddr_in from{};
    for (ptrdiff_t size; (size = query_.Receive(buffer, sizeof(buffer), from)) >= 0;)
        if (IsStatusQuery(buffer, size_t(size)))
            SendStatusReply(from);
}

void CGameServer::SendStatusReply(const sockaddr_in& to) {
    const uint32_t queryId = nextQueryId_++;
    const std::vector<std::string> datagrams =
        SplitStatusReply(StatusPairs(options_, round_), queryId, options_.fragments);
    std::vector<size_t> order(datagrams.size());
    std::iota(order.begin(), order.end(), 0);
    if (options_.shuffle)
        order = ShuffledOrder(datagrams.size(), shuffleRng_);
    for (size_t n : order)
        query_.SendTo(datagrams[n].data(), datagrams[n].size(), to);
    if (options_.verbose)
        std::fprintf(stderr, "quillory-sim: status query %u from %s answered in %zu datagrams\n",
                     queryId, EndpointText(to).c_str(), datagrams.size());
}

} // namespace quillory::sim
