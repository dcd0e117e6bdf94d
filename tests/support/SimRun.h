#pragma once
// A quillory-sim started for one test on its own block of ports, stopped at the end.

#include "tests/support/ChildProcess.h"

#include <string>
#include <vector>

namespace quillory::test {

class CSimRun final {
public:
    // An argument that stands for the HTTP port of the block.
    static constexpr const char* kHttpPort = "@HTTP_PORT";
    // An argument that stands for the browser server port of the block.
    static constexpr const char* kBrowserPort = "@BROWSER_PORT";

    // Starts the simulator on a free block of ports with `args` added; waits until it listens.
    explicit CSimRun(const std::vector<std::string>& args);
    ~CSimRun();

    bool Listening() const { return listening_; }
    const std::string& ListeningLine() const { return line_; }
    int Port() const { return port_; }
    int HttpPort() const { return port_ + 45; }
    int BrowserPort() const { return port_ + 46; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Stops it with SIGTERM: the exit code.
    int Stop();
    CChildProcess& Process() { return process_; }

private:
    CChildProcess process_;
    int port_ = 0;
    bool listening_ = false;
    std::string line_;
};

} // namespace quillory::test
