#pragma once
// The simulated package host: the archives of the Gantry folder and the upgrade archive over
// HTTP on the simulator's address, with ways to fail one (404 or a body cut short) and to
// serve slowly.

#include "tools/sim/SimOptions.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace quillory::sim {

class CPackageHost final {
public:
    explicit CPackageHost(const SimOptions& options);
    ~CPackageHost();
    CPackageHost(const CPackageHost&) = delete;
    CPackageHost& operator=(const CPackageHost&) = delete;

    // Binds the HTTP port and starts serving on a thread of its own; false with the reason.
    // Failure options naming no archive of the folder are told in `warnings`.
    bool Start(std::string& error, std::vector<std::string>& warnings);
    void Stop();

private:
    void Serve(const httplib::Request& request, httplib::Response& response) const;
    // The plain file names served: the Gantry folder's archives and the upgrade archive's.
    std::vector<std::string> ServedNames() const;
    void Fail(httplib::Response& response, int status, const std::string& reason) const;

    const SimOptions& options_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::atomic<bool> stopping_{false}; // read by the transfers on httplib's threads
};

} // namespace quillory::sim
