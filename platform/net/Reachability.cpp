#include "platform/net/Reachability.h"

#include <arpa/inet.h>

#include <algorithm>
#include <vector>

#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"

namespace platform {

namespace {

constexpr std::uint32_t DefaultFlags = Reachability::Reachable;

struct Registry {
    std::mutex mutex;
    std::uint32_t flags = DefaultFlags;
    std::vector<std::weak_ptr<Reachability>> notifiers;
};

Registry& registry() {
    static Registry* r = new Registry();  // outlives every static that might still ask
    return *r;
}

} // namespace

std::shared_ptr<Reachability> Reachability::forHostName(const std::string& hostName) {
    if (hostName.empty()) return nullptr;
    return std::shared_ptr<Reachability>(new Reachability(hostName));
}

std::shared_ptr<Reachability> Reachability::forAddress(const std::string& address) {
    unsigned char buffer[16];
    if (inet_pton(AF_INET, address.c_str(), buffer) != 1 && inet_pton(AF_INET6, address.c_str(), buffer) != 1) {
        return nullptr;
    }
    return std::shared_ptr<Reachability>(new Reachability(address));
}

Reachability::~Reachability() = default;

std::uint32_t Reachability::currentFlags(bool* ok) const {
    if (ok != nullptr) *ok = true;
    return globalFlags();
}

void Reachability::setCallback(Callback callback, std::shared_ptr<DispatchQueue> queue) {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
    queue_ = std::move(queue);
}

bool Reachability::startNotifier() {
    {
        std::lock_guard lock(mutex_);
        if (!callback_) return false;
        if (notifying_) return true;
        notifying_ = true;
        ++generation_;
    }
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.notifiers, [](const std::weak_ptr<Reachability>& w) { return w.expired(); });
    r.notifiers.push_back(weak_from_this());
    return true;
}

void Reachability::stopNotifier() {
    {
        std::lock_guard lock(mutex_);
        if (!notifying_) return;
        notifying_ = false;
        ++generation_;
    }
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.notifiers, [this](const std::weak_ptr<Reachability>& w) {
        auto s = w.lock();
        return !s || s.get() == this;
    });
}

bool Reachability::isNotifying() const {
    std::lock_guard lock(mutex_);
    return notifying_;
}

void Reachability::notify(std::uint32_t flags) {
    std::shared_ptr<DispatchQueue> queue;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        if (!notifying_) return;
        queue = queue_;
        generation = generation_;
    }
    std::weak_ptr<Reachability> weak = weak_from_this();
    auto deliver = [weak, generation, flags] {
        auto self = weak.lock();
        if (!self) return;
        Callback callback;
        {
            std::lock_guard lock(self->mutex_);
            // Stopped (or restarted) since the change: that notifier no longer wants this one.
            if (!self->notifying_ || self->generation_ != generation) return;
            callback = self->callback_;
        }
        if (callback) callback(*self, flags);
    };
    if (queue) {
        queue->async(std::move(deliver));
    } else {
        MainLoop::main().post(std::move(deliver));
    }
}

void Reachability::setGlobalFlagsForTesting(std::uint32_t flags) {
    std::vector<std::shared_ptr<Reachability>> targets;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        if (r.flags == flags) return;
        r.flags = flags;
        for (auto& w : r.notifiers) {
            if (auto s = w.lock()) targets.push_back(std::move(s));
        }
    }
    for (auto& t : targets) t->notify(flags);
}

std::uint32_t Reachability::globalFlags() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    return r.flags;
}

void Reachability::resetForTesting() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.flags = DefaultFlags;
}

bool Reachability::isReachable(std::uint32_t flags) {
    if ((flags & Reachable) == 0) return false;
    if ((flags & ConnectionRequired) == 0) return true;
    // A connection made on demand is fine as long as no one has to step in.
    return (flags & (ConnectionOnTraffic | ConnectionOnDemand)) != 0 && (flags & InterventionRequired) == 0;
}

} // namespace platform
