#include "platform/services/AdvertisingIdentifierManager.h"

#include <cstdio>
#include <random>

#include "platform/foundation/ClassRegistry.h"

namespace platform {
namespace {

std::string randomUUID() {
    std::random_device device;
    unsigned char b[16];
    for (auto& byte : b) byte = static_cast<unsigned char>(device() & 0xff);
    b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40); // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80); // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                  b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

std::shared_ptr<AdvertisingIdentifierManager>& instance() {
    // Never destroyed: background work still running while the process exits may ask for it.
    static auto* manager =
        new std::shared_ptr<AdvertisingIdentifierManager>(std::make_shared<AdvertisingIdentifierManager>());
    return *manager;
}

struct Registrar {
    Registrar() { AdvertisingIdentifierManager::registerClass(); }
};
const Registrar registrar;

} // namespace

AdvertisingIdentifierManager::AdvertisingIdentifierManager() : identifier_(randomUUID()) {}

std::shared_ptr<AdvertisingIdentifierManager> AdvertisingIdentifierManager::sharedManager() {
    if (!ClassRegistry::hasClass(className)) return nullptr;
    return ClassRegistry::create<AdvertisingIdentifierManager>(className);
}

void AdvertisingIdentifierManager::registerClass() {
    ClassRegistry::ClassInfo info;
    // One process-wide instance, whoever asks for it.
    info.factory = [] { return std::static_pointer_cast<void>(instance()); };
    info.casters.emplace(std::type_index(typeid(AdvertisingIdentifierManager)),
                         [](const std::shared_ptr<void>& p) { return p; });
    ClassRegistry::registerClass(className, std::move(info));
}

std::string AdvertisingIdentifierManager::advertisingIdentifier() const {
    std::lock_guard lock(mutex_);
    return identifier_;
}

bool AdvertisingIdentifierManager::isAdvertisingTrackingEnabled() const {
    std::lock_guard lock(mutex_);
    return trackingEnabled_;
}

void AdvertisingIdentifierManager::setAdvertisingIdentifierForTesting(std::string uuid) {
    std::lock_guard lock(mutex_);
    identifier_ = std::move(uuid);
}

void AdvertisingIdentifierManager::setAdvertisingTrackingEnabledForTesting(bool enabled) {
    std::lock_guard lock(mutex_);
    trackingEnabled_ = enabled;
}

} // namespace platform
