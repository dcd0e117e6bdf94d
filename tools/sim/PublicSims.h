#pragma once
// Many light game servers in one simulator, for the server browser: each answers on its own
// game port and query port of the simulator's address and is listed by the browser server.
// Silent ones hold their two ports and never answer, as a server that has gone away.

#include "tools/sim/GameServer.h"
#include "tools/sim/SimOptions.h"
#include "tools/sim/SimSocket.h"

#include <poll.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillory::sim {

class CPublicSims final {
public:
    explicit CPublicSims(const SimOptions& options);
    CPublicSims(const CPublicSims&) = delete;
    CPublicSims& operator=(const CPublicSims&) = delete;

    // Binds every server's two ports; false with the reason in `error`.
    bool Open(std::string& error);
    // What the browser server lists for them: the answering ones first, then the silent ones.
    std::vector<SimPublicServer> Listed() const;
    // "N public servers (M silent) from port P", for the line printed at start.
    std::string ListeningText() const;

    void AdvanceTo(uint64_t elapsedSeconds);
    // Appends the descriptors to wait on; `Handle` takes the same ones back after the wait.
    void AddPollFds(std::vector<pollfd>& fds) const;
    void Handle(const pollfd* fds);

private:
    // One silent server: its ports are taken, whatever arrives there is read and dropped.
    struct Silent {
        std::string name;
        CSimSocket game;
        CSimSocket query;
    };
    bool OpenLive(size_t index, std::string& error);
    bool OpenSilent(size_t index, std::string& error);
    // The game port to try next (its query port is the one above): from --public-base in
    // steps of two, else one the system finds free; 0 when none is left.
    uint16_t NextPort();

    const SimOptions& options_;
    std::vector<std::unique_ptr<SimOptions>> liveOptions_; // each server's own settings
    std::vector<std::unique_ptr<CGameServer>> live_;
    std::vector<std::unique_ptr<Silent>> silent_;
    uint32_t nextBase_ = 0; // the next port tried with --public-base
};

// The settings of the index-th public server made from the simulator's own: name, map,
// mission, players, lock and version differ from one to the next so that every filter and
// sort of the browser has something to act on; how replies are split is the simulator's.
SimOptions PublicSimOptions(const SimOptions& base, size_t index);

} // namespace quillory::sim
