#pragma once
// The device facts behind a conversion ping: the advertising identifier service, the hashed device
// token "muid", and the OS and app versions. One shared instance; any thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ruzave {

class ACTDevice {
public:
    static std::shared_ptr<ACTDevice> currentDevice();

    // Whether the platform's advertising identifier service exists.
    bool hasIDFA() const;
    // The advertising identifier's UUID text, as the platform gives it; nullopt without the service.
    std::optional<std::string> advertisingIdentifier() const;
    // Whether the user allows ad tracking (false without the service).
    bool isAdvertisingTrackingEnabled() const;
    // MD5 of the upper-cased advertising identifier into `buffer` (16 bytes). False for a null buffer,
    // without the service, or without an identifier.
    bool writeMD5HashedDeviceIdentifierToBuffer(std::uint8_t* buffer) const;
    // That digest in unpadded web-safe Base64 (22 characters); nullopt when the digest fails.
    std::optional<std::string> deviceIdentifierBase64() const;
    // The token, or nullopt (logged when the service exists but gave no identifier).
    std::optional<std::string> deviceID() const;
    std::string OSVersion() const;
    std::string appVersion() const;
    std::string bundleID() const;
};

} // namespace ruzave
