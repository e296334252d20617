#include "tools/adserver/SilentServer.h"

#include "tools/adserver/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace adserver {

std::unique_ptr<SilentServer> SilentServer::start() {
    std::uint16_t port = 0;
    int fd = listenOnLoopback(port);
    if (fd < 0) return nullptr;
    return std::unique_ptr<SilentServer>(new SilentServer(fd, port));
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
