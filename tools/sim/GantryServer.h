#pragma once
// The simulated Gantry server beside the game server: it proves the password of a hello and
// hands out the compressed offered package list in chunks, all of them or one at a time.

#include "tools/sim/SimOptions.h"
#include "tools/sim/SimSocket.h"

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

namespace quillory::sim {

class CGantryServer final {
public:
    explicit CGantryServer(const SimOptions& options);

    // Builds the description from the Gantry folder and binds the Gantry port; false with the
    // reason in `error`. Archives left out are told in `warnings`.
    bool Open(std::string& error, std::vector<std::string>& warnings);
    int Fd() const { return socket_.Fd(); }

    // Answers the requests waiting on the Gantry port; chunks go into the outbox.
    void HandleRequests();
    bool HasPendingSends() const { return !outbox_.empty(); }
    // Sends the next few chunks of the outbox, so a burst does not flood the client.
    void SendPending();

private:
    struct Outgoing {
        sockaddr_in to;
        uint16_t index;
    };

    bool Build(std::string& error, std::vector<std::string>& warnings);
    void RebuildIfChanged();
    void OnHello(const uint8_t* data, size_t size, const sockaddr_in& from);
    void Queue(const sockaddr_in& to, uint16_t index, bool wholeDescription);
    bool Proven(const sockaddr_in& from) const;
    void Remember(const sockaddr_in& from);
    void Log(const char* what, const sockaddr_in& from) const;

    const SimOptions& options_;
    CSimSocket socket_;
    std::string fingerprint_;
    std::vector<std::vector<uint8_t>> chunks_; // whole datagrams: index, payload, CRC-32
    uint64_t tag_ = 0;
    std::set<uint16_t> dropped_;
    std::deque<Outgoing> outbox_;
    std::deque<uint64_t> proven_; // endpoints whose hello was accepted, oldest first
};

} // namespace quillory::sim
