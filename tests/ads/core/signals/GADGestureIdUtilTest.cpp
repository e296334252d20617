#include <doctest/doctest.h>

#include "ads/core/signals/GADGestureIdUtil.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/Reachability.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "platform/services/TimeZone.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"

using platform::testing::Harness;
using ruzave::GADGestureIdUtil;

namespace {

// Runs a case on another system version and puts the previous one back.
struct SystemVersion {
    std::string saved = platform::Device::currentDevice()->systemVersion();
    explicit SystemVersion(const std::string& version) { platform::Device::currentDevice()->setSystemVersion(version); }
    ~SystemVersion() { platform::Device::currentDevice()->setSystemVersion(saved); }
};

std::array<std::int32_t, 3> components() {
    std::array<std::int32_t, 3> parts{-1, -1, -1};
    GADGestureIdUtil::getOSMajor(&parts[0], &parts[1], &parts[2]);
    return parts;
}

} // namespace

TEST_CASE("GADGestureIdUtil: version comparison") {
    {
        SystemVersion v("7.0");
        CHECK(GADGestureIdUtil::isOSAtLeastMajor(7, 0, 0));
        CHECK_FALSE(GADGestureIdUtil::isOSAtLeastMajor(7, 0, 1));
        CHECK(GADGestureIdUtil::isOSAtLeastMajor(6, 9, 9));
        CHECK_FALSE(GADGestureIdUtil::isOSAtLeastMajor(7, 1, 0));
    }
    {
        SystemVersion v("10.2");
        CHECK(GADGestureIdUtil::isOSAtLeastMajor(9, 3, 5));
        CHECK_FALSE(GADGestureIdUtil::isOSAtLeastMajor(11, 0, 0));
    }
    {
        SystemVersion v("6");
        CHECK(components() == std::array<std::int32_t, 3>{6, 0, 0});
        // Null pointers are skipped.
        std::int32_t minor = -1;
        GADGestureIdUtil::getOSMajor(nullptr, &minor, nullptr);
        CHECK(minor == 0);
    }
    {
        SystemVersion v("6.1.3");
        CHECK(components() == std::array<std::int32_t, 3>{6, 1, 3});
        CHECK(GADGestureIdUtil::sharedInstance()->osVersion() == "6.1.3");
    }
    {
        SystemVersion v("x..99999999999");
        CHECK(components() == std::array<std::int32_t, 3>{0, 0, INT32_MAX});
    }
}

TEST_CASE_FIXTURE(Harness, "GADGestureIdUtil: the device identifier and opt-out") {
    auto manager = platform::AdvertisingIdentifierManager::sharedManager();
    REQUIRE(manager);
    auto util = GADGestureIdUtil::init();
    SUBCASE("before 6 the installation keeps one identifier in the defaults") {
        SystemVersion v("5.1.1");
        CHECK(util->deviceIdentifierType() == 1);
        manager->setAdvertisingTrackingEnabledForTesting(false);
        CHECK_FALSE(util->deviceOptedOut());
        manager->setAdvertisingTrackingEnabledForTesting(true);
        const std::string first = util->deviceIdentifier();
        CHECK(first.size() == 36);
        CHECK(platform::UserDefaults::standard()->string(GADGestureIdUtil::kAppIdentifierKey) == first);
        CHECK(GADGestureIdUtil::init()->deviceIdentifier() == first);
        CHECK(first != manager->advertisingIdentifier());
    }
    SUBCASE("from 6 the advertising identifier and the tracking choice") {
        SystemVersion v("6.0");
        CHECK(util->deviceIdentifierType() == 4);
        CHECK(util->deviceIdentifier() == manager->advertisingIdentifier());
        CHECK_FALSE(platform::UserDefaults::standard()->string(GADGestureIdUtil::kAppIdentifierKey));
        manager->setAdvertisingTrackingEnabledForTesting(false);
        CHECK(util->deviceOptedOut());
        manager->setAdvertisingTrackingEnabledForTesting(true);
        CHECK_FALSE(util->deviceOptedOut());
    }
}

TEST_CASE("GADGestureIdUtil: screen, time zone, reachability and strings") {
    SUBCASE("time zone offsets") {
        platform::TimeZone::setLocal(platform::TimeZone("Asia/Kolkata", 5 * 3600 + 1800));
        CHECK(ruzave::GADTimeZoneOffsetMinutes() == 1770);
        platform::TimeZone::setLocal(platform::TimeZone("West", -(3 * 3600 + 59)));
        CHECK(ruzave::GADTimeZoneOffsetMinutes() == 1440 - 180);
        platform::TimeZone::setLocal(platform::TimeZone("GMT", 0));
        CHECK(ruzave::GADTimeZoneOffsetMinutes() == 1440);
    }
    SUBCASE("reachability") {
        CHECK_FALSE(ruzave::GADReachabilityFlagsProbe(nullptr));
        platform::Reachability::setGlobalFlagsForTesting(platform::Reachability::Reachable | platform::Reachability::IsWWAN);
        std::uint32_t flags = 0xFFFFFFFF;
        CHECK(ruzave::GADReachabilityFlagsProbe(&flags));
        CHECK(flags == (platform::Reachability::Reachable | platform::Reachability::IsWWAN));
        platform::Reachability::resetForTesting();
    }
    SUBCASE("the main screen's mode in pixels") {
        std::int32_t size[2] = {-1, -1};
        ruzave::GADMainScreenModeSize(size);
        const auto mode = platform::Screen::mainScreen()->currentModeSize();
        CHECK(size[0] == static_cast<std::int32_t>(mode.width));
        CHECK(size[1] == static_cast<std::int32_t>(mode.height));
    }
    SUBCASE("strings") {
        std::uint8_t mustFree = 7;
        CHECK(ruzave::GADCStringFromCFString(nullptr, &mustFree) == nullptr);
        const std::string text = "h\xC3\xA9";
        CHECK(std::string(ruzave::GADCStringFromCFString(&text, &mustFree)) == text);
        CHECK(mustFree == 0);
    }
}
