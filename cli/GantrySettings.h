#pragma once
// Reads the game folder out of the desktop program's settings file, "quillory.sav".

#include "common/Types.h"

namespace quillory::cli {

constexpr const char* SETTINGS_FILE = "quillory.sav";

// The game folder stored in "quillory.sav" in `dataFolder` (empty: the current directory),
// converted to the native separator; empty when the file or the folder in it is absent.
String ReadSettingsGameFolder(const String& dataFolder);

} // namespace quillory::cli
