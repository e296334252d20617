#pragma once
// A cpp-httplib server (Server or SSLServer) whose listener takes a burst of connects. The library listens
// with a backlog of 5, fixed in its shared library, so a burst of more simultaneous connects than it accepts
// at once loses their SYNs, and each lost one costs its client a retransmit a second or more later. Once
// bound, this one listens again on the same socket with a wide backlog (Linux changes a listening socket's
// backlog in place; the kernel caps it at net.core.somaxconn). The thread that starts the server.
#include <sys/socket.h>

namespace adserver {

template <class Server>
class WideBacklog : public Server {
public:
    static constexpr int Backlog = 4096;

    using Server::Server;

    // After bind_to_port or bind_to_any_port succeeded, before listen_after_bind.
    bool widenBacklog() { return ::listen(this->svr_sock_, Backlog) == 0; }
};

} // namespace adserver
