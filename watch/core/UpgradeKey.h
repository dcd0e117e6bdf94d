#pragma once
// The public key upgrade archives must be signed with.

#include "common/Types.h"

namespace quillory {

// The environment variable that names another public key file (for tests and self-built
// releases' own checks).
inline constexpr char UPGRADE_KEY_ENVIRONMENT[] = "QUILLORY_UPGRADE_KEY";

// The text of the key file `keyFile` names when it is set and not empty (empty text when it
// cannot be read, so that nothing verifies), else the key built into the program.
String TrustedUpgradeKey(const char* keyFile);

} // namespace quillory
