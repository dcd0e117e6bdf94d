#pragma once
// The command line of quillory-sim: a stand-in Ironvale server, Gantry server and package host.

#include "net/BrowserHost.h"
#include "tools/sim/RoundModel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillory::sim {

// Which session probe the simulated server answers on its game port.
enum class SimImpl { Sockets, DirectPlay };

// One public server the browser server lists.
struct SimPublicServer {
    std::string name;
    uint32_t address = 0; // network order
    uint16_t port = 0;
    uint8_t players = 0;
    uint8_t flags = 0;
};

struct SimOptions {
    // Game server.
    std::string address = "127.0.0.1";
    uint16_t port = 2302;
    uint16_t queryPort = 0; // 0: the game port + 1
    SimImpl impl = SimImpl::Sockets;
    int fragments = 1;
    bool shuffle = false;
    uint32_t seed = 1;
    uint32_t roundSeconds = 300;
    uint32_t phaseSeconds = 5;
    std::string name = "Quillory Test Server";
    std::string mission = "Harbour Assault";
    std::string map = "Vale";
    std::string gameType = "ironval";
    std::string platform = "linux";
    std::string param1;
    std::string param2;
    uint32_t version = 196;
    uint32_t requiredVersion = 196;
    bool locked = false;
    int players = 4;
    int maxPlayers = 16;
    bool verbose = false;

    // Players over time: named joins and leaves, and a full server that frees a slot.
    std::vector<PlayerChange> playerChanges;
    std::optional<uint32_t> freeSlotAfter;

    // Gantry server (on when gantryDir is set).
    std::string gantryDir;
    std::string gantryPassword;
    int gantryOffset = 20;
    std::string httpBase; // empty: from the package host, or http://ADDRESS/
    int gantryDropPercent = 0;
    bool gantryDropAlways = false;
    int gantryChunkSize = 1024;

    // Package host (on when httpPort is not 0).
    uint16_t httpPort = 0;
    std::vector<std::string> httpFail;     // archive names answered with 404
    std::vector<std::string> httpCut;      // archive names whose body is cut short
    uint64_t httpRate = 0;                 // bytes per second; 0: as fast as it goes
    std::vector<std::string> httpCutOnce;  // names cut short on their first request only
    uint64_t httpCutAt = 0;                // where a cut falls; 0: half the archive
    std::vector<std::string> httpBusyOnce; // names answered 503 on their first request
    // NAME:FILE pairs: from the second request on, NAME is served with the bytes of FILE, as
    // if the archive had changed on the server between two attempts.
    std::vector<std::string> httpChange;
    bool httpNoRange = false;            // answer every request with the whole archive
    std::string httpValidators = "both"; // both, etag, last-modified or none

    // Browser server (on with --browser).
    bool browser = false;
    uint16_t browserPort = BROWSER_SERVER_PORT;
    std::string news = "Welcome to the quillory-sim browser server";
    std::string newsLink;
    std::string upgradeFile;
    std::string upgradeArchive;       // a file served by the package host, offered as the upgrade
    std::string upgradeSignature;     // served as the archive's name + ".minisig"
    bool upgradeBadSignature = false; // serve a signature that does not match instead
    std::vector<SimPublicServer> publicServers;
    bool browserNoSelf = false; // leave the simulated game server out of the list
    int browserSplit = 0;       // records per list datagram; 0: as many as fit

    // Light game servers listed by the browser server (with --browser).
    int publicSims = 0;      // answering ones
    int publicSilent = 0;    // ones that hold their ports and never answer
    uint32_t publicBase = 0; // their first game port, two ports each; 0: ports the system finds

    uint16_t QueryPort() const { return queryPort != 0 ? queryPort : uint16_t(port + 1); }
    uint16_t GantryPort() const { return uint16_t(port + gantryOffset); }
    bool GantryOn() const { return !gantryDir.empty(); }
    // The base URL the description gives each archive, always ending in '/'.
    std::string ArchiveBaseUrl() const;
    // The link the news offers: --upgrade-file, else the upgrade archive on the package host.
    std::string UpgradeLink() const;
};

struct SimCommandLine {
    std::optional<SimOptions> options; // set when the command line is good
    bool help = false;                 // --help: print the usage and stop
    bool version = false;              // --version without a number: print ours and stop
    std::string error;                 // why the command line is bad
};

SimCommandLine ParseSimCommandLine(const std::vector<std::string>& args);

// The text of `quillory-sim --help`.
const char* SimUsage();

} // namespace quillory::sim
