#pragma once
// "Join when a slot frees": waits for a full server to have room, then says so once. A wait
// never fires after the player joined some other way or turned to another server.

#include "common/Types.h"

namespace quillory {

class CSlotWait final {
public:
    // Waits for `address`, replacing any earlier wait.
    void Start(const String& address);
    void Cancel();
    bool Waiting() const { return waiting_; }
    // The server waited for; empty when not waiting.
    const String& Address() const { return address_; }

    // A status of `address`: true exactly once, when it is the waited server and it has a free
    // slot (a known maximum above the players). The wait is then over.
    bool OnStatus(const String& address, int players, int maxPlayers);
    // The player started the game himself (Play Now): the wait is over.
    void OnManualLaunch() { Cancel(); }
    // The player picked `address` for the watch: a wait for another server is over.
    void OnServerChanged(const String& address);

private:
    bool IsWaitedServer(const String& address) const;

    bool waiting_ = false;
    String address_;
};

} // namespace quillory
