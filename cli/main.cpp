// quillory-cli: the core of Quillory from a terminal.

#include "cli/Commands.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintUsage(std::FILE* out) {
    std::fputs(
        "usage: quillory-cli query [--timeout MS] [--json] ADDRESS[:PORT]...\n"
        "       quillory-cli watch [--json] [--duration SECONDS] ADDRESS[:PORT]\n"
        "       quillory-cli gantry [--game DIR] [--data DIR] COMMAND ...\n"
        "       quillory-cli launch [--data DIR] [--game DIR] [--password PW] [--params TEXT]\n"
        "                           [--no-auto-mods] [--force] [--dry-run] ADDRESS[:PORT]\n"
        "       quillory-cli news [--json] [--timeout MS] [HOST[:PORT]]\n"
        "       quillory-cli servers [--json] [--game ironvale|uprising|all] [--timeout MS]\n"
        "                            [HOST[:PORT]]\n",
        out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    quillory::cli::Args args(argv + 2, argv + argc);
    const char* command = argv[1];
    if (std::strcmp(command, "query") == 0)
        return quillory::cli::RunQuery(args);
    if (std::strcmp(command, "watch") == 0)
        return quillory::cli::RunWatch(args);
    if (std::strcmp(command, "gantry") == 0)
        return quillory::cli::RunGantry(args);
    if (std::strcmp(command, "launch") == 0)
        return quillory::cli::RunLaunch(args);
    if (std::strcmp(command, "news") == 0)
        return quillory::cli::RunNews(args);
    if (std::strcmp(command, "servers") == 0)
        return quillory::cli::RunServers(args);
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "quillory-cli: unknown command '%s'\n", command);
    PrintUsage(stderr);
    return 2;
}
