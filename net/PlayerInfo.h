#pragma once
// One player of the watched server, as the status reply lists it.

#include "common/Types.h"

namespace quillory {

struct PlayerInfo {
    String name;
    String score;
    String deaths;
};

} // namespace quillory
