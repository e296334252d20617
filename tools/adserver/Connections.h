#pragma once
// Runs the server's connections on a thread pool and can cut them all at stop, so an idle keep-alive
// connection never holds the server's teardown. Any thread; adopt() from a connection's own thread.
#include <cstddef>
#include <mutex>
#include <set>

namespace httplib {
class TaskQueue;
}

namespace adserver {

class Connections {
public:
    Connections() = default;
    Connections(const Connections&) = delete;
    Connections& operator=(const Connections&) = delete;
    ~Connections();

    // A queue for httplib (which owns it) whose tasks, one per connection, run on `threads` threads.
    httplib::TaskQueue* newQueue(std::size_t threads);

    // Called while serving a request: remembers the connection's socket until its task ends. The socket
    // is held through a duplicate, so its number cannot be reused by anything else meanwhile.
    void adopt(int fd);

    // Shuts down every adopted connection's socket; later adoptions are shut at once.
    void shutdownAll();

private:
    friend class TrackedQueue;
    void taskEnded();

    std::mutex mutex_;
    std::set<int> sockets_;  // the duplicates
    bool closed_ = false;
};

} // namespace adserver
