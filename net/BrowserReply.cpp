#include "net/BrowserReply.h"

#include "common/AsciiCase.h"

#include <cstring>
#include <string>

namespace quillory {

namespace {

constexpr size_t NEWS_TEXTS_OFFSET = 4;
constexpr size_t LIST_RECORDS_OFFSET = 2;
// Address, port, players and flags come before the name.
constexpr size_t RECORD_FIXED_LENGTH = 8;
constexpr char UPGRADE_SUFFIX[] = ".ozp";

uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

void Put16(uint8_t* p, uint16_t value) {
    p[0] = uint8_t(value & 0xFF);
    p[1] = uint8_t(value >> 8);
}

// The zero-terminated text at `at`, ending at the datagram's end when it has no zero; `at`
// moves past the zero.
String TakeText(const uint8_t* data, size_t length, size_t& at) {
    if (at >= length)
        return String();
    const char* text = reinterpret_cast<const char*>(data + at);
    const size_t size = strnlen(text, length - at);
    at += size + 1;
    return String(text, size);
}

} // namespace

uint16_t NewsToken(uint32_t tick) {
    const uint16_t low = uint16_t(tick & 0xFFFF);
    return low != 0 ? low : 1;
}

std::array<uint8_t, NEWS_REQUEST_LENGTH> NewsRequest(uint32_t tick) {
    const uint16_t token = NewsToken(tick);
    const uint16_t high = uint16_t(tick >> 16);
    const uint16_t check = uint16_t(((BROWSER_NEWS_REQUEST + token + high) * 5) & 0xFFFF) ^ 0xAAAA;
    std::array<uint8_t, NEWS_REQUEST_LENGTH> request{};
    Put16(&request[0], BROWSER_NEWS_REQUEST);
    Put16(&request[2], token);
    Put16(&request[4], high);
    Put16(&request[6], check);
    return request;
}

uint16_t ServerListToken(uint32_t tick) {
    return uint16_t((tick + 0x1234) & 0xFFFF);
}

std::array<uint8_t, LIST_REQUEST_LENGTH> ServerListRequest(uint32_t tick) {
    std::array<uint8_t, LIST_REQUEST_LENGTH> request{};
    Put16(&request[0], BROWSER_LIST_REQUEST);
    Put16(&request[2], BROWSER_NEWS_REQUEST);
    Put16(&request[4], ServerListToken(tick));
    return request;
}

bool ReplyToken(const uint8_t* data, size_t length, uint16_t& token) {
    if (length < 2)
        return false;
    token = U16(data);
    return true;
}

BrowserNews ParseNewsReply(const uint8_t* data, size_t length) {
    BrowserNews news;
    size_t at = NEWS_TEXTS_OFFSET;
    news.text = TakeText(data, length, at);
    news.link = TakeText(data, length, at);
    news.upgradeFile = TakeText(data, length, at);
    return news;
}

std::vector<PublicServer> ParseServerListReply(const uint8_t* data, size_t length) {
    std::vector<PublicServer> servers;
    size_t at = LIST_RECORDS_OFFSET;
    while (at < length && length - at >= RECORD_FIXED_LENGTH) {
        PublicServer server;
        std::memcpy(&server.address, data + at, 4); // stays in network order
        server.port = U16(data + at + 4);
        server.players = data[at + 6];
        server.flags = data[at + 7];
        at += RECORD_FIXED_LENGTH;
        server.name = TakeText(data, length, at);
        servers.push_back(std::move(server));
    }
    return servers;
}

String DottedIpv4(uint32_t address) {
    uint8_t bytes[4];
    std::memcpy(bytes, &address, 4); // network order: the first byte is the first number
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

String PublicServerAddress(const PublicServer& server) {
    return DottedIpv4(server.address) + ":" + std::to_string(server.port);
}

bool IsUpgradeArchive(const String& link) {
    return EndsWithNoCase(link, UPGRADE_SUFFIX);
}

} // namespace quillory
