#include "tests/support/FakeUdpPeer.h"

namespace quillory::test {

bool FakeUdpPeer::Open(uint16_t port, uint32_t address) {
    return socket_.Open(port, address);
}

std::optional<Datagram> FakeUdpPeer::Receive(uint32_t timeoutMs) {
    if (!socket_.WaitReadable(timeoutMs))
        return std::nullopt;
    char buffer[65536];
    uint32_t address = 0;
    Datagram d;
    int n = socket_.ReceiveFrom(buffer, sizeof buffer, address, d.fromPort);
    if (n < 0)
        return std::nullopt;
    d.bytes.assign(buffer, static_cast<size_t>(n));
    return d;
}

bool FakeUdpPeer::StaysQuiet(uint32_t timeoutMs) {
    return !socket_.WaitReadable(timeoutMs);
}

void FakeUdpPeer::Drain() {
    while (socket_.WaitReadable(0))
        Receive(0);
}

bool FakeUdpPeer::Send(uint16_t toPort, const std::string& bytes) {
    return socket_.SendTo(LoopbackAddress(), toPort, bytes.data(), bytes.size()) ==
           static_cast<int>(bytes.size());
}

} // namespace quillory::test
