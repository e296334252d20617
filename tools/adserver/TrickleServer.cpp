#include "tools/adserver/TrickleServer.h"

#include "tools/adserver/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace adserver {

std::unique_ptr<TrickleServer> TrickleServer::start(std::chrono::milliseconds interval, Trickle what) {
    std::uint16_t port = 0;
    int fd = listenOnLoopback(port);
    if (fd < 0) return nullptr;
    int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<TrickleServer>(new TrickleServer(fd, wake, port, interval, what));
}

TrickleServer::TrickleServer(int fd, int wake, std::uint16_t port, std::chrono::milliseconds interval, Trickle what)
    : fd_(fd), wake_(wake), port_(port), interval_(interval), what_(what) {
    thread_ = std::thread([this] { run(); });
}

TrickleServer::~TrickleServer() {
    std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
    thread_.join();
    ::close(fd_);
    ::close(wake_);
}

void TrickleServer::run() {
    struct Connection {
        int fd;
        std::string head;  // the request head read so far
        bool answering = false;
        std::size_t sent = 0;  // bytes of the trickle so far
    };
    std::vector<Connection> connections;
    auto next = std::chrono::steady_clock::now() + interval_;
    while (true) {
        std::vector<pollfd> polled{{wake_, POLLIN, 0}, {fd_, POLLIN, 0}};
        for (const auto& c : connections) polled.push_back({c.fd, POLLIN, 0});
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now());
        ::poll(polled.data(), polled.size(), static_cast<int>(std::max<long long>(0, wait.count())));
        if (polled[0].revents != 0) break;
        if (polled[1].revents != 0) {
            while (true) {
                int c = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (c < 0) break;
                connections.push_back({c, {}, false});
            }
        }
        for (std::size_t i = 0; i < connections.size(); ++i) {
            Connection& c = connections[i];
            if (i + 2 >= polled.size() || polled[i + 2].revents == 0) continue;
            char buffer[4096];
            ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            if (c.answering) continue;
            c.head.append(buffer, static_cast<std::size_t>(n));
            if (c.head.find("\r\n\r\n") == std::string::npos) continue;
            c.answering = true;
            ++requests_;
            {
                // "GET /path?query HTTP/1.1": the second word of the first line.
                const std::string line = c.head.substr(0, c.head.find("\r\n"));
                const std::size_t from = line.find(' ');
                const std::size_t to = line.find(' ', from + 1);
                std::lock_guard lock(targetsMutex_);
                targets_.push_back(from == std::string::npos ? std::string() : line.substr(from + 1, to - from - 1));
            }
            static const char Head[] = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 100000000\r\n\r\nt";
            static const char Begun[] = "HTTP/1.1 200 OK\r\n";
            if (what_ == Trickle::Head)
                (void)!::send(c.fd, Begun, sizeof Begun - 1, MSG_NOSIGNAL);
            else
                (void)!::send(c.fd, Head, sizeof Head - 1, MSG_NOSIGNAL);
        }
        std::erase_if(connections, [](const Connection& c) { return c.fd < 0; });
        if (std::chrono::steady_clock::now() >= next) {
            for (auto& c : connections) {
                if (!c.answering) continue;
                // A head that trickles is field line after field line, never the blank line that ends it.
                static const char Field[] = "X-T: t\r\n";
                const char* byte = what_ == Trickle::Head ? &Field[c.sent++ % (sizeof Field - 1)] : "t";
                (void)!::send(c.fd, byte, 1, MSG_NOSIGNAL);
            }
            next += interval_;
        }
        open_.store(connections.size());
    }
    for (const auto& c : connections) ::close(c.fd);
}

std::vector<std::string> TrickleServer::requestTargets() const {
    std::lock_guard lock(targetsMutex_);
    return targets_;
}

} // namespace adserver
