#pragma once
// What a front end tells the player after a package or file command that did not fully happen:
// the reason of a refusal, or each item that stayed as it was with the paths that could not be
// changed.

#include "gantry/db/CommandResult.h"

namespace quillory {

// Empty when the command was done (or only asks its questions). `gameFolder` leads the paths
// named; `subjectsArePaths` says whether the items are files (else packages).
String CommandFailureText(const CommandResult& result, const String& gameFolder,
                          bool subjectsArePaths);

} // namespace quillory
