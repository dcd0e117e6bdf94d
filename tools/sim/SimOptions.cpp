#include "tools/sim/SimOptions.h"

#include "common/AsciiCase.h"
#include "common/StandardSwitches.h"

#include <arpa/inet.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <functional>
#include <limits>
#include <optional>
#include <tuple>

namespace quillory::sim {

namespace {

// Longest texts that fit the replies: the description field and the status key/value buffers.
constexpr size_t kMaxText = 255;
// The mission field of the enumeration replies holds 40 bytes with its terminator.
constexpr size_t kMaxMission = 39;
constexpr int kMaxFragments = 32;
constexpr int kMaxPlayers = 64;
// Two descriptors each: a thousand servers stay well inside a usual hard limit of open files.
constexpr int kMaxPublicSims = 1000;

template <typename T> bool ParseNumber(const std::string& text, T low, T high, T& out) {
    T value{};
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high)
        return false;
    out = value;
    return true;
}

// A check whose refusal reads "bad value 'TEXT'"; the error line adds the option's name.
// `accepts` may rewrite the text into the form the parser then converts.
CLI::Validator BadValue(std::function<bool(std::string&)> accepts) {
    return CLI::Validator(
        [accepts](std::string& text) {
            const std::string given = text;
            return accepts(text) ? std::string() : "bad value '" + given + "'";
        },
        "VALUE");
}

// A decimal number from `low` to `high`, given to the parser in plain digits: its own reading
// would take "010" as octal.
template <typename T> CLI::Validator NumberIn(T low, T high) {
    return BadValue([low, high](std::string& text) {
        T value{};
        if (!ParseNumber(text, low, high, value))
            return false;
        text = std::to_string(value);
        return true;
    });
}

CLI::Validator OneOf(std::vector<std::string> words) {
    return BadValue([words](std::string& text) {
        return std::any_of(words.begin(), words.end(),
                           [&](const std::string& w) { return EqualsNoCase(w, text); });
    });
}

// An archive name as the package host serves it: not empty, no folder in it.
bool IsArchiveName(const std::string& v) {
    return !v.empty() && v.find('/') == std::string::npos;
}

// NAME:FILE, NAME a plain archive name.
bool IsChange(const std::string& v) {
    const size_t colon = v.find(':');
    return colon != 0 && colon != std::string::npos && colon + 1 != v.size() &&
           IsArchiveName(v.substr(0, colon));
}

// NAME@ADDRESS:PORT:PLAYERS:FLAGS; the name may hold '@' itself, so the last one splits.
std::optional<SimPublicServer> ParsePublicServer(const std::string& v) {
    const size_t at = v.rfind('@');
    if (at == std::string::npos || at > kMaxText)
        return std::nullopt;
    SimPublicServer server;
    server.name = v.substr(0, at);
    std::vector<std::string> parts;
    size_t from = at + 1;
    for (size_t colon; (colon = v.find(':', from)) != std::string::npos; from = colon + 1)
        parts.push_back(v.substr(from, colon - from));
    parts.push_back(v.substr(from));
    in_addr address{};
    if (parts.size() != 4 || inet_pton(AF_INET, parts[0].c_str(), &address) != 1)
        return std::nullopt;
    server.address = address.s_addr;
    if (!ParseNumber<uint16_t>(parts[1], 1, 65535, server.port) ||
        !ParseNumber<uint8_t>(parts[2], 0, 255, server.players) ||
        !ParseNumber<uint8_t>(parts[3], 0, 255, server.flags))
        return std::nullopt;
    return server;
}

// The longest a scheduled change may wait: a week.
constexpr uint32_t kMaxScheduleSeconds = 7 * 24 * 3600;

// NAME@SECONDS; the name may hold '@' itself, so the last one splits. The name must fit the
// status reply: no backslash, at most 255 bytes.
std::optional<PlayerChange> ParsePlayerChange(const std::string& v, bool joins) {
    const size_t at = v.rfind('@');
    if (at == 0 || at == std::string::npos || at > kMaxText)
        return std::nullopt;
    PlayerChange change{v.substr(0, at), 0, joins};
    if (change.name.find('\\') != std::string::npos ||
        !ParseNumber<uint32_t>(v.substr(at + 1), 0, kMaxScheduleSeconds, change.atSecond))
        return std::nullopt;
    return change;
}

// The option table of quillory-sim, writing into `o`; `impl` and `publicServers` are read as
// words and turned into their values after the parse.
class COptionTable final {
public:
    COptionTable(CLI::App& app, SimOptions& o) : app_(app), o_(o) {}

