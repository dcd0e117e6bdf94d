#pragma once
// The simulated browser server: answers news requests with the configured texts and server
// list requests with the public servers, the simulated game server first.

#include "tools/sim/SimOptions.h"
#include "tools/sim/SimSocket.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillory::sim {

class CBrowserServer final {
public:
    // `selfPlayers` gives the simulated server's players at the time of a list request.
    CBrowserServer(const SimOptions& options, std::function<uint8_t()> selfPlayers);

    // Binds the browser port; false with the reason in `error`.
    bool Open(std::string& error);
    int Fd() const { return socket_.Fd(); }

    // Answers every request waiting on the browser port; anything else is dropped.
    void HandleRequests();

    // The reply datagrams to a news or list request carrying `token`.
    std::string NewsReply(uint16_t token) const;
    std::vector<std::string> ListReply(uint16_t token) const;

    // Servers listed after the configured ones (the simulator's public servers).
    void AddListed(std::vector<SimPublicServer> servers) { extra_ = std::move(servers); }

private:
    std::vector<SimPublicServer> Listed() const;

    const SimOptions& options_;
    std::function<uint8_t()> selfPlayers_;
    CSimSocket socket_;
    std::vector<SimPublicServer> extra_;
};

} // namespace quillory::sim
