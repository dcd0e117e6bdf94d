#include "tools/sim/PublicSims.h"

#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <functional>

namespace quillory::sim {

namespace {

constexpr size_t kReceiveSize = 2048;
// Ports tried before giving up on one server: with --public-base a port in use is skipped,
// without it the system's free port may lose its neighbour to another program.
constexpr int kPortAttempts = 200;

constexpr std::array kMaps = {"Vale", "Harbour", "Ridge", "Marsh", "Quarry", "Cinder"};
constexpr std::array kMissions = {"Harbour Assault", "Ridge Patrol", "Night Convoy",
                                  "Marsh Crossing",  "Quarry Hold",  "Cinder Run"};

// A port the system finds free on `address`, or 0.
uint16_t FreePort(const std::string& address) {
    CSimSocket probe;
    std::string error;
    if (!probe.Bind(address, 0, error))
        return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(probe.Fd(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

// Two descriptors per server soon pass the usual soft limit of 1024; the hard one is higher.
void RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void Drop(CSimSocket& socket) {
    uint8_t buffer[kReceiveSize];
    sockaddr_in from{};
    while (socket.Receive(buffer, sizeof buffer, from) >= 0) {
    }
}

} // namespace

SimOptions PublicSimOptions(const SimOptions& base, size_t index) {
    SimOptions o = base;
    const size_t n = index + 1;
    o.seed = base.seed + uint32_t(n) * 7919u;
    o.name = "Public Server " + std::to_string(n);
    o.map = kMaps[index % kMaps.size()];
    o.mission = kMissions[(index / kMaps.size()) % kMissions.size()];
    o.maxPlayers = 8 + int(index % 3) * 4;
    // Every fifth server empty, every seventh full, the rest in between.
    o.players = index % 5 == 4 ? 0 : index % 7 == 6 ? o.maxPlayers : int(n % size_t(o.maxPlayers));
    o.locked = index % 6 == 5;
    // Every tenth runs the base game.
    o.version = o.requiredVersion = index % 10 == 9 ? 150 : 196;
    o.gameType = o.version >= 175 ? "ironvalu" : "ironval";
    o.queryPort = 0;
    o.shuffle = false;
    o.verbose = false;
    o.gantryDir.clear();
    return o;
}

CPublicSims::CPublicSims(const SimOptions& options)
    : options_(options), nextBase_(options.publicBase) {}

uint16_t CPublicSims::NextPort() {
    if (options_.publicBase == 0)
        return FreePort(options_.address);
    if (nextBase_ + 1 > 65535)
        return 0;
    const uint16_t port = uint16_t(nextBase_);
    nextBase_ += 2;
    return port;
}

bool CPublicSims::Open(std::string& error) {
    RaiseOpenFileLimit();
    for (size_t i = 0; i < size_t(options_.publicSims); ++i)
        if (!OpenLive(i, error))
            return false;
    for (size_t i = 0; i < size_t(options_.publicSilent); ++i)
        if (!OpenSilent(i, error))
            return false;
    return true;
}

bool CPublicSims::OpenLive(size_t index, std::string& error) {
    auto options = std::make_unique<SimOptions>(PublicSimOptions(options_, index));
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        const uint16_t port = NextPort();
        if (port == 0 || port == 65535)
            break;
        options->port = port;
        auto server = std::make_unique<CGameServer>(*options);
        std::string reason;
        if (server->Open(reason)) {
            liveOptions_.push_back(std::move(options));
            live_.push_back(std::move(server));
            return true;
        }
        error = reason;
    }
    error = "cannot open public server " + std::to_string(index + 1) + ": " + error;
    return false;
}

bool CPublicSims::OpenSilent(size_t index, std::string& error) {
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        const uint16_t port = NextPort();
        if (port == 0 || port == 65535)
            break;
        auto silent = std::make_unique<Silent>();
        silent->name = "Silent Server " + std::to_string(index + 1);
        std::string reason;
        if (silent->game.Bind(options_.address, port, reason) &&
            silent->query.Bind(options_.address, uint16_t(port + 1), reason)) {
            silent_.push_back(std::move(silent));
            return true;
        }
        error = reason;
    }
    error = "cannot open silent server " + std::to_string(index + 1) + ": " + error;
    return false;
}

std::vector<SimPublicServer> CPublicSims::Listed() const {
    std::vector<SimPublicServer> listed;
    uint32_t address = 0;
    inet_pton(AF_INET, options_.address.c_str(), &address);
    for (size_t i = 0; i < live_.size(); ++i) {
        const SimOptions& o = *liveOptions_[i];
        listed.push_back({o.name, address, o.port,
                          uint8_t(std::min<size_t>(live_[i]->PlayerCount(), 255)),
                          uint8_t(o.version >= 175 ? 1 : 0)});
    }
    for (const auto& s : silent_)
        listed.push_back({s->name, address, s->game.Port(), 0, 1});
    return listed;
}

std::string CPublicSims::ListeningText() const {
    return std::to_string(live_.size() + silent_.size()) + " public servers (" +
           std::to_string(silent_.size()) + " silent)";
}

void CPublicSims::AdvanceTo(uint64_t elapsedSeconds) {
    for (auto& server : live_)
        server->AdvanceTo(elapsedSeconds);
}

void CPublicSims::AddPollFds(std::vector<pollfd>& fds) const {
    for (const auto& server : live_) {
        fds.push_back({server->GameFd(), POLLIN, 0});
        fds.push_back({server->QueryFd(), POLLIN, 0});
    }
    for (const auto& s : silent_) {
        fds.push_back({s->game.Fd(), POLLIN, 0});
        fds.push_back({s->query.Fd(), POLLIN, 0});
    }
}

void CPublicSims::Handle(const pollfd* fds) {
    for (auto& server : live_) {
        if (fds[0].revents != 0)
            server->HandleGamePort();
        if (fds[1].revents != 0)
            server->HandleQueryPort();
        fds += 2;
    }
    for (auto& s : silent_) {
        if (fds[0].revents != 0)
            Drop(s->game);
        if (fds[1].revents != 0)
            Drop(s->query);
        fds += 2;
    }
}

} // namespace quillory::sim
