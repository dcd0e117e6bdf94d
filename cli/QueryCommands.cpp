// quillory-cli query and watch: one look at a server, or a running account of its game states.
#include "cli/Commands.h"

#include "net/ServerAddress.h"
#include "net/ServerQuery.h"
#include "net/ServerWatch.h"
#include "net/StatusReport.h"
#include "net/WatchRules.h"
#include "platform/StopSignals.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>

namespace quillory::cli {

namespace {

constexpr uint32_t DEFAULT_TIMEOUT_MS = 5000;
// How often watch looks at the record, as the window's tick does.
constexpr uint32_t WATCH_TICK_MS = 500;

struct Options {
    bool json = false;
    std::optional<uint64_t> number; // --timeout MS or --duration SECONDS
    String address;
};

std::optional<uint64_t> ParseCount(const String& text) {
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + uint64_t(c - '0');
    }
    return value;
}

int Usage(const char* message) {
    std::fprintf(stderr, "quillory-cli: %s\n", message);
    std::fputs("usage: quillory-cli query [--timeout MS] [--json] ADDRESS[:PORT]\n"
               "       quillory-cli watch [--json] [--duration SECONDS] ADDRESS[:PORT]\n",
               stderr);
    return 2;
}

// Reads the options; `numberOption` is the one option that takes a value.
std::optional<Options> ParseOptions(const Args& args, const char* numberOption) {
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        const String& a = args[i];
        if (a == "--json") {
            options.json = true;
        } else if (a == numberOption) {
            if (i + 1 >= args.size() || !(options.number = ParseCount(args[++i])))
                return std::nullopt;
        } else if (a.size() > 1 && a[0] == '-') {
            return std::nullopt;
        } else if (options.address.empty()) {
            options.address = a;
        } else {
            return std::nullopt;
        }
    }
    if (options.address.empty())
        return std::nullopt;
    return options;
}

nlohmann::ordered_json StatusJson(const ServerStatus& s) {
    nlohmann::ordered_json players = nlohmann::ordered_json::array();
    for (const auto& p : s.playerList)
        players.push_back({{"name", p->name}, {"score", p->score}, {"deaths", p->deaths}});
    return {
        {"description", s.description},
        {"mission", s.mission},
        {"players", s.players},
        {"maxPlayers", s.maxPlayers},
        {"version", s.version},
        {"requiredVersion", s.requiredVersion},
        {"state", s.state},
        {"status", StatusText(s.state)},
        {"port", s.port},
        {"ping", s.ping},
        {"locked", s.locked},
        {"implementation", ImplementationText(s.implementation)},
        {"gameType", s.gameType},
        {"map", s.map},
        {"timeLeft", s.timeLeft},
        {"param1", s.param1},
        {"param2", s.param2},
        {"platform", s.platform},
        {"playerList", players},
    };
}

// Server texts are bytes of a code page, not UTF-8: invalid sequences are replaced rather
// than thrown over.
String Dump(const nlohmann::ordered_json& j) {
    return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void PrintStatusText(const ServerStatus& s) {
    for (const StatusLine& line : StatusLines(s))
        std::printf("%s: %s\n", line.label.c_str(), line.value.c_str());
    for (const auto& p : s.playerList)
        std::printf("%s\t%s\t%s\n", p->name.c_str(), p->score.c_str(), p->deaths.c_str());
}

String LocalTimeText() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// Selects the server, then starts the engine on it: 0 when watching, else the exit code (2
// for an address that does not resolve, 1 without a socket), said on stderr.
int StartWatching(CServerWatch& watch, const String& address) {
    if (watch.Select(address, String()) == SelectResult::BAD_ADDRESS) {
        std::fputs("Bad address error\n", stderr);
        return 2;
    }
    if (!watch.Open()) {
        std::fputs("quillory-cli: cannot open a UDP socket\n", stderr);
        return 1;
    }
    return 0;
}

} // namespace

int RunQuery(const Args& args) {
    auto options = ParseOptions(args, "--timeout");
    if (!options)
        return Usage("bad arguments to query");
    const uint32_t timeoutMs = static_cast<uint32_t>(
        std::min<uint64_t>(options->number.value_or(DEFAULT_TIMEOUT_MS), 24u * 3600 * 1000));

    CServerWatch watch;
    if (int failed = StartWatching(watch, options->address))
        return failed;
    CWatchState& state = watch.State();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    WatchSnapshot seen;
    for (;;) {
        seen = state.Snapshot();
        if ((seen.enumerationReplies > 0 && seen.statusReplies > 0) ||
            std::chrono::steady_clock::now() >= deadline)
            break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        state.WaitForChange(static_cast<uint32_t>(std::max<int64_t>(left.count(), 0) + 1));
    }
    if (seen.enumerationReplies == 0 && seen.statusReplies == 0) {
        std::fprintf(stderr, "No reply from %s\n", options->address.c_str());
        return 1;
    }
    if (options->json)
        std::printf("%s\n", Dump(StatusJson(seen.status)).c_str());
    else
        PrintStatusText(seen.status);
    return 0;
}

int RunWatch(const Args& args) {
    auto options = ParseOptions(args, "--duration");
    if (!options)
        return Usage("bad arguments to watch");
    CStopSignals stopSignals; // before the engine's thread, which must not take them
    CServerWatch watch;
    if (int failed = StartWatching(watch, options->address))
        return failed;
    CWatchState& state = watch.State();
    const auto start = std::chrono::steady_clock::now();
    const bool limited = options->number.has_value();
    const auto duration =
        std::chrono::seconds(std::min<uint64_t>(options->number.value_or(0), 365ull * 24 * 3600));
    while (!stopSignals.Wait(WATCH_TICK_MS)) {
        if (limited && std::chrono::steady_clock::now() - start >= duration)
            break;
        const WatchSnapshot seen = state.Snapshot();
        const ServerStatus* changed = &seen.status;
        if (changed->implementation == IMPL_NONE)
            continue;
        Notification n = DecideNotification(changed->state, changed->previousState, true);
        if (n.previousState != changed->previousState) {
            // Only this loop writes the state it last reacted to.
            std::lock_guard guard(state.StatusLock());
            state.status.previousState = n.previousState;
        }
        if (!n.notify)
            continue;
        if (options->json) {
            nlohmann::ordered_json line = {{"time", LocalTimeText()},
                                           {"state", changed->state},
                                           {"status", StatusText(changed->state)},
                                           {"players", changed->players},
                                           {"mission", changed->mission}};
            std::printf("%s\n", Dump(line).c_str());
        } else {
            std::printf("%s\t%s\t%d\t%s\n", LocalTimeText().c_str(),
                        StatusText(changed->state).c_str(), changed->players,
                        changed->mission.c_str());
        }
        std::fflush(stdout);
    }
    return 0;
}

} // namespace quillory::cli
