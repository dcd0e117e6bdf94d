#include "platform/EventHandle.h"

namespace quillory {

CEventHandle::CEventHandle(bool initialState, bool manualReset, const char*)
    : event_(initialState, manualReset) {}

} // namespace quillory
