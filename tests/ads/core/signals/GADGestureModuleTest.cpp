#include <doctest/doctest.h>

#include <map>

#include "ads/core/signals/GADGestureIdUtil.h"
#include "ads/core/signals/GADGestureModule.h"
#include "ads/core/signals/GAD_GTMStringEncoding.h"
#include "platform/base/Strings.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "platform/services/TimeZone.h"
#include "platform/testing/Harness.h"

using platform::testing::Harness;

namespace {

// The fields of a "ms=<value>" signal by name.
std::map<std::string, std::string> fields(const std::string& signal) {
    REQUIRE(signal.rfind("ms=", 0) == 0);
    const std::string value = signal.substr(3);
    CHECK(value.find('=') == std::string::npos);
    std::string padded = value;
    while (padded.size() % 4 != 0) padded += '=';
    auto text = ruzave::GAD_GTMStringEncoding::rfc4648Base64WebsafeStringEncoding()->stringByDecoding(padded);
    REQUIRE(text.has_value());
    std::map<std::string, std::string> result;
    for (const auto& field : platform::split(*text, ";")) {
        const auto colon = field.find(':');
        REQUIRE(colon != std::string::npos);
        result[field.substr(0, colon)] = field.substr(colon + 1);
    }
    return result;
}

} // namespace

TEST_CASE_FIXTURE(Harness, "GADGestureModule: the request parameter carries the device facts") {
    ruzave::GADGestureModuleSetSDKVersion("afm-7.0:x");
    platform::TimeZone::setLocal(platform::TimeZone("Asia/Kolkata", 5 * 3600 + 1800));
    auto manager = platform::AdvertisingIdentifierManager::sharedManager();
    REQUIRE(manager);
    std::string signal = "stale";
    REQUIRE(ruzave::GADGestureModuleRequestParameter(signal) == 1);
    auto f = fields(signal);
    CHECK(f["v"] == "1");
    CHECK(f["sdk"] == "afm-7.0_x");
    CHECK(f["idt"] == "4");
    CHECK(f["id"] == manager->advertisingIdentifier());
    CHECK(f["lat"] == "0");
    CHECK(f["tz"] == "1770");
    CHECK(f["scr"].find('x') != std::string::npos);
    CHECK_FALSE(f["net"].empty());
    CHECK(f.count("ai") == 0);

    SUBCASE("an opted-out user's identifier is left out") {
        manager->setAdvertisingTrackingEnabledForTesting(false);
        REQUIRE(ruzave::GADGestureModuleRequestParameter(signal) == 1);
        auto out = fields(signal);
        manager->setAdvertisingTrackingEnabledForTesting(true);
        CHECK(out["id"].empty());
        CHECK(out["lat"] == "1");
    }
    platform::TimeZone::setLocal(platform::TimeZone("GMT", 0));
}

TEST_CASE_FIXTURE(Harness, "GADGestureModule: the click signal adds the click and the last touches") {
    std::string signal = "stale";
    CHECK(ruzave::GADGestureModuleClickSignal("", signal) == 0);
    CHECK(signal.empty());

    for (int i = 0; i < 70; ++i) ruzave::GADGestureModuleRecordTouch(i, -i, i == 69 ? -1 : 100);
    CHECK(ruzave::GADGestureModuleRecordedTouches().size() == 64);
    REQUIRE(ruzave::GADGestureModuleClickSignal("a;b:c", signal) == 1);
    auto f = fields(signal);
    CHECK(f["ai"] == "a_b_c");
    CHECK(f["tc"] == "64");
    CHECK(f["tl"] == "62,-62,100|63,-63,100|64,-64,100|65,-65,100|66,-66,100|67,-67,100|68,-68,100|69,-69,-1");
}
