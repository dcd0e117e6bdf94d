#pragma once
// The help of quillory-cli and of each of its commands, and the answers to --help and
// --version that every command gives the same way.

#include "cli/Commands.h"
#include "common/Types.h"

#include <cstdio>

namespace quillory::cli {

inline constexpr const char* PROGRAM_NAME = "quillory-cli";

// The usage lines of every command: for "quillory-cli --help" on stdout, for bad usage on stderr.
void PrintProgramUsage(std::FILE* out);

// The help of `command` on stdout; false when there is no such command. The gantry commands
// answer their own (cli/GantryCommands.cpp).
bool PrintCommandHelp(const String& command);

// When the first word of `args` is --help or --version, answers it for `command` and gives
// true: the command then ends with exit code 0.
bool AnswerStandardSwitch(const String& command, const Args& args);

} // namespace quillory::cli
