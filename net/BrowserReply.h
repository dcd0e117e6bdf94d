#pragma once
// The browser server's protocol: the news and server list requests, and the two replies.

#include "common/Types.h"
#include "net/PublicServer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillory {

constexpr uint16_t BROWSER_NEWS_REQUEST = 0x03C3;
constexpr uint16_t BROWSER_LIST_REQUEST = 0xFFFD;
constexpr size_t NEWS_REQUEST_LENGTH = 8;
constexpr size_t LIST_REQUEST_LENGTH = 6;

// The three texts of a news reply; the upgrade-offered flag is the window's link blink.
struct BrowserNews {
    String text;
    String link;
    String upgradeFile;
    bool upgradeOffered = false;
};

// The token of a news request sent at `tick`: its low word, never 0.
uint16_t NewsToken(uint32_t tick);
std::array<uint8_t, NEWS_REQUEST_LENGTH> NewsRequest(uint32_t tick);
// The token of a server list request sent at `tick`.
uint16_t ServerListToken(uint32_t tick);
std::array<uint8_t, LIST_REQUEST_LENGTH> ServerListRequest(uint32_t tick);

// The first word of a reply: the token of the request it answers; nothing below two bytes.
bool ReplyToken(const uint8_t* data, size_t length, uint16_t& token);

// The three texts from offset 4 of a news reply; a text missing at the end reads as empty.
// The upgrade-offered flag is left clear: whoever stores the news sets it.
BrowserNews ParseNewsReply(const uint8_t* data, size_t length);

// The records from offset 2 of a list reply, in order. A record cut short ends the reply; a
// name without terminator ends at the end of the datagram.
std::vector<PublicServer> ParseServerListReply(const uint8_t* data, size_t length);

// An IPv4 address in network order as dotted text.
String DottedIpv4(uint32_t address);
// "a.b.c.d:port", as the server browser shows a public server and adds it to the list.
String PublicServerAddress(const PublicServer& server);

// Whether a link names an upgrade archive: ".ozp" at its end, in any case.
bool IsUpgradeArchive(const String& link);

} // namespace quillory
