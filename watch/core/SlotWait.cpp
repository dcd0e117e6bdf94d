#include "watch/core/SlotWait.h"

#include "common/AsciiCase.h"

namespace quillory {

void CSlotWait::Start(const String& address) {
    waiting_ = true;
    address_ = address;
}

void CSlotWait::Cancel() {
    waiting_ = false;
    address_.clear();
}

bool CSlotWait::OnStatus(const String& address, int players, int maxPlayers) {
    if (!waiting_ || !IsWaitedServer(address) || maxPlayers <= 0 || players >= maxPlayers)
        return false;
    Cancel();
    return true;
}

void CSlotWait::OnServerChanged(const String& address) {
    if (waiting_ && !IsWaitedServer(address))
        Cancel();
}

// Host names ignore letter case, so the same server may be written two ways.
bool CSlotWait::IsWaitedServer(const String& address) const {
    return EqualsNoCase(address, address_);
}

} // namespace quillory
