#include "platform/foundation/ClassRegistry.h"

#include <algorithm>
#include <exception>
#include <map>
#include <mutex>

#include "platform/base/Log.h"

namespace platform {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<const ClassRegistry::ClassInfo>, std::less<>> classes;
};

// Made on first use and never destroyed: registrars run during static initialisation of other
// libraries, in no particular order, and lookups may come during static destruction.
Registry& registry() {
    static Registry* r = new Registry();
    return *r;
}

std::shared_ptr<const ClassRegistry::ClassInfo> findClass(std::string_view name) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.classes.find(name);
    return it == r.classes.end() ? nullptr : it->second;
}

} // namespace

void ClassRegistry::registerClass(std::string name, ClassInfo info) {
    if (name.empty() || !info.factory) {
        logError("ClassRegistry: refused a class without a name or a factory");
        return;
    }
    auto shared = std::make_shared<const ClassInfo>(std::move(info));
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto [it, inserted] = r.classes.try_emplace(name, shared);
    if (!inserted) {
        logWarning("ClassRegistry: " + escapeLogText(name) + " registered again; the new registration wins");
        it->second = std::move(shared);
    }
}

bool ClassRegistry::unregisterClass(std::string_view name) {
    std::shared_ptr<const ClassInfo> dropped; // released outside the lock
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.classes.find(name);
    if (it == r.classes.end()) return false;
    dropped = std::move(it->second);
    r.classes.erase(it);
    return true;
}

bool ClassRegistry::hasClass(std::string_view name) {
    return findClass(name) != nullptr;
}

bool ClassRegistry::conformsTo(std::string_view className, std::string_view protocolName) {
    auto info = findClass(className);
    if (!info) return false;
    return std::find(info->protocols.begin(), info->protocols.end(), protocolName) != info->protocols.end();
}

std::shared_ptr<void> ClassRegistry::createAs(std::string_view name, std::type_index type) {
    auto info = findClass(name);
    if (!info) return nullptr;
    auto caster = info->casters.find(type);
    if (caster == info->casters.end()) {
        logDebug("ClassRegistry: " + escapeLogText(name) + " is not registered as " + type.name());
        return nullptr;
    }
    // The factory runs without the lock held: constructors may look up other classes.
    try {
        std::shared_ptr<void> object = info->factory();
        if (!object) return nullptr;
        return caster->second(object);
    } catch (const std::exception& e) {
        logError("ClassRegistry: creating " + escapeLogText(name) + " failed: " + escapeLogText(e.what()));
    } catch (...) {
        logError("ClassRegistry: creating " + escapeLogText(name) + " failed");
    }
    return nullptr;
}

} // namespace platform
