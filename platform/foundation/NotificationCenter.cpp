#include "platform/foundation/NotificationCenter.h"

#include <atomic>

#include "platform/runloop/DispatchQueue.h"

namespace platform {

struct NotificationCenter::Observer {
    Token token;
    std::string name;
    const void* object;
    const void* owner;
    std::shared_ptr<DispatchQueue> queue;
    Block block;
    std::atomic<bool> removed{false};

    bool matches(const Notification& n) const {
        return (name.empty() || name == n.name) && (object == nullptr || object == n.object);
    }
};

std::shared_ptr<NotificationCenter> NotificationCenter::defaultCenter() {
    static const std::shared_ptr<NotificationCenter> center(new NotificationCenter());
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string_view name, const void* object,
                                                          std::shared_ptr<DispatchQueue> queue, Block block,
                                                          const void* owner) {
    auto observer = std::make_shared<Observer>();
    observer->name = std::string(name);
    observer->object = object;
    observer->owner = owner;
    observer->queue = std::move(queue);
    observer->block = std::move(block);
    std::lock_guard<std::mutex> lock(mutex_);
    observer->token = Token{nextToken_++};
    observers_.push_back(observer);
    return observer->token;
}

void NotificationCenter::removeObserver(Token token) {
    std::shared_ptr<Observer> dropped; // released outside the lock: its block may own anything
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = observers_.begin(); it != observers_.end(); ++it) {
        if ((*it)->token == token) {
            (*it)->removed = true;
            dropped = std::move(*it);
            observers_.erase(it);
            break;
        }
    }
}

void NotificationCenter::removeObserver(const void* owner) {
    if (owner == nullptr) return;
    std::vector<std::shared_ptr<Observer>> dropped;
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(observers_, [&](const std::shared_ptr<Observer>& o) {
        if (o->owner != owner) return false;
        o->removed = true;
        dropped.push_back(o);
        return true;
    });
}

void NotificationCenter::removeObserver(const void* owner, std::string_view name, const void* object) {
    if (owner == nullptr) return;
    std::vector<std::shared_ptr<Observer>> dropped;
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(observers_, [&](const std::shared_ptr<Observer>& o) {
        if (o->owner != owner || (!name.empty() && o->name != name) ||
            (object != nullptr && o->object != object))
            return false;
        o->removed = true;
        dropped.push_back(o);
        return true;
    });
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::shared_ptr<Observer>> targets;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& o : observers_)
            if (o->matches(notification)) targets.push_back(o);
    }
    // Called without the lock, so observers may post, add and remove freely.
    for (const auto& o : targets) {
        if (o->removed) continue;
        if (!o->queue) {
            o->block(notification);
        } else {
            o->queue->async([o, notification] {
                if (!o->removed) o->block(notification);
            });
        }
    }
}

void NotificationCenter::post(std::string_view name, const void* object, Value userInfo) {
    post(Notification{std::string(name), object, std::move(userInfo)});
}

} // namespace platform
