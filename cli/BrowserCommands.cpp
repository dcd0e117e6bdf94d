// quillory-cli news and servers: what the browser server tells the program at start and in the
// Gantry server browser.
#include "cli/CommandHelp.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/PrintableText.h"

#include "net/BrowserHost.h"
#include "net/BrowserReply.h"
#include "net/ServerQuery.h"
#include "net/WatchState.h"
#include "platform/HostResolve.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
};

// The options of news and servers; `withGame`: whether --game is one of them.
void DeclareOptions(CLI::App& app, Options& options, bool withGame) {
    PrepareCommandLine(app);
    app.add_flag("--json", options.json);
    app.add_option("--timeout", options.timeoutMs)->transform(DecimalAtMost(MAX_TIMEOUT_MS));
    if (withGame) {
        static const std::map<String, GameFilter> kGames = {{"all", GameFilter::All},
                                                            {"ironvale", GameFilter::Ironvale},
                                                            {"uprising", GameFilter::Uprising}};
        app.add_option_function<String>(
               "--game", [&options](const String& game) { options.game = kGames.at(game); })
            ->check(CLI::IsMember(kGames));
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

// Waits for the news and prints them.
int ShowNews(CBrowserClient& client, const Options& options, const Browser& browser) {
    client.WaitUntil(options.timeoutMs, [](const CWatchState& s) { return s.newsReplies > 0; });
    BrowserNews news;
    {
        CWatchState& state = client.State();
        std::lock_guard guard(state.StatusLock());
        if (state.newsReplies == 0) {
            std::fprintf(stderr, "No reply from %s\n", browser.text.c_str());
            return 1;
        }
        news = state.news;
    }
    PrintNews(news, options.json);
    return 0;
}

// Collects the server list for the whole time and prints the servers of the game asked for.
int ShowServers(CBrowserClient& client, const Options& options, const Browser& browser) {
    // A list may come in several datagrams: collect for the whole time.
    client.WaitUntil(options.timeoutMs, [](const CWatchState&) { return false; });
    HandleArray<PublicServer> servers;
    client.State().TakePublicServers(servers);
    {
        std::lock_guard guard(client.State().StatusLock());
        if (client.State().serverListReplies == 0) {
            std::fprintf(stderr, "No reply from %s\n", browser.text.c_str());
            return 1;
        }
    }
    for (const auto& server : servers)
        if (Shown(*server, options.game))
            PrintServer(*server, options.json);
    return 0;
}

using Show = int (*)(CBrowserClient&, const Options&, const Browser&);

// news and servers: the command line read, the request sent, the reply shown by `show`.
int AskBrowser(const Args& args, const char* command, uint32_t request, Show show) {
    Options options;
    CLI::App app;
    DeclareOptions(app, options, request == QM_QUERY_SERVER_LIST);
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
    return AskBrowser(args, "news", QM_QUERY_NEWS, ShowNews);
}

int RunServers(const Args& args) {
    return AskBrowser(args, "servers", QM_QUERY_SERVER_LIST, ShowServers);
}

} // namespace quillory::cli
