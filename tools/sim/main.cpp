// quillory-sim: a stand-in Ironvale server on the local machine for the demo and the tests.

#include "common/StandardSwitches.h"
#include "tools/sim/SimOptions.h"
#include "tools/sim/Simulator.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace {

// SIGINT and SIGTERM are read from a descriptor, so the loop ends cleanly between requests.
// Blocked before any thread starts, so that every thread inherits the mask.
int OpenStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0)
        return -1;
    return signalfd(-1, &signals, SFD_CLOEXEC);
}

} // namespace

int main(int argc, char** argv) {
    using namespace quillory::sim;
    const SimCommandLine line =
        ParseSimCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help) {
        std::fputs(SimUsage(), stdout);
        return 0;
    }
    if (line.version) {
        quillory::PrintVersion(stdout, "quillory-sim");
        return 0;
    }
    if (!line.options) {
        std::fprintf(stderr, "quillory-sim: %s\n(try quillory-sim --help)\n", line.error.c_str());
        return 2;
    }
    const SimOptions& options = *line.options;
    std::error_code ec;
    if (options.GantryOn() && !std::filesystem::is_directory(options.gantryDir, ec)) {
        std::fprintf(stderr, "quillory-sim: --gantry: '%s' is not a folder\n",
                     options.gantryDir.c_str());
        return 2;
    }
    const int stopFd = OpenStopSignals();
    if (stopFd < 0) {
        std::perror("quillory-sim: signals");
        return 1;
    }
    CSimulator simulator(options);
    std::string error;
    std::vector<std::string> warnings;
    const bool opened = simulator.Open(error, warnings);
    for (const std::string& warning : warnings)
        std::fprintf(stderr, "quillory-sim: %s\n", warning.c_str());
    if (!opened) {
        std::fprintf(stderr, "quillory-sim: %s\n", error.c_str());
        close(stopFd);
        return 1;
    }
    std::printf("%s\n", simulator.ListeningText().c_str());
    std::fflush(stdout);
    simulator.Run(stopFd);
    close(stopFd);
    if (const std::string closing = simulator.ClosingText(); !closing.empty())
        std::printf("%s\n", closing.c_str());
    return 0;
}
