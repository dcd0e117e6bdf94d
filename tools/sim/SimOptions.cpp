#include "tools/sim/SimOptions.h"

#include "common/AsciiCase.h"
#include "common/StandardSwitches.h"

#include <arpa/inet.h>

#include <charconv>
#include <functional>
#include <limits>
#include <map>

namespace quillory::sim {

namespace {

// Longest texts that fit the replies: the description field and the status key/value buffers.
constexpr size_t kMaxText = 255;
// The mission field of the enumeration replies holds 40 bytes with its terminator.
constexpr size_t kMaxMission = 39;
constexpr int kMaxFragments = 32;
constexpr int kMaxPlayers = 64;

template <typename T> bool ParseNumber(const std::string& text, T low, T high, T& out) {
    T value{};
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high)
        return false;
    out = value;
    return true;
}

using ValueHandler = std::function<bool(SimOptions&, const std::string&)>;

template <typename T> ValueHandler Number(T SimOptions::*field, T low, T high) {
    return [=](SimOptions& o, const std::string& v) { return ParseNumber(v, low, high, o.*field); };
}

ValueHandler Text(std::string SimOptions::*field) {
    return [=](SimOptions& o, const std::string& v) {
        o.*field = v;
        return true;
    };
}

ValueHandler TextList(std::vector<std::string> SimOptions::*field) {
    return [=](SimOptions& o, const std::string& v) {
        if (v.empty() || v.find('/') != std::string::npos)
            return false;
        (o.*field).push_back(v);
        return true;
    };
}

// NAME:FILE, NAME a plain archive name.
bool ParseChange(SimOptions& o, const std::string& v) {
    const size_t colon = v.find(':');
    if (colon == 0 || colon == std::string::npos || colon + 1 == v.size() ||
        v.substr(0, colon).find('/') != std::string::npos)
        return false;
    o.httpChange.push_back(v);
    return true;
}

bool ParseValidators(SimOptions& o, const std::string& v) {
    if (v != "both" && v != "etag" && v != "last-modified" && v != "none")
        return false;
    o.httpValidators = v;
    return true;
}

bool ParseImpl(SimOptions& o, const std::string& v) {
    if (EqualsNoCase(v, "sockets"))
        o.impl = SimImpl::Sockets;
    else if (EqualsNoCase(v, "directplay"))
        o.impl = SimImpl::DirectPlay;
    else
        return false;
    return true;
}

// NAME@ADDRESS:PORT:PLAYERS:FLAGS; the name may hold '@' itself, so the last one splits.
bool ParsePublicServer(SimOptions& o, const std::string& v) {
    const size_t at = v.rfind('@');
    if (at == std::string::npos || at > kMaxText)
        return false;
    SimPublicServer server;
    server.name = v.substr(0, at);
    std::vector<std::string> parts;
    size_t from = at + 1;
    for (size_t colon; (colon = v.find(':', from)) != std::string::npos; from = colon + 1)
        parts.push_back(v.substr(from, colon - from));
    parts.push_back(v.substr(from));
    in_addr address{};
    if (parts.size() != 4 || inet_pton(AF_INET, parts[0].c_str(), &address) != 1)
        return false;
    server.address = address.s_addr;
    if (!ParseNumber<uint16_t>(parts[1], 1, 65535, server.port) ||
        !ParseNumber<uint8_t>(parts[2], 0, 255, server.players) ||
        !ParseNumber<uint8_t>(parts[3], 0, 255, server.flags))
        return false;
    o.publicServers.push_back(std::move(server));
    return true;
}

bool ParseOffset(SimOptions& o, const std::string& v) {
    return (v == "20" || v == "40") && ParseNumber(v, 20, 40, o.gantryOffset);
}

const std::map<std::string, ValueHandler>& ValueOptions() {
    using O = SimOptions;
    static const std::map<std::string, ValueHandler> options = {
        {"--address", Text(&O::address)},
        {"--port", Number<uint16_t>(&O::port, 1, 65535)},
        {"--query-port", Number<uint16_t>(&O::queryPort, 1, 65535)},
        {"--impl", ParseImpl},
        {"--fragments", Number(&O::fragments, 1, kMaxFragments)},
        {"--seed", Number<uint32_t>(&O::seed, 0, std::numeric_limits<uint32_t>::max())},
        {"--round-seconds", Number<uint32_t>(&O::roundSeconds, 1, 86400)},
        {"--phase-seconds", Number<uint32_t>(&O::phaseSeconds, 1, 3600)},
        {"--name", Text(&O::name)},
        {"--mission", Text(&O::mission)},
        {"--map", Text(&O::map)},
        {"--game-type", Text(&O::gameType)},
        {"--platform", Text(&O::platform)},
        {"--param1", Text(&O::param1)},
        {"--param2", Text(&O::param2)},
        {"--version", Number<uint32_t>(&O::version, 0, std::numeric_limits<int32_t>::max())},
        {"--required-version",
         Number<uint32_t>(&O::requiredVersion, 0, std::numeric_limits<int32_t>::max())},
        {"--players", Number(&O::players, 0, kMaxPlayers)},
        {"--max-players", Number(&O::maxPlayers, 1, kMaxPlayers)},
        {"--gantry", Text(&O::gantryDir)},
        {"--gantry-password", Text(&O::gantryPassword)},
        {"--gantry-offset", ParseOffset},
        {"--http-base", Text(&O::httpBase)},
        {"--gantry-drop", Number(&O::gantryDropPercent, 0, 100)},
        {"--gantry-chunk-size", Number(&O::gantryChunkSize, 16, 8000)},
        {"--http-port", Number<uint16_t>(&O::httpPort, 1, 65535)},
        {"--http-fail", TextList(&O::httpFail)},
        {"--http-cut", TextList(&O::httpCut)},
        {"--http-rate", Number<uint64_t>(&O::httpRate, 1, std::numeric_limits<uint32_t>::max())},
        {"--http-cut-once", TextList(&O::httpCutOnce)},
        {"--http-cut-at", Number<uint64_t>(&O::httpCutAt, 1, std::numeric_limits<int64_t>::max())},
        {"--http-busy-once", TextList(&O::httpBusyOnce)},
        {"--http-change", ParseChange},
        {"--http-validators", ParseValidators},
        {"--browser-port", Number<uint16_t>(&O::browserPort, 1, 65535)},
        {"--news", Text(&O::news)},
        {"--news-link", Text(&O::newsLink)},
        {"--upgrade-file", Text(&O::upgradeFile)},
        {"--upgrade-archive", Text(&O::upgradeArchive)},
        {"--public", ParsePublicServer},
        {"--browser-split", Number(&O::browserSplit, 1, 1000)},
    };
    return options;
}

const std::map<std::string, bool SimOptions::*>& FlagOptions() {
    static const std::map<std::string, bool SimOptions::*> flags = {
        {"--shuffle", &SimOptions::shuffle},
        {"--password-flag", &SimOptions::locked},
        {"--verbose", &SimOptions::verbose},
        {"--gantry-drop-always", &SimOptions::gantryDropAlways},
        {"--browser", &SimOptions::browser},
        {"--browser-no-self", &SimOptions::browserNoSelf},
        {"--http-no-range", &SimOptions::httpNoRange},
    };
    return flags;
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

std::string CheckBrowser(const SimOptions& o) {
    const bool browserOnly = o.browserPort != BROWSER_SERVER_PORT || !o.newsLink.empty() ||
                             !o.upgradeFile.empty() || !o.upgradeArchive.empty() ||
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
    // The three texts go out in one datagram with room to spare.
    for (const std::string* text : {&o.news, &o.newsLink, &o.upgradeFile})
        if (text->size() > 2000)
            return "the news texts must be at most 2000 bytes each";
    return {};
}

std::string Validate(const SimOptions& o) {
    if (o.players > o.maxPlayers)
        return "--players must not exceed --max-players";
    if (!o.httpBase.empty() && o.httpBase.find("://") == std::string::npos)
        return "--http-base must be a URL such as http://host:port/";
    for (const std::string& error : {CheckTexts(o), CheckPorts(o), CheckGantry(o), CheckBrowser(o)})
        if (!error.empty())
            return error;
    return {};
}

// Splits "--name=value" into its two halves; a word without '=' keeps an empty value.
std::pair<std::string, std::optional<std::string>> SplitWord(const std::string& word) {
    size_t eq = word.find('=');
    if (word.rfind("--", 0) != 0 || eq == std::string::npos)
        return {word, std::nullopt};
    return {word.substr(0, eq), word.substr(eq + 1)};
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
    SimOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        auto [name, inlineValue] = SplitWord(args[i]);
        if (name == "--help" || name == "-h") {
            result.help = true;
            return result;
        }
        // "--version N" sets the server's version; the last word alone asks for ours.
        if (IsVersionSwitch(args[i]) && i + 1 == args.size()) {
            result.version = true;
            return result;
        }
        if (auto flag = FlagOptions().find(name); flag != FlagOptions().end() && !inlineValue) {
            options.*(flag->second) = true;
            continue;
        }
        auto handler = ValueOptions().find(name);
        if (handler == ValueOptions().end()) {
            result.error = "unknown option '" + args[i] + "'";
            return result;
        }
        if (!inlineValue && i + 1 >= args.size()) {
            result.error = name + " needs a value";
            return result;
        }
        const std::string value = inlineValue ? *inlineValue : args[++i];
        if (!handler->second(options, value)) {
            result.error = "bad value '" + value + "' for " + name;
            return result;
        }
    }
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
  --public NAME@ADDRESS:PORT:PLAYERS:FLAGS
                         list this public server (may be repeated); FLAGS bit 0 set means
                         Ironvale Uprising
  --browser-no-self      leave the simulated server itself out of the list (listed first
                         by default, flagged Uprising when --game-type is ironvalu)
  --browser-split N      send at most N servers per list datagram (default: as many as fit)

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
