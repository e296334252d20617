#pragma once
// The server's log of requests, in arrival order, with waiting for a path. Any thread.
#include "tools/adserver/AdServer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace adserver {

class RequestLog {
public:
    void append(Request request);
    std::vector<Request> all() const;
    std::vector<Request> forPath(const std::string& path) const;
    std::size_t count(const std::string& path) const;
    void clear();
    // True once `path` has been logged `count` times; false at the timeout.
    bool waitFor(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) const;

private:
    std::size_t countLocked(const std::string& path) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Request> requests_;
};

} // namespace adserver
