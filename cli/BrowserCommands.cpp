// quillory-cli news, servers and upgrade: what the browser server tells the program at start
// and in the Gantry server browser, and the self-upgrade its news offers.
#include "cli/CommandHelp.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/PrintableText.h"

#include "net/BrowserHost.h"
#include "net/BrowserReply.h"
#include "net/MultiQuery.h"
#include "net/ServerQuery.h"
#include "net/WatchState.h"
#include "platform/HostResolve.h"
#include "platform/StopSignals.h"
#include "watch/core/InstallKind.h"
#include "watch/core/UpgradeKey.h"
#include "watch/core/UpgradeOffer.h"
#include "watch/core/UpgradeWorker.h"
#include "watch/core/WatchRules.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace quillory::cli {

namespace {

constexpr uint32_t DEFAULT_TIMEOUT_MS = 2000;
constexpr uint64_t MAX_TIMEOUT_MS = 24ull * 3600 * 1000;

enum class GameFilter { All, Ironvale, Uprising };

struct Options {
    bool json = false;
    uint32_t timeoutMs = DEFAULT_TIMEOUT_MS;
    GameFilter game = GameFilter::All;
    String host; // HOST[:PORT]; empty: QUILLORY_BROWSER or the built-in host
    // upgrade only.
    String programFolder; // empty: the folder of quillory-cli itself
    bool check = false;
    // servers only: ask every listed server itself.
    bool live = false;
};

enum class Extra { None, Game, Upgrade };

// The options of news, servers and upgrade; `extra`: the command's own.
void DeclareOptions(CLI::App& app, Options& options, Extra extra) {
    PrepareCommandLine(app);
    if (extra == Extra::Upgrade) {
        app.add_option("--program-folder", options.programFolder)->check(NotEmpty());
        app.add_flag("--check", options.check);
    } else {
        app.add_flag("--json", options.json);
    }
    app.add_option("--timeout", options.timeoutMs)->transform(DecimalAtMost(MAX_TIMEOUT_MS));
    if (extra == Extra::Game) {
        static const std::map<String, GameFilter> kGames = {{"all", GameFilter::All},
                                                            {"ironvale", GameFilter::Ironvale},
                                                            {"uprising", GameFilter::Uprising}};
        app.add_option_function<String>(
               "--game", [&options](const String& game) { options.game = kGames.at(game); })
            ->check(CLI::IsMember(kGames));
        app.add_flag("--live", options.live);
    }
    app.add_option("HOST", options.host)->check(NotEmpty());
}

struct Browser {
    String text; // as named, for messages
    uint32_t address = 0;
    uint16_t port = 0;
};

// The browser server named on the command line, else by QUILLORY_BROWSER, else built in.
// Exit code 2 for a malformed HOST[:PORT], 1 when the host does not resolve.
std::optional<Browser> FindBrowser(const String& host, const char* command, int& exitCode) {
    BrowserEndpoint endpoint;
    if (!host.empty()) {
        auto parsed = ParseBrowserEndpoint(host);
        if (!parsed) {
            std::fprintf(stderr, "%s: bad browser server address\n%s", PROGRAM_NAME,
                         TextsOf(command).usage.c_str());
            exitCode = 2;
            return std::nullopt;
        }
        endpoint = *parsed;
    } else {
        endpoint = ChooseBrowserEndpoint(std::getenv(BROWSER_ENVIRONMENT));
    }
    const uint32_t address = ResolveHost(endpoint.host);
    if (address == ADDRESS_NONE) {
        std::fputs("Trouble resolving browser server address\n", stderr);
        exitCode = 1;
        return std::nullopt;
    }
    return Browser{endpoint.host + ":" + std::to_string(endpoint.port), address, endpoint.port};
}

// The engine with its socket and thread, for one request to the browser server.
class CBrowserClient final {
public:
    ~CBrowserClient() {
        engine_.Post(QM_QUIT);
        engine_.Wait(WAIT_FOREVER);
        engine_.CloseThreadHandle();
        engine_.Close();
    }
    bool Start() {
        if (!engine_.Create(0, 0, 0)) {
            std::fputs("quillory-cli: cannot open a UDP socket\n", stderr);
            return false;
        }
        return engine_.Start();
    }
    void Post(uint32_t code, const Browser& browser) {
        engine_.Post(code, browser.address, browser.port);
    }
    CWatchState& State() { return state_; }

