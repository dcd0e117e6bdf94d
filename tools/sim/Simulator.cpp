#include "tools/sim/Simulator.h"

#include <poll.h>

#include <algorithm>
#include <chrono>

namespace quillory::sim {

namespace {

// The round moves on in whole seconds; waking ten times a second keeps it close to the clock.
constexpr int kIdleWaitMs = 100;
// While chunks wait to be sent they go out in small batches this far apart.
constexpr int kBatchGapMs = 2;
// The stop signal, the game and query ports, the Gantry and the browser ports.
constexpr size_t kOwnFds = 5;

} // namespace

CSimulator::CSimulator(const SimOptions& options) : options_(options), game_(options) {
    if (options.GantryOn())
        gantry_ = std::make_unique<CGantryServer>(options);
    const bool hostsUpgrade = options.browser && !options.upgradeArchive.empty();
    if ((options.GantryOn() || hostsUpgrade) && options.httpPort != 0)
        host_ = std::make_unique<CPackageHost>(options);
    if (options.browser)
        browser_ = std::make_unique<CBrowserServer>(
            options, [this] { return uint8_t(std::min<size_t>(game_.PlayerCount(), 255)); });
}

CSimulator::~CSimulator() = default;

bool CSimulator::Open(std::string& error, std::vector<std::string>& warnings) {
    if (!game_.Open(error))
        return false;
    if (gantry_ && !gantry_->Open(error, warnings))
        return false;
    if (browser_ && !browser_->Open(error))
        return false;
    if (!OpenPublicSims(error))
        return false;
    return !host_ || host_->Start(error, warnings);
}

// After the browser port is taken, so that no public server can take it first.
bool CSimulator::OpenPublicSims(std::string& error) {
    if (options_.publicSims == 0 && options_.publicSilent == 0)
        return true;
    publicSims_ = std::make_unique<CPublicSims>(options_);
    if (!publicSims_->Open(error))
        return false;
    browser_->AddListed(publicSims_->Listed());
    return true;
}

std::string CSimulator::ListeningText() const {
    std::string text = "quillory-sim: game port " + std::to_string(options_.port) +
                       ", query port " + std::to_string(options_.QueryPort());
    if (gantry_)
        text += ", Gantry port " + std::to_string(options_.GantryPort());
    if (host_)
        text += ", HTTP port " + std::to_string(options_.httpPort);
    if (browser_)
        text += ", browser port " + std::to_string(options_.browserPort);
    if (publicSims_)
        text += ", " + publicSims_->ListeningText();
    return text + " on " + options_.address;
}

std::string CSimulator::ClosingText() const {
    return host_ ? "quillory-sim: " + host_->StatsText() : std::string();
}

void CSimulator::Run(int stopFd) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<pollfd> fds;
    for (;;) {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        game_.AdvanceTo(
            uint64_t(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()));
        if (publicSims_)
            publicSims_->AdvanceTo(
                uint64_t(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()));
        fds.assign({{stopFd, POLLIN, 0},
                    {game_.GameFd(), POLLIN, 0},
                    {game_.QueryFd(), POLLIN, 0},
                    {gantry_ ? gantry_->Fd() : -1, POLLIN, 0},
                    {browser_ ? browser_->Fd() : -1, POLLIN, 0}});
        if (publicSims_)
            publicSims_->AddPollFds(fds);
        const bool sending = gantry_ && gantry_->HasPendingSends();
        if (poll(fds.data(), fds.size(), sending ? kBatchGapMs : kIdleWaitMs) < 0)
            continue;
        if (fds[0].revents != 0)
            return;
        if (fds[1].revents != 0)
            game_.HandleGamePort();
        if (fds[2].revents != 0)
            game_.HandleQueryPort();
        if (fds[3].revents != 0)
            gantry_->HandleRequests();
        if (fds[4].revents != 0)
            browser_->HandleRequests();
        if (publicSims_)
            publicSims_->Handle(fds.data() + kOwnFds);
        if (gantry_ && gantry_->HasPendingSends())
            gantry_->SendPending();
    }
}

} // namespace quillory::sim