    template <typename T> void Number(const char* name, T SimOptions::*field, T low, T high) {
        app_.add_option(name, o_.*field)->transform(NumberIn(low, high));
    }
    void Text(const char* name, std::string SimOptions::*field) {
        app_.add_option(name, o_.*field);
    }
    // A repeatable option: one value each time it is given.
    void List(const char* name, std::vector<std::string> SimOptions::*field,
              bool (*accepts)(const std::string&)) {
        app_.add_option(name, o_.*field)
            ->check(BadValue([accepts](std::string& v) { return accepts(v); }))
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }
    void Flag(const char* name, bool SimOptions::*field) { app_.add_flag(name, o_.*field); }

private:
    CLI::App& app_;
    SimOptions& o_;
};

void DeclareGameServer(COptionTable& t) {
    using O = SimOptions;
    t.Text("--address", &O::address);
    t.Number<uint16_t>("--port", &O::port, 1, 65535);
    t.Number<uint16_t>("--query-port", &O::queryPort, 1, 65535);
    t.Number("--fragments", &O::fragments, 1, kMaxFragments);
    t.Flag("--shuffle", &O::shuffle);
    t.Number<uint32_t>("--seed", &O::seed, 0, std::numeric_limits<uint32_t>::max());
    t.Number<uint32_t>("--round-seconds", &O::roundSeconds, 1, 86400);
    t.Number<uint32_t>("--phase-seconds", &O::phaseSeconds, 1, 3600);
    for (auto [name, field] : {std::pair{"--name", &O::name},
                               {"--mission", &O::mission},
                               {"--map", &O::map},
                               {"--game-type", &O::gameType},
                               {"--platform", &O::platform},
                               {"--param1", &O::param1},
                               {"--param2", &O::param2}})
        t.Text(name, field);
    t.Number<uint32_t>("--version", &O::version, 0, std::numeric_limits<int32_t>::max());
    t.Number<uint32_t>("--required-version", &O::requiredVersion, 0,
                       std::numeric_limits<int32_t>::max());
    t.Flag("--password-flag", &O::locked);
    t.Number("--players", &O::players, 0, kMaxPlayers);
    t.Number("--max-players", &O::maxPlayers, 1, kMaxPlayers);
    t.Flag("--verbose", &O::verbose);
}

void DeclareGantryServer(COptionTable& t, CLI::App& app, SimOptions& o) {
    using O = SimOptions;
    t.Text("--gantry", &O::gantryDir);
    t.Text("--gantry-password", &O::gantryPassword);
    app.add_option("--gantry-offset", o.gantryOffset)->check(OneOf({"20", "40"}));
    t.Text("--http-base", &O::httpBase);
    t.Number("--gantry-drop", &O::gantryDropPercent, 0, 100);
    t.Flag("--gantry-drop-always", &O::gantryDropAlways);
    t.Number("--gantry-chunk-size", &O::gantryChunkSize, 16, 8000);
}

void DeclarePackageHost(COptionTable& t, CLI::App& app, SimOptions& o) {
    using O = SimOptions;
    t.Number<uint16_t>("--http-port", &O::httpPort, 1, 65535);
    t.List("--http-fail", &O::httpFail, IsArchiveName);
    t.List("--http-cut", &O::httpCut, IsArchiveName);
    t.Number<uint64_t>("--http-rate", &O::httpRate, 1, std::numeric_limits<uint32_t>::max());
    t.List("--http-cut-once", &O::httpCutOnce, IsArchiveName);
    t.Number<uint64_t>("--http-cut-at", &O::httpCutAt, 1, std::numeric_limits<int64_t>::max());
    t.List("--http-busy-once", &O::httpBusyOnce, IsArchiveName);
    t.List("--http-change", &O::httpChange, IsChange);
    t.Flag("--http-no-range", &O::httpNoRange);
    app.add_option("--http-validators", o.httpValidators)->check(BadValue([](std::string& v) {
        return v == "both" || v == "etag" || v == "last-modified" || v == "none";
    }));
}

void DeclarePublicSims(COptionTable& t) {
    using O = SimOptions;
    t.Number("--public-sims", &O::publicSims, 0, kMaxPublicSims);
    t.Number("--public-silent", &O::publicSilent, 0, kMaxPublicSims);
    t.Number<uint32_t>("--public-base", &O::publicBase, 1, 65534);
}

void DeclareBrowser(COptionTable& t, CLI::App& app, std::vector<std::string>& publicServers) {
    using O = SimOptions;
    t.Flag("--browser", &O::browser);
    t.Number<uint16_t>("--browser-port", &O::browserPort, 1, 65535);
    t.Text("--news", &O::news);
    t.Text("--news-link", &O::newsLink);
    t.Text("--upgrade-file", &O::upgradeFile);
    t.Text("--upgrade-archive", &O::upgradeArchive);
    t.Text("--upgrade-signature", &O::upgradeSignature);
    t.Flag("--upgrade-bad-signature", &O::upgradeBadSignature);
    app.add_option("--public", publicServers)
        ->check(BadValue([](std::string& v) { return ParsePublicServer(v).has_value(); }))
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    t.Flag("--browser-no-self", &O::browserNoSelf);
    t.Number("--browser-split", &O::browserSplit, 1, 1000);
}

// Players over time; the changes are read as words and turned into their values after the parse.
void DeclarePlayerSchedule(CLI::App& app, std::vector<std::string>& joins,
                           std::vector<std::string>& leaves, SimOptions& o) {
    for (auto [name, words, joining] : {std::tuple{"--player-joins", &joins, true},
                                        std::tuple{"--player-leaves", &leaves, false}})
        app.add_option(name, *words)
            ->check(BadValue(
                [joining](std::string& v) { return ParsePlayerChange(v, joining).has_value(); }))
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option_function<uint32_t>("--free-slot-after",
                                      [&o](uint32_t s) { o.freeSlotAfter = s; })
        ->transform(NumberIn<uint32_t>(0, kMaxScheduleSeconds));
}

// The scheduled changes in the order they happen (one second keeps the order given).
void TakePlayerSchedule(const std::vector<std::string>& joins,
                        const std::vector<std::string>& leaves, SimOptions& o) {
    for (const std::string& v : joins)
        o.playerChanges.push_back(*ParsePlayerChange(v, true));
    for (const std::string& v : leaves)
        o.playerChanges.push_back(*ParsePlayerChange(v, false));
    std::stable_sort(
        o.playerChanges.begin(), o.playerChanges.end(),
        [](const PlayerChange& a, const PlayerChange& b) { return a.atSecond < b.atSecond; });
}

// The parser's complaint in the words quillory-sim always used.
std::string ErrorText(const CLI::App& app, const CLI::ParseError& error) {
    const std::string message = error.what();
    const std::string name = message.substr(0, message.find(": "));
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
        const std::vector<std::string> extra = app.remaining();
        return "unknown option '" + (extra.empty() ? std::string() : extra.front()) + "'";
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr &&
        message.ends_with(" missing"))
        return name + " needs a value";
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr &&
        name.size() + 2 < message.size())
        return message.substr(name.size() + 2) + " for " + name;
    return message;
}

