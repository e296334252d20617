#include "tools/adserver/SilentServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace adserver {

std::unique_ptr<SilentServer> SilentServer::start() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4096) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SilentServer>(new SilentServer(fd, ntohs(address.sin_port)));
}

SilentServer::~SilentServer() { ::close(fd_); }

std::size_t SilentServer::waitingConnections() const {
    // For a listening socket Linux reports the length of its accept queue here.
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return 0;
    return info.tcpi_unacked;
}

bool SilentServer::dropOne() {
    int connection = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) return false;
    // A reset, not an orderly close: the client learns at once, whatever it was waiting for.
    linger reset{1, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(connection);
    return true;
}

} // namespace adserver
