// Feeds arbitrary datagrams to the query engine's handler. The first byte picks the source
// port, so the same bytes are tried as enumeration, status, Gantry and stray replies.
#include "net/ServerQuery.h"
#include "platform/UdpSocket.h"

#include <cstddef>
#include <cstdint>

using namespace quillory;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One engine for the whole run, so reassembly state carries from input to input.
    static CWatchState state;
    static uint32_t tick = 1;
    static CServerQuery engine(state, [] { return tick; });
    static bool selected = false;
    if (!selected) {
        engine.HandleMessage(QM_SET_SERVER, LoopbackAddress(), 2302);
        state.gantryFeatureActive = true;
        engine.HandleMessage(QM_START, 0, 0);
        selected = true;
    }
    if (size == 0)
        return 0;
    static const uint16_t ports[4] = {2302, 2303, 2322, 2342};
    uint16_t port = ports[data[0] & 3];
    if (data[0] & 4) {
        tick += 2500;
        engine.PollCycle();
    }
    engine.HandleDatagram(data + 1, size - 1, LoopbackAddress(), port);
    return 0;
}
