#pragma once
// A stand-in game server on loopback: endpoints at a game port P and at P+1, P+2, P+20 and
// P+40, where the engine sends its probes, status queries and Gantry hellos.

#include "tests/support/FakeUdpPeer.h"

#include <cstdint>
#include <map>

namespace quillory::test {

class FakeGameServer {
public:
    // Offsets from the game port that get an endpoint.
    static constexpr uint16_t OFFSETS[] = {0, 1, 2, 20, 40};

    // Finds a game port whose five endpoints are all free and binds them.
    bool Open();
    uint16_t GamePort() const { return gamePort_; }
    FakeUdpPeer& At(uint16_t offset) { return peers_.at(offset); }
    // Forgets what arrived at every endpoint.
    void DrainAll();

private:
    uint16_t gamePort_ = 0;
    std::map<uint16_t, FakeUdpPeer> peers_;
};

} // namespace quillory::test
