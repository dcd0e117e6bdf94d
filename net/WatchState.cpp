#include "net/WatchState.h"

namespace quillory {

void CWatchState::ResetForNewServer() {
    status = ServerStatus{};
    description.reset();
    enumerationReplies = 0;
    statusReplies = 0;
}

} // namespace quillory
