#include "tools/adserver/AdServer.h"

#include "tools/adserver/Certificates.h"
#include "tools/adserver/Connections.h"
#include "tools/adserver/QueryString.h"
#include "tools/adserver/RequestLog.h"
#include "tools/adserver/Router.h"
#include "tools/adserver/WideBacklog.h"

#include <httplib.h>

#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace adserver {

namespace {

constexpr std::size_t kMaxBody = 64 * 1024 * 1024;
// A connection holds its thread from its first request to its close, a delayed answer included, and each
// page has places of its own per host: a few creatives whose loads hang must not leave the server without
// a thread for the next ad request, as a real ad server would have one.
constexpr std::size_t kThreads = 160;
constexpr const char* kMethodPattern = "[\\s\\S]*";

// Request paths are the client's text: control bytes are written as \xNN so that no request can
// start a line of its own.
void logLine(const std::string& text) {
    std::string line;
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7F) {
            line += static_cast<char>(c);
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(c));
        line += escaped;
    }
    std::fprintf(stderr, "adserver: %s\n", line.c_str());
}

// A header line the client would read differently from what the route meant: a value with CR, LF or
// NUL ends its line early (the rest becomes a header of its own, or swallows the next one), and a name
// with a colon, white space or a control character is no name.
std::optional<std::string> unsendableHeader(const Response& response) {
    const auto badValue = [](const std::string& v) {
        return v.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
    };
    const auto badName = [](const std::string& n) {
        if (n.empty()) return true;
        for (unsigned char c : n)
            if (c <= 0x20 || c == 0x7F || c == ':') return true;
        return false;
    };
    for (const auto& [name, value] : response.headers)
        if (badName(name) || badValue(value)) return name;
    if (badValue(response.contentType)) return std::string("Content-Type");
    return std::nullopt;
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && lower(a) == lower(b);
}

std::string hostWithoutPort(const std::string& hostHeader) {
    if (!hostHeader.empty() && hostHeader.front() == '[') {
        std::size_t close = hostHeader.find(']');
        return lower(hostHeader.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    }
    return lower(hostHeader.substr(0, hostHeader.find(':')));
}

} // namespace

// --- Request and Response -------------------------------------------------------------------

std::string Request::header(const std::string& lowerName) const {
    auto it = headers.find(lower(lowerName));
    return it == headers.end() ? std::string() : it->second;
}

