#pragma once
// The server browser's sorting and filters, as the player left them. Kept with the other
// choices of the window in the data folder's "quillory.json".

#include "common/Types.h"

namespace quillory {

struct BrowserChoices {
    int sortColumn = 0; // the column the rows are sorted by
    bool sortDescending = false;
    bool notEmpty = false;      // hide servers without players
    bool notFull = false;       // hide servers whose players equal their maximum
    bool notLocked = false;     // hide servers that ask for a password
    int maxPingMs = 0;          // hide servers slower than this; 0 shows every ping
    bool myVersionOnly = false; // hide servers of another game version than the player's
    String search;              // matched, any letter case, against name, map and mission
};

} // namespace quillory
