#include "watch/core/ProgramSwitches.h"

#include "common/StandardSwitches.h"

#include <string_view>

namespace quillory {

namespace {

constexpr std::string_view DATA_FOLDER_SWITCH = "--data-folder";

} // namespace

const char* const PROGRAM_USAGE =
    "usage: quillory [--data-folder[=DIR]] [-connect=HOST] [-port=PORT] [-password=PW]\n"
    "                [-nosplash] [WORD]...\n"
    "       quillory --help | --version\n"
    "\n"
    "Watches one Ironvale server of your list and starts the game connected to it.\n"
    "Its files (quillory.sav, quillory.dat) live in the current directory.\n"
    "\n"
    "  --data-folder       work in $XDG_DATA_HOME/quillory (~/.local/share/quillory),\n"
    "                      created when missing (the desktop entry starts it so)\n"
    "  --data-folder=DIR   work in DIR, created when missing\n"
    "  -connect=HOST       select the server HOST:PORT, adding it when not listed\n"
    "  -port=PORT          its port\n"
    "  -password=PW        its password\n"
    "  -nosplash           ignored (the game always starts without its splash screen)\n"
    "  WORD...             the server's startup parameters, joined by blanks\n"
    "  --help              show this text\n"
    "  --version           show the program's version\n";

ProgramSwitches ReadProgramSwitches(const std::vector<String>& words) {
    ProgramSwitches switches;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (i > 0 && IsHelpSwitch(word)) {
            switches.help = true;
        } else if (i > 0 && IsVersionSwitch(word)) {
            switches.version = true;
        } else if (i > 0 && word == DATA_FOLDER_SWITCH) {
            switches.dataFolder = true;
            switches.dataFolderPath.clear();
        } else if (i > 0 && word.starts_with(DATA_FOLDER_SWITCH) &&
                   word[DATA_FOLDER_SWITCH.size()] == '=') {
            switches.dataFolder = true;
            switches.dataFolderPath = String(word.substr(DATA_FOLDER_SWITCH.size() + 1));
        } else {
            switches.gameWords.push_back(i);
        }
    }
    return switches;
}

} // namespace quillory
