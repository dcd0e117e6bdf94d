#pragma once
// The usage and help of quillory-cli and of each of its commands.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/Types.h"

#include <cstdio>

namespace quillory::cli {

inline constexpr const char* PROGRAM_NAME = "quillory-cli";

// The usage lines of every command: for "quillory-cli --help" on stdout, for bad usage on stderr.
void PrintProgramUsage(std::FILE* out);

// The usage and the help of `command`, one of the commands of PrintProgramUsage. The help of the
// gantry subcommands is their own (cli/GantryCommands.cpp).
CommandTexts TextsOf(const String& command);

} // namespace quillory::cli
