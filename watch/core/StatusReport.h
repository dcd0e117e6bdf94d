#pragma once
// The watch window's fields as label and text pairs, for front ends that print them.

#include "common/Types.h"
#include "net/ServerStatus.h"

#include <vector>

namespace quillory {

struct StatusLine {
    String label;
    String value;
};

// Type, Description, Version, Required, Ping, Locked, Port, Impl, Platform, Logged on, Map,
// Current mission, Status, Time left, Param, with the window's texts. Time left is judged
// against the record's last time left, which is not changed.
std::vector<StatusLine> StatusLines(const ServerStatus& status);

} // namespace quillory
