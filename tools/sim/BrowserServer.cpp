#include "tools/sim/BrowserServer.h"

#include <arpa/inet.h>

#include <cstdio>

namespace quillory::sim {

namespace {

constexpr uint16_t kNewsRequest = 0x03C3;
constexpr uint16_t kListRequest = 0xFFFD;
constexpr size_t kNewsRequestLength = 8;
constexpr size_t kListRequestLength = 6;
// List datagrams stay below a common path MTU.
constexpr size_t kMaxListDatagram = 1400;

uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

void Append16(std::string& out, uint16_t value) {
    out += char(value & 0xFF);
    out += char(value >> 8);
}

// A news request carries its token, the high word of the client's tick and a check word.
bool NewsRequestValid(const uint8_t* data) {
    const uint16_t token = U16(data + 2);
    const uint16_t high = U16(data + 4);
    const uint16_t check = uint16_t(((kNewsRequest + token + high) * 5) & 0xFFFF) ^ 0xAAAA;
    return U16(data) == kNewsRequest && token != 0 && U16(data + 6) == check;
}

bool ListRequestValid(const uint8_t* data) {
    return U16(data) == kListRequest && U16(data + 2) == kNewsRequest;
}

std::string RecordBytes(const SimPublicServer& server) {
    std::string record(reinterpret_cast<const char*>(&server.address), 4);
    Append16(record, server.port);
    record += char(server.players);
    record += char(server.flags);
    record += server.name;
    record += '\0';
    return record;
}

} // namespace

CBrowserServer::CBrowserServer(const SimOptions& options, std::function<uint8_t()> selfPlayers)
    : options_(options), selfPlayers_(std::move(selfPlayers)) {}

bool CBrowserServer::Open(std::string& error) {
    if (socket_.Bind(options_.address, options_.browserPort, error))
        return true;
    error = "cannot listen on browser port " + std::to_string(options_.browserPort) + ": " + error;
    return false;
}

void CBrowserServer::HandleRequests() {
    uint8_t buffer[2048];
    sockaddr_in from{};
    for (ptrdiff_t n; (n = socket_.Receive(buffer, sizeof buffer, from)) >= 0;) {
        std::vector<std::string> replies;
        const char* kind = "stray datagram";
        if (size_t(n) == kNewsRequestLength && NewsRequestValid(buffer)) {
            replies.push_back(NewsReply(U16(buffer + 2)));
            kind = "news request";
        } else if (size_t(n) == kListRequestLength && ListRequestValid(buffer)) {
            replies = ListReply(U16(buffer + 4));
            kind = "server list request";
        }
        for (const std::string& reply : replies)
            socket_.SendTo(reply.data(), reply.size(), from);
        if (options_.verbose)
            std::fprintf(stderr, "quillory-sim: browser: %s from %s, %zu datagram(s)\n", kind,
                         EndpointText(from).c_str(), replies.size());
    }
}

std::string CBrowserServer::NewsReply(uint16_t token) const {
    std::string reply;
    Append16(reply, token);
    reply.append(2, '\0');
    for (const std::string& text : {options_.news, options_.newsLink, options_.UpgradeLink()}) {
        reply += text;
        reply += '\0';
    }
    return reply;
}

std::vector<std::string> CBrowserServer::ListReply(uint16_t token) const {
    std::vector<std::string> datagrams;
    std::string current;
    int inCurrent = 0;
    for (const SimPublicServer& server : Listed()) {
        const std::string record = RecordBytes(server);
        const bool full = options_.browserSplit != 0 && inCurrent == options_.browserSplit;
        if (inCurrent > 0 && (full || current.size() + record.size() > kMaxListDatagram)) {
            datagrams.push_back(std::move(current));
            current.clear();
            inCurrent = 0;
        }
        if (current.empty())
            Append16(current, token);
        current += record;
        ++inCurrent;
    }
    if (!current.empty())
        datagrams.push_back(std::move(current));
    return datagrams;
}

std::vector<SimPublicServer> CBrowserServer::Listed() const {
    std::vector<SimPublicServer> servers;
    if (!options_.browserNoSelf) {
        SimPublicServer self;
        self.name = options_.name;
        inet_pton(AF_INET, options_.address.c_str(), &self.address);
        self.port = options_.port;
        self.players = selfPlayers_ ? selfPlayers_() : 0;
        self.flags = options_.gameType == "ironvalu" ? 1 : 0;
        servers.push_back(std::move(self));
    }
    servers.insert(servers.end(), options_.publicServers.begin(), options_.publicServers.end());
    servers.insert(servers.end(), extra_.begin(), extra_.end());
    return servers;
}

} // namespace quillory::sim
