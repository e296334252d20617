#pragma once
// The plain services behind the gesture signal: the device identifier and its type, the user's opt-out
// of ad tracking, comparisons of the system version (GADGestureIdUtil), the device's reachability flags,
// the main screen's mode size and the time zone offset. Main thread (sharedInstance's first use must
// happen on one thread).
#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class UserDefaults;
}

namespace ruzave {

class GADGestureIdUtil {
public:
    // Where the identifier made for this installation is kept when there is no advertising identifier.
    static constexpr const char* kAppIdentifierKey = "madAppId";

    static std::shared_ptr<GADGestureIdUtil> sharedInstance();
    // A new one on the standard defaults.
    static std::shared_ptr<GADGestureIdUtil> init();

    // The device's system version as the platform reports it, e.g. "6.1.3".
    std::string osVersion() const;
    // The components of the shared instance's version; a missing one is 0. Null pointers are skipped.
    static void getOSMajor(std::int32_t* major, std::int32_t* minor, std::int32_t* bugFix);
    static bool isOSAtLeastMajor(std::int32_t major, std::int32_t minor, std::int32_t bug);

    // From 6.0.0 on the advertising identifier (or the installation's identifier when the platform has
    // no advertising identifier service); before, the installation's identifier, made once and kept.
    std::string deviceIdentifier();
    // 4 from 6.0.0 on, 1 before.
    int deviceIdentifierType() const;
    // From 6.0.0 on, whether the user turned ad tracking off; never before (nor without the service).
    bool deviceOptedOut() const;

    // The standard defaults unless others were set (looked up on each use, so a reopened store is seen).
    std::shared_ptr<platform::UserDefaults> userDefaults() const;
    void setUserDefaults(std::shared_ptr<platform::UserDefaults> defaults) { userDefaults_ = std::move(defaults); }

private:
    GADGestureIdUtil() = default;
    std::string installationIdentifier();
    std::shared_ptr<platform::UserDefaults> userDefaults_;
};

// The current reachability flags of the device (the all-zero IPv4 address) written to `flags`; the
// word is left alone when they cannot be read.
void GADGestureUtilReachability(std::uint32_t* flags);

// The UTF-8 bytes of `string`, NUL-terminated; null for a null string. `mustFree` is set to 0: the
// bytes are the string's own, valid while it lives unchanged.
const char* GADCStringFromCFString(const std::string* string, std::uint8_t* mustFree);
// Reads the reachability flags into `flags`; false (and nothing written) for a null pointer.
bool GADReachabilityFlagsProbe(std::uint32_t* flags);
// The main screen's current mode in pixels, as {width, height}; both 0 without a screen.
void GADMainScreenModeSize(std::int32_t size[2]);
// The local offset from UTC in whole minutes, plus 1440 (always positive).
std::int32_t GADTimeZoneOffsetMinutes();

} // namespace ruzave
