#pragma once
// Where an archive entry goes in the game folder: the first directive whose pattern matches the
// entry decides. Pure text work, shared by the installer and by anything that must predict it
// (a server describing what its archives install).

#include "common/Types.h"
#include "gantry/client/PackageDirective.h"

#include <string_view>
#include <vector>

namespace quillory {

enum class EntryFate {
    Folder,  // a folder entry: nothing is done for it
    LeftOut, // no directive matches: not installed, counted nowhere
    Ignored, // an Ignore directive matches: not installed, its size counts as done
    Placed,  // installed at `destination`
    Refused, // an empty name, or a destination that would leave the game folder: the whole
             // archive is refused
};

struct EntryPlacement {
    EntryFate fate = EntryFate::LeftOut;
    Handle<PackageDirective> directive; // the deciding directive, when one matched
    String entryPath;                   // the entry path with '\' separators
    String destination;                 // Placed: relative to the game folder, pieces joined by '\'
};

// Applies the directives, in order, to one entry path as the archive stores it ('/' or '\').
EntryPlacement PlaceEntry(const HandleArray<PackageDirective>& directives,
                          std::string_view entryPath);

// Why a Refused placement was refused, naming the entry and the rule it broke.
String RefusalText(const EntryPlacement& placement);

// The destination a directive gives an entry path (with '\'), before any safety check.
String DestinationFor(const PackageDirective& directive, std::string_view entryPath);

// Splits a path at '\' and '/', dropping empty pieces.
std::vector<String> SplitPathPieces(std::string_view path);

// True when the destination stays inside the game folder: not absolute, no drive or stream
// colon, no piece made only of dots ("..", "."), and at least one piece.
bool IsSafeDestination(std::string_view destination);

} // namespace quillory
