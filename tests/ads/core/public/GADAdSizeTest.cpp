#include <doctest/doctest.h>

#include <cmath>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/signals/GADDevice.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

using namespace ruzave;

namespace {
void useScreen(float w, float h, platform::UserInterfaceIdiom idiom) {
    platform::Screen::mainScreen()->setBoundsSize({w, h});
    platform::Device::currentDevice()->setUserInterfaceIdiom(idiom);
    GADDevice::sharedInstance()->cacheStaticParameters();
}
} // namespace

TEST_CASE("GADAdSize: sizes from points find the standard constants, else become custom") {
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromCGSize({320, 50}), kGADAdSizeBanner));
    CHECK(GADAdSizeFromCGSize({321, 50}).flags == kGADAdSizeFlagCustom);
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromCGSize({-1, -1}), kGADAdSizeInvalid));
    CHECK(GADAdSizeIsStandardSize(kGADAdSizeSkyscraper));
    CHECK_FALSE(GADAdSizeIsStandardSize(kGADAdSizeInvalid));
    CHECK_FALSE(GADAdSizeIsStandardSize(GADAdSize{{320, 50}, 1}));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADAdSize: smart banners follow the phone and tablet screens") {
    useScreen(320, 480, platform::UserInterfaceIdiom::Phone);
    CHECK(CGSizeFromGADAdSize(kGADAdSizeSmartBannerPortrait) == platform::Size{320, 50});
    CHECK(CGSizeFromGADAdSize(kGADAdSizeSmartBannerLandscape) == platform::Size{480, 32});
    CHECK(CGSizeFromGADAdSize(GADAdSize{{0, 0}, kGADAdSizeFlagFullWidth}) == platform::Size::zero());
    CHECK(CGSizeFromGADAdSize(GADAdSize{{0, 70}, kGADAdSizeFlagFullWidth | kGADAdSizeFlagCustom}) ==
          platform::Size{320, 70});
    CHECK(CGSizeFromGADAdSize(kGADAdSizeInvalid) == platform::Size::zero());
    CHECK(GADFullWidthAdSizeForIdiom(kGADAdSizeSmartBannerSkinnyPortrait, 1, 768, 1024) == platform::Size{768, 66});
    CHECK(GADFullWidthAdSizeForIdiom(kGADAdSizeSmartBannerLandscape, 1, 768, 1024) == platform::Size{1024, 90});
    CHECK(GADFullWidthAdSizeForIdiom(kGADAdSizeSmartBannerPortrait, 5, 768, 1024) == platform::Size::zero());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADAdSize: fluid takes the key window's width") {
    useScreen(320, 480, platform::UserInterfaceIdiom::Phone);
    auto window = platform::Window::create(platform::Rect(0, 0, 300, 400));
    platform::Application::sharedApplication()->setKeyWindow(window);
    CHECK(CGSizeFromGADAdSize(kGADAdSizeFluid) == platform::Size{300, 1});
    CHECK(CGSizeFromGADAdSize(GADFluidAdSizeWithSize({300, 200})) == platform::Size{300, 200});
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADAdSize: validity of custom and rule sizes") {
    useScreen(320, 480, platform::UserInterfaceIdiom::Phone);
    platform::Error error;
    CHECK(GADAdSizeIsValid(GADAdSizeFromCGSize({480, 100}), &error));
    CHECK_FALSE(GADAdSizeIsValid(GADAdSizeFromCGSize({481, 100}), &error));
    CHECK(error.code == 3);
    CHECK(error.description.find("{481, 100}") != std::string::npos);
    CHECK_FALSE(GADAdSizeIsValid(GADAdSize{{0, 0}, 2}, &error));
    CHECK(error.description.rfind("Non-standard size, ", 0) == 0);
    CHECK(GADAdSizeIsValid(kGADAdSizeSmartBannerSkinnyLandscape));
    CHECK_FALSE(GADAdSizeIsValid(GADAdSize{{NAN, 10}, kGADAdSizeFlagCustom}));
    CHECK_FALSE(GADAdSizeIsValid(GADAdSize{{-500, 10}, kGADAdSizeFlagCustom}));
}

TEST_CASE("GADAdSize: names and texts") {
    CHECK(NSStringFromGADAdSize(kGADAdSizeBanner) == "kGADAdSizeBanner");
    CHECK(NSStringFromGADAdSize(kGADAdSizeFluid) == "kGADAdSizeFluid");
    CHECK(NSStringFromGADAdSize(GADAdSizeFromCGSize({100, 100})) == "Custom GADAdSize: {100, 100}");
    CHECK(NSStringFromGADAdSize(GADAdSize{{0, 0}, 64}) == "GADAdSize: {0, 0}, 40");
    CHECK(NSStringFromGADAdSize(GADAdSize{{0, 70}, 2}) == "Full width GADAdSize with height: 70.000000");
}

TEST_CASE("GADAdSize: boxed values and size strings reject what is not theirs") {
    const platform::Value boxed = NSValueFromGADAdSize(kGADAdSizeSmartBannerLandscape);
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromNSValue(boxed), kGADAdSizeSmartBannerLandscape));
    platform::Value size = {{"type", "{CGSize=ff}"}, {"width", 1}, {"height", 2}, {"flags", 0}};
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromNSValue(size), kGADAdSizeInvalid));
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromNSValue(platform::Value()), kGADAdSizeInvalid));
    platform::Value broken = boxed;
    broken["flags"] = "18";
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromNSValue(broken), kGADAdSizeInvalid));
    // Numbers no size can hold: a width beyond the float range, flags beyond 32 bits.
    broken = boxed;
    broken["width"] = 1e300;
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromNSValue(broken), kGADAdSizeInvalid));
    broken = boxed;
    broken["flags"] = std::uint64_t{1} << 33;
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromNSValue(broken), kGADAdSizeInvalid));
    CHECK(CGSizeFromGADSizeString("320x50") == platform::Size{320, 50});
    CHECK(CGSizeFromGADSizeString("junk") == platform::Size::zero());
}

TEST_CASE("GADAdSize: boxed sizes read JSON booleans as 1 and 0") {
    platform::Value boxed = NSValueFromGADAdSize(GADAdSizeFromCGSize({320, 50.5f}));
    boxed["flags"] = true;
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromNSValue(boxed), GADAdSize{{320, 50.5f}, kGADAdSizeFlagCustom}));
    boxed["flags"] = false;
    boxed["height"] = true;
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromNSValue(boxed), GADAdSize{{320, 1}, 0}));
    boxed["flags"] = -1;
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromNSValue(boxed), kGADAdSizeInvalid));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADAdSize: a custom size is checked against the screen before the early start") {
    platform::Screen::mainScreen()->setBoundsSize({320, 480});
    REQUIRE_FALSE(GADDevice::sharedInstance()->hasCachedStaticParameters());
    platform::Error error;
    CHECK(GADAdSizeIsValid(GADAdSizeFromCGSize({310, 400}), &error));
    CHECK_FALSE(GADAdSizeIsValid(GADAdSizeFromCGSize({310, 481}), &error));
    CHECK(error.description.find("current screen bounds of {320, 480}") != std::string::npos);
    // Full-width sizes read the same screen.
    CHECK(CGSizeFromGADAdSize(kGADAdSizeSmartBannerPortrait).width == 320);
}
