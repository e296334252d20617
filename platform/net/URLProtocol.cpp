#include "platform/net/URLProtocol.h"

#include <algorithm>
#include <mutex>

namespace platform {

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<URLProtocolClass>> classes;  // oldest first
};

Registry& registry() {
    static Registry* r = new Registry();  // loads may still ask while statics go at exit
    return *r;
}

} // namespace

bool URLProtocol::registerClass(std::shared_ptr<URLProtocolClass> protocolClass) {
    if (!protocolClass) return false;
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (std::find(r.classes.begin(), r.classes.end(), protocolClass) != r.classes.end()) return false;
    r.classes.push_back(std::move(protocolClass));
    return true;
}

void URLProtocol::unregisterClass(const std::shared_ptr<URLProtocolClass>& protocolClass) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase(r.classes, protocolClass);
}

void URLProtocol::unregisterAllClasses() {
    auto& r = registry();
    std::vector<std::shared_ptr<URLProtocolClass>> gone;
    std::lock_guard lock(r.mutex);
    gone.swap(r.classes);
}

std::shared_ptr<URLProtocolClass> URLProtocol::classForRequest(const URLRequest& request) {
    std::vector<std::shared_ptr<URLProtocolClass>> classes;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        classes = r.classes;
    }
    // Asked outside the lock: a class may itself look at the registry.
    for (auto it = classes.rbegin(); it != classes.rend(); ++it) {
        if ((*it)->canInitWithRequest(request)) return *it;
    }
    return nullptr;
}

} // namespace platform
