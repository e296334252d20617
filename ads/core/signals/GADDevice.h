#pragma once
// The process-wide record of the device and the app's presentation: OS version, model, screen, orientation,
// radio technology, audio route, capabilities, advertising identifier, user agent and the SDK's temporary
// folder. Static facts are cached once on the main thread; the fields that change live on a serial queue.
// Any thread, except where a method says main thread.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/signals/GADNetwork.h"
#include "platform/base/Value.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Geometry.h"

namespace platform {
class DispatchQueue;
class NetworkInfo;
} // namespace platform

namespace ruzave {

class GADDevice : public std::enable_shared_from_this<GADDevice> {
public:
    static constexpr const char* kTemporaryFolderName = "DoRurTemp";
    static constexpr std::uint32_t kBookstoreBooks = 1;
    static constexpr std::uint32_t kBookstoreKindle = 2;

    static std::shared_ptr<GADDevice> sharedInstance();
    ~GADDevice();

    // Main thread; once. Collects the facts that do not change.
    void cacheStaticParameters();
    bool hasCachedStaticParameters() const { return hasCachedStaticParameters_.load(std::memory_order_acquire); }
    // Main thread: orientation, then bookstores.
    void updateDynamicParameters();
    void updateOrientation();
    void updateBookstores();
    void updateOperatingSystemVersionProperties();
    void enableRadioAccessTechnologyChecking();
    void disableRadioAccessTechnologyChecking();
    void setRadioAccessTechnology(const std::optional<std::string>& technology);
    // Empty agents are ignored.
    void setUserAgentString(const std::string& userAgent);

    // The device keys of a request.
    platform::Value parameters();
    std::shared_ptr<GADNetwork> network() const { return network_; }
    // Read from the platform on the main thread until the static parameters are cached, as the screen
    // size is, so version checks hold before the SDK's early start; zeros on other threads until then.
    std::array<int, 3> operatingSystemVersion() const;
    std::string systemVersion() const { return published() ? systemVersion_ : std::string{}; }
    bool isOSAtLeastMajor(int major, int minor, int patch) const;
    bool OSIsSupported() const { return isOSAtLeastMajor(6, 0, 0); }
    // nullopt from OS 9 on; else each URL text mapped to whether the app can open it.
    std::optional<platform::Value> canOpenURLs(const std::vector<std::string>& urls) const;
    bool limitAdTracking() const;
    std::string limitAdTrackingString() const { return limitAdTracking() ? "1" : "0"; }
    bool jailbroken() const;
    std::string deviceIdentifier() const;
    std::string deviceModel() const { return published() ? deviceModel_ : std::string{}; }
    std::string deviceSubmodel() const;
    float mainScreenDensity() const { return published() ? mainScreenDensity_ : float{}; }
    std::optional<std::string> locale() const;
    long audioRoute() const;
    bool orientationLandscape();
    // Read from the screen on the main thread until the static parameters are cached, so sizes can be
    // checked before the SDK's early start; zero on other threads until then.
    platform::Rect standardizedPortraitScreenBounds() const;
    platform::Rect standardizedOrientedScreenBounds();
    platform::Rect standardizedOrientedApplicationFrame();
    std::optional<std::string> radioAccessTechnology() const;
    std::optional<std::string> lastKnownRadioAccessTechnology() const;
    std::optional<std::string> userAgentString() const;
    bool isSimulator() const;
    // <temporary directory>/DoRurTemp, created when asked.
    std::string temporaryPathWithCreation(bool create) const;
    bool canText() const { return published() ? canText_ : bool{}; }
    bool canMakePhoneCalls() const { return published() ? canMakePhoneCalls_ : bool{}; }
    std::optional<std::string> baseSDKVersion() const;
    bool userInterfaceIdiomIsPhone() const { return published() ? userInterfaceIdiomIsPhone_ : bool{}; }

    // Live readings of the platform that the size and rectangle rules need. Main thread.
    int userInterfaceIdiom() const;
    platform::Rect keyWindowBounds() const;
    int applicationStatusBarOrientation() const;
    platform::Rect mainScreenBounds() const;

private:
    GADDevice() = default;
    void setStatusBarOrientation(int orientation);
    // The main thread writes the static fields; other threads may read them once they are published.
    bool published() const;
    // The main screen's bounds, turned to portrait. Main thread.
    platform::Rect portraitBoundsOfMainScreen() const;

    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    // Queue fields.
    std::optional<platform::NotificationCenter::Token> radioAccessTechnologyChangeObserver_;
    int statusBarOrientation_ = 0;
    std::uint32_t bookstores_ = 0;
    std::shared_ptr<platform::NetworkInfo> telephonyNetworkInfo_;
    std::optional<std::string> lastKnownRadioAccessTechnology_;
    std::optional<std::string> radioAccessTechnology_;
    std::optional<std::string> userAgentString_;

    // Static fields: written once by cacheStaticParameters() before hasCachedStaticParameters_ is
    // released, read by other threads only after acquiring it (or before, as zeros).
    platform::Rect standardizedMainScreenPortraitBounds_;
    bool userInterfaceIdiomIsPhone_ = false;
    platform::Value infoPlist_;
    std::atomic<bool> hasCachedStaticParameters_{false};
    std::string deviceModel_;
    std::string systemVersion_;
    std::shared_ptr<GADNetwork> network_;
    float mainScreenDensity_ = 0;
    bool canText_ = false;
    bool canMakePhoneCalls_ = false;
    std::array<int, 3> operatingSystemVersion_{0, 0, 0};
};

} // namespace ruzave
