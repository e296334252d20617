#pragma once
// A listener on 127.0.0.1 that never answers, for hosts that hang: connections wait in its backlog,
// never accepted, so that they cost this process nothing but the client's own socket, and the client
// hears nothing until it gives up. The backlog holds up to the system's somaxconn (4,096 on current
// kernels); past that, connects hang unanswered. Any thread.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace adserver {

class SilentServer {
public:
    // Listens at once on a free port; nullptr when it cannot.
    static std::unique_ptr<SilentServer> start();
    ~SilentServer();

    std::uint16_t port() const { return port_; }
    // Connections made and not yet dropped, those their client has closed since included.
    std::size_t waitingConnections() const;
    // Takes the oldest waiting connection and resets it, so that its client sees it end. False when none
    // waits.
    bool dropOne();

    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

private:
    SilentServer(int fd, std::uint16_t port) : fd_(fd), port_(port) {}

    const int fd_;
    const std::uint16_t port_;
};

} // namespace adserver
