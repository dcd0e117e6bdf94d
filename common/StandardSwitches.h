#pragma once
// The switches every program of the project answers the same way, whatever its own words are.

#include <cstdio>
#include <string_view>

namespace quillory {

// "--help": the usage on stdout, exit code 0.
bool IsHelpSwitch(std::string_view word);
// "--version": "<program> <version>" on stdout, exit code 0.
bool IsVersionSwitch(std::string_view word);

// Writes "<program> <version>" and a line end to `out`.
void PrintVersion(std::FILE* out, const char* program);

} // namespace quillory
