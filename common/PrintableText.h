#pragma once
// Texts from servers and archives as they may reach a terminal.

#include <string>
#include <string_view>

namespace quillory {

// `text` with every control character replaced by '?': the C0 controls (tab and line feed
// too, which would break the line's columns), DEL, and the C1 controls, whether written as one
// byte or in UTF-8. So a server cannot move the cursor, retitle the window or fake lines of
// output with an escape sequence in its name. Every other byte stays as it is.
std::string PrintableText(std::string_view text);

} // namespace quillory
