#pragma once
// The simulated package host: the archives of the Gantry folder and the upgrade archive over
// HTTP on the simulator's address, with ways to fail one (404, 503 once, a body cut short
// always or once), to serve slowly, to change an archive between two requests and to ignore
// Range requests. It sends ETag and Last-Modified and honours "Range: bytes=N-" guarded by
// If-Range, as a common web server does, and counts the body bytes it sent.

#include "tools/sim/SimOptions.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
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

    // "package host: sent N body bytes in M responses"
    std::string StatsText() const;

private:
    void Serve(const httplib::Request& request, httplib::Response& response) const;
    // The plain file names served: the Gantry folder's archives and the upgrade archive's.
    std::vector<std::string> ServedNames() const;
    void Fail(httplib::Response& response, int status, const std::string& reason) const;
    // The upgrade archive's signature, good or made bad as the options say; false when none is
    // served under `name`.
    bool ServeSignature(const std::string& name, httplib::Response& response) const;
    // How many requests for `name` came before this one.
    int CountRequest(const std::string& name) const;
    // The changed file served for `name` from its second request on, or empty.
    std::string ChangedFile(const std::string& name) const;

    const SimOptions& options_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::atomic<bool> stopping_{false}; // read by the transfers on httplib's threads
    mutable std::mutex requestsLock_;
    mutable std::map<std::string, int> requests_; // per archive name
    mutable std::atomic<uint64_t> bytesSent_{0};
    mutable std::atomic<uint64_t> responses_{0};
};

} // namespace quillory::sim
