#pragma once
// Numbers as the program shows them.

#include <string>
#include <string_view>

namespace quillory {

// Puts "," between groups of three digits, counted from the right: "1234567" -> "1,234,567".
std::string GroupThousands(std::string_view digits);

} // namespace quillory
