#pragma once
// Starts a program from a command line in a working folder and leaves it running, as the game is
// started: the first word is the program, the others its arguments.

#include "common/Types.h"

#include <optional>
#include <vector>

namespace quillory::platform {

struct ProcessStartResult {
    bool started = false;
    String reason; // why it could not start; empty when it started
};

// What would be executed for `commandLine`: the program's native path (letter case resolved as
// on Windows) and every argument, with "wine" in front of a Windows program on a system that is
// not Windows. `searchPath` is the PATH to look for "wine" in. None, with `reason` set, when the
// command line is empty or the program needs wine and the PATH has none.
struct ProcessArguments {
    String program;           // the command line's first word, letter case resolved
    std::vector<String> argv; // argv[0] is what runs: the program, or wine before it
};
std::optional<ProcessArguments> BuildProcessArguments(const String& commandLine,
                                                      const String& searchPath, String& reason);

// Everything StartProcess checks before it starts anything: the arguments and the working folder
// (letter case resolved) that would run, or none with `reason` saying why the start would fail
// (no wine, no such program file, no such folder).
struct PreparedProcess {
    ProcessArguments arguments;
    String workingFolder;
};
std::optional<PreparedProcess> PrepareProcess(const String& commandLine,
                                              const String& workingFolder, String& reason);

// The words as a POSIX shell would take them back: plain words bare, the others in single quotes.
String ShellQuoted(const std::vector<String>& words);

// Splits `commandLine` with the command-line tokenizer and starts it in `workingFolder`. The
// process is not waited for; it outlives this one.
ProcessStartResult StartProcess(const String& commandLine, const String& workingFolder);

} // namespace quillory::platform
