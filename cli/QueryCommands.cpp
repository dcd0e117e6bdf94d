// quillory-cli query and watch: one look at a server, or a running account of its game states.
#include "cli/CommandHelp.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/PrintableText.h"

#include "net/MultiQuery.h"
#include "net/ServerAddress.h"
#include "net/ServerGroupWatch.h"
#include "net/ServerQuery.h"
#include "platform/StopSignals.h"
#include "watch/core/FriendTracker.h"
#include "watch/core/StatusReport.h"
#include "watch/core/WatchRules.h"
#include "watch/core/WatchView.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

namespace quillory::cli {

namespace {

constexpr uint32_t QUERY_TIMEOUT_MS = 5000;
constexpr uint64_t QUERY_MAX_TIMEOUT_MS = 24ull * 3600 * 1000;
constexpr uint64_t MAX_DURATION_SECONDS = 365ull * 24 * 3600;
// How often watch looks at the record, as the window's tick does.
constexpr uint32_t WATCH_TICK_MS = 500;

struct QueryOptions {
    bool json = false;
    std::optional<uint64_t> number; // --timeout MS or --duration SECONDS
    std::vector<String> addresses;
};

// The options of query and watch: `numberOption` is the one that takes a number, up to `limit`.
// Only query takes more than one address.
void DeclareOptions(CLI::App& app, QueryOptions& options, const char* numberOption, uint64_t limit,
                    bool severalAddresses) {
    PrepareCommandLine(app);
    app.add_flag("--json", options.json);
    app.add_option_function<uint64_t>(numberOption, [&options](uint64_t n) { options.number = n; })
        ->transform(DecimalAtMost(limit));
    if (severalAddresses)
        app.add_option("ADDRESS", options.addresses)->required();
    else
        app.add_option_function<String>(
               "ADDRESS", [&options](const String& address) { options.addresses = {address}; })
            ->required();
}

using Json = nlohmann::ordered_json;

// Appends a key that the object does not hold yet: no search for an existing one, and the
// value is moved in, not copied again (one line per server makes this the query's hot path).
void Append(Json::object_t& object, const char* key, Json value) {
    object.emplace_back(key, std::move(value));
}

Json PlayersJson(const ServerStatus& s) {
    Json players = Json::array();
    auto& list = players.get_ref<Json::array_t&>();
    list.reserve(s.playerList.size());
    for (const auto& p : s.playerList) {
        Json player = Json::object();
        auto& fields = player.get_ref<Json::object_t&>();
        fields.reserve(3);
        Append(fields, "name", p->name);
        Append(fields, "score", p->score);
        Append(fields, "deaths", p->deaths);
        list.push_back(std::move(player));
    }
    return players;
}

// The status keys in their documented order, after what `object` already holds.
void AppendStatus(Json::object_t& object, const ServerStatus& s) {
    object.reserve(object.size() + 19);
    Append(object, "description", s.description);
    Append(object, "mission", s.mission);
    Append(object, "players", s.players);
    Append(object, "maxPlayers", s.maxPlayers);
    Append(object, "version", s.version);
    Append(object, "requiredVersion", s.requiredVersion);
    Append(object, "state", s.state);
    Append(object, "status", StatusText(s.state));
    Append(object, "port", s.port);
    Append(object, "ping", s.ping);
    Append(object, "locked", s.locked);
    Append(object, "implementation", ImplementationText(s.implementation));
    Append(object, "gameType", s.gameType);
    Append(object, "map", s.map);
    Append(object, "timeLeft", s.timeLeft);
    Append(object, "param1", s.param1);
    Append(object, "param2", s.param2);
    Append(object, "platform", s.platform);
    Append(object, "playerList", PlayersJson(s));
}

Json StatusJson(const ServerStatus& s) {
    Json status = Json::object();
    AppendStatus(status.get_ref<Json::object_t&>(), s);
    return status;
}

void PrintStatusText(const ServerStatus& s) {
    for (const StatusLine& line : StatusLines(s))
        std::printf("%s: %s\n", line.label.c_str(), PrintableText(line.value).c_str());
    for (const auto& p : s.playerList)
        std::printf("%s\t%s\t%s\n", PrintableText(p->name).c_str(), PrintableText(p->score).c_str(),
                    PrintableText(p->deaths).c_str());
}

String LocalTimeText() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

bool Answered(const WatchSnapshot& seen) {
    return seen.enumerationReplies > 0 || seen.statusReplies > 0 ||
           seen.status.implementation != IMPL_NONE;
}

struct WatchOptions {
    bool json = false;
    std::optional<uint64_t> duration;
    std::vector<String> addresses;
    std::vector<String> friends;
};

void DeclareWatchOptions(CLI::App& app, WatchOptions& options) {
    PrepareCommandLine(app);
    app.add_flag("--json", options.json);
    app.add_option_function<uint64_t>("--duration",
                                      [&options](uint64_t n) { options.duration = n; })
        ->transform(DecimalAtMost(MAX_DURATION_SECONDS));
    app.add_option("--friend", options.friends)
        ->check(NotEmpty())
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("ADDRESS", options.addresses)->required();
}

// Opens an engine per address: 0 when watching, else the exit code (2 for an address that
// does not resolve, 1 without a socket), said on stderr.
int StartWatching(CServerGroupWatch& group, const std::vector<String>& addresses) {
    const CServerGroupWatch::OpenOutcome opened = group.Open(addresses);
    switch (opened.result) {
    case CServerGroupWatch::OpenResult::BAD_ADDRESS:
        if (addresses.size() == 1)
            std::fputs("Bad address error\n", stderr);
        else
            std::fprintf(stderr, "Bad address error: %s\n",
                         PrintableText(addresses[opened.index]).c_str());
        return 2;
    case CServerGroupWatch::OpenResult::NO_SOCKET:
        std::fputs("quillory-cli: cannot open a UDP socket\n", stderr);
        return 1;
    case CServerGroupWatch::OpenResult::OK:
        break;
    }
    return 0;
}

// What the watch prints of each server: the changes the window would notify and, with
// --friend, friends joining and leaving. Several servers put their address first on each line.
class CWatchLoop final {
public:
    explicit CWatchLoop(const WatchOptions& options)
        : options_(options), friends_(options.friends), servers_(options.addresses.size()) {}

