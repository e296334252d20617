#include "tools/adserver/RequestLog.h"

#include <utility>

namespace adserver {

void RequestLog::append(Request request) {
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(request));
    }
    changed_.notify_all();
}

std::vector<Request> RequestLog::all() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<Request> RequestLog::forPath(const std::string& path) const {
    std::lock_guard lock(mutex_);
    std::vector<Request> out;
    for (const auto& r : requests_) {
        if (r.path == path) out.push_back(r);
    }
    return out;
}

std::size_t RequestLog::count(const std::string& path) const {
    std::lock_guard lock(mutex_);
    return countLocked(path);
}

std::size_t RequestLog::countLocked(const std::string& path) const {
    std::size_t n = 0;
    for (const auto& r : requests_) n += r.path == path ? 1 : 0;
    return n;
}

void RequestLog::clear() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

bool RequestLog::waitFor(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return countLocked(path) >= count; });
}

} // namespace adserver
