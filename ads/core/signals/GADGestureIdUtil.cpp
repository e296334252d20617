#include "ads/core/signals/GADGestureIdUtil.h"

#include <cmath>

#include "platform/base/Crypto.h"
#include "platform/base/Value.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/Reachability.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "platform/services/TimeZone.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"

namespace ruzave {

namespace {

// The first three "."-separated components read as integers; missing ones are 0.
void versionComponents(const std::string& version, std::int32_t out[3]) {
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        out[i] = 0;
        if (start > version.size()) continue;
        std::size_t dot = version.find('.', start);
        const std::string part = version.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        const long long value = platform::integerValue(part);
        out[i] = static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
        start = dot == std::string::npos ? version.size() + 1 : dot + 1;
    }
}

bool isSixOrLater() { return GADGestureIdUtil::isOSAtLeastMajor(6, 0, 0); }

} // namespace

std::shared_ptr<GADGestureIdUtil> GADGestureIdUtil::sharedInstance() {
    static const std::shared_ptr<GADGestureIdUtil> instance = init();
    return instance;
}

std::shared_ptr<GADGestureIdUtil> GADGestureIdUtil::init() {
    return std::shared_ptr<GADGestureIdUtil>(new GADGestureIdUtil());
}

std::shared_ptr<platform::UserDefaults> GADGestureIdUtil::userDefaults() const {
    return userDefaults_ ? userDefaults_ : platform::UserDefaults::standard();
}

std::string GADGestureIdUtil::osVersion() const { return platform::Device::currentDevice()->systemVersion(); }

void GADGestureIdUtil::getOSMajor(std::int32_t* major, std::int32_t* minor, std::int32_t* bugFix) {
    std::int32_t parts[3];
    versionComponents(sharedInstance()->osVersion(), parts);
    if (major != nullptr) *major = parts[0];
    if (minor != nullptr) *minor = parts[1];
    if (bugFix != nullptr) *bugFix = parts[2];
}

bool GADGestureIdUtil::isOSAtLeastMajor(std::int32_t major, std::int32_t minor, std::int32_t bug) {
    std::int32_t running[3];
    getOSMajor(&running[0], &running[1], &running[2]);
    if (running[0] != major) return running[0] > major;
    if (running[1] != minor) return running[1] > minor;
    return running[2] >= bug;
}

std::string GADGestureIdUtil::installationIdentifier() {
    auto defaults = userDefaults();
    if (auto stored = defaults->string(kAppIdentifierKey); stored && !stored->empty()) return *stored;
    std::string made = platform::uuidString();
    defaults->set(kAppIdentifierKey, made);
    return made;
}

std::string GADGestureIdUtil::deviceIdentifier() {
    if (isSixOrLater()) {
        if (auto manager = platform::AdvertisingIdentifierManager::sharedManager()) return manager->advertisingIdentifier();
    }
    return installationIdentifier();
}

int GADGestureIdUtil::deviceIdentifierType() const { return isSixOrLater() ? 4 : 1; }

bool GADGestureIdUtil::deviceOptedOut() const {
    if (!isSixOrLater()) return false;
    auto manager = platform::AdvertisingIdentifierManager::sharedManager();
    return manager && !manager->isAdvertisingTrackingEnabled();
}

void GADGestureUtilReachability(std::uint32_t* flags) {
    auto target = platform::Reachability::forAddress("0.0.0.0");
    if (!target || flags == nullptr) return;
    bool ok = false;
    const std::uint32_t current = target->currentFlags(&ok);
    if (ok) *flags = current;
}

const char* GADCStringFromCFString(const std::string* string, std::uint8_t* mustFree) {
    if (string == nullptr) return nullptr;
    if (mustFree != nullptr) *mustFree = 0;
    return string->c_str();
}

bool GADReachabilityFlagsProbe(std::uint32_t* flags) {
    if (flags == nullptr) return false;
    GADGestureUtilReachability(flags);
    return true;
}

void GADMainScreenModeSize(std::int32_t size[2]) {
    if (size == nullptr) return;
    size[0] = size[1] = 0;
    auto screen = platform::Screen::mainScreen();
    if (!screen) return;
    const auto mode = screen->currentModeSize();
    auto pixels = [](float v) {
        const double magnitude = std::fabs(static_cast<double>(v));
        return std::isfinite(magnitude) && magnitude < INT32_MAX ? static_cast<std::int32_t>(magnitude) : 0;
    };
    size[0] = pixels(mode.width);
    size[1] = pixels(mode.height);
}

std::int32_t GADTimeZoneOffsetMinutes() {
    const long minutes = platform::TimeZone::local().secondsFromGMT() / 60;
    return static_cast<std::int32_t>(minutes + 1440);
}

} // namespace ruzave
