#include "tools/adserver/PlainHTTPServer.h"

#include "tools/adserver/WideBacklog.h"

#include <httplib.h>

#include <pthread.h>
#include <signal.h>

#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace adserver {

namespace {

std::string lower(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

struct PlainHTTPServer::Impl {
    WideBacklog<httplib::Server> server;
    std::thread thread;
    std::uint16_t port = 0;
    const std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    mutable std::mutex mutex;
    std::map<std::string, Handler> routes;
    std::vector<Request> log;

    void handle(const httplib::Request& req, httplib::Response& res) {
        Request r;
        r.method = req.method;
        r.path = req.path;
        if (auto q = req.target.find('?'); q != std::string::npos) r.query = req.target.substr(q + 1);
        for (const auto& [name, value] : req.headers) {
            auto [it, inserted] = r.headers.emplace(lower(name), value);
            if (!inserted) it->second += ", " + value;
        }
        r.body = req.body;
        r.host = r.header("host").substr(0, r.header("host").find(':'));
        r.time = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        Handler handler;
        {
            std::lock_guard lock(mutex);
            log.push_back(r);
            if (auto it = routes.find(r.path); it != routes.end()) handler = it->second;
        }
        Response response = Response::text("not found\n", "text/plain", 404);
        if (handler) {
            try {
                response = handler(r);
            } catch (...) {
                response = Response::text("handler failed\n", "text/plain", 500);
            }
        }
        res.status = response.status;
        std::string contentType = response.contentType;
        for (const auto& [name, value] : response.headers) {
            if (lower(name) == "content-type") contentType = value;
            else if (lower(name) != "content-length" && lower(name) != "transfer-encoding") res.headers.emplace(name, value);
        }
        res.set_content(response.body, contentType);
    }
};

PlainHTTPServer::PlainHTTPServer() : impl_(std::make_unique<Impl>()) {}

std::unique_ptr<PlainHTTPServer> PlainHTTPServer::start() {
    std::unique_ptr<PlainHTTPServer> self(new PlainHTTPServer());
    Impl* impl = self->impl_.get();
    // One request per connection, so that stopping never waits on an idle keep-alive.
    impl->server.set_keep_alive_max_count(1);
    impl->server.Get(".*", [impl](const httplib::Request& req, httplib::Response& res) { impl->handle(req, res); });
    impl->server.Post(".*", [impl](const httplib::Request& req, httplib::Response& res) { impl->handle(req, res); });
    int port = impl->server.bind_to_any_port("127.0.0.1");
    if (port <= 0 || !impl->server.widenBacklog()) return nullptr;
    impl->port = static_cast<std::uint16_t>(port);
    impl->thread = std::thread([impl] {
        // Writes to a dropped connection must not kill the process; the worker threads inherit this.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        impl->server.listen_after_bind();
    });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!impl->server.is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!impl->server.is_running()) return nullptr;  // the destructor stops and joins
    return self;
}

PlainHTTPServer::~PlainHTTPServer() {
    impl_->server.stop();
    if (impl_->thread.joinable()) impl_->thread.join();
}

std::uint16_t PlainHTTPServer::port() const { return impl_->port; }

void PlainHTTPServer::route(const std::string& path, Handler handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->routes[path] = std::move(handler);
}

std::vector<Request> PlainHTTPServer::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

} // namespace adserver