// A text sent in the backslash-separated status reply must not hold a backslash itself.
std::string CheckStatusText(const char* option, const std::string& text) {
    if (text.size() > kMaxText)
        return std::string(option) + " is longer than 255 characters";
    if (text.find('\\') != std::string::npos)
        return std::string(option) + " must not contain a backslash";
    return {};
}

std::string CheckTexts(const SimOptions& o) {
    const std::pair<const char*, const std::string*> texts[] = {
        {"--name", &o.name},         {"--map", &o.map},       {"--game-type", &o.gameType},
        {"--platform", &o.platform}, {"--param1", &o.param1}, {"--param2", &o.param2},
    };
    for (const auto& [option, text] : texts) {
        std::string error = CheckStatusText(option, *text);
        if (!error.empty())
            return error;
    }
    if (o.mission.size() > kMaxMission)
        return "--mission is longer than 39 characters";
    return {};
}

std::string CheckPorts(const SimOptions& o) {
    in_addr parsed{};
    if (inet_pton(AF_INET, o.address.c_str(), &parsed) != 1)
        return "--address must be a dotted IPv4 address";
    if (o.queryPort == 0 && o.port == 65535)
        return "--port 65535 leaves no room for the query port";
    if (o.QueryPort() == o.port)
        return "--query-port must differ from the game port";
    if (!o.GantryOn())
        return {};
    if (int(o.port) + o.gantryOffset > 65535)
        return "--port leaves no room for the Gantry port";
    if (o.GantryPort() == o.QueryPort())
        return "--query-port must differ from the Gantry port";
    return {};
}

