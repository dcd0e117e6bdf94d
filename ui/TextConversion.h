#pragma once
// The two text rules of the window: texts from the network are Windows-1252 bytes, texts the
// user typed and file names are UTF-8.

#include "common/Types.h"

#include <QString>

namespace quillory::ui {

// A text received from a game server or the browser server.
QString FromNetwork(const String& text);
// A text the user typed, a file name or a setting.
QString FromLocal(const String& text);
String ToLocal(const QString& text);

} // namespace quillory::ui
