// quillory-cli news and servers: what the browser server tells the program at start and in the
// Gantry server browser.
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

int Usage(const char* message) {
    std::fprintf(stderr, "quillory-cli: %s\n", message);
    std::fputs("usage: quillory-cli news [--json] [--timeout MS] [HOST[:PORT]]\n"
               "       quillory-cli servers [--json] [--game ironvale|uprising|all]"
               " [--timeout MS] [HOST[:PORT]]\n",
               stderr);
    return 2;
}

std::optional<uint32_t> ParseTimeout(const String& text) {
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != String::npos)
        return std::nullopt;
    return uint32_t(std::min<uint64_t>(std::stoull(text), MAX_TIMEOUT_MS));
}

std::optional<GameFilter> ParseGame(const String& text) {
    if (text == "all")
        return GameFilter::All;
    if (text == "ironvale")
        return GameFilter::Ironvale;
    if (text == "uprising")
        return GameFilter::Uprising;
    return std::nullopt;
}

// `withGame`: whether --game is one of the options.
std::optional<Options> ParseOptions(const Args& args, bool withGame) {
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        const String& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--json") {
            options.json = true;
        } else if (a == "--timeout" && hasValue) {
            auto timeout = ParseTimeout(args[++i]);
            if (!timeout)
                return std::nullopt;
            options.timeoutMs = *timeout;
        } else if (withGame && a == "--game" && hasValue) {
            auto game = ParseGame(args[++i]);
            if (!game)
                return std::nullopt;
            options.game = *game;
        } else if ((a.size() > 1 && a[0] == '-') || !options.host.empty() || a.empty()) {
            return std::nullopt;
        } else {
            options.host = a;
        }
    }
    return options;
}

struct Browser {
    String text; // as named, for messages
    uint32_t address = 0;
    uint16_t port = 0;
};

// The browser server named on the command line, else by QUILLORY_BROWSER, else built in.
// Exit code 2 for a malformed HOST[:PORT], 1 when the host does not resolve.
std::optional<Browser> FindBrowser(const String& host, int& exitCode) {
    BrowserEndpoint endpoint;
    if (!host.empty()) {
        auto parsed = ParseBrowserEndpoint(host);
        if (!parsed) {
            exitCode = Usage("bad browser server address");
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

// Server texts are bytes of a code page, not UTF-8: invalid sequences are replaced rather
// than thrown over.
String Dump(const nlohmann::ordered_json& j) {
    return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

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
        std::printf("%s\n", Dump(line).c_str());
        return;
    }
    std::printf("%s\t%u\t%s\t%s\n", PrintableText(server.name).c_str(), unsigned(server.players),
                PublicServerAddress(server).c_str(), uprising ? "uprising" : "ironvale");
}

} // namespace

int RunNews(const Args& args) {
    auto options = ParseOptions(args, false);
    if (!options)
        return Usage("bad arguments to news");
    int exitCode = 0;
    auto browser = FindBrowser(options->host, exitCode);
    if (!browser)
        return exitCode;
    CBrowserClient client;
    if (!client.Start())
        return 1;
    client.Post(QM_QUERY_NEWS, *browser);
    client.WaitUntil(options->timeoutMs, [](const CWatchState& s) { return s.newsReplies > 0; });
    BrowserNews news;
    {
        CWatchState& state = client.State();
        std::lock_guard guard(state.StatusLock());
        if (state.newsReplies == 0) {
            std::fprintf(stderr, "No reply from %s\n", browser->text.c_str());
            return 1;
        }
        news = state.news;
    }
    if (options->json) {
        nlohmann::ordered_json line = {{"news", news.text},
                                       {"link", news.link},
                                       {"upgradeFile", news.upgradeFile},
                                       {"upgradeOffered", news.upgradeOffered}};
        std::printf("%s\n", Dump(line).c_str());
    } else {
        std::printf("News: %s\nLink: %s\nUpgrade file: %s\nUpgrade offered: %s\n",
                    PrintableText(news.text).c_str(), PrintableText(news.link).c_str(),
                    PrintableText(news.upgradeFile).c_str(), news.upgradeOffered ? "yes" : "no");
    }
    return 0;
}

int RunServers(const Args& args) {
    auto options = ParseOptions(args, true);
    if (!options)
        return Usage("bad arguments to servers");
    int exitCode = 0;
    auto browser = FindBrowser(options->host, exitCode);
    if (!browser)
        return exitCode;
    CBrowserClient client;
    if (!client.Start())
        return 1;
    client.Post(QM_QUERY_SERVER_LIST, *browser);
    // A list may come in several datagrams: collect for the whole time.
    client.WaitUntil(options->timeoutMs, [](const CWatchState&) { return false; });
    HandleArray<PublicServer> servers;
    client.State().TakePublicServers(servers);
    {
        std::lock_guard guard(client.State().StatusLock());
        if (client.State().serverListReplies == 0) {
            std::fprintf(stderr, "No reply from %s\n", browser->text.c_str());
            return 1;
        }
    }
    for (const auto& server : servers)
        if (Shown(*server, options->game))
            PrintServer(*server, options->json);
    return 0;
}

} // namespace quillory::cli
