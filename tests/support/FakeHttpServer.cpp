#include "tests/support/FakeHttpServer.h"

#include <httplib.h>

namespace quillory::test {

FakeHttpServer::FakeHttpServer() : server_(std::make_unique<httplib::Server>()) {
    server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        std::map<std::string, std::string> seen;
        for (const char* name : {"User-Agent", "Cache-Control", "Pragma", "Range", "If-Range"})
            seen[name] = req.get_header_value(name);
        Record(req.path, std::move(seen));
        return httplib::Server::HandlerResponse::Unhandled;
    });
}

FakeHttpServer::~FakeHttpServer() {
    Stop();
}

bool FakeHttpServer::Start() {
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        return false;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (int i = 0; i < 500 && !server_->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return server_->is_running();
}

void FakeHttpServer::Stop() {
    stopping_ = true;
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

std::string FakeHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void FakeHttpServer::Serve(const std::string& path, std::string body) {
    server_->Get(path, [body = std::move(body)](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, "application/zip");
    });
}

void FakeHttpServer::Redirect(const std::string& path, const std::string& location, int status) {
    server_->Get(path, [location, status](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(location, status);
    });
}

void FakeHttpServer::CutShort(const std::string& path, std::string body, size_t missing) {
    server_->Get(
        path, [body = std::move(body), missing](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(body.size() + missing, "application/zip",
                                     [body](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset < body.size())
                                             sink.write(body.data() + offset, body.size() - offset);
                                         return offset < body.size(); // then drop the connection
                                     });
        });
}

void FakeHttpServer::Slow(const std::string& path, std::string body, size_t piece,
                          std::chrono::milliseconds pause) {
    server_->Get(path, [this, body = std::move(body), piece, pause](const httplib::Request&,
                                                                    httplib::Response& res) {
        res.set_content_provider(
            body.size(), "application/zip",
            [this, body, piece, pause](size_t offset, size_t, httplib::DataSink& sink) {
                if (stopping_)
                    return false;
                size_t n = std::min(piece, body.size() - offset);
                sink.write(body.data() + offset, n);
                std::this_thread::sleep_for(pause);
                return true;
            });
    });
}

void FakeHttpServer::Chunked(const std::string& path, std::string body, size_t piece) {
    server_->Get(
        path, [body = std::move(body), piece](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(
                "application/zip", [body, piece](size_t offset, httplib::DataSink& sink) {
                    if (offset >= body.size()) {
                        sink.done();
                        return true;
                    }
                    sink.write(body.data() + offset, std::min(piece, body.size() - offset));
                    return true;
                });
        });
}

void FakeHttpServer::Endless(const std::string& path) {
    server_->Get(path, [this](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider(
            "application/zip", [this](size_t, httplib::DataSink& sink) {
                static const std::string block(65536, 'x');
                return !stopping_ && sink.write(block.data(), block.size());
            });
    });
}

void FakeHttpServer::Stall(const std::string& path, std::string head, size_t announced) {
    server_->Get(path, [this, head = std::move(head), announced](const httplib::Request&,
                                                                 httplib::Response& res) {
        res.set_content_provider(announced, "application/zip",
                                 [this, head](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset == 0 && !head.empty())
                                         sink.write(head.data(), head.size());
                                     while (!stopping_)
                                         std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                     return false;
                                 });
    });
}

void FakeHttpServer::RangedCutOnce(const std::string& path, std::string body, std::string etag,
                                   size_t cutAt) {
    auto served = std::make_shared<std::atomic<int>>(0);
    server_->Get(path, [body = std::move(body), etag = std::move(etag), cutAt,
                        served](const httplib::Request& req, httplib::Response& res) {
        res.set_header("ETag", etag);
        if ((*served)++ > 0) {
            if (req.get_header_value("If-Range") != etag)
                const_cast<httplib::Request&>(req).ranges.clear();
            return res.set_content(body, "application/zip");
        }
        res.set_content_provider(body.size(), "application/zip",
                                 [body, cutAt](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset < cutAt)
                                         sink.write(body.data() + offset, cutAt - offset);
                                     return offset < cutAt; // then drop the connection
                                 });
    });
}

void FakeHttpServer::Ranged(const std::string& path, std::string body, std::string etag) {
    server_->Get(path, [body = std::move(body), etag = std::move(etag)](const httplib::Request& req,
                                                                        httplib::Response& res) {
        const std::string ifRange = req.get_header_value("If-Range");
        // The library applies the range itself; a failed If-Range takes it away (the request
        // is the server's own object).
        if (!ifRange.empty() && ifRange != etag)
            const_cast<httplib::Request&>(req).ranges.clear();
        res.set_header("ETag", etag);
        res.set_content(body, "application/zip");
    });
}

void FakeHttpServer::Record(const std::string& path, std::map<std::string, std::string> headers) {
    std::lock_guard<std::mutex> lock(mutex_);
    headers_[path] = std::move(headers);
    ++counts_[path];
}

std::string FakeHttpServer::HeaderSeen(const std::string& path, const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = headers_.find(path);
    if (it == headers_.end())
        return std::string();
    auto header = it->second.find(name);
    return header == it->second.end() ? std::string() : header->second;
}

int FakeHttpServer::RequestCount(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = counts_.find(path);
    return it == counts_.end() ? 0 : it->second;
}

} // namespace quillory::test
