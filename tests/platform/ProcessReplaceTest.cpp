// Running a program in place of this process: in a child, so that the test goes on.
#include "platform/ProcessReplace.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillory;
using namespace quillory::platform;
using quillory::test::ScratchFolder;
namespace fs = std::filesystem;

namespace {

// Forks; the child replaces itself with `program` and, if that fails, writes the reason and
// ends with 99. What the child (or the program it became) wrote, and its exit code.
std::pair<std::string, int> ReplaceInChild(const String& program, const std::vector<String>& argv,
                                           const String& folder) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {"no pipe", -1};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        const String reason = ReplaceProcess(program, argv, folder);
        char here[4096] = {};
        [[maybe_unused]] const char* got = ::getcwd(here, sizeof here);
        const String report = "failed: " + reason + "\nin " + here + "\n";
        [[maybe_unused]] const ssize_t written =
            ::write(STDOUT_FILENO, report.data(), report.size());
        ::_exit(99);
    }
    ::close(fds[1]);
    std::string out;
    char buffer[512];
    for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, size_t(got));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

} // namespace

TEST(ProcessReplace, RunsTheProgramWithEveryArgumentInTheFolder) {
    ScratchFolder scratch;
    const fs::path start = scratch.Path() / "start folder";
    fs::create_directory(start);
    // The shell prints where it runs and its arguments, one a line; $0 is the argv[0] given.
    const auto [out, code] =
        ReplaceInChild("/bin/sh",
                       {"sh", "-c", "pwd; printf '%s\\n' \"$0\" \"$@\"", "quillory",
                        "--data-folder=rel", "-connect=127.0.0.1", "two words", ""},
                       start.string());
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out, start.string() + "\nquillory\n--data-folder=rel\n-connect=127.0.0.1\n"
                                    "two words\n\n");
}

TEST(ProcessReplace, AFailureSaysWhyAndLeavesTheFolderAsItWas) {
    ScratchFolder scratch;
    const fs::path notRunnable = scratch.Path() / "quillory";
    ASSERT_TRUE(test::WriteFileBytes(notRunnable, "not a program"));
    fs::permissions(notRunnable, fs::perms::owner_read | fs::perms::owner_write);
    const std::string here = fs::current_path().string();
    struct Case {
        String program;
        String folder;
        String reason;
    };
    const Case cases[] = {
        {(scratch.Path() / "missing").string(), scratch.Path().string(),
         "cannot run " + (scratch.Path() / "missing").string() + ": No such file or directory"},
        {notRunnable.string(), "", "cannot run " + notRunnable.string() + ": Permission denied"},
        {"/bin/sh", (scratch.Path() / "gone").string(),
         "cannot enter " + (scratch.Path() / "gone").string() + ": No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        const auto [out, code] = ReplaceInChild(c.program, {"quillory"}, c.folder);
        EXPECT_EQ(code, 99);
        EXPECT_EQ(out, "failed: " + c.reason + "\nin " + here + "\n");
    }
}