    // Waits until `done` holds (checked under the status lock) or `timeoutMs` passes.
    template <typename F> void WaitUntil(uint32_t timeoutMs, F done) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            {
                std::lock_guard guard(state_.StatusLock());
                if (done(state_))
                    return;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return;
            state_.WaitForChange(uint32_t(left.count()));
        }
    }

private:
    CWatchState state_;
    CServerQuery engine_{state_};
};

bool Shown(const PublicServer& server, GameFilter game) {
    const bool uprising = (server.flags & PSF_UPRISING) != 0;
    return game == GameFilter::All || (game == GameFilter::Uprising) == uprising;
}

void PrintServer(const PublicServer& server, bool json) {
    const bool uprising = (server.flags & PSF_UPRISING) != 0;
    if (json) {
        nlohmann::ordered_json line = {{"name", server.name},
                                       {"players", server.players},
                                       {"address", DottedIpv4(server.address)},
                                       {"port", server.port},
                                       {"uprising", uprising}};
        PrintJson(line);
        return;
    }
    std::printf("%s\t%u\t%s\t%s\n", PrintableText(server.name).c_str(), unsigned(server.players),
                PublicServerAddress(server).c_str(), uprising ? "uprising" : "ironvale");
}

void PrintNews(const BrowserNews& news, bool json) {
    if (json) {
        nlohmann::ordered_json line = {{"news", news.text},
                                       {"link", news.link},
                                       {"upgradeFile", news.upgradeFile},
                                       {"upgradeOffered", news.upgradeOffered}};
        PrintJson(line);
        return;
    }
    std::printf("News: %s\nLink: %s\nUpgrade file: %s\nUpgrade offered: %s\n",
                PrintableText(news.text).c_str(), PrintableText(news.link).c_str(),
                PrintableText(news.upgradeFile).c_str(), news.upgradeOffered ? "yes" : "no");
}

// The news that arrived; nothing (said on stderr) when none did.
std::optional<BrowserNews> WaitForNews(CBrowserClient& client, const Options& options,
                                       const Browser& browser) {
    client.WaitUntil(options.timeoutMs, [](const CWatchState& s) { return s.newsReplies > 0; });
    CWatchState& state = client.State();
    std::lock_guard guard(state.StatusLock());
    if (state.newsReplies == 0) {
        std::fprintf(stderr, "No reply from %s\n", browser.text.c_str());
        return std::nullopt;
    }
    return state.news;
}

// Waits for the news and prints them.
int ShowNews(CBrowserClient& client, const Options& options, const Browser& browser) {
    const auto news = WaitForNews(client, options, browser);
    if (!news)
        return 1;
    PrintNews(*news, options.json);
    return 0;
}

// With --live the list is taken once its datagrams stop coming for this long, so that the
// servers themselves get the whole timeout.
constexpr uint32_t LIST_QUIET_MS = 300;

// Waits for the first list datagram, then until the list has been quiet for LIST_QUIET_MS,
// within `timeoutMs`.
void WaitForQuietList(CBrowserClient& client, uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    uint32_t seen = 0;
    auto lastChange = std::chrono::steady_clock::now();
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return;
        uint32_t replies = 0;
        {
            std::lock_guard guard(client.State().StatusLock());
            replies = client.State().serverListReplies;
        }
        if (replies != seen) {
            seen = replies;
            lastChange = now;
        } else if (seen > 0 && now - lastChange >= std::chrono::milliseconds(LIST_QUIET_MS)) {
            return;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        client.State().WaitForChange(uint32_t(std::min<int64_t>(left.count(), 50)));
    }
}

