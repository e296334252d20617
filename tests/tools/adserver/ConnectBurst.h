#pragma once
// A burst of simultaneous connects to a listener on 127.0.0.1, for the servers' listen backlogs. Loopback
// loses no packet but those a full accept queue drops: a connection whose SYN (or whose handshake's last
// ACK, or its first byte after it) found no room is retransmitted by its client, a second later for a SYN.
// The kernel counts those retransmits per socket, so the test needs no clock. Test thread only.
#include <doctest/doctest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace adserver::testing {

struct BurstResult {
    std::size_t retransmitted = 0; // connections that needed any retransmit
    double slowestSeconds = 0;     // the longest from the burst's start to a connection made
};

// The kernel's record of the connection; all zero if it cannot be read.
inline tcp_info tcpInfoOf(int fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) info = tcp_info{};
    return info;
}

// Opens `count` connections to `port` at once, sends a byte on each as soon as it is made, and waits until
// every byte was acknowledged (the connection then stands in the server's accept queue or beyond).
inline BurstResult connectBurst(std::uint16_t port, std::size_t count) {
    using Clock = std::chrono::steady_clock;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    struct Sockets {
        std::vector<int> fds;
        ~Sockets() {
            for (int fd : fds) ::close(fd);
        }
    } sockets;
    std::vector<int>& fds = sockets.fds;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) FAIL("no socket: " << errno);
        fds.push_back(fd);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS)
            FAIL("cannot connect: " << errno);
    }

    BurstResult result;
    std::vector<bool> made(count, false);
    std::size_t madeCount = 0;
    // Far past any retransmit a full queue causes; only a broken listener takes this long.
    const auto deadline = start + std::chrono::seconds(60);
    while (madeCount < count && Clock::now() < deadline) {
        std::vector<pollfd> polled;
        std::vector<std::size_t> which;
        for (std::size_t i = 0; i < count; ++i) {
            if (made[i]) continue;
            polled.push_back(pollfd{fds[i], POLLOUT, 0});
            which.push_back(i);
        }
        if (::poll(polled.data(), polled.size(), 100) <= 0) continue;
        for (std::size_t k = 0; k < polled.size(); ++k) {
            if (polled[k].revents == 0) continue;
            const int fd = fds[which[k]];
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0 ||
                ::send(fd, "x", 1, MSG_NOSIGNAL) != 1)
                FAIL("connection " << which[k] << " failed: " << error);
            made[which[k]] = true;
            ++madeCount;
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (seconds > result.slowestSeconds) result.slowestSeconds = seconds;
        }
    }
    REQUIRE(madeCount == count);

    std::size_t acknowledged = 0;
    while (Clock::now() < deadline) {
        acknowledged = 0;
        for (int fd : fds)
            if (tcpInfoOf(fd).tcpi_unacked == 0) ++acknowledged;
        if (acknowledged == count) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    REQUIRE(acknowledged == count);
    for (int fd : fds)
        if (tcpInfoOf(fd).tcpi_total_retrans > 0) ++result.retransmitted;
    return result;
}

} // namespace adserver::testing
