#pragma once
// A TCP listener on 127.0.0.1 that never accepts: the kernel completes each connection and queues it,
// and nothing is ever read or written, so a client's TLS handshake waits until it gives up. Plays the
// hosts that hang, however many connections they get, without a descriptor or a thread per connection
// in this process. Any thread; connections are reset when it goes.
#include <cstdint>
#include <memory>

namespace adserver {

class SilentListener {
  public:
    // Listens at once on a free port; nullptr when it cannot.
    static std::unique_ptr<SilentListener> start();
    ~SilentListener();

    std::uint16_t port() const { return port_; }

    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

  private:
    SilentListener() = default;
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace adserver