// One listed server with what it answered itself: the list's fields, then its own.
void PrintLiveServer(const PublicServer& server, const QueryOutcome& outcome, bool json) {
    const bool replied = outcome.result == QueryResult::REPLIED;
    const ServerStatus& s = outcome.status;
    const bool uprising = (server.flags & PSF_UPRISING) != 0;
    const int players = replied ? s.players : server.players;
    if (json) {
        nlohmann::ordered_json line = {{"name", server.name},
                                       {"players", players},
                                       {"address", DottedIpv4(server.address)},
                                       {"port", server.port},
                                       {"uprising", uprising}};
        if (!replied) {
            line["error"] = NO_REPLY_TEXT;
        } else {
            line["ping"] = s.ping;
            line["maxPlayers"] = s.maxPlayers;
            line["map"] = s.map;
            line["mission"] = s.mission;
            line["status"] = StatusText(s.state);
            line["version"] = s.version;
            line["locked"] = s.locked;
        }
        PrintJson(line);
        return;
    }
    std::printf("%s\t%d\t%s\t%s", PrintableText(server.name).c_str(), players,
                PublicServerAddress(server).c_str(), uprising ? "uprising" : "ironvale");
    if (!replied) {
        std::printf("\tNo reply\n");
        return;
    }
    std::printf("\t%d\t%s\t%s\t%s\t%s\t%d\t%s\n", s.ping, PrintableText(s.maxPlayers).c_str(),
                PrintableText(s.map).c_str(), PrintableText(s.mission).c_str(),
                StatusText(s.state).c_str(), s.version, s.locked ? "locked" : "open");
}

// Asks every shown server at once and prints each with its answer, in the list's order.
void PrintLiveServers(const std::vector<const PublicServer*>& shown, const Options& options) {
    std::vector<String> addresses;
    addresses.reserve(shown.size());
    for (const PublicServer* server : shown)
        addresses.push_back(PublicServerAddress(*server));
    CMultiQuery query;
    const std::vector<QueryOutcome> outcomes = query.Run(addresses, options.timeoutMs);
    for (size_t i = 0; i < shown.size(); ++i)
        PrintLiveServer(*shown[i], outcomes[i], options.json);
}

// Collects the server list for the whole time and prints the servers of the game asked for.
int ShowServers(CBrowserClient& client, const Options& options, const Browser& browser) {
    // A list may come in several datagrams: collect for the whole time.
    if (options.live)
        WaitForQuietList(client, options.timeoutMs);
    else
        client.WaitUntil(options.timeoutMs, [](const CWatchState&) { return false; });
    HandleArray<PublicServer> servers;
    client.State().TakePublicServers(servers);
    {
        std::lock_guard guard(client.State().StatusLock());
        if (client.State().serverListReplies == 0) {
            std::fprintf(stderr, "No reply from %s\n", browser.text.c_str());
            return 1;
        }
        if (client.State().publicServersDropped != 0)
            std::fprintf(stderr, "%s listed more than %zu servers: the rest are left out\n",
                         browser.text.c_str(), CWatchState::PUBLIC_SERVERS_MAX);
    }
    std::vector<const PublicServer*> shown;
    for (const auto& server : servers)
        if (Shown(*server, options.game))
            shown.push_back(server.get());
    if (options.live) {
        PrintLiveServers(shown, options);
        return 0;
    }
    for (const PublicServer* server : shown)
        PrintServer(*server, options.json);
    return 0;
}

// The program file whose installation decides the upgrade: the one in the folder named, else
// quillory-cli itself.
String UpgradedProgram(const Options& options) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (options.programFolder.empty())
        return fs::read_symlink("/proc/self/exe", ec).string();
    for (const char* name : {"quillory", "quillory-cli"}) {
        const fs::path path = fs::path(options.programFolder) / name;
        if (fs::exists(path, ec))
            return path.string();
    }
    return (fs::path(options.programFolder) / ".").string();
}

