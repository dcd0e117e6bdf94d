#pragma once
// Runs a program in place of this process, as a restart does: same process, new image.

#include "common/Types.h"

#include <vector>

namespace quillory::platform {

// Enters `folder` (unless empty) and runs `program` with `argv` in place of this process. It
// returns only when that failed: why, and the process is back in the folder it was in.
String ReplaceProcess(const String& program, const std::vector<String>& argv, const String& folder);

} // namespace quillory::platform