    void Tick(const CServerGroupWatch& group) {
        for (size_t i = 0; i < servers_.size(); ++i)
            TickServer(i, group.Snapshot(i));
    }

    // Says "No reply from" for each server that never answered; true when none did so.
    bool EveryoneAnswered() const {
        bool all = true;
        for (size_t i = 0; i < servers_.size(); ++i) {
            if (!servers_[i].answered) {
                std::fprintf(stderr, "No reply from %s\n", options_.addresses[i].c_str());
                all = false;
            }
        }
        return all;
    }

private:
    struct Server {
        CWatchView view; // what this loop last reacted to
        bool answered = false;
        uint32_t statusReplies = 0;
    };

    void TickServer(size_t i, const WatchSnapshot& snapshot) {
        Server& server = servers_[i];
        server.answered = server.answered || Answered(snapshot);
        const WatchFrame frame = server.view.Update(snapshot.status, true, false);
        if (frame.notification.notify)
            PrintChange(i, frame, server.view.Status());
        // Players arrive with status replies; only a new one can change who is there.
        if (!options_.friends.empty() && snapshot.statusReplies != server.statusReplies) {
            server.statusReplies = snapshot.statusReplies;
            for (const FriendEvent& event :
                 friends_.Update(options_.addresses[i], snapshot.status.playerList))
                PrintFriend(i, event);
        }
    }

    // Every line of a watch of several servers begins with the server's address.
    String Prefix(size_t i) const {
        return options_.addresses.size() > 1 ? PrintableText(options_.addresses[i]) + "\t"
                                             : String();
    }

    void PrintChange(size_t i, const WatchFrame& frame, const ServerStatus& seen) {
        if (options_.json) {
            PrintJson(nlohmann::ordered_json{{"address", options_.addresses[i]},
                                             {"time", LocalTimeText()},
                                             {"state", seen.state},
                                             {"status", frame.status},
                                             {"players", seen.players},
                                             {"mission", seen.mission}});
        } else {
            std::printf("%s%s\t%s\t%d\t%s\n", Prefix(i).c_str(), LocalTimeText().c_str(),
                        frame.status.c_str(), seen.players, PrintableText(seen.mission).c_str());
        }
        std::fflush(stdout);
    }

    void PrintFriend(size_t i, const FriendEvent& event) {
        const char* what = event.joined ? "friend joined" : "friend left";
        if (options_.json)
            PrintJson(nlohmann::ordered_json{{"address", options_.addresses[i]},
                                             {"time", LocalTimeText()},
                                             {"event", what},
                                             {"name", event.name}});
        else
            std::printf("%s%s\t%s\t%s\n", Prefix(i).c_str(), LocalTimeText().c_str(), what,
                        PrintableText(event.name).c_str());
        std::fflush(stdout);
    }

