// Writes a settings file "quillory.sav" through the program's own code, for the benchmarks that
// start the window with many saved servers:
//   servers_settings FILE GAME_FOLDER ADDRESS...
// Each ADDRESS becomes one entry, described "Server N"; the first is selected. The game folder
// is stored as the window stores it, ending in the separator.
#include "watch/core/SettingsFile.h"

#include <cstdio>
#include <memory>
#include <string>

int main(int argc, char** argv) {
    using namespace quillory;
    if (argc < 4) {
        std::fprintf(stderr, "usage: servers_settings FILE GAME_FOLDER ADDRESS...\n");
        return 2;
    }
    Settings settings;
    settings.gameFolder = argv[2];
    if (settings.gameFolder.back() != '/')
        settings.gameFolder += '/';
    for (int i = 3; i < argc; ++i) {
        auto entry = std::make_shared<ServerEntry>();
        entry->address = argv[i];
        entry->description = "Server " + std::to_string(i - 2);
        settings.entries.push_back(std::move(entry));
    }
    settings.selectedIndex = 0;
    if (!SaveSettings(argv[1], settings)) {
        std::fprintf(stderr, "servers_settings: could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
