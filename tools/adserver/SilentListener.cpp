#include "tools/adserver/SilentListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace adserver {

std::unique_ptr<SilentListener> SilentListener::start() {
    std::unique_ptr<SilentListener> self(new SilentListener());
    self->fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (self->fd_ < 0) return nullptr;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // The kernel caps the backlog at its own maximum; past that, connections wait in SYN-SENT, which
    // hangs them just the same.
    if (::bind(self->fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(self->fd_, 65535) != 0 ||
        ::getsockname(self->fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return nullptr;
    self->port_ = ntohs(address.sin_port);
    return self;
}

SilentListener::~SilentListener() {
    if (fd_ >= 0) ::close(fd_);
}

} // namespace adserver
