#include "platform/ProcessReplace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quillory::platform {

namespace {

String Reason(const String& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

String ReplaceProcess(const String& program, const std::vector<String>& argv,
                      const String& folder) {
    std::vector<char*> pointers;
    for (const String& word : argv)
        pointers.push_back(const_cast<char*>(word.c_str()));
    pointers.push_back(nullptr);
    // The way back if the program does not start; closed by the new image when it does.
    const int here = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
        const String reason = Reason("cannot enter " + folder);
        if (here >= 0)
            ::close(here);
        return reason;
    }
    // Whatever this process still buffers would be lost with its image.
    std::fflush(nullptr);
    ::execv(program.c_str(), pointers.data());
    const String reason = Reason("cannot run " + program);
    if (here >= 0) {
        [[maybe_unused]] const int back = ::fchdir(here);
        ::close(here);
    }
    return reason;
}

} // namespace quillory::platform
