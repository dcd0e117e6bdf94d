// Feeds arbitrary datagrams to the engine as browser-server replies. The first byte picks news
// or list (its token goes first) and whether the records are taken out, so the parsers, the
// duplicate check and the taking all see the same bytes.
#include "net/ServerQuery.h"
#include "platform/UdpSocket.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

using namespace quillory;

namespace {

constexpr uint32_t TICK = 0x00051234;

void Check(bool condition) {
    if (!condition)
        abort();
}

bool HasZero(const String& text) {
    return text.find('\0') != String::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CWatchState state;
    static CServerQuery engine(state, [] { return TICK; });
    static HandleArray<PublicServer> taken;
    static bool asked = false;
    if (!asked) {
        engine.HandleMessage(QM_QUERY_NEWS, LoopbackAddress(), BROWSER_SERVER_PORT);
        engine.HandleMessage(QM_QUERY_SERVER_LIST, LoopbackAddress(), BROWSER_SERVER_PORT);
        asked = true;
    }
    if (size == 0)
        return 0;
    const uint16_t token = (data[0] & 1) ? ServerListToken(TICK) : NewsToken(TICK);
    std::vector<uint8_t> reply = {uint8_t(token & 0xFF), uint8_t(token >> 8)};
    reply.insert(reply.end(), data + 1, data + size);
    engine.HandleDatagram(reply.data(), reply.size(), LoopbackAddress(), BROWSER_SERVER_PORT);

    {
        std::lock_guard guard(state.StatusLock());
        Check(!HasZero(state.news.text) && !HasZero(state.news.link) &&
              !HasZero(state.news.upgradeFile));
        for (const auto& server : state.publicServers)
            Check(!HasZero(server->name));
    }
    if (data[0] & 2) {
        state.TakePublicServers(taken);
        // One of each address and port, however often the reply named them.
        for (size_t i = 0; i < taken.size(); ++i)
            for (size_t j = i + 1; j < taken.size(); ++j)
                Check(taken[i]->address != taken[j]->address || taken[i]->port != taken[j]->port);
        if (taken.size() > 4096)
            taken.clear();
    }
    return 0;
}
