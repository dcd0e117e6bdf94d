#pragma once
// Watching one server at a time: owns the query engine and the watch state it writes, and
// selects servers the way the window's server list does. Used on one thread (the window's,
// or a terminal command's); the engine runs on its own.

#include "common/Tick.h"
#include "common/Types.h"
#include "net/ServerQuery.h"
#include "net/WatchState.h"

namespace quillory {

enum class SelectResult {
    WATCHING,    // polling the server
    BAD_ADDRESS, // "Bad address error": the host did not resolve or the port is out of range
};

class CServerWatch final {
public:
    explicit CServerWatch(TickSource tick = TickCount, DefaultGamePorts defaults = {});
    // Quits the engine and waits for its thread.
    ~CServerWatch();
    CServerWatch(const CServerWatch&) = delete;
    CServerWatch& operator=(const CServerWatch&) = delete;

    // Where Gantry descriptions are cached; the current directory when empty. Before Open.
    void SetCacheFolder(const String& folder) { engine_.SetCacheFolder(folder); }
    // Creates the engine's socket and starts its thread; false without a socket.
    bool Open();

    // Whether the engine looks for a Gantry server beside the watched one (the database is
    // ready and the feature not disabled). Takes the status lock; takes effect from the next
    // poll cycle, so set it before Select to say hello at once.
    void SetGantryFeature(bool active);

    // Stops watching the old server, forgets everything known about it, gives the engine the
    // password, resolves `address` (host, optional ":" and port) and starts polling it. On
    // BAD_ADDRESS nothing is posted beyond the stop, and the status stays reset.
    SelectResult Select(const String& address, const String& password);
    // Stops polling; replies still arriving are still taken.
    void Stop();
    bool Watching() const { return watching_; }

    // The watched server's dotted address and port text ("0" without a port), for the
    // launcher; empty until a server was selected.
    const String& ConnectAddress() const { return connectAddress_; }
    const String& ConnectPort() const { return connectPort_; }

    // Posts quit, waits for the engine's thread and closes its socket; later calls do nothing.
    void Quit();

    CWatchState& State() { return state_; }
    // For the browser server's requests (QM_QUERY_NEWS, QM_QUERY_SERVER_LIST) and for tests.
    CServerQuery& Engine() { return engine_; }

private:
    CWatchState state_;
    CServerQuery engine_;
    bool watching_ = false;
    bool quit_ = false;
    String connectAddress_;
    String connectPort_;
};

} // namespace quillory
