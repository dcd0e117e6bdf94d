#pragma once
// Text from the network into the form the window shows.

#include "common/Types.h"

namespace quillory {

// Server names, missions, player names and news arrive as 8-bit Windows-1252 text (what the
// game writes); the window takes UTF-8. ASCII stays as it is, 0x80-0x9F become the letters
// and signs Windows-1252 puts there, 0xA0-0xFF the Latin-1 characters of the same number, and
// the five bytes Windows-1252 leaves undefined the replacement character U+FFFD.
// File names on disk are already UTF-8 and need no conversion.
String Cp1252ToUtf8(const String& text);

// What the user typed (UTF-8) into the code page that the server list, the settings file, the
// Gantry hello and the game's command line carry. A character Windows-1252 cannot hold, and a
// broken UTF-8 sequence, become "?", as the system's own conversion writes its default
// character.
String Utf8ToCp1252(const String& text);

} // namespace quillory