    const WatchOptions& options_;
    CFriendTracker friends_;
    std::vector<Server> servers_;
};

const char* FailureText(QueryResult result) {
    switch (result) {
    case QueryResult::PORT_UNREACHABLE:
        return "Port unreachable";
    case QueryResult::BAD_ADDRESS:
        return "Bad address error";
    default:
        return NO_REPLY_TEXT;
    }
}

// An address that gave no status, as a JSON line of its own, as a query of several prints it.
void PrintFailureJson(const QueryOptions& options, const String& address, QueryResult result) {
    if (!options.json)
        return;
    Json line = Json::object();
    auto& fields = line.get_ref<Json::object_t&>();
    Append(fields, "address", address);
    Append(fields, "error", FailureText(result));
    PrintJson(line);
}

// Several addresses at once: one result per address in the order given, a blank line between
// the text forms, one JSON object per line. Exit 0 when every one replied, else 1.
int QuerySeveral(const QueryOptions& options, uint32_t timeoutMs) {
    CMultiQuery query;
    const std::vector<QueryOutcome> outcomes = query.Run(options.addresses, timeoutMs);
    bool allReplied = true;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const QueryOutcome& o = outcomes[i];
        const String& address = options.addresses[i];
        const bool replied = o.result == QueryResult::REPLIED;
        allReplied = allReplied && replied;
        if (options.json && !replied) {
            PrintFailureJson(options, address, o.result);
            continue;
        }
        if (options.json) {
            Json line = Json::object();
            auto& fields = line.get_ref<Json::object_t&>();
            Append(fields, "address", address);
            AppendStatus(fields, o.status);
            PrintJson(line);
            continue;
        }
        std::printf("%sAddress: %s\n", i > 0 ? "\n" : "", PrintableText(address).c_str());
        if (replied)
            PrintStatusText(o.status);
        else
            std::printf("Error: %s\n", FailureText(o.result));
    }
    return allReplied ? 0 : 1;
}

// One address, asked on this thread alone. A refused port is waited on like a silent one, as
// it always was for one address: a server still starting may yet answer.
int QueryOne(const QueryOptions& options, uint32_t timeoutMs) {
    const String& address = options.addresses.front();
    CMultiQuery query;
    query.SetRefusalsEndTheWait(false);
    const QueryOutcome outcome = query.Run({address}, timeoutMs).front();
    switch (outcome.result) {
    case QueryResult::BAD_ADDRESS:
        std::fputs("Bad address error\n", stderr);
        PrintFailureJson(options, address, outcome.result);
        return 2;
    case QueryResult::NO_SOCKET:
        std::fputs("quillory-cli: cannot open a UDP socket\n", stderr);
        return 1;
    case QueryResult::REPLIED:
        break;
    default:
        std::fprintf(stderr, "No reply from %s\n", address.c_str());
        PrintFailureJson(options, address, outcome.result);
        return 1;
    }
    if (options.json)
        PrintJson(StatusJson(outcome.status));
    else
        PrintStatusText(outcome.status);
    return 0;
}

} // namespace

int RunQuery(const Args& args) {
    QueryOptions options;
    CLI::App app;
    DeclareOptions(app, options, "--timeout", QUERY_MAX_TIMEOUT_MS, true);
    if (auto exitCode = ParseCommandLine(app, args, TextsOf("query")))
        return *exitCode;
    const auto timeoutMs = static_cast<uint32_t>(options.number.value_or(QUERY_TIMEOUT_MS));
    if (options.addresses.size() > 1)
        return QuerySeveral(options, timeoutMs);
    return QueryOne(options, timeoutMs);
}

int RunWatch(const Args& args) {
    WatchOptions options;
    CLI::App app;
    DeclareWatchOptions(app, options);
    if (auto exitCode = ParseCommandLine(app, args, TextsOf("watch")))
        return *exitCode;
    CStopSignals stopSignals; // before any thread, which must not take them
    CServerGroupWatch group;
    if (int failed = StartWatching(group, options.addresses))
        return failed;
    CWatchLoop loop(options);
    const auto start = std::chrono::steady_clock::now();
    const bool limited = options.duration.has_value();
    const auto duration = std::chrono::seconds(options.duration.value_or(0));
    auto timeUp = [&] { return limited && std::chrono::steady_clock::now() - start >= duration; };
    while (!stopSignals.Wait(0)) {
        group.Pump(WATCH_TICK_MS);
        loop.Tick(group);
        if (timeUp())
            break;
    }
    // A watch that ran its whole time without one answer from a server did not watch it.
    return timeUp() && !loop.EveryoneAnswered() ? 1 : 0;
}

} // namespace quillory::cli
