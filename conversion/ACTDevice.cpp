#include "conversion/ACTDevice.h"

#include "conversion/ACTEscapeAdditions.h"
#include "conversion/ACTLog.h"
#include "platform/base/Strings.h"
#include "platform/foundation/Bundle.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "platform/ui/Device.h"

namespace ruzave {

std::shared_ptr<ACTDevice> ACTDevice::currentDevice() {
    static const std::shared_ptr<ACTDevice> device = std::make_shared<ACTDevice>();
    return device;
}

bool ACTDevice::hasIDFA() const {
    return platform::AdvertisingIdentifierManager::sharedManager() != nullptr;
}

std::optional<std::string> ACTDevice::advertisingIdentifier() const {
    auto manager = platform::AdvertisingIdentifierManager::sharedManager();
    if (!manager) return std::nullopt;
    std::string identifier = manager->advertisingIdentifier();
    if (identifier.empty()) return std::nullopt;
    return identifier;
}

bool ACTDevice::isAdvertisingTrackingEnabled() const {
    auto manager = platform::AdvertisingIdentifierManager::sharedManager();
    return manager && manager->isAdvertisingTrackingEnabled();
}

bool ACTDevice::writeMD5HashedDeviceIdentifierToBuffer(std::uint8_t* buffer) const {
    if (buffer == nullptr) return false;
    auto identifier = advertisingIdentifier();
    if (!identifier) return false;
    return act_writeMD5HashToBuffer(platform::toUpperASCII(*identifier), buffer);
}

std::optional<std::string> ACTDevice::deviceIdentifierBase64() const {
    std::uint8_t digest[16];
    if (!writeMD5HashedDeviceIdentifierToBuffer(digest)) return std::nullopt;
    return act_stringWithBase64EncodedHash(digest);
}

std::optional<std::string> ACTDevice::deviceID() const {
    auto token = deviceIdentifierBase64();
    if (token && !token->empty()) return token;
    if (hasIDFA()) ACTLog::logPublicMessage("not sending ping. Unexpected error getting the advertisingIdentifier.");
    return std::nullopt;
}

std::string ACTDevice::OSVersion() const {
    auto device = platform::Device::currentDevice();
    return device ? device->systemVersion() : std::string();
}

std::string ACTDevice::appVersion() const {
    return platform::Bundle::mainBundle()->version();
}

std::string ACTDevice::bundleID() const {
    return platform::Bundle::mainBundle()->identifier();
}

} // namespace ruzave
