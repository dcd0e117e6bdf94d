#pragma once
// An event that one thread signals and another waits on.

#include "common/Types.h"
#include "platform/WaitableEvent.h"

#include <cstdint>

namespace quillory {

class CEventHandle final {
public:
    // The name is accepted for the shape of the call only: events here are never shared
    // between processes.
    CEventHandle(bool initialState = false, bool manualReset = false, const char* name = nullptr);
    CEventHandle(const CEventHandle&) = delete;
    CEventHandle& operator=(const CEventHandle&) = delete;

    bool IsValid() const { return event_.IsValid(); }
    void Set() { event_.Set(); }
    void Reset() { event_.Reset(); }
    // True when signalled within `timeoutMs` (WAIT_FOREVER: no limit).
    bool Wait(uint32_t timeoutMs) { return event_.Wait(timeoutMs); }

    CWaitableEvent& Native() { return event_; }

private:
    CWaitableEvent event_;
};

} // namespace quillory