// Runs the worker on its thread, printing each new text, until it ends or a stop signal
// cancels it.
int RunUpgradeWorker(const String& link, const String& program, CStopSignals& stop) {
    String folder = std::filesystem::path(program).parent_path().string() + "/";
    CUpgradeWorker::Options workerOptions;
    workerOptions.trustedKey = TrustedUpgradeKey(std::getenv(UPGRADE_KEY_ENVIRONMENT));
    String last; // written by the worker's thread only
    CUpgradeWorker worker(
        link, {folder, folder + ".quillory-upgrade.ozp"},
        [&last](const String& text) {
            if (text != last)
                std::printf("%s\n", text.c_str());
            std::fflush(stdout);
            last = text;
        },
        std::move(workerOptions));
    CEventHandle done(false, true);
    if (!worker.Start([&done](int) { done.Set(); })) {
        std::fputs("quillory-cli: cannot start the upgrade\n", stderr);
        return 1;
    }
    while (!done.Wait(0))
        if (stop.Wait(100, done.Native()))
            worker.Cancel();
    if (worker.Wait() != CUpgradeWorker::RESULT_OK) {
        std::fprintf(stderr, "%s\n", last.c_str());
        return 1;
    }
    return 0;
}

int UpgradeFromNews(CBrowserClient& client, const Options& options, const Browser& browser,
                    CStopSignals& stop) {
    const auto news = WaitForNews(client, options, browser);
    if (!news)
        return 1;
    if (!IsUpgradeArchive(news->upgradeFile)) {
        std::puts("no upgrade offered");
        return 0;
    }
    const String program = UpgradedProgram(options);
    if (DetectInstallKind(program) == InstallKind::PACKAGE_MANAGER) {
        std::puts("installed by the package manager");
        if (options.check)
            return 0;
        std::fprintf(stderr, "%s\n",
                     PackageManagerText(OfferedVersion(news->link, news->upgradeFile)).c_str());
        return 1;
    }
    if (options.check) {
        std::printf("upgrade offered: %s\n", PrintableText(news->upgradeFile).c_str());
        return 0;
    }
    return RunUpgradeWorker(news->upgradeFile, program, stop);
}

using Show = std::function<int(CBrowserClient&, const Options&, const Browser&)>;

// news, servers and upgrade: the command line read, the request sent, the reply shown by
// `show`.
int AskBrowser(const Args& args, const char* command, uint32_t request, Extra extra,
               const Show& show) {
    Options options;
    CLI::App app;
    DeclareOptions(app, options, extra);
    if (auto exitCode = ParseCommandLine(app, args, TextsOf(command)))
        return *exitCode;
    int exitCode = 0;
    auto browser = FindBrowser(options.host, command, exitCode);
    if (!browser)
        return exitCode;
    CBrowserClient client;
    if (!client.Start())
        return 1;
    client.Post(request, *browser);
    return show(client, options, *browser);
}

} // namespace

int RunNews(const Args& args) {
    return AskBrowser(args, "news", QM_QUERY_NEWS, Extra::None, ShowNews);
}

int RunServers(const Args& args) {
    return AskBrowser(args, "servers", QM_QUERY_SERVER_LIST, Extra::Game, ShowServers);
}

int RunUpgrade(const Args& args) {
    // Before the engine's thread starts, so that SIGINT and SIGTERM reach only this wait.
    CStopSignals stop;
    return AskBrowser(
        args, "upgrade", QM_QUERY_NEWS, Extra::Upgrade,
        [&stop](CBrowserClient& client, const Options& options, const Browser& browser) {
            return UpgradeFromNews(client, options, browser, stop);
        });
}

} // namespace quillory::cli
