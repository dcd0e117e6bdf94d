#pragma once
// The query engine: polls the watched server over UDP on its own thread and writes what it
// learns into the watch state under the status lock.

#include "common/Tick.h"
#include "common/Types.h"
#include "net/BrowserHost.h"
#include "net/GantryTransfer.h"
#include "net/UdpSocketThread.h"
#include "net/WatchState.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quillory {

// Messages the window posts to the engine.
constexpr uint32_t QM_SET_SERVER = 0; // address (network order), game port
constexpr uint32_t QM_START = 1;
constexpr uint32_t QM_STOP = 2;
constexpr uint32_t QM_QUERY_NEWS = 3;        // address, port of the browser server
constexpr uint32_t QM_QUERY_SERVER_LIST = 5; // address, port of the browser server
constexpr uint32_t QM_QUIT = 100;

// Game ports probed while the server's own port is unknown; the status query goes to each
// plus 1 and 2, the Gantry hello to each plus 20 and 40. Tests move them off the real ones.
// Where a Gantry server listens beside its game port.
constexpr uint16_t GANTRY_OFFSET_NEAR = 20;
constexpr uint16_t GANTRY_OFFSET_FAR = 40;

struct DefaultGamePorts {
    uint16_t sockets = 2302;
    uint16_t directPlay = 2234;
};

class CServerQuery final : public CUdpSocketThread {
public:
    static constexpr uint32_t CYCLE_MS = 2000;
    static constexpr size_t RECEIVE_BUFFER = 8192;
    // Highest datagram number of a status reply that is kept.
    static constexpr uint32_t MAX_FRAGMENT = 64;
    // Keys and values of the status reply are cut to this many characters.
    static constexpr size_t MAX_TOKEN = 255;
    // Longest password the Gantry hello carries.
    static constexpr size_t MAX_HELLO_PASSWORD = 123;

    explicit CServerQuery(CWatchState& state, TickSource tick = TickCount,
                          DefaultGamePorts defaults = {});
    // Stops and waits for the thread, so the engine can go even if no quit was posted.
    ~CServerQuery() override;

    // The password sent in the Gantry hello. Call with the status lock held.
    void SetPasswordLocked(const String& password) { password_ = password; }
    // Turns the Gantry feature on with the password for the hello. Takes the status lock;
    // call before QM_START.
    void ActivateGantry(const String& password);
    // Where description cache files live; the current directory when empty. Set it before
    // the thread starts.
    void SetCacheFolder(const String& folder) { cacheFolder_ = folder; }
    // For a one-shot look at a server of known port: its first round sends the Sockets probe
    // and the status query to port+1 alone, and the DirectPlay probe and the status query to
    // port+2 only if those are still unanswered `delayMs` later. Most servers answer the
    // first two, and a reply then costs them (and us) half the datagrams. Later rounds are
    // whole. Off by default: the watch sends the whole round at once. Set it before QM_START.
    void SetStagedFirstRound(uint32_t delayMs) { stagedDelayMs_ = delayMs; }

    static constexpr uint32_t CHUNK_WAIT_MS = 4000;

    // The handlers of the engine thread. Tests and fuzzers call them directly on an engine
    // whose thread is not running.
    void HandleMessage(uint32_t code, uint32_t first, uint32_t second);
    void HandleDatagram(const uint8_t* data, size_t length, uint32_t address, uint16_t port);
    void PollCycle();

protected:
    void OnRead(int error) override;
    void OnWrite(int) override {}
    void OnMessage(uint32_t code, uint32_t first, uint32_t second) override;
    void OnIdle() override;

private:
    void HandleSocketsReply(const uint8_t* data, size_t length, uint16_t port);
    void HandleDirectPlayReply(const uint8_t* data, size_t length, uint16_t port);
    void TakeEnumerationReply(int32_t implementation, uint16_t port);
    void HandleTextReply(const uint8_t* data, size_t length, uint16_t port);
    std::optional<String> JoinCompleteReply() const;
    void HandleHelloAccepted(const uint8_t* data, uint16_t port);
    void HandlePasswordRefused(uint16_t port);
    void HandleChunk(const uint8_t* data, size_t length);
    void RequestMissingChunks();
    void SendGantryRequest(uint16_t kind, std::optional<uint16_t> index);
    void CompleteDescription(uint32_t selection);
    // The state's selection count, read under the status lock.
    uint32_t Selection();
    GantryCacheKey CacheKey() const;
    String CachePath() const;

    // A browser server's endpoint and the token of the request last sent to it.
    struct BrowserRequest {
        uint32_t address = 0;
        uint16_t port = 0;
        std::optional<uint16_t> token; // nothing until a request went out
        bool Answers(uint32_t fromAddress, uint16_t fromPort) const {
            return token && fromAddress == address && fromPort == port;
        }
    };
    void QueryNews(uint32_t address, uint16_t port);
    void QueryServerList(uint32_t address, uint16_t port);
    bool FromBrowser(uint32_t address, uint16_t port) const;
    bool FromAskedPort(uint16_t port) const;
    void HandleBrowserReply(const uint8_t* data, size_t length, uint32_t address, uint16_t port);
    void TakeNewsReply(const uint8_t* data, size_t length);
    void TakeServerListReply(const uint8_t* data, size_t length);

    void GantryBookkeeping(uint32_t now);
    void SendQueries();
    void SendFirstStep(uint16_t port);
    void SendSecondStepIfDue(uint32_t now);
    void SendProbes(uint16_t port);
    void SendStatusQuery(uint16_t port);
    void SendHellosIfWanted(uint16_t base);

    CWatchState& state_;
    TickSource tick_;
    DefaultGamePorts defaults_;

    bool enabled_ = false;
    uint32_t lastCycleTick_ = 0;
    bool cycleDue_ = false;
    std::optional<uint32_t> pollStart_;
    // A staged first round: its delay (none when the round goes out whole), and when its
    // first step went out while the second one is still to come.
    std::optional<uint32_t> stagedDelayMs_;
    std::optional<uint32_t> firstStepTick_;
    // When the DirectPlay probe of a staged round went out: a DirectPlay reply's ping counts
    // from there, not from the first step.
    std::optional<uint32_t> directPlayStart_;
    uint16_t gamePort_ = 0;
    uint16_t queryPort_ = 0;
    uint16_t gantryPort_ = 0;
    uint32_t serverAddress_ = 0;
    int32_t gantryProbeCount_ = 0;
    int32_t cycleCounter_ = 0;
    int32_t implementation_ = IMPL_NONE;

    // Replies are taken only from the endpoint the request went to, so that nobody else on
    // the network can push news (and with it an upgrade link) by guessing a token.
    BrowserRequest news_;
    BrowserRequest list_;

    String queryId_;
    std::vector<std::optional<String>> fragments_;

    String password_; // guarded by the status lock
    String cacheFolder_;
    uint64_t descriptionTag_ = 0;
    std::vector<std::optional<GantryChunk>> chunks_;
    uint32_t lastChunkTick_ = 0;
};

} // namespace quillory
