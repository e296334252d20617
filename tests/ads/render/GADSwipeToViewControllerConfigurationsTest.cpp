#include <doctest/doctest.h>

#include "ads/core/signals/GADDevice.h"
#include "ads/render/GADSwipeToViewControllerConfigurations.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Device.h"

using platform::testing::Harness;
using ruzave::GADSwipeToViewControllerConfigurations;

namespace {

struct Settings : Harness {
    Settings() { ruzave::GADDevice::sharedInstance()->updateOperatingSystemVersionProperties(); }
    static std::shared_ptr<GADSwipeToViewControllerConfigurations> read(const char* json) {
        auto c = GADSwipeToViewControllerConfigurations::initWithSwipeConfigurations(platform::Value::parse(json));
        REQUIRE(c);
        return c;
    }
};

} // namespace

TEST_CASE_FIXTURE(Settings, "GADSwipeToViewControllerConfigurations: a duration not above 0 or of another type is 1 second") {
    CHECK(read(R"({"swipe_animation_transition_duration": 0})")->swipeAnimationTransitionDuration() == 1.0);
    CHECK(read(R"({"swipe_animation_transition_duration": -1})")->swipeAnimationTransitionDuration() == 1.0);
    CHECK(read(R"({})")->swipeAnimationTransitionDuration() == 1.0);
    CHECK(read(R"({"swipe_animation_transition_duration": "0.5"})")->swipeAnimationTransitionDuration() == 1.0);
    CHECK(read(R"({"swipe_animation_transition_duration": 0.35})")->swipeAnimationTransitionDuration() == 0.35);
}

TEST_CASE_FIXTURE(Settings, "GADSwipeToViewControllerConfigurations: only valid rectangles are kept and none gives no list") {
    auto c = read(R"({"swipeable_rectangles": [{"x": 0, "y": 0, "width": 320, "height": 50}, {"x": 1},
                                             "text", {"x": 5, "y": 6, "width": 7, "height": 8}]})");
    REQUIRE(c->swipeableRectangles());
    REQUIRE(c->swipeableRectangles()->size() == 2);
    CHECK((*c->swipeableRectangles())[0] == platform::Rect(0, 0, 320, 50));
    CHECK((*c->swipeableRectangles())[1] == platform::Rect(5, 6, 7, 8));
    CHECK_FALSE(read(R"({"swipeable_rectangles": []})")->swipeableRectangles());
    CHECK_FALSE(read(R"({"swipeable_rectangles": [{"x": "0", "y": 0, "width": 1, "height": 1}, 4]})")->swipeableRectangles());
    CHECK_FALSE(read(R"({"swipeable_rectangles": {"x": 0, "y": 0, "width": 1, "height": 1}})")->swipeableRectangles());
}

TEST_CASE_FIXTURE(Settings, "GADSwipeToViewControllerConfigurations: product and metadata are taken only with their own types") {
    auto c = read(R"({"app_store_product_id": 364709193, "swipe_event_creative_metadata": {"k": [1, "v"]}})");
    CHECK(c->swipeableInAppStoreProductID() == std::optional<std::string>("364709193"));
    REQUIRE(c->swipeEventCreativeMetadata());
    CHECK((*c->swipeEventCreativeMetadata())["k"][1] == "v");
    CHECK(c->swipeDirection() == 0);
    CHECK_FALSE(c->isAdDraggable());

    auto wrong = read(R"({"app_store_product_id": "364709193", "swipe_event_creative_metadata": [1]})");
    CHECK_FALSE(wrong->swipeableInAppStoreProductID());
    CHECK_FALSE(wrong->swipeEventCreativeMetadata());
    // Not a dictionary at all: everything at its default.
    auto none = GADSwipeToViewControllerConfigurations::initWithSwipeConfigurations(platform::Value::array());
    REQUIRE(none);
    CHECK_FALSE(none->swipeableRectangles());
    CHECK(none->swipeAnimationTransitionDuration() == 1.0);
}

TEST_CASE_FIXTURE(Harness, "GADSwipeToViewControllerConfigurations: below OS 7 the settings are not made") {
    platform::Device::currentDevice()->setSystemVersion("6.1.3");
    ruzave::GADDevice::sharedInstance()->updateOperatingSystemVersionProperties();
    CHECK_FALSE(GADSwipeToViewControllerConfigurations::initWithSwipeConfigurations(platform::Value::object()));
    platform::Device::currentDevice()->setSystemVersion("7.0");
    ruzave::GADDevice::sharedInstance()->updateOperatingSystemVersionProperties();
    CHECK(GADSwipeToViewControllerConfigurations::initWithSwipeConfigurations(platform::Value::object()));
}
