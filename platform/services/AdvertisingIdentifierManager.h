#pragma once
// The advertising identifier service: a per-device UUID for advertising and the user's tracking choice.
// Older platforms lack the service; here it exists when the class "AdvertisingIdentifierManager" is in
// the ClassRegistry (registered at load time), and tests unregister it to simulate its absence.
// Any thread.
#include <memory>
#include <mutex>
#include <string>

namespace platform {

class AdvertisingIdentifierManager {
public:
    // The name the service is registered under.
    static constexpr const char* className = "AdvertisingIdentifierManager";

    // nullptr when the service is absent (not registered).
    static std::shared_ptr<AdvertisingIdentifierManager> sharedManager();
    // Puts the service back into the registry (after a test removed it).
    static void registerClass();

    // Upper-case UUID text, the same for the process's life unless a test sets another.
    std::string advertisingIdentifier() const;
    bool isAdvertisingTrackingEnabled() const;

    // Tests.
    void setAdvertisingIdentifierForTesting(std::string uuid);
    void setAdvertisingTrackingEnabledForTesting(bool enabled);

    AdvertisingIdentifierManager();

private:
    mutable std::mutex mutex_;
    std::string identifier_;
    bool trackingEnabled_ = true;
};

} // namespace platform
