#pragma once
// A UDP socket on 127.0.0.1 for talking to the simulator byte by byte.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillory::test {

using Bytes = std::vector<uint8_t>;

struct Datagram {
    Bytes bytes;
    int fromPort = 0;
    std::string Text() const { return std::string(bytes.begin(), bytes.end()); }
};

class CUdpClient final {
public:
    CUdpClient();
    ~CUdpClient();
    CUdpClient(const CUdpClient&) = delete;
    CUdpClient& operator=(const CUdpClient&) = delete;

    bool Send(int port, const Bytes& bytes);
    bool Send(int port, const std::string& text) {
        return Send(port, Bytes(text.begin(), text.end()));
    }
    // The next datagram, or nothing after `timeout`.
    std::optional<Datagram> Receive(std::chrono::milliseconds timeout);
    // Sends and returns the first answer, retrying a few times: loopback may drop under load.
    std::optional<Datagram> Ask(int port, const Bytes& bytes);

private:
    int fd_ = -1;
};

// Little-endian readers over received bytes; 0 past the end.
uint16_t U16At(const Bytes& b, size_t at);
uint32_t U32At(const Bytes& b, size_t at);
// The zero-terminated text at `at`, read no further than `limit` bytes.
std::string TextAt(const Bytes& b, size_t at, size_t limit);

} // namespace quillory::test