std::string CheckGantry(const SimOptions& o) {
    if (o.GantryOn())
        return {};
    // Without a Gantry folder the package host has only the upgrade archive to serve.
    const bool hostsUpgrade = o.browser && !o.upgradeArchive.empty();
    const bool httpOnly = o.httpPort != 0 || !o.httpFail.empty() || !o.httpCut.empty() ||
                          o.httpRate != 0 || !o.httpCutOnce.empty() || o.httpCutAt != 0 ||
                          !o.httpBusyOnce.empty() || !o.httpChange.empty() || o.httpNoRange ||
                          o.httpValidators != "both";
    const bool gantryOnly = !o.gantryPassword.empty() || !o.httpBase.empty() ||
                            o.gantryDropPercent != 0 || o.gantryDropAlways ||
                            (httpOnly && !hostsUpgrade);
    return gantryOnly ? "the Gantry and HTTP options need --gantry DIR" : "";
}

std::string CheckPublicSims(const SimOptions& o) {
    const bool asked = o.publicSims != 0 || o.publicSilent != 0 || o.publicBase != 0;
    if (asked && !o.browser)
        return "--public-sims, --public-silent and --public-base need --browser";
    if (o.publicSims + o.publicSilent > kMaxPublicSims)
        return "at most " + std::to_string(kMaxPublicSims) + " public servers in all";
    if (o.publicBase != 0 && o.publicBase + 2u * uint32_t(o.publicSims + o.publicSilent) > 65536u)
        return "--public-base leaves too few ports for the public servers";
    return {};
}

std::string CheckBrowser(const SimOptions& o) {
    const bool browserOnly = o.browserPort != BROWSER_SERVER_PORT || !o.newsLink.empty() ||
                             !o.upgradeFile.empty() || !o.upgradeArchive.empty() ||
                             !o.upgradeSignature.empty() || o.upgradeBadSignature ||
                             !o.publicServers.empty() || o.browserSplit != 0 || o.browserNoSelf;
    if (!o.browser)
        return browserOnly ? "the browser server options need --browser" : "";
    if (o.browserPort == o.port || o.browserPort == o.QueryPort() ||
        (o.GantryOn() && o.browserPort == o.GantryPort()))
        return "--browser-port must differ from the game, query and Gantry ports";
    if (!o.upgradeArchive.empty() && o.httpPort == 0)
        return "--upgrade-archive needs --http-port";
    if (!o.upgradeArchive.empty() && o.upgradeArchive.back() == '/')
        return "--upgrade-archive must name a file";
    if ((!o.upgradeSignature.empty() || o.upgradeBadSignature) && o.upgradeArchive.empty())
        return "--upgrade-signature and --upgrade-bad-signature need --upgrade-archive";
    // The three texts go out in one datagram with room to spare.
    for (const std::string* text : {&o.news, &o.newsLink, &o.upgradeFile})
        if (text->size() > 2000)
            return "the news texts must be at most 2000 bytes each";
    return {};
}

std::string Validate(const SimOptions& o) {
    if (o.players > o.maxPlayers && !o.freeSlotAfter) // a server freeing a slot starts full
        return "--players must not exceed --max-players";
    if (!o.httpBase.empty() && o.httpBase.find("://") == std::string::npos)
        return "--http-base must be a URL such as http://host:port/";
    for (const std::string& error :
         {CheckTexts(o), CheckPorts(o), CheckGantry(o), CheckBrowser(o), CheckPublicSims(o)})
        if (!error.empty())
            return error;
    return {};
}

} // namespace

