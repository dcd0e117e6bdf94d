#pragma once
// The program's own data folder, $XDG_DATA_HOME/quillory (by default ~/.local/share/quillory):
// where the desktop entry runs the program, so a player who starts it from the menu finds the
// same files every time. A start from a terminal keeps the current directory.

#include "common/Types.h"

namespace quillory::platform {

// The folder's own name below the data home.
inline constexpr const char* DATA_FOLDER_NAME = "quillory";

// The data folder for these values of XDG_DATA_HOME and HOME (either may be null). A relative
// or empty XDG_DATA_HOME is ignored, as the XDG rules say; without an absolute HOME either
// there is no data folder and the result is empty.
String DataFolderFor(const char* xdgDataHome, const char* home);

// The data folder of this process's environment; empty when it has none.
String DefaultDataFolder();

// Creates `folder` when missing (missing parents too, each readable by its owner only) and
// makes it the current directory. False with `error` saying why when either fails.
bool EnterDataFolder(const String& folder, String& error);

// The folder a command reads its files from when none was given: the current directory
// (empty) when it holds `fileName` or `dataFolder` does not, else `dataFolder`.
String ChooseDataFolder(const String& dataFolder, const char* fileName);

} // namespace quillory::platform
