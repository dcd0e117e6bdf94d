#include "cli/ServerWatcher.h"

#include <cstdio>
#include <mutex>

namespace quillory::cli {

bool CServerWatcher::Start(const ResolvedServer& server,
                           const std::optional<GantrySettings>& gantry) {
    if (!engine_.Create(0, 0, 0)) {
        std::fputs("quillory-cli: cannot open a UDP socket\n", stderr);
        return false;
    }
    {
        std::lock_guard guard(state_.StatusLock());
        state_.ResetForNewServer();
    }
    if (gantry) {
        engine_.SetCacheFolder(gantry->cacheFolder);
        engine_.ActivateGantry(gantry->password);
    }
    engine_.Start();
    engine_.Post(QM_SET_SERVER, server.address, server.port);
    engine_.Post(QM_START);
    return true;
}

CServerWatcher::~CServerWatcher() {
    engine_.Post(QM_QUIT);
    engine_.Wait(WAIT_FOREVER);
    engine_.CloseThreadHandle();
    engine_.Close();
}

} // namespace quillory::cli
