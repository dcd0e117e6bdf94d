#pragma once
// Numbers as the program shows them.

#include <cstdint>
#include <string>
#include <string_view>

namespace quillory {

// Puts "," between groups of three digits, counted from the right: "1234567" -> "1,234,567".
std::string GroupThousands(std::string_view digits);

// A count and its noun, which takes `plural` for every count but 1: "1 package", "0 packages".
std::string CountOf(uint64_t count, std::string_view singular, std::string_view plural);

} // namespace quillory
