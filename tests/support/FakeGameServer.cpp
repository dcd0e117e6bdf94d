#include "tests/support/FakeGameServer.h"

#include <random>

namespace quillory::test {

bool FakeGameServer::Open() {
    std::mt19937 random(std::random_device{}());
    // Above the blocks that tests hand to the simulator (below 32768), which are only checked
    // free before the simulator binds them.
    std::uniform_int_distribution<int> pick(33000, 60000);
    for (int attempt = 0; attempt < 200; ++attempt) {
        uint16_t base = static_cast<uint16_t>(pick(random));
        peers_.clear();
        bool all = true;
        for (uint16_t offset : OFFSETS)
            all = all && peers_[offset].Open(uint16_t(base + offset));
        if (all) {
            gamePort_ = base;
            return true;
        }
    }
    peers_.clear();
    return false;
}

void FakeGameServer::DrainAll() {
    for (auto& [offset, peer] : peers_)
        peer.Drain();
}

} // namespace quillory::test
