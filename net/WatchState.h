#pragma once
// The state the watch window owns and lends to the query engine: the status record, its lock,
// the Gantry feature flag, the received description waiting to be taken, the browser server's
// news and public servers, and the self-upgrade's progress text.

#include "net/BrowserReply.h"
#include "net/PublicServer.h"
#include "net/ServerStatus.h"
#include "platform/EventHandle.h"
#include "platform/Lock.h"

#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

namespace quillory {

// How a Gantry description transfer ended.
struct GantryOutcome {
    int32_t state = GANTRY_UNKNOWN; // GANTRY_ANSWERED when complete, else the failure
    // The decompressed description; empty when it did not decompress.
    std::optional<std::vector<uint8_t>> description;
};

// What a reader of the watch state needs, copied in one go under the status lock so that it
// formats and compares without holding the lock. Shares nothing with the engine: the player
// records are copies too.
struct WatchSnapshot {
    ServerStatus status; // players, Gantry state and chunk counts included
    bool gantryFeatureActive = false;
    // A received description is waiting to be taken (TakeDescription).
    bool descriptionWaiting = false;
    uint32_t enumerationReplies = 0;
    uint32_t statusReplies = 0;
    // The browser server's news, and the self-upgrade's progress for the Link button.
    BrowserNews news;
    uint32_t newsReplies = 0;
    String upgradeProgress;
};

class CWatchState final {
public:
    CWatchState() = default;
    CWatchState(const CWatchState&) = delete;
    CWatchState& operator=(const CWatchState&) = delete;

    // Guards every field below.
    CLock& StatusLock() { return statusLock_; }

    ServerStatus status;
    // Whether the engine looks for a Gantry server beside the watched one.
    bool gantryFeatureActive = false;
    // A decompressed description waiting for the window; moved out by whoever takes it.
    std::optional<std::vector<uint8_t>> description;
    // Replies taken since the server was selected, for callers that wait for them.
    uint32_t enumerationReplies = 0;
    uint32_t statusReplies = 0;
    // The browser server's news, kept for the whole run; news replies taken so far.
    BrowserNews news;
    uint32_t newsReplies = 0;
    // Public servers received from the browser server and not yet taken; list datagrams
    // taken so far.
    HandleArray<PublicServer> publicServers;
    // The address and port of each of `publicServers`, so that a flood of replies costs one
    // look-up per record.
    std::unordered_set<uint64_t> publicServerKeys;
    // Records left out because the list held as many as it keeps.
    uint32_t publicServersDropped = 0;
    uint32_t serverListReplies = 0;
    // The self-upgrade's progress, shown on the Link button; empty when there is none.
    String upgradeProgress;
    // Counts the servers selected: the engine publishes work it did without the lock only
    // while this has not moved.
    uint32_t selection = 0;

    // Back to "nothing known" for a newly selected server. Call with the status lock held.
    void ResetForNewServer();

    // Copies everything a reader formats. Takes the status lock itself.
    WatchSnapshot Snapshot();
    // Moves a received description out, if one is waiting. Takes the status lock itself.
    std::optional<std::vector<uint8_t>> TakeDescription();

    // Whether the Gantry exchange is over: all chunks in, no Gantry server, a timeout or a
    // refused password. Call with the status lock held.
    bool GantryFinal() const;

    // Waits until the Gantry exchange is over and takes the description; nothing when
    // `timeoutMs` passes first. Takes the status lock itself.
    std::optional<GantryOutcome> WaitForGantryOutcome(uint32_t timeoutMs);

    // The most public servers kept, here and in a taker's list; more are dropped.
    static constexpr size_t PUBLIC_SERVERS_MAX = 10000;
    // The key of a server's address and port.
    static uint64_t PublicServerKey(const PublicServer& server) {
        return (uint64_t(server.address) << 16) | server.port;
    }
    // Adds a received server unless its address and port are held or the list is full; false
    // when it was left out. Call with the status lock held.
    bool AddPublicServer(PublicServer&& server);
    // Forgets the servers received and not yet taken. Takes the status lock itself.
    void ClearPublicServers();

    // Moves the public servers received so far to the end of `into`, leaving out any whose
    // address and port `into` already holds, and any beyond PUBLIC_SERVERS_MAX in `into`;
    // returns how many were moved. Takes the status lock itself.
    size_t TakePublicServers(HandleArray<PublicServer>& into);

    // The Link button was pressed: the upgrade offer stops blinking. Takes the status lock.
    void ClearUpgradeOffered();

    // Sets the self-upgrade's progress text; none empties it. Takes the status lock itself.
    void SetUpgradeProgress(const std::optional<String>& text);

    // Signalled by the engine after each change it makes, so a caller can wait for news
    // instead of polling. Taken without the status lock.
    void NotifyChanged() { changed_.Set(); }
    bool WaitForChange(uint32_t timeoutMs) { return changed_.Wait(timeoutMs); }

private:
    CLock statusLock_;
    CEventHandle changed_;
};

} // namespace quillory
