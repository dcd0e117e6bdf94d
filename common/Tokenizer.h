#pragma once
// Splits a command line or a description line into words, honouring double quotes.

#include <string>
#include <string_view>
#include <vector>

namespace quillory {

std::vector<std::string> TokenizeCommandLine(std::string_view text);

} // namespace quillory
