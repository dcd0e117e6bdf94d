#pragma once
// The two text rules of the window: texts from the network are Windows-1252 bytes, texts the
// user typed and file names are UTF-8.

#include "common/Types.h"

#include <QString>

namespace quillory::ui {

// A text received from a game server or the browser server, or kept as one (package names).
QString FromNetwork(const String& text);
// A text the user typed into one of those: Windows-1252, '?' for what it cannot hold.
String ToNetwork(const QString& text);
// A text the user typed, a file name or a setting.
QString FromLocal(const String& text);
String ToLocal(const QString& text);
// A path of the Gantry database ("\\" between its parts) or of the disk, with the system's
// separator between its parts: "/" on Linux.
QString ShownPath(const String& path);

} // namespace quillory::ui