std::string Request::param(const std::string& name) const {
    auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

Response Response::html(std::string body, int status) {
    Response r;
    r.status = status;
    r.body = std::move(body);
    r.contentType = "text/html; charset=utf-8";
    return r;
}

Response Response::json(std::string body, int status) {
    Response r;
    r.status = status;
    r.body = std::move(body);
    r.contentType = "application/json";
    return r;
}

Response Response::text(std::string body, std::string contentType, int status) {
    Response r;
    r.status = status;
    r.body = std::move(body);
    r.contentType = std::move(contentType);
    return r;
}

Response Response::redirect(const std::string& location, int status) {
    Response r;
    r.status = status;
    r.headers.emplace_back("Location", location);
    return r;
}

Response& Response::header(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

// --- AdServer ---------------------------------------------------------------------------------

struct AdServer::Impl {
    Options options;
    std::optional<Certificates> certificates;
    std::string folder;
    bool ownsFolder = false;
    std::uint16_t port = 0;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    Router router;
    RequestLog log;
    Connections connections;  // outlives the server, which deletes the queues it hands out

    std::unique_ptr<WideBacklog<httplib::SSLServer>> server;
    std::thread thread;
    std::mutex stateMutex;
    std::condition_variable stateChanged;
    bool stopping = false;
    bool threadDone = false;

    Request makeRequest(const httplib::Request& req) const;
    void handle(const httplib::Request& req, httplib::Response& res);
    bool waitDelay(std::chrono::milliseconds delay, int fd);
    void stop();
};

Request AdServer::Impl::makeRequest(const httplib::Request& req) const {
    Request r;
    r.method = req.method;
    r.path = req.path;
    std::size_t question = req.target.find('?');
    if (question != std::string::npos) r.query = req.target.substr(question + 1);
    for (const auto& [name, value] : req.headers) {
        auto [it, inserted] = r.headers.emplace(lower(name), value);
        if (!inserted) it->second += ", " + value;  // repeated headers read as one list
    }
    r.body = req.body;
    r.host = hostWithoutPort(r.header("host"));
    r.time = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    for (auto& [name, value] : QueryString::parse(r.query)) r.params.emplace(std::move(name), std::move(value));
    if (lower(r.header("content-type")).rfind("application/x-www-form-urlencoded", 0) == 0) {
        for (auto& [name, value] : QueryString::parse(r.body)) r.params.emplace(std::move(name), std::move(value));
    }
    return r;
}

// Waits out a route's delay; false when the client closed the connection meanwhile. Stopping the
// server cuts a delay short, so a test's teardown never waits on it; a client that gave up ends it too,
// so a route that never answers holds a server thread only while someone waits for it.
bool AdServer::Impl::waitDelay(std::chrono::milliseconds delay, int fd) {
    constexpr auto kGlance = std::chrono::milliseconds(50);
    const auto end = std::chrono::steady_clock::now() + delay;
    std::unique_lock lock(stateMutex);
    while (!stopping) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return true;
        const auto slice = std::min<std::chrono::steady_clock::duration>(end - now, kGlance);
        if (stateChanged.wait_for(lock, slice, [this] { return stopping; })) break;
        if (fd < 0) continue;
        pollfd peer{fd, POLLRDHUP, 0};
        if (::poll(&peer, 1, 0) > 0 && (peer.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) return false;
    }
    return true;
}

void AdServer::Impl::handle(const httplib::Request& req, httplib::Response& res) {
    if (req.ssl) connections.adopt(SSL_get_fd(req.ssl));
    Request request = makeRequest(req);
    log.append(request);

    Response response;
    if (Handler handler = router.resolve(request.host, request.path)) {
        try {
            response = handler(request);
        } catch (const std::exception& e) {
            logLine("handler for " + request.path + " threw: " + e.what());
            response = Response::text("handler failed\n", "text/plain", 500);
        } catch (...) {
            logLine("handler for " + request.path + " threw");
            response = Response::text("handler failed\n", "text/plain", 500);
        }
    } else {
        response = Response::text("not found\n", "text/plain", 404);
    }
    if (auto name = unsendableHeader(response)) {
        logLine("refused the answer for " + request.path + ": header " + *name +
                " holds CR, LF or NUL, or is no name");
        response = Response::text("header refused\n", "text/plain", 500);
    }

    const bool clientLeft =
        response.delay.count() > 0 && !waitDelay(response.delay, req.ssl ? SSL_get_fd(req.ssl) : -1);

    if (response.fault == Fault::Drop || clientLeft) {
        // Shut the socket under the TLS layer: whatever httplib then tries to write goes nowhere,
        // and the client sees the connection end without a byte of answer.
        int fd = req.ssl ? SSL_get_fd(req.ssl) : -1;
        if (fd >= 0) {
            ::shutdown(fd, SHUT_RDWR);
            res.status = 500;
            return;
        }
        logLine("cannot drop the connection for " + request.path);
    }

    res.status = response.status;
    std::string contentType = response.contentType;
    for (const auto& [name, value] : response.headers) {
        if (equalsIgnoringCase(name, "content-type")) {
            contentType = value;  // the route's own Content-Type wins over contentType
        } else if (equalsIgnoringCase(name, "content-length") || equalsIgnoringCase(name, "transfer-encoding")) {
            continue;  // framing is ours: the body decides it
        } else {
            res.headers.emplace(name, value);
        }
    }

    if (response.body.empty()) {
        if (!contentType.empty()) res.set_header("Content-Type", contentType);
        return;
    }
    // A provider with a known length is never compressed by httplib and lets a truncation stop short
    // after the full Content-Length went out.
    auto body = std::make_shared<std::string>(std::move(response.body));
    std::size_t limit = response.fault == Fault::Truncate ? response.truncateAt : body->size();
    if (response.unknownLength || response.chunkDelay.count() > 0) {
        std::size_t piece = response.chunkBytes == 0 ? 64 * 1024 : response.chunkBytes;
        auto pause = response.chunkDelay;
        bool chunked = response.unknownLength;
        auto provide = [body, limit, piece, pause](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= limit) {
                if (limit < body->size()) return false;  // truncated: close without the last chunk
                sink.done();
                return true;
            }
            if (pause.count() > 0) std::this_thread::sleep_for(pause);
            return sink.write(body->data() + offset, std::min(piece, limit - offset));
        };
        if (chunked) {
            res.set_chunked_content_provider(contentType, provide);
        } else {
            res.set_content_provider(body->size(), contentType,
                                     [provide](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                         return provide(offset, sink);
                                     });
        }
        return;
    }
    res.set_content_provider(
        body->size(), contentType, [body, limit](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            std::size_t end = offset + length;
            if (end <= limit) return sink.write(body->data() + offset, length);
            if (offset < limit) sink.write(body->data() + offset, limit - offset);
            return false;  // httplib closes the connection
        });
}

void AdServer::Impl::stop() {
    {
        std::lock_guard lock(stateMutex);
        stopping = true;
    }
    stateChanged.notify_all();
    if (!server) return;
    std::unique_lock lock(stateMutex);
    while (thread.joinable() && !threadDone) {
        lock.unlock();
        if (server->is_running()) server->stop();
        connections.shutdownAll();  // idle keep-alive connections would hold the pool's join
        lock.lock();
        stateChanged.wait_for(lock, std::chrono::milliseconds(5), [this] { return threadDone; });
    }
    lock.unlock();
    if (thread.joinable()) thread.join();
}

AdServer::AdServer() : impl_(std::make_unique<Impl>()) {}

AdServer::~AdServer() {
    impl_->stop();
    impl_->server.reset();
    if (impl_->ownsFolder) {
        std::error_code ec;
        std::filesystem::remove_all(impl_->folder, ec);
    }
}

std::unique_ptr<AdServer> AdServer::start(Options options) {
    std::unique_ptr<AdServer> self(new AdServer());
    Impl& impl = *self->impl_;
    impl.options = std::move(options);

    std::string why;
    impl.certificates = Certificates::generate(impl.options.hostNames, &why);
    if (!impl.certificates) {
        logLine("cannot start: " + why);
        return nullptr;
    }

    if (impl.options.folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ruzave-adserver-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            logLine("cannot start: no temporary folder at " + pattern);
            return nullptr;
        }
        impl.folder = pattern;
        impl.ownsFolder = true;
    } else {
        impl.folder = impl.options.folder;
        std::error_code ec;
        std::filesystem::create_directories(impl.folder, ec);
        if (ec) {
            logLine("cannot start: cannot create " + impl.folder + ": " + ec.message());
            return nullptr;
        }
    }
    if (!impl.certificates->writeTo(impl.folder, &why)) {
        logLine("cannot start: " + why);
        return nullptr;
    }

    impl.server = std::make_unique<WideBacklog<httplib::SSLServer>>(impl.certificates->serverCertificate(),
                                                                    impl.certificates->serverKey());
    if (!impl.server->is_valid()) {
        logLine("cannot start: the TLS context refused the certificate");
        return nullptr;
    }
    WideBacklog<httplib::SSLServer>& server = *impl.server;
    Impl* implPtr = &impl;
    server.new_task_queue = [implPtr] { return implPtr->connections.newQueue(kThreads); };
    server.set_payload_max_length(kMaxBody);
    server.set_keep_alive_timeout(2);
    // Headers and body go out in separate writes; without this the body waits on the client's delayed ACK.
    server.set_tcp_nodelay(true);
    // httplib's default also sets SO_REUSEPORT, which would let a second server bind a taken port and
    // take half of the first one's connections.
    server.set_socket_options([](int sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    auto handler = [implPtr](const httplib::Request& req, httplib::Response& res) { implPtr->handle(req, res); };
    server.Get(kMethodPattern, handler);  // also HEAD
    server.Post(kMethodPattern, handler);
    server.Put(kMethodPattern, handler);
    server.Patch(kMethodPattern, handler);
    server.Delete(kMethodPattern, handler);
    server.Options(kMethodPattern, handler);

    int port = 0;
    if (impl.options.port != 0) {
        port = server.bind_to_port("127.0.0.1", impl.options.port) ? impl.options.port : -1;
    } else {
        port = server.bind_to_any_port("127.0.0.1");
    }
    if (port <= 0 || !server.widenBacklog()) {
        logLine("cannot start: cannot listen on 127.0.0.1:" + std::to_string(impl.options.port));
        return nullptr;
    }
    impl.port = static_cast<std::uint16_t>(port);

    impl.thread = std::thread([implPtr] {
        // Writes to a dropped connection must not kill the process; the worker threads inherit this.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        implPtr->server->listen_after_bind();
        {
            std::lock_guard lock(implPtr->stateMutex);
            implPtr->threadDone = true;
        }
        implPtr->stateChanged.notify_all();
    });

    // httplib signals nothing when it starts accepting, so poll its flag briefly.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::unique_lock lock(impl.stateMutex);
    while (!impl.threadDone && !impl.server->is_running() && std::chrono::steady_clock::now() < deadline) {
        impl.stateChanged.wait_for(lock, std::chrono::milliseconds(1));
    }
    bool running = !impl.threadDone && impl.server->is_running();
    lock.unlock();
    if (!running) {
        logLine("cannot start: the listener did not come up");
        return nullptr;
    }
    return self;
}

std::uint16_t AdServer::port() const { return impl_->port; }

std::string AdServer::address() const { return "127.0.0.1"; }

std::string AdServer::baseURL(const std::string& host) const {
    return "https://" + host + ":" + std::to_string(impl_->port);
}

std::string AdServer::caFile() const { return impl_->folder + "/ca.pem"; }

const std::vector<std::string>& AdServer::hostNames() const { return impl_->options.hostNames; }

std::string AdServer::connectToSpec(std::uint16_t fromPort) const {
    std::string spec;
    for (const auto& host : impl_->options.hostNames) {
        if (!spec.empty()) spec += ',';
        spec += host + ":" + std::to_string(fromPort) + ":127.0.0.1:" + std::to_string(impl_->port);
    }
    return spec;
}

void AdServer::route(const std::string& path, Handler handler) { impl_->router.route(path, std::move(handler)); }

void AdServer::route(const std::string& path, Response response) {
    impl_->router.route(path, [response = std::move(response)](const Request&) { return response; });
}

void AdServer::routeHost(const std::string& host, const std::string& path, Handler handler) {
    impl_->router.routeHost(host, path, std::move(handler));
}

void AdServer::routePrefix(const std::string& prefix, Handler handler) {
    impl_->router.routePrefix(prefix, std::move(handler));
}

void AdServer::unroute(const std::string& path) { impl_->router.unroute(path); }

void AdServer::serveFolder(const std::string& urlPrefix, const std::string& folder) {
    impl_->router.serveFolder(urlPrefix, folder);
}

std::vector<Request> AdServer::requests() const { return impl_->log.all(); }

std::vector<Request> AdServer::requests(const std::string& path) const { return impl_->log.forPath(path); }

std::size_t AdServer::requestCount(const std::string& path) const { return impl_->log.count(path); }

void AdServer::clearLog() { impl_->log.clear(); }

bool AdServer::waitForRequest(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) const {
    return impl_->log.waitFor(path, count, timeout);
}

} // namespace adserver
