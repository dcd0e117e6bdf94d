#include "watch/core/ServersRefresh.h"

#include "watch/core/UserConfig.h"

namespace quillory {

using Clock = std::chrono::steady_clock;

CServersRefresh::CServersRefresh(Callback callback, DefaultGamePorts defaults)
    : callback_(std::move(callback)), query_(defaults), intervalSeconds_(DEFAULT_REFRESH_SECONDS) {}

CServersRefresh::~CServersRefresh() {
    Stop();
}

bool CServersRefresh::Start() {
    std::lock_guard guard(mutex_);
    if (thread_.joinable() || stop_)
        return false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void CServersRefresh::SetAddresses(std::vector<String> addresses) {
    std::lock_guard guard(mutex_);
    addresses_ = std::move(addresses);
}

void CServersRefresh::SetInterval(int seconds) {
    {
        std::lock_guard guard(mutex_);
        intervalSeconds_ = ClampRefreshSeconds(seconds);
    }
    wake_.notify_all(); // a shorter interval may make the next round due already
}

void CServersRefresh::RefreshNow() {
    {
        std::lock_guard guard(mutex_);
        refreshNow_ = true;
    }
    wake_.notify_all();
}

void CServersRefresh::Stop() {
    {
        std::lock_guard guard(mutex_);
        stop_ = true;
    }
    // A silent server would otherwise hold the round, and the closing window, for seconds.
    query_.Cancel();
    wake_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void CServersRefresh::SetRoundTimeout(uint32_t milliseconds) {
    std::lock_guard guard(mutex_);
    roundTimeoutMs_ = milliseconds;
}

int CServersRefresh::IntervalSeconds() const {
    std::lock_guard guard(mutex_);
    return intervalSeconds_;
}

bool CServersRefresh::WaitForRound(Clock::time_point roundStart) {
    std::unique_lock lock(mutex_);
    // The interval is read on every wake, so a change applies to the wait under way.
    auto due = [&] { return roundStart + std::chrono::seconds(intervalSeconds_); };
    while (!stop_ && !refreshNow_ && Clock::now() < due())
        wake_.wait_until(lock, due());
    refreshNow_ = false;
    return !stop_;
}

void CServersRefresh::Run() {
    // The first round is due at once.
    auto roundStart = Clock::now() - std::chrono::hours(2);
    while (WaitForRound(roundStart)) {
        roundStart = Clock::now();
        std::vector<String> addresses;
        uint32_t timeoutMs = 0;
        {
            std::lock_guard guard(mutex_);
            addresses = addresses_;
            timeoutMs = roundTimeoutMs_;
        }
        const std::vector<QueryOutcome> outcomes = query_.Run(addresses, timeoutMs);
        std::vector<ServerRow> rows;
        rows.reserve(outcomes.size());
        for (size_t i = 0; i < outcomes.size() && i < addresses.size(); ++i)
            rows.push_back({addresses[i], outcomes[i].result, outcomes[i].status});
        {
            std::lock_guard guard(mutex_);
            if (stop_)
                return;
        }
        if (callback_)
            callback_(std::move(rows));
    }
}

} // namespace quillory
