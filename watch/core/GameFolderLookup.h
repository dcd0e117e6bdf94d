#pragma once
// Finding the game folder at start: the executable check and the game's registry keys.

#include "common/Types.h"

namespace quillory {

constexpr const char* REGISTRY_KEY_IRONVALE = "SOFTWARE\\Marrowby\\Ironvale";
constexpr const char* REGISTRY_KEY_UPRISING = "SOFTWARE\\Marrowby\\Ironvale Uprising";
constexpr const char* REGISTRY_VALUE_MAIN = "MAIN";

// The folder with a separator at its end.
String WithTrailingSeparator(const String& folder);

// Whether "IRONVALE.EXE" or "IRONVALEUPRISING.EXE" is a file in the folder, in any letter case.
bool HasGameExecutable(const String& folder);

// The folder named by the value "MAIN" of the first of the game's registry keys that names a
// folder holding the game, in the Wine prefix `winePrefix`, with its trailing separator; empty
// when neither does (the path setup dialog is then the last resort).
String GameFolderFromRegistry(const String& winePrefix);

} // namespace quillory
