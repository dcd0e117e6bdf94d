#pragma once
// A small HTTP server on loopback for download tests: fixed bodies, redirects, bodies cut short,
// slow and stalled bodies, and the request headers it saw.

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace quillory::test {

class FakeHttpServer {
public:
    FakeHttpServer();
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    // False when no loopback port could be bound.
    bool Start();
    void Stop();

    int Port() const { return port_; }
    // "http://127.0.0.1:PORT" + path.
    std::string Url(const std::string& path) const;

    // Routes are added before Start.
    void Serve(const std::string& path, std::string body);
    void Redirect(const std::string& path, const std::string& location, int status = 302);
    // Announces `body` plus `missing` bytes, sends `body`, then drops the connection.
    void CutShort(const std::string& path, std::string body, size_t missing);
    // Sends `body` in pieces of `piece` bytes with `pause` between them.
    void Slow(const std::string& path, std::string body, size_t piece,
              std::chrono::milliseconds pause);
    // Sends `body` in chunks of `piece` bytes without announcing its size.
    void Chunked(const std::string& path, std::string body, size_t piece);
    // Sends bytes without announcing a size and never ends, until the client leaves or the
    // server stops.
    void Endless(const std::string& path);
    // Sends `head` and then nothing until the server stops.
    void Stall(const std::string& path, std::string head, size_t announced);

    // Sends `body` with `etag`, honouring "Range: bytes=N-" unless If-Range names another tag.
    void Ranged(const std::string& path, std::string body, std::string etag);
    // As Ranged, but the first request gets only the first `cutAt` bytes of the whole body
    // announced, and then the connection drops.
    void RangedCutOnce(const std::string& path, std::string body, std::string etag, size_t cutAt);

    // Headers of the most recent request for `path` ("" when none came).
    std::string HeaderSeen(const std::string& path, const std::string& name) const;
    int RequestCount(const std::string& path) const;

private:
    void Record(const std::string& path, std::map<std::string, std::string> headers);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, std::map<std::string, std::string>> headers_;
    std::map<std::string, int> counts_;
};

} // namespace quillory::test
