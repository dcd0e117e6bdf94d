#pragma once
// The desktop program's own switches, read before the game's: "--help" and "--version" answer
// and end the program, "--data-folder" runs it in its data folder. None of them reaches the
// server list or the game's startup parameters.

#include "common/Types.h"

#include <cstddef>
#include <vector>

namespace quillory {

// The usage "quillory --help" prints.
extern const char* const PROGRAM_USAGE;

struct ProgramSwitches {
    bool help = false;
    bool version = false;
    bool dataFolder = false; // "--data-folder" or "--data-folder=DIR"
    String dataFolderPath;   // the DIR of "--data-folder=DIR"; empty for the default folder
    // Positions of the words left for the game's command line, the program path (0) first.
    std::vector<size_t> gameWords;
};

// Reads `words` (the first is the program path). The switches match exactly and anywhere; a
// later "--data-folder" wins over an earlier one.
ProgramSwitches ReadProgramSwitches(const std::vector<String>& words);

} // namespace quillory
