#include "tools/adserver/Connections.h"

#include <httplib.h>

#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace adserver {

namespace {

// The duplicate of the socket that the current thread's connection task adopted, if any.
thread_local int adoptedSocket = -1;

} // namespace

class TrackedQueue : public httplib::TaskQueue {
public:
    TrackedQueue(Connections& owner, std::size_t threads) : owner_(owner), pool_(threads) {}

    void enqueue(std::function<void()> fn) override {
        pool_.enqueue([this, fn = std::move(fn)] {
            fn();  // the whole connection: every request on it, then its close
            owner_.taskEnded();
        });
    }

    void shutdown() override { pool_.shutdown(); }

private:
    Connections& owner_;
    httplib::ThreadPool pool_;
};

Connections::~Connections() {
    std::lock_guard lock(mutex_);
    for (int fd : sockets_) ::close(fd);
}

httplib::TaskQueue* Connections::newQueue(std::size_t threads) { return new TrackedQueue(*this, threads); }

void Connections::adopt(int fd) {
    if (fd < 0 || adoptedSocket >= 0) return;
    int copy = ::dup(fd);
    if (copy < 0) return;
    std::lock_guard lock(mutex_);
    adoptedSocket = copy;
    sockets_.insert(copy);
    if (closed_) ::shutdown(copy, SHUT_RDWR);
}

void Connections::taskEnded() {
    if (adoptedSocket < 0) return;
    std::lock_guard lock(mutex_);
    sockets_.erase(adoptedSocket);
    ::close(adoptedSocket);
    adoptedSocket = -1;
}

void Connections::shutdownAll() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (int fd : sockets_) ::shutdown(fd, SHUT_RDWR);
}

} // namespace adserver
