#pragma once
// The program's own command line: "-connect=", "-port=", "-password=", "-nosplash" and free
// words, and how they add or select a server of the list.

#include "common/Types.h"
#include "watch/core/ServerEntry.h"

#include <cstdint>
#include <vector>

namespace quillory {

struct ProgramCommandLine {
    String programPath;   // the first word
    String programFolder; // the program path up to and including its last separator, or empty
    String host;          // after "-connect="; empty when none was given
    String port;          // after "-port="
    String password;      // after "-password="
    // Every other word after the first, joined by single blanks, in order.
    String extraParameters;
};

// Reads the words of the command line (as the tokenizer or the system split them; the first
// is the program path). Switches match by prefix ignoring case; a later one wins.
ProgramCommandLine ParseProgramCommandLine(const std::vector<String>& words);

// With a host given (not empty): finds the entry whose address is host ":" port (ignoring case), or
// appends one with that address as address and description and automatic mods on; gives it
// the password and the extra parameters, even empty ones, and makes it the selection. Without
// a host nothing changes. True when an entry was selected this way.
bool ApplyProgramCommandLine(const ProgramCommandLine& line, HandleArray<ServerEntry>& entries,
                             int32_t& selected);

} // namespace quillory
