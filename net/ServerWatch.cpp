#include "net/ServerWatch.h"

#include "net/ServerAddress.h"

#include <cstring>
#include <mutex>

namespace quillory {

namespace {

// The dotted form of an address held in network order.
String DottedAddress(uint32_t address) {
    uint8_t octets[4];
    std::memcpy(octets, &address, sizeof octets);
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
           std::to_string(octets[2]) + "." + std::to_string(octets[3]);
}

} // namespace

CServerWatch::CServerWatch(TickSource tick, DefaultGamePorts defaults)
    : engine_(state_, std::move(tick), defaults) {}

CServerWatch::~CServerWatch() {
    Quit();
}

bool CServerWatch::Open() {
    if (!engine_.Create(0, 0, 0))
        return false;
    return engine_.Start();
}

void CServerWatch::SetGantryFeature(bool active) {
    std::lock_guard guard(state_.StatusLock());
    state_.gantryFeatureActive = active;
}

SelectResult CServerWatch::Select(const String& address, const String& password) {
    Stop();
    {
        // The engine reads the password for its hello under the same lock.
        std::lock_guard guard(state_.StatusLock());
        engine_.SetPasswordLocked(password);
        state_.ResetForNewServer();
    }
    const ServerAddress split = SplitServerAddress(address);
    auto server = ResolveServerAddress(address);
    if (!server)
        return SelectResult::BAD_ADDRESS;
    engine_.Post(QM_SET_SERVER, server->address, server->port);
    engine_.Post(QM_START);
    connectAddress_ = DottedAddress(server->address);
    connectPort_ = split.portText;
    watching_ = true;
    return SelectResult::WATCHING;
}

void CServerWatch::Stop() {
    if (!watching_)
        return;
    engine_.Post(QM_STOP);
    watching_ = false;
}

void CServerWatch::Quit() {
    if (quit_)
        return;
    quit_ = true;
    engine_.Post(QM_QUIT);
    engine_.Wait(WAIT_FOREVER);
    engine_.CloseThreadHandle();
    engine_.Close();
}

} // namespace quillory
