#pragma once
// A plain-HTTP listener on 127.0.0.1 that answers every request it reads with a 200 head announcing a
// large body, then sends that body one byte per `interval` to each connection, forever: loads that keep
// their connections busy (each byte is activity) while bringing next to nothing. In `Trickle::Head` it
// sends the head itself that way: after the status line, short field lines a byte at a time, without
// end. One thread of its own serves every connection; any thread may ask it.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace adserver {

class TrickleServer {
public:
    enum class Trickle { Body, Head };
    // Listens at once on a free port; nullptr when it cannot.
    static std::unique_ptr<TrickleServer> start(std::chrono::milliseconds interval, Trickle what = Trickle::Body);
    ~TrickleServer();

    std::uint16_t port() const { return port_; }
    // Connections open now, with or without a request read.
    std::size_t openConnections() const { return open_.load(); }
    // Requests read since it started.
    std::size_t requestCount() const { return requests_.load(); }
    // The targets (path and query) of the requests read, in order.
    std::vector<std::string> requestTargets() const;

    TrickleServer(const TrickleServer&) = delete;
    TrickleServer& operator=(const TrickleServer&) = delete;

private:
    TrickleServer(int fd, int wake, std::uint16_t port, std::chrono::milliseconds interval, Trickle what);
    void run();

    const int fd_;
    const int wake_;  // an eventfd that ends run()
    const std::uint16_t port_;
    const std::chrono::milliseconds interval_;
    const Trickle what_;
    std::atomic<std::size_t> open_{0};
    std::atomic<std::size_t> requests_{0};
    mutable std::mutex targetsMutex_;
    std::vector<std::string> targets_;
    std::thread thread_;
};

} // namespace adserver