std::string SimOptions::ArchiveBaseUrl() const {
    std::string base = httpBase;
    if (base.empty())
        base = httpPort != 0 ? "http://" + address + ":" + std::to_string(httpPort) + "/"
                             : "http://" + address + "/";
    if (base.back() != '/')
        base += '/';
    return base;
}

std::string SimOptions::UpgradeLink() const {
    if (!upgradeFile.empty() || upgradeArchive.empty())
        return upgradeFile;
    const size_t slash = upgradeArchive.find_last_of('/');
    const std::string name =
        slash == std::string::npos ? upgradeArchive : upgradeArchive.substr(slash + 1);
    return "http://" + address + ":" + std::to_string(httpPort) + "/" + name;
}

SimCommandLine ParseSimCommandLine(const std::vector<std::string>& args) {
    SimCommandLine result;
    // "--version N" sets the server's version; the last word alone asks for ours.
    std::vector<std::string> words(args.rbegin(), args.rend()); // the parser takes them last first
    const bool askedVersion = !words.empty() && IsVersionSwitch(words.front());
    if (askedVersion)
        words.erase(words.begin());
    SimOptions options;
    std::string impl = "sockets";
    std::vector<std::string> publicServers;
    CLI::App app;
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    COptionTable table(app, options);
    DeclareGameServer(table);
    app.add_option("--impl", impl)->check(OneOf({"sockets", "directplay"}));
    DeclareGantryServer(table, app, options);
    DeclarePackageHost(table, app, options);
    DeclareBrowser(table, app, publicServers);
    std::vector<std::string> joins, leaves;
    DeclarePlayerSchedule(app, joins, leaves, options);
    DeclarePublicSims(table);
    try {
        app.parse(words);
    } catch (const CLI::CallForHelp&) {
        result.help = true;
        return result;
    } catch (const CLI::ParseError& error) {
        result.error = ErrorText(app, error);
        return result;
    }
    if (askedVersion) {
        result.version = true;
        return result;
    }
    options.impl = EqualsNoCase(impl, "directplay") ? SimImpl::DirectPlay : SimImpl::Sockets;
    for (const std::string& server : publicServers)
        options.publicServers.push_back(*ParsePublicServer(server));
    TakePlayerSchedule(joins, leaves, options);
    result.error = Validate(options);
    if (result.error.empty())
        result.options = options;
    return result;
}

const char* SimUsage() {
    return R"(usage: quillory-sim [OPTION]...

A stand-in Ironvale dedicated server on the local machine, for the demo and the tests. It
answers the session probe of one network implementation on its game port, the status query
"\status\" on its query port, and goes through rounds (Waiting, Setting up, Briefing,
Playing, Debriefing, then Waiting again) with players that join, score and leave, all drawn
from the seed. Optionally it runs a Gantry server beside it and hosts the package archives
over HTTP. It prints one line saying where it listens and runs until SIGINT or SIGTERM.

Game server:
  --address A            IPv4 address to listen on (default 127.0.0.1)
  --port P               game port (default 2302)
  --query-port Q         status query port (default: game port + 1)
  --impl sockets|directplay
                         network implementation whose probe is answered (default sockets)
  --fragments N          datagrams each status reply is split over, 1 to 32 (default 1;
                         at most one per key/value pair, more when one would not fit 8000
                         bytes)
  --shuffle              send the datagrams of a status reply in a shuffled order (never
                         in their own order when there are two or more)
  --seed N               seed of the players and of everything random (default 1)
  --round-seconds N      length of the Playing phase in seconds (default 300)
  --phase-seconds N      length of each other phase in seconds (default 5)
  --name TEXT            server description, at most 255 bytes
  --mission TEXT         current mission, at most 39 bytes
  --map TEXT             map (island) name (default Vale)
  --game-type TEXT       the "gamename" value: ironval, ironvalu or another text
                         (default ironval)
  --platform TEXT        the "platform" value (default linux)
  --param1 TEXT          first game parameter (default empty)
  --param2 TEXT          second game parameter (default empty)
  --version N            server version (default 196); without N, show the simulator's
                         own version
  --required-version N   version required of clients (default 196)
  --password-flag        report that a password is required (locked)
  --players N            players at start, 0 to 64 (default 4)
  --max-players N        most players at once, 1 to 64 (default 16)
  --verbose              log every request answered on stderr

