#pragma once
// What every quillory-cli command shares in reading its command line and in writing JSON: one
// parser set-up, --help and --version answered alike, bad usage as exit code 2 with the usage on
// stderr, one reader for every number option, and one way of printing a JSON value.

#include "cli/Commands.h"
#include "common/Types.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

namespace quillory::cli {

// What a command shows about itself.
struct CommandTexts {
    String usage; // the "usage: ..." lines, shown on stderr after a bad command line
    String help;  // the whole answer to --help, shown on stdout
};

// Sets up `app` for one command before its options are added: --help and --version are its only
// built-in switches, and an option given twice keeps its last value.
void PrepareCommandLine(CLI::App& app);

// Parses `args` (the words after the command's name) with `app`. Gives the exit code the command
// ends with when it must not run: 0 after answering --help or --version, 2 after a bad command
// line, said on stderr with the usage. Nothing when the command may run.
std::optional<int> ParseCommandLine(CLI::App& app, const Args& args, const CommandTexts& texts);

// The longest number the decimal reader takes: twelve digits, far beyond any time limit.
inline constexpr size_t MAX_DECIMAL_DIGITS = 12;

// A decimal number of digits only, at most MAX_DECIMAL_DIGITS of them; nothing for anything
// else (a sign, a space, a letter, an empty text).
std::optional<uint64_t> ParseDecimal(std::string_view text);

// The check of every number option: a decimal as ParseDecimal reads it, then at most `limit`
// (larger values are taken as `limit`). The text is rewritten in plain digits, so that the
// parser's own conversion, which would read "010" as octal, reads it the same way.
CLI::Validator DecimalAtMost(uint64_t limit);

// The check of a word that must not be empty.
CLI::Validator NotEmpty();

// Prints `value` on one line (`indent` < 0) or indented. Texts from servers and names on disk
// are code-page bytes, not UTF-8: what does not decode is replaced rather than thrown over.
template <typename Json> void PrintJson(const Json& value, int indent = -1) {
    const String text = value.dump(indent, ' ', false, Json::error_handler_t::replace);
    std::printf("%s\n", text.c_str());
}

} // namespace quillory::cli
