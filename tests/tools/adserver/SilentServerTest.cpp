#include "tools/adserver/SilentServer.h"

#include <doctest/doctest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

namespace {

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

int connectTo(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    REQUIRE(fd >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    REQUIRE(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    return fd;
}

// How many of `fds` have something to read, or an end, within `ms`.
int stirring(const std::vector<int>& fds, int ms) {
    std::vector<pollfd> polled;
    for (int fd : fds)
        polled.push_back(pollfd{fd, POLLIN, 0});
    return ::poll(polled.data(), polled.size(), ms);
}

} // namespace

TEST_CASE("SilentServer: connections complete, hear nothing and cost it no descriptor, until it goes") {
    auto server = adserver::SilentServer::start();
    REQUIRE(server);
    CHECK(server->port() != 0);
    const std::size_t before = openDescriptors();
    std::vector<int> clients;
    for (int i = 0; i < 300; ++i)
        clients.push_back(connectTo(server->port()));
    for (int fd : clients)
        CHECK(::send(fd, "hello", 5, MSG_NOSIGNAL) == 5);
    CHECK(openDescriptors() == before + clients.size());
    CHECK(stirring(clients, 300) == 0);

    server.reset();
    CHECK(stirring(clients, 5000) == static_cast<int>(clients.size()));
    for (int fd : clients)
        ::close(fd);
}
