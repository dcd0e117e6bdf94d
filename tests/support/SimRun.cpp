#include "tests/support/SimRun.h"

#include <csignal>

namespace quillory::test {

CSimRun::CSimRun(const std::vector<std::string>& args) {
    port_ = FreePortBlock();
    std::vector<std::string> all = {"--address", "127.0.0.1", "--port", std::to_string(port_)};
    for (const std::string& arg : args)
        all.push_back(arg == kHttpPort      ? std::to_string(HttpPort())
                      : arg == kBrowserPort ? std::to_string(BrowserPort())
                                            : arg);
    listening_ = port_ != 0 && process_.Start(QUILLORY_SIM_PATH, all) &&
                 process_.ReadLine(line_, 20s) && line_.rfind("quillory-sim:", 0) == 0;
}

CSimRun::~CSimRun() {
    if (process_.Running())
        process_.Stop(SIGKILL);
}

int CSimRun::Stop() {
    return process_.Stop(SIGTERM);
}

} // namespace quillory::test
