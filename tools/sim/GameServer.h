#pragma once
// The simulated game server: the session probe on the game port and the status query on the
// query port, answered from the round as it stands.

#include "tools/sim/RoundModel.h"
#include "tools/sim/SimOptions.h"
#include "tools/sim/SimSocket.h"

#include <random>
#include <string>

namespace quillory::sim {

class CGameServer final {
public:
    explicit CGameServer(const SimOptions& options);

    // Binds the game and query ports; false with the reason in `error`.
    bool Open(std::string& error);
    int GameFd() const { return game_.Fd(); }
    int QueryFd() const { return query_.Fd(); }

    // Moves the round on to the given seconds since the start.
    void AdvanceTo(uint64_t elapsedSeconds) { round_.AdvanceTo(elapsedSeconds); }

    size_t PlayerCount() const { return round_.Players().size(); }

    // Answers every datagram waiting on the game port, or on the query port.
    void HandleGamePort();
    void HandleQueryPort();

private:
    void SendStatusReply(const sockaddr_in& to);

    const SimOptions& options_;
    CRoundModel round_;
    CSimSocket game_;
    CSimSocket query_;
    std::mt19937 shuffleRng_;
    uint32_t nextQueryId_ = 1;
};

} // namespace quillory::sim
