#include "cli/CommandHelp.h"

namespace quillory::cli {

namespace {

struct CommandText {
    const char* name;
    const char* usage; // after "usage: quillory-cli "
    const char* help;  // what the command does, its options and exit codes
};

constexpr CommandText kCommands[] = {
    {"query", "query [--timeout MS] [--json] ADDRESS[:PORT]...",
     "Asks the server once, as the watch window does, and prints one \"Label: value\" line per\n"
     "field and one \"name<TAB>score<TAB>deaths\" line per player. Without :PORT the default\n"
     "game ports 2302 and 2234 are probed. Several addresses are asked all at once; each\n"
     "result then begins with \"Address: ADDRESS\" (or, in JSON, the key \"address\") and a\n"
     "server that does not answer gets an \"Error:\" line.\n"
     "\n"
     "  --timeout MS   how long to wait for the replies (default 5000)\n"
     "  --json         print one JSON object (per address) instead\n"
     "\n"
     "Exit status: 0 every address replied, 1 one did not, 2 bad usage or (for a single\n"
     "address) a bad address. With --json a failure is a line {\"address\", \"error\"} too.\n"},
    {"watch", "watch [--json] [--duration SECONDS] [--friend NAME]... ADDRESS[:PORT]...",
     "Prints one \"time<TAB>status<TAB>players<TAB>mission\" line per change of the game state\n"
     "that the watch window would notify, until SECONDS pass or SIGINT or SIGTERM. Several\n"
     "servers are watched at once; each line then begins with \"ADDRESS<TAB>\".\n"
     "\n"
     "  --duration SECONDS   stop after this long (default: never)\n"
     "  --friend NAME        also print \"time<TAB>friend joined<TAB>PLAYER\" and \"friend left\"\n"
     "                       lines for players matching NAME: any letter case, * for any\n"
     "                       characters (may be repeated)\n"
     "  --json               print one JSON object per line instead, with the key \"address\";\n"
     "                       friend lines have the keys \"event\" and \"name\"\n"
     "\n"
     "Exit status: 0 when stopped, 1 without a socket or when a server never answered\n"
     "during --duration, 2 bad usage or a bad address.\n"},
    {"gantry", "gantry [--game DIR] [--data DIR] COMMAND ...", nullptr},
    {"launch",
     "launch [--data DIR] [--game DIR] [--password PW] [--params TEXT]\n"
     "                           [--no-auto-mods] [--force] [--dry-run]\n"
     "                           [--wait-for-slot [--timeout SECONDS]] ADDRESS[:PORT]",
     "Starts the game connected to the server, as \"Play Now\" does: activates the inactive\n"
     "packages the server requires and stops when a required one is missing.\n"
     "\n"
     "  --data DIR       the folder of quillory.sav and quillory.dat (default: as for\n"
     "                   gantry: ., else the desktop program's data folder)\n"
     "  --game DIR       the game folder (default: from quillory.sav, else Wine's registry)\n"
     "  --password PW    the server's password (default: from its quillory.sav entry)\n"
     "  --params TEXT    startup parameters (default: from its quillory.sav entry)\n"
     "  --no-auto-mods   keep the -mod= words of the parameters as they are\n"
     "  --force          start even when required packages are missing\n"
     "  --dry-run        print the command that would run (wine and the game's\n"
     "                   executable first) instead of starting it\n"
     "  --wait-for-slot  when the server is full, wait until a player leaves, then start\n"
     "  --timeout SECONDS  give up waiting for a slot after this long (default: never)\n"
     "\n"
     "Exit status: 0 started (or printed), 1 no reply, no free slot in time, missing\n"
     "packages or the game did not start, 2 bad usage or a bad address.\n"},
    {"news", "news [--json] [--timeout MS] [HOST[:PORT]]",
     "Asks the browser server for its news and prints News, Link, Upgrade file and whether\n"
     "an upgrade is offered. Without HOST: $QUILLORY_BROWSER, else the built-in server;\n"
     "the port defaults to 48124.\n"
     "\n"
     "  --timeout MS   how long to wait for the reply (default 2000)\n"
     "  --json         print one JSON object instead\n"
     "\n"
     "Exit status: 0 a reply arrived, 1 none did, 2 bad usage.\n"},
    {"servers",
     "servers [--live] [--json] [--game ironvale|uprising|all] [--timeout MS]\n"
     "                            [HOST[:PORT]]",
     "Asks the browser server for the public Gantry servers and prints one\n"
     "\"name<TAB>players<TAB>address:port<TAB>game\" line per server. Without HOST:\n"
     "$QUILLORY_BROWSER, else the built-in server; the port defaults to 48124.\n"
     "\n"
     "  --game GAME    keep only the servers of one game (default all)\n"
     "  --live         ask every listed server itself, all at once, and add its ping,\n"
     "                 players/max, map, mission, status, version and lock to its line\n"
     "                 (\"No reply\" for a server that stays silent); the text line goes\n"
     "                 on with ping, max players, map, mission, status, version and\n"
     "                 \"locked\" or \"open\"\n"
     "  --timeout MS   how long to collect replies (default 2000); with --live, how long\n"
     "                 the servers have to answer once the list is in\n"
     "  --json         print one JSON object per line instead\n"
     "\n"
     "Exit status: 0 a reply arrived, 1 none did, 2 bad usage.\n"},
    {"upgrade", "upgrade [--program-folder DIR] [--check] [--timeout MS] [HOST[:PORT]]",
     "Asks the browser server for its news as news does and, when they offer an upgrade,\n"
     "downloads the signed archive and replaces the program's files in DIR with its own,\n"
     "printing the progress. A copy the package manager installed is left to it.\n"
     "\n"
     "  --program-folder DIR  the copy to upgrade (default: the folder of quillory-cli)\n"
     "  --check               only say what it would do: \"no upgrade offered\",\n"
     "                        \"installed by the package manager\" or \"upgrade offered: LINK\"\n"
     "  --timeout MS          how long to wait for the news (default 2000)\n"
     "\n"
     "Exit status: 0 upgraded or nothing to do, 1 no reply or the upgrade failed (the error\n"
     "is printed), 2 bad usage.\n"},
};

const CommandText* FindCommand(const String& name) {
    for (const CommandText& command : kCommands)
        if (name == command.name)
            return &command;
    return nullptr;
}

} // namespace

void PrintProgramUsage(std::FILE* out) {
    const char* lead = "usage: ";
    for (const CommandText& command : kCommands) {
        std::fprintf(out, "%s%s %s\n", lead, PROGRAM_NAME, command.usage);
        lead = "       ";
    }
    std::fprintf(out, "       %s --help | --version\n", PROGRAM_NAME);
    if (out == stdout)
        std::fprintf(out, "\n\"%s COMMAND --help\" tells more of each command.\n", PROGRAM_NAME);
}

CommandTexts TextsOf(const String& name) {
    const CommandText* command = FindCommand(name);
    if (command == nullptr)
        return {};
    const String usage = "usage: " + String(PROGRAM_NAME) + " " + command->usage + "\n";
    return {usage, command->help == nullptr ? usage : usage + "\n" + command->help};
}

} // namespace quillory::cli