Players over time (on top of those drawn from the seed):
  --player-joins NAME@SECONDS
                         the player NAME joins SECONDS after the start, when there is
                         room (may be repeated); such a player leaves only by
                         --player-leaves
  --player-leaves NAME@SECONDS
                         the player NAME leaves SECONDS after the start (may be repeated)
  --free-slot-after N    start full (--max-players players, whatever --players says) and
                         stay full, with nobody coming or going by chance; N seconds after
                         the start one player leaves and the slot stays free, filled only
                         by --player-joins

Gantry server (at game port + 20 or + 40):
  --gantry DIR           offer the package archives (*.zip) of DIR; an optional file
                         "offer.ini" in DIR gives the server texts and, per archive, its
                         priority, home page and two more texts
  --gantry-password PW   refuse hellos whose password is not PW (default: accept any)
  --gantry-offset 20|40  where the Gantry server listens (default 20)
  --gantry-chunk-size N  payload bytes per description chunk, 16 to 8000 (default 1024)
  --gantry-drop PERCENT  leave out that share of the chunks (chosen from the seed) when the
                         whole description is asked for; asked for one by one, they come
  --gantry-drop-always   never send the left-out chunks, even when asked for one by one
  --http-base URL        where the description says the archives are (default: the package
                         host below, else http://ADDRESS/)

Browser server (news and public Gantry servers, UDP on ADDRESS):
  --browser              answer news and server list requests
  --browser-port N       where it listens (default 48124)
  --news TEXT            the news text
  --news-link TEXT       the caption of the news link (default empty: no link)
  --upgrade-file URL     the link address; ending in ".ozp" it offers an upgrade (default:
                         the upgrade archive below, when there is one)
  --upgrade-archive FILE serve FILE from the package host (needs --http-port) and offer it
                         as the upgrade when --upgrade-file is not given
  --upgrade-signature FILE
                         serve FILE (its minisign signature) as the archive's name followed
                         by ".minisig"
  --upgrade-bad-signature
                         serve a signature that does not match the archive instead
  --public NAME@ADDRESS:PORT:PLAYERS:FLAGS
                         list this public server (may be repeated); FLAGS bit 0 set means
                         Ironvale Uprising
  --browser-no-self      leave the simulated server itself out of the list (listed first
                         by default, flagged Uprising when --game-type is ironvalu)
  --browser-split N      send at most N servers per list datagram (default: as many as fit)
  --public-sims N        run N light game servers on ADDRESS and list them, with names,
                         maps, missions, players, locks and versions that differ
  --public-silent N      list N more servers that hold their ports and never answer
  --public-base P        give them game ports P, P+2, ... (query port one above each);
                         default: ports the system finds free

Package host (HTTP on ADDRESS):
  --http-port N          serve the archives of DIR (and the upgrade archive) at
                         http://ADDRESS:N/NAME
  --http-fail NAME       answer 404 for the archive NAME (may be repeated)
  --http-cut NAME        send only half of the archive NAME, then close (may be repeated)
  --http-rate BYTES      send every archive at about BYTES per second
  --http-cut-once NAME   as --http-cut, on the first request for NAME only
  --http-cut-at BYTES    cut there instead of at half the archive
  --http-busy-once NAME  answer 503 to the first request for NAME
  --http-change NAME:FILE
                         from the second request for NAME on, serve the bytes of FILE as
                         NAME, as if the archive had changed on the server
  --http-no-range        ignore Range requests: always send the whole archive
  --http-validators both|etag|last-modified|none
                         which of ETag and Last-Modified to send (default both); Range
                         requests are honoured, guarded by If-Range with either

  --help                 show this text

Exit status: 0 when stopped by SIGINT or SIGTERM, 1 when a port cannot be opened or the
Gantry folder cannot be read, 2 for a bad command line.
)";
}

} // namespace quillory::sim
