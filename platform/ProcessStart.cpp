#include "platform/ProcessStart.h"

#include "common/AsciiCase.h"
#include "common/Tokenizer.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillory::platform {

namespace {

bool IsExecutableFile(const String& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The first executable `name` in the folders of `searchPath`, as a shell would find it.
std::optional<String> FindOnPath(const String& name, const String& searchPath) {
    size_t start = 0;
    while (start <= searchPath.size()) {
        size_t end = searchPath.find(':', start);
        if (end == String::npos)
            end = searchPath.size();
        String folder = searchPath.substr(start, end - start);
        if (folder.empty())
            folder = "."; // an empty PATH element means the current directory
        const String candidate = folder + (folder.back() == '/' ? "" : "/") + name;
        if (IsExecutableFile(candidate))
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

// Writes the whole of `value` to `fd`; only async-signal-safe calls, for the forked child.
void WriteErrno(int fd, int value) {
    const char* bytes = reinterpret_cast<const char*>(&value);
    size_t done = 0;
    while (done < sizeof value) {
        ssize_t n = ::write(fd, bytes + done, sizeof value - done);
        if (n <= 0 && errno != EINTR)
            return;
        if (n > 0)
            done += size_t(n);
    }
}

// Forks twice so that the program is handed to init and never left a zombie here; a pipe that
// closes on exec tells whether exec succeeded.
ProcessStartResult ForkAndExec(const std::vector<String>& argv, const String& workingFolder) {
    std::vector<char*> args;
    for (const String& word : argv)
        args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);

    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0)
        return {false, std::strerror(errno)};
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(status[0]);
        ::close(status[1]);
        return {false, std::strerror(error)};
    }
    if (child == 0) {
        ::close(status[0]);
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            WriteErrno(status[1], errno);
            ::_exit(1);
        }
        if (grandchild > 0)
            ::_exit(0);
        ::setsid(); // the game keeps running when the terminal or this program goes
        if (::chdir(workingFolder.c_str()) != 0) {
            WriteErrno(status[1], errno);
            ::_exit(127);
        }
        ::execv(args[0], args.data());
        WriteErrno(status[1], errno);
        ::_exit(127);
    }
    ::close(status[1]);
    int childStatus = 0;
    while (::waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    do {
        n = ::read(status[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(status[0]);
    if (n == ssize_t(sizeof error))
        return {false, std::strerror(error)};
    if (n != 0)
        return {false, "the process could not be started"};
    return {true, String()};
}

} // namespace

std::optional<ProcessArguments> BuildProcessArguments(const String& commandLine,
                                                      const String& searchPath, String& reason) {
    std::vector<String> words = TokenizeCommandLine(commandLine);
    if (words.empty()) {
        reason = "the command line is empty";
        return std::nullopt;
    }
    // Windows finds the program whatever the letter case of its name.
    words[0] = ResolveCase(words[0]);
    ProcessArguments result;
    result.program = words[0];
    if (EndsWithNoCase(words[0], ".EXE")) {
        auto wine = FindOnPath("wine", searchPath);
        if (!wine) {
            reason = "wine is not on the PATH";
            return std::nullopt;
        }
        result.argv.push_back(*wine);
    }
    for (String& word : words)
        result.argv.push_back(std::move(word));
    return result;
}

std::optional<PreparedProcess> PrepareProcess(const String& commandLine,
                                              const String& workingFolder, String& reason) {
    const char* path = std::getenv("PATH");
    auto arguments = BuildProcessArguments(commandLine, path ? path : "/usr/bin:/bin", reason);
    if (!arguments)
        return std::nullopt;
    auto program = GetAttributes(arguments->program);
    if (!program || program->directory) {
        reason = arguments->program + ": no such file";
        return std::nullopt;
    }
    String folder = ResolveCase(workingFolder.empty() ? String(".") : workingFolder);
    auto attributes = GetAttributes(folder);
    if (!attributes || !attributes->directory) {
        reason = folder + ": no such folder";
        return std::nullopt;
    }
    return PreparedProcess{std::move(*arguments), std::move(folder)};
}

String ShellQuoted(const std::vector<String>& words) {
    constexpr std::string_view PLAIN = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                       "0123456789_@%+=:,./-";
    String line;
    for (const String& word : words) {
        if (!line.empty())
            line += ' ';
        if (!word.empty() && word.find_first_not_of(PLAIN) == String::npos) {
            line += word;
            continue;
        }
        line += '\'';
        for (char c : word)
            line += c == '\'' ? String("'\\''") : String(1, c);
        line += '\'';
    }
    return line;
}

ProcessStartResult StartProcess(const String& commandLine, const String& workingFolder) {
    String reason;
    auto prepared = PrepareProcess(commandLine, workingFolder, reason);
    if (!prepared)
        return {false, reason};
    return ForkAndExec(prepared->arguments.argv, prepared->workingFolder);
}

} // namespace quillory::platform
