#pragma once
// A plain-http listener on 127.0.0.1, without TLS, for what only http can show (a redirect that leaves
// https). Exact-path routes and a request log, with the same Request and Response as the ad server
// (no faults or delays). Any thread; it answers on its own threads.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/adserver/AdServer.h"

namespace adserver {

class PlainHTTPServer {
public:
    // Starts at once on a free port; nullptr when it cannot.
    static std::unique_ptr<PlainHTTPServer> start();
    ~PlainHTTPServer();  // stops

    std::uint16_t port() const;
    // Unrouted paths answer 404.
    void route(const std::string& path, Handler handler);
    std::vector<Request> requests() const;

    PlainHTTPServer(const PlainHTTPServer&) = delete;
    PlainHTTPServer& operator=(const PlainHTTPServer&) = delete;

private:
    PlainHTTPServer();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace adserver
