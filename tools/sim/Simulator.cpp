#include "tools/sim/Simulator.h"

#include <poll.h>

#include <chrono>

namespace quillory::sim {

namespace {

// The round moves on in whole seconds; waking ten times a second keeps it close to the clock.
constexpr int kIdleWaitMs = 100;

} // namespace

CSimulator::CSimulator(const SimOptions& options) : options_(options), game_(options) {}

CSimulator::~CSimulator() = default;

bool CSimulator::Open(std::string& error) {
    return game_.Open(error);
}

std::string CSimulator::ListeningText() const {
    return "quillory-sim: game port " + std::to_string(options_.port) + ", query port " +
           std::to_string(options_.QueryPort()) + " on " + options_.address;
}

void CSimulator::Run(int stopFd) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        game_.AdvanceTo(
            uint64_t(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()));
        pollfd fds[] = {
            {stopFd, POLLIN, 0}, {game_.GameFd(), POLLIN, 0}, {game_.QueryFd(), POLLIN, 0}};
        if (poll(fds, 3, kIdleWaitMs) < 0)
            continue;
        if (fds[0].revents != 0)
            return;
        if (fds[1].revents != 0)
            game_.HandleGamePort();
        if (fds[2].revents != 0)
            game_.HandleQueryPort();
    }
}

} // namespace quillory::sim
