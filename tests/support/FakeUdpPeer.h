#pragma once
// One UDP endpoint on loopback for scripted exchanges: what arrives is taken with a timeout,
// replies go back from the same port.

#include "platform/UdpSocket.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quillory::test {

struct Datagram {
    std::string bytes;
    uint16_t fromPort = 0;
};

class FakeUdpPeer {
public:
    // Binds `port` on `address` (0: any free port); false when it is taken. Any 127.x.y.z
    // address is loopback, so a second address stands for another host.
    bool Open(uint16_t port = 0, uint32_t address = LoopbackAddress());
    uint16_t Port() const { return socket_.LocalPort(); }
    // The next datagram within `timeoutMs`.
    std::optional<Datagram> Receive(uint32_t timeoutMs = 5000);
    // True when nothing arrives within `timeoutMs`.
    bool StaysQuiet(uint32_t timeoutMs);
    // Forgets everything that has arrived so far.
    void Drain();
    bool Send(uint16_t toPort, const std::string& bytes);

private:
    CUdpSocket socket_;
};

} // namespace quillory::test
