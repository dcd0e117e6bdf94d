// quillory-cli: the core of Quillory from a terminal.

#include "cli/CommandHelp.h"
#include "cli/Commands.h"
#include "common/StandardSwitches.h"

#include <cstdio>
#include <cstring>

namespace {

struct Runner {
    const char* name;
    int (*run)(const quillory::cli::Args&);
};

constexpr Runner kRunners[] = {
    {"query", quillory::cli::RunQuery},     {"watch", quillory::cli::RunWatch},
    {"gantry", quillory::cli::RunGantry},   {"launch", quillory::cli::RunLaunch},
    {"news", quillory::cli::RunNews},       {"servers", quillory::cli::RunServers},
    {"upgrade", quillory::cli::RunUpgrade},
};

} // namespace

int main(int argc, char** argv) {
    using namespace quillory::cli;
    if (argc < 2) {
        PrintProgramUsage(stderr);
        return 2;
    }
    Args args(argv + 2, argv + argc);
    const char* command = argv[1];
    if (quillory::IsVersionSwitch(command)) {
        quillory::PrintVersion(stdout, PROGRAM_NAME);
        return 0;
    }
    if (quillory::IsHelpSwitch(command) || std::strcmp(command, "help") == 0) {
        // "help COMMAND" is "COMMAND --help".
        if (!args.empty() && std::strcmp(command, "help") == 0) {
            command = argv[2];
            args = {"--help"};
        } else {
            PrintProgramUsage(stdout);
            return 0;
        }
    }
    for (const Runner& entry : kRunners) {
        if (std::strcmp(command, entry.name) != 0)
            continue;
        return entry.run(args);
    }
    std::fprintf(stderr, "%s: unknown command '%s'\n", PROGRAM_NAME, command);
    PrintProgramUsage(stderr);
    return 2;
}
